#!/bin/sh
# Builds the fuzz targets (clang, libFuzzer, ASan + UBSan) and runs each on
# its seed corpus, as many at a time as there are cores:
#   scripts/fuzz.sh                 30 seconds a target (the CI stage)
#   scripts/fuzz.sh --seconds N     N seconds a target
#   scripts/fuzz.sh --minutes N     N minutes a target (a long run)
#   scripts/fuzz.sh ... NAME...     only the targets named (numeric, profile, ...)
# The inputs a run adds are kept in build/fuzz/work/NAME (the seeds in
# fuzz/corpus/ stay as they are); a finding is saved in build/fuzz/findings/
# and fails the run. Prints executions, executions per second and coverage
# per target.
set -eu
self="$(cd "$(dirname "$0")" && pwd)/$(basename "$0")"
cd "$(dirname "$0")/.."
build=build/fuzz

# One target for a given time (the script calls itself this way).
if [ "${1:-}" = "--run-one" ]; then
    seconds=$2 name=$3
    mkdir -p "$build/work/$name"
    exec "$build/bin/fuzz_$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$build/findings/$name-" \
        "$build/work/$name" "fuzz/corpus/$name" >"$build/logs/$name.log" 2>&1
fi

seconds=30
while [ $# -gt 0 ]; do
    case $1 in
    --seconds) seconds=$2; shift 2 ;;
    --minutes) seconds=$(($2 * 60)); shift 2 ;;
    *) break ;;
    esac
done

scripts/install-deps.sh
CC=clang CXX=clang++ cmake -S . -B $build -DKV_FUZZ=ON -DKV_BUILD_TESTS=OFF -DKV_BUILD_BENCH=OFF \
    -DKV_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
jobs=$(nproc 2>/dev/null || echo 2)
cmake --build $build -j "$jobs" --target kv_fuzz_targets

targets=${*:-$(ls fuzz/corpus)}
rm -rf $build/logs
mkdir -p $build/logs $build/findings
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

echo "== fuzzing each target for $seconds s, $jobs at a time"
# shellcheck disable=SC2086
printf '%s\n' $targets | xargs -P "$jobs" -n 1 "$self" --run-one "$seconds" || true

failed=""
printf '%-16s %14s %10s %8s  %s\n' target executions exec/s cov result
for name in $targets; do
    log=$build/logs/$name.log
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
    cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
    result=ok
    if [ -z "$execs" ] || grep -q -e 'ERROR: libFuzzer' -e 'SUMMARY: ' -e 'property failed' "$log"; then
        result="FINDING: $log"
        failed="$failed $name"
    fi
    printf '%-16s %14s %10s %8s  %s\n' "$name" "${execs:-?}" "${rate:-?}" "${cov:-?}" "$result"
done
if [ -n "$failed" ]; then
    echo "findings in:$failed" >&2
    exit 1
fi
echo "== no findings"
