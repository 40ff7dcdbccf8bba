#!/bin/sh
# Builds the benchmarks (optimised) and runs them; each prints its ratios
# against a baseline measured in the same run. Extra arguments go to every
# benchmark program (for example --benchmark_repetitions=5).
set -eu
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DKV_BUILD_TESTS=OFF >/dev/null
cmake --build build/bench -j "$(nproc 2>/dev/null || echo 2)" >/dev/null
for program in build/bench/bin/bench_*; do
    echo "=== $(basename "$program")"
    "$program" "$@"
done
