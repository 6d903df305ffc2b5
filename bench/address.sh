#!/usr/bin/env bash
# Times loading a country's postal-code address data against `wc -l` on the
# same file, in one run:
#   a synthetic file of 10,000 postal-code lines and 1,500,000 street lines
#   (invented towns and streets, some with code page 850 umlauts, towns sorted
#   so the town index is kept) is loaded by bench/address_load.
# Goals: loading within 10 x the time of `wc -l`, peak memory within 3 x the
# file size.
#
# Usage: bench/address.sh [build-dir]     (default: $KELBRIN_BUILD or build/)
# Builds nothing: <build-dir>/bench/address_load must already be built.
# Each program runs once untimed (file cached), then five times timed; the
# best wall time counts. Read the figures as a rough guide.
set -euo pipefail

build=${1:-${KELBRIN_BUILD:-build}}
loader="$build/bench/address_load"
if [[ ! -x $loader ]]; then
    echo "address.sh: $loader not found; build the target address_load first" >&2
    exit 2
fi
for program in wc python3 awk; do
    command -v "$program" >/dev/null || { echo "address.sh: $program is needed" >&2; exit 2; }
done
gnutime=/usr/bin/time
if [[ ! -x $gnutime ]]; then
    echo "address.sh: $gnutime is missing (Debian package 'time'): peak memory is not measured"
    gnutime=
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/kelbrin-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/Tab"
data="$work/Tab/adr"

# Synthetic address data, written as code page 850 bytes.
python3 "$(dirname "$0")/address_data.py" "$data"

size=$(stat -c %s "$data")
lines=$(wc -l <"$data")

# best_of <n> <command...>: runs the command n times; sets BEST to the best wall
# time in seconds, CPU to the processor time (user + system) of that run and
# PEAK_KB to its peak memory (both empty without GNU time).
best_of() {
    local n=$1
    shift
    BEST=
    CPU=
    PEAK_KB=
    for ((i = 0; i < n; ++i)); do
        local start end seconds user system cpu='' peak=''
        start=$(date +%s%N)
        if [[ -n $gnutime ]]; then
            "$gnutime" -f '%U %S %M' -o "$work/usage" "$@" >"$work/out"
            read -r user system peak < <(tail -n 1 "$work/usage")
            cpu=$(awk -v u="$user" -v s="$system" 'BEGIN { printf "%.2f", u + s }')
        else
            "$@" >"$work/out"
        fi
        end=$(date +%s%N)
        seconds=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.4f", (b - a) / 1e9 }')
        if [[ -z $BEST ]] || awk -v a="$seconds" -v b="$BEST" 'BEGIN { exit !(a < b) }'; then
            BEST=$seconds
            CPU=$cpu
            PEAK_KB=$peak
        fi
    done
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

# Untimed first runs: the file in the cache, the memory touched once.
wc -l "$data" >/dev/null
"$loader" "$work" >/dev/null

best_of 5 wc -l "$data"
wc_seconds=$BEST
wc_cpu=$CPU
best_of 5 "$loader" "$work"
load_seconds=$BEST
load_cpu=$CPU
load_peak=$PEAK_KB
report=$(cat "$work/out")

echo "address data: $lines lines, $size bytes ($report)"
printf '%-26s %8s s wall\n' "wc -l" "$wc_seconds"
printf '%-26s %8s s wall   ratio %s (goal <= 10)\n' "address_load" "$load_seconds" \
    "$(ratio "$load_seconds" "$wc_seconds")"
if [[ -n $load_peak ]]; then
    # Processor time has a resolution of 10 ms: on a busy machine it is the
    # steadier figure, but wc -l may show as 0.01 s or less.
    printf '%-26s %8s s cpu    (wc -l %s s cpu)\n' "address_load" "$load_cpu" "$wc_cpu"
    printf '%-26s %8s KiB      ratio %s of the file (goal <= 3)\n' "address_load peak memory" \
        "$load_peak" "$(ratio "$((load_peak * 1024))" "$size")"
fi
