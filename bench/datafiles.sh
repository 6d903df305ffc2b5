#!/usr/bin/env bash
# Times data files against `cat`, in one run: a record file of 1,000,000
# records of 80 bytes is exported and imported in each of the four forms
# (ASCII, the two EBCDIC forms, ASCII-TAB), beside `cat` of the same record
# file into a file on the same file system. Goal: each at most 3 x cat.
# The station flushes what it writes (an export or a load must be on the disk
# when it says so); `cat` does not, so `cat` followed by `sync` is shown too.
#
# Usage: bench/datafiles.sh [build-dir] [records]
# Builds nothing: <build-dir>/bench/datafiles_bench must already be built.
# Works in $TMPDIR (default /var/tmp); on a RAM disk (TMPDIR=/dev/shm) the
# flushes cost nothing and the figures show the work of the code alone.
set -euo pipefail

build=${1:-${KELBRIN_BUILD:-build}}
records=${2:-1000000}
bench="$build/bench/datafiles_bench"
if [[ ! -x $bench ]]; then
    echo "datafiles.sh: $bench not found; build the target datafiles_bench first" >&2
    exit 2
fi
work=$(mktemp -d "${TMPDIR:-/var/tmp}/kelbrin-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

# Best of three runs each: the figures are for the code, not for whatever
# else the machine happens to do at the moment.
runs=3
out=$(for ((r = 0; r < runs; ++r)); do "$bench" "$work" "$records"; done |
    awk '{ key = $1 " " $2; if (!(key in best) || $3 < best[key]) best[key] = $3 }
         END { for (m = 0; m < 4; ++m) for (k = 0; k < 2; ++k) {
                   op = k ? "import" : "export"; print op, m, best[op " " m] } }')
source "$(dirname "$0")/best_of.sh"
copy() { cat "$work/KELBRIN4.CR2" > "$work/copy"; }
copy_sync() { copy; sync; }
cat_s=$(best_of copy)
sync_s=$(best_of copy_sync)

echo "$records records of 80 bytes; cat: ${cat_s} s, cat + sync: ${sync_s} s"
awk -v c="$cat_s" -v s="$sync_s" '
    BEGIN { split("ASCII,EBCDIC #@$*,EBCDIC DIN,ASCII-TAB", name, ",") }
    { printf "  %-6s %-12s %.3f s   %.1f x cat   %.1f x cat+sync\n", $1, name[$2 + 1], $3, $3 / c, $3 / s }
' <<<"$out"
