#!/usr/bin/env bash
# Times the record file against the plainest way of doing the same on the
# same file system, in one run:
#   (a) one flushing commit of a 200-byte record beside a raw pwrite plus
#       fdatasync of 200 bytes (goal: ratio at most 1.2), and the correction
#       of a stored record in place, through the correction journal (goal: at
#       most 2.5);
#   (b) an insert and a delete at the front of a file of 100,000 records of
#       200 bytes beside `cp` of that file plus one `sync` (goal: at most 2);
#   (c) End on a file of one record and 5,000,000 empty ones behind it (1 GB),
#       written out, beside reading that file once with `cat` (goal: at most
#       1.5), and on the same file sparse (a hole behind the record; goal:
#       well under a second).
#
# Usage: bench/records.sh [build-dir]     (default: $KELBRIN_BUILD or build/)
# Builds nothing: <build-dir>/bench/records_bench must already be built.
# The work happens in a temporary directory under $TMPDIR (default /tmp), so
# that is the file system measured. Each measure runs three times; the best
# counts. Read the figures as a rough guide.
set -euo pipefail

build=${1:-${KELBRIN_BUILD:-build}}
bench="$build/bench/records_bench"
if [[ ! -x $bench ]]; then
    echo "records.sh: $bench not found; build the target records_bench first" >&2
    exit 2
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/kelbrin-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

best() { sort -g | head -n 1; }
now() { date +%s.%N; }

commit=() correction=() raw=() insert=() delete=() copy=() end=() sparse=() cat=()
for round in 1 2 3; do
    rm -rf "$work"/*
    out=$("$bench" "$work" commit 500)
    commit+=("$(awk '/^commit_us/ {print $2}' <<<"$out")")
    correction+=("$(awk '/^correction_us/ {print $2}' <<<"$out")")
    raw+=("$(awk '/^raw_us/ {print $2}' <<<"$out")")

    rm -rf "$work"/*
    out=$("$bench" "$work" move 100000)
    insert+=("$(awk '/^insert_s/ {print $2}' <<<"$out")")
    delete+=("$(awk '/^delete_s/ {print $2}' <<<"$out")")

    sync
    start=$(now)
    cp "$work/KELBRIN4.CR2" "$work/copy"
    sync
    copy+=("$(awk -v a="$start" -v b="$(now)" 'BEGIN {printf "%.4f", b - a}')")

    rm -rf "$work"/*
    out=$("$bench" "$work" last 5000000)
    end+=("$(awk '/^end_written_s/ {print $2}' <<<"$out")")
    sparse+=("$(awk '/^end_sparse_s/ {print $2}' <<<"$out")")
    start=$(now)
    cat "$work/KELBRIN4.CR2" >/dev/null
    cat+=("$(awk -v a="$start" -v b="$(now)" 'BEGIN {printf "%.4f", b - a}')")
done

c=$(printf '%s\n' "${commit[@]}" | best)
r=$(printf '%s\n' "${raw[@]}" | best)
i=$(printf '%s\n' "${insert[@]}" | best)
d=$(printf '%s\n' "${delete[@]}" | best)
p=$(printf '%s\n' "${copy[@]}" | best)
echo "flushing commit of 200 bytes: ${c} us; raw pwrite+fdatasync: ${r} us"
awk -v c="$c" -v r="$r" 'BEGIN {printf "  ratio %.2f (goal <= 1.2)\n", c / r}'
o=$(printf '%s\n' "${correction[@]}" | best)
echo "correction of a stored record: ${o} us"
awk -v o="$o" -v r="$r" 'BEGIN {printf "  ratio %.2f (goal <= 2.5)\n", o / r}'
echo "insert at the front of 100,000 records: ${i} s; delete: ${d} s; cp + sync: ${p} s"
awk -v i="$i" -v d="$d" -v p="$p" \
    'BEGIN {printf "  ratios %.2f (insert), %.2f (delete) (goal <= 2)\n", i / p, d / p}'
e=$(printf '%s\n' "${end[@]}" | best)
s=$(printf '%s\n' "${sparse[@]}" | best)
k=$(printf '%s\n' "${cat[@]}" | best)
echo "End over 5,000,000 empty records: ${e} s; cat of the file: ${k} s; sparse: ${s} s"
awk -v e="$e" -v k="$k" 'BEGIN {printf "  ratio %.2f (goal <= 1.5)\n", e / k}'
