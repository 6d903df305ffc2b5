#!/bin/bash
# Runs fuzz targets one after the other (never two at once, so the machine
# stays usable), each for its time, restarting after a finding until the time
# is up. Findings land in tests/fuzz/crashes/<target>/; the corpus grows in
# $CORPUS (outside the repository). Prints one line per target: executions,
# findings, corpus size.
#
#   tests/fuzz/campaign.sh build-fuzz fuzz_ttyinput:600 fuzz_table:300 ...
#
# UBSan in the fuzz build reports and goes on; halt_on_error makes each of its
# findings a crash the fuzzer keeps.
set -u
build=$1
shift
here=$(cd "$(dirname "$0")" && pwd)
corpus_root=${CORPUS:-${TMPDIR:-/var/tmp}/kelbrin-corpus}
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}
for item in "$@"; do
    target=${item%%:*}
    seconds=${item##*:}
    corpus=$corpus_root/$target
    crashes=$here/crashes/$target
    log=$corpus_root/$target.log
    mkdir -p "$corpus" "$crashes"
    : >"$log"
    executions=0
    findings=0
    end=$(($(date +%s) + seconds))
    while left=$((end - $(date +%s))) && [ "$left" -gt 0 ]; do
        "$build/tests/fuzz/$target" -max_total_time="$left" -print_final_stats=1 \
            -rss_limit_mb=2048 -timeout=10 -artifact_prefix="$crashes/" \
            "$corpus" "$here/seeds/$target" >>"$log" 2>&1
        status=$?
        runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | tail -1 |
            grep -o '[0-9]*$')
        executions=$((executions + ${runs:-0}))
        # The stats line of a run is counted once: mark it as taken.
        sed -i 's/stat::number_of_executed_units/stat::counted_executed_units/' "$log"
        [ "$status" -eq 0 ] && break
        findings=$((findings + 1))
    done
    echo "$target: ${seconds}s, $executions executions, $findings findings," \
        "corpus $(find "$corpus" -type f | wc -l) inputs"
done
