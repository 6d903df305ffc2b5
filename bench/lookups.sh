#!/usr/bin/env bash
# Times lookups in a country's address data: on the synthetic file of
# bench/address.sh (10,000 postal codes, 1,500,000 street lines), 100,000
# random lookups each by the first characters of a town, by postal code, and
# by postal code with a street and house number, as leaving the town field
# runs them (a choice list that opens is drawn and takes its first entry).
# Prints the median and the 99th percentile per kind. Goal: 99th percentile
# at most 1 ms for every kind. For scale, `grep` for the last town of the file
# runs in the same call.
#
# Usage: bench/lookups.sh [build-dir] [lookups]
# Builds nothing: <build-dir>/bench/lookups_bench must already be built.
set -euo pipefail

build=${1:-${KELBRIN_BUILD:-build}}
count=${2:-100000}
bench="$build/bench/lookups_bench"
if [[ ! -x $bench ]]; then
    echo "lookups.sh: $bench not found; build the target lookups_bench first" >&2
    exit 2
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/kelbrin-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/Tab"
python3 "$(dirname "$0")/address_data.py" "$work/Tab/adr"

last=$(grep -a -P '\t[0-9]{5}\t' "$work/Tab/adr" | tail -n 1 | cut -f 1)
now() { date +%s%N; }
start=$(now)
grep -a -c -F "$last" "$work/Tab/adr" >/dev/null
grep_us=$((($(now) - start) / 1000))

echo "$count lookups of each kind; grep for one town over the file: ${grep_us} us"
"$bench" "$work" "$count" | awk -v g="$grep_us" -v n="$count" '
    { printf "  %-7s median %7.1f us   p99 %7.1f us (goal <= 1000)   %.4f x grep   found %d of %d\n",
             $1, $2, $3, $3 / g, $4, n }'
