#!/usr/bin/env bash
# The station under load, against `cat` in the same run: a layout of 1840
# one-character fields (the whole screen) and a record file KELBRIN4.CR2 of
# RECORDS records of 1840 bytes (1,000,000 make 1.84 GB). Timed: the start
# opening it, stepping to its end, a search that reads every record before it
# finds its term in the first, an insert at the front (the file is rebuilt
# whole), an export in each of the four forms and the listing on the printer
# (a file, through KELBRIN_PRINTER). Beside them `cat` of the record file into
# a file on the same file system, without and with `sync`.
#
# Peak memory (GNU time's %M) is the point as much as the times: nothing may
# hold the record file in memory. The run fails when the peak comes to more
# than a tenth of the record file (and more than 64 MB).
#
# Usage: bench/load.sh [build-dir] [records]
# Builds nothing: <build-dir>/bench/load_bench must already be built. Works in
# $TMPDIR (default /var/tmp), which needs about five times the record file
# free (the file, its rebuilt copy during the insert, the largest export and
# the listing); the script checks before it starts.
set -euo pipefail

build=${1:-${KELBRIN_BUILD:-build}}
records=${2:-1000000}
bench="$build/bench/load_bench"
if [[ ! -x $bench ]]; then
    echo "load.sh: $bench not found; build the target load_bench first" >&2
    exit 2
fi
if [[ ! -x /usr/bin/time ]]; then
    echo "load.sh: GNU time (/usr/bin/time, Debian package 'time') is needed" >&2
    exit 2
fi
tmp=${TMPDIR:-/var/tmp}
bytes=$((records * 1840))
need_kb=$((bytes * 5 / 1024))
free_kb=$(df -Pk "$tmp" | awk 'NR == 2 { print $4 }')
if ((free_kb < need_kb)); then
    echo "load.sh: $tmp has $((free_kb / 1024)) MB free, $((need_kb / 1024)) MB are needed;" \
        "give a smaller record count" >&2
    exit 2
fi
work=$(mktemp -d "$tmp/kelbrin-load.XXXXXX")
trap 'rm -rf "$work"' EXIT

"$bench" "$work" make "$records"
# The file just made is still being written back: let that finish first, so
# that neither the references nor the station pay for it.
sync
now() { date +%s.%N; }
seconds() { awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.3f", b - a }'; }
best() { awk -v a="$1" -v b="$2" 'BEGIN { print (b == "" || a < b) ? a : b }'; }
cat_s="" sync_s=""
for ((r = 0; r < 2; ++r)); do  # the better of two runs each
    start=$(now)
    cat "$work/KELBRIN4.CR2" >"$work/copy"
    cat_s=$(best "$(seconds "$start")" "$cat_s")
    rm -f "$work/copy"
    sync
    start=$(now)
    cat "$work/KELBRIN4.CR2" >"$work/copy"
    sync
    sync_s=$(best "$(seconds "$start")" "$sync_s")
    rm -f "$work/copy"
    sync
done
cat_kb=$(/usr/bin/time -f %M cat "$work/KELBRIN4.CR2" 2>&1 >/dev/null)

export KELBRIN_PRINTER="$work/listing"
steps=$(/usr/bin/time -f "peak %M" -o "$work/peak" "$bench" "$work" run)
peak_kb=$(awk '/^peak/ { print $2 }' "$work/peak")

echo "$records records of 1840 bytes ($((bytes / 1000000)) MB) in $tmp"
echo "  cat: ${cat_s} s, cat + sync: ${sync_s} s, cat's peak memory ${cat_kb} KB"
awk -v c="$cat_s" -v s="$sync_s" '
    { printf "  %-15s %9.3f s  %7.2f x cat  %7.2f x cat+sync   peak so far %6.1f MB\n",
             $1, $2, $2 / c, $2 / s, $3 / 1024 }' <<<"$steps"
awk -v p="$peak_kb" -v b="$bytes" 'BEGIN {
    printf "  peak memory of the whole run: %.1f MB = %.2f %% of the record file\n",
           p / 1024, 100 * p * 1024 / b }'
if ((peak_kb * 1024 > bytes / 10 && peak_kb > 65536)); then
    echo "load.sh: the station held too much of the record file in memory" >&2
    exit 1
fi
