#!/usr/bin/env bash
# Times kelbrin-check and kelbrin-export against `cat`, in one run: a working
# directory of RECORDS records of 80 bytes (made by recordtools_bench: a check
# digit, a number range, a digit set under a condition, a field looked up in a
# table of 1,000 towns, an end mark; one record in a hundred fails its check
# digit) is checked, and exported in each of the four forms, beside `cat` of
# its KELBRIN4.CR2 into a file on the same file system. Goal: each at most
# 3 x cat. The export flushes what it writes (the file must be on the disk
# when it says so); `cat` does not, so `cat` followed by `sync` is shown too.
#
# Usage: bench/recordtools.sh [build-dir] [records]
# Builds nothing: <build-dir>/bench/recordtools_bench, <build-dir>/tools/
# kelbrin-check and kelbrin-export must already be built. Works in $TMPDIR
# (default /var/tmp); on a RAM disk (TMPDIR=/dev/shm) the flushes cost
# nothing and the figures show the work of the code alone.
set -euo pipefail

build=${1:-${KELBRIN_BUILD:-build}}
records=${2:-1000000}
for program in bench/recordtools_bench tools/kelbrin-check tools/kelbrin-export; do
    if [[ ! -x $build/$program ]]; then
        echo "recordtools.sh: $build/$program not found; build the target ${program##*/} first" >&2
        exit 2
    fi
done
work=$(mktemp -d "${TMPDIR:-/var/tmp}/kelbrin-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir "$work/dir"
"$build/bench/recordtools_bench" "$work/dir" "$records"
# The file just made is still being written back: let that finish first.
sync

# Best of three runs each: the figures are for the code, not for whatever
# else the machine happens to do at the moment.
runs=3
source "$(dirname "$0")/best_of.sh"
copy() { cat "$work/dir/KELBRIN4.CR2" > "$work/copy"; }
copy_sync() { copy; sync; }
check() {  # exit code 1: the records that fail their check digit
    local status=0
    "$build/tools/kelbrin-check" "$work/dir" > "$work/report" || status=$?
    ((status == 1)) || { echo "recordtools.sh: kelbrin-check ended with $status" >&2; exit 1; }
}
export_to() { "$build/tools/kelbrin-export" "$work/dir" "$work/copy" --mode "$1"; }

cat_s=$(best_of copy)
sync_s=$(best_of copy_sync)
echo "$records records of 80 bytes; cat: ${cat_s} s, cat + sync: ${sync_s} s"
line() {  # name seconds
    awk -v n="$1" -v t="$2" -v c="$cat_s" -v s="$sync_s" \
        'BEGIN { printf "  %-22s %.3f s   %.1f x cat   %.1f x cat+sync\n", n, t, t / c, t / s }'
}
line "kelbrin-check" "$(best_of check)"
echo "    $(tail -n 1 "$work/report")"
for mode in ascii ebcdic din tab; do
    line "kelbrin-export $mode" "$(best_of export_to "$mode")"
done
