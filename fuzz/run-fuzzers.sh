#!/usr/bin/env bash
# Runs the libFuzzer targets of the fuzz preset on their committed corpora and prints, per
# target, the executions, executions per second and coverage reached. Exits 1 when any
# target finds something (crash, broken invariant, leak, time-out, memory limit) and keeps
# the input that did it under build/fuzz/findings/.
#
#   fuzz/run-fuzzers.sh --time 60 --jobs 2          # what the test command runs
#   fuzz/run-fuzzers.sh --runs 10000000 receive     # a long run of one target
#
# Options: --time S (seconds per target) or --runs N (executions per target); --jobs J
# (targets run at the same time, default 1). Targets: the names under fuzz/corpus/
# (default all). The committed corpus is only read; what a run discovers goes to a
# scratch folder that is removed afterwards. Build first: cmake --preset fuzz &&
# cmake --build --preset fuzz.
set -uo pipefail
cd "$(dirname "$0")/.."

limit=(-max_total_time=60)
jobs=1
targets=()
while [ $# -gt 0 ]; do
    case $1 in
        --time) limit=(-max_total_time="$2"); shift 2 ;;
        --runs) limit=(-runs="$2"); shift 2 ;;
        --jobs) jobs=$2; shift 2 ;;
        -h|--help) sed -n '2,15p' "$0"; exit 0 ;;
        -*) echo "run-fuzzers: unknown option $1" >&2; exit 2 ;;
        *) targets+=("$1"); shift ;;
    esac
done
if [ ${#targets[@]} -eq 0 ]; then
    for dir in fuzz/corpus/*/; do targets+=("$(basename "$dir")"); done
fi

bin=build/fuzz/fuzz
findings=build/fuzz/findings
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$findings"

for t in "${targets[@]}"; do
    if [ ! -x "$bin/quillbank-fuzz-$t" ] || [ ! -d "fuzz/corpus/$t" ]; then
        echo "run-fuzzers: no target '$t' (build the fuzz preset; corpus in fuzz/corpus/$t)" >&2
        exit 2
    fi
done

run_one() {
    local t=$1
    mkdir -p "$scratch/$t"
    "$bin/quillbank-fuzz-$t" "${limit[@]}" -timeout=10 -rss_limit_mb=2560 -print_final_stats=1 \
        -artifact_prefix="$findings/$t-" "$scratch/$t" "fuzz/corpus/$t" >"$scratch/$t.log" 2>&1
    echo $? >"$scratch/$t.status"
}

running=0
for t in "${targets[@]}"; do
    run_one "$t" &
    running=$((running + 1))
    if [ "$running" -ge "$jobs" ]; then
        wait -n
        running=$((running - 1))
    fi
done
wait

status=0
printf '%-10s %-8s %12s %9s %7s %8s %7s\n' target result executions exec/s cov features corpus
for t in "${targets[@]}"; do
    log=$scratch/$t.log
    code=$(cat "$scratch/$t.status")
    executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1)
    # The last status line says how far coverage got: "#N ... cov: C ft: F corp: K/..."
    last=$(grep -E '^#[0-9]+.* cov: ' "$log" | tail -n 1)
    cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$last")
    ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$last")
    corp=$(sed -n 's/.* corp: \([0-9]*\).*/\1/p' <<<"$last")
    result=ok
    if [ "$code" -ne 0 ]; then
        result=FINDING
        status=1
    fi
    printf '%-10s %-8s %12s %9s %7s %8s %7s\n' "$t" "$result" "${executions:-?}" "${speed:-?}" \
        "${cov:-?}" "${ft:-?}" "${corp:-?}"
    if [ "$code" -ne 0 ]; then
        echo "--- $t exited $code; the end of its log:"
        grep -v -E '^#[0-9]+' "$log" | tail -n 40
        echo "---"
    fi
done
exit $status
