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
python3 - "$data" <<'PY'
import random, sys

random.seed(4711)
POSTAL_CODES = 10000
STREET_LINES = 1500000

first = ["Alt", "Bern", "Dorn", "Eich", "Fels", "Gr\x81n", "Hag", "Kirch", "Lind", "M\x81hl",
         "Neu", "Ober", "Reich", "Sch\x94n", "Stein", "Tann", "Unter", "Wald", "Wei\xe1", "Zell",
         "\x84schen", "\x94lm", "Brunn", "Holz", "Rot"]
last = ["bach", "berg", "burg", "dorf", "feld", "hausen", "heim", "hof", "ingen", "stadt",
        "tal", "au", "br\x81ck", "m\x81hle", "stett"]
extra = ["", "", "", " am See", " an der Aue", " (Kreis Nord)", " im Tal", " b. Hof"]
streets = ["Haupt", "Kirch", "Schul", "Garten", "Berg", "Bahnhof", "Linden", "Birken",
           "M\x81hlen", "Wiesen", "Ahorn", "Sonnen", "Rosen", "Eichen", "Gr\x81n", "Feld",
           "Wald", "Br\x81cken", "Markt", "Tannen", "Buchen", "Schlo\xe1", "Dorf", "Ring"]
kinds = ["str.", "weg", "gasse", "platz", "allee", "stra\xe1e", "ring", "pfad"]

def town_name():
    return random.choice(first) + random.choice(last) + random.choice(extra)

codes = random.sample(range(1000, 100000), POSTAL_CODES)
towns = []
while len(towns) < POSTAL_CODES:
    name = town_name()
    # Larger towns have several postal codes.
    for _ in range(random.choice([1, 1, 1, 1, 2, 3, 5])):
        if len(towns) < POSTAL_CODES:
            towns.append(name)
entries = []
for town, code in zip(towns, codes):
    line = "%s\t%05d\t%s" % (town, code, "P" if random.random() < 0.05 else "")
    entries.append(line.encode("latin-1"))
entries.sort()

per_code = STREET_LINES // POSTAL_CODES
with open(sys.argv[1], "wb") as out:
    for line in entries:
        out.write(line + b"\r\n")
        for _ in range(per_code):
            street = random.choice(streets) + random.choice(kinds)
            r = random.random()
            if r < 0.4:
                low = random.randrange(1, 200)
                street += "\t%d-%d" % (low, low + 2 * random.randrange(1, 60))
            elif r < 0.5:
                street += "\t%d%s-" % (random.randrange(1, 200), random.choice(["", "a"]))
            out.write(street.encode("latin-1") + b"\r\n")
PY

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
