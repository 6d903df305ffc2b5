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
# Works in $TMPDIR (default /var/tmp). One run each; read the figures as a
# rough guide.
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

out=$("$bench" "$work" "$records")
now() { date +%s.%N; }
start=$(now)
cat "$work/KELBRIN4.CR2" > "$work/copy"
cat_s=$(awk -v a="$start" -v b="$(now)" 'BEGIN {printf "%.4f", b - a}')
rm -f "$work/copy"
start=$(now)
cat "$work/KELBRIN4.CR2" > "$work/copy"
sync
sync_s=$(awk -v a="$start" -v b="$(now)" 'BEGIN {printf "%.4f", b - a}')

echo "$records records of 80 bytes; cat: ${cat_s} s, cat + sync: ${sync_s} s"
awk -v c="$cat_s" -v s="$sync_s" '
    BEGIN { split("ASCII,EBCDIC #@$*,EBCDIC DIN,ASCII-TAB", name, ",") }
    { printf "  %-6s %-12s %.3f s   %.1f x cat   %.1f x cat+sync\n", $1, name[$2 + 1], $3, $3 / c, $3 / s }
' <<<"$out"
