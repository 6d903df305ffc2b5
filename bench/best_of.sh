# Shared by the benchmark scripts that time whole commands (sourced, not run).
# Needs $work (a scratch directory) and $runs (how many runs to take the best
# of). best_of COMMAND...: the shortest wall time of $runs runs, in seconds;
# $work/copy, which the commands may write, is removed before each run.
now() { date +%s.%N; }
best_of() {
    local best="" start s
    for ((r = 0; r < runs; ++r)); do
        rm -f "$work/copy"
        start=$(now)
        "$@"
        s=$(awk -v a="$start" -v b="$(now)" 'BEGIN {printf "%.4f", b - a}')
        if [[ -z $best ]] || awk -v s="$s" -v b="$best" 'BEGIN {exit !(s < b)}'; then best=$s; fi
    done
    rm -f "$work/copy"
    echo "$best"
}
