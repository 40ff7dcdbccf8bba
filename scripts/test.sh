#!/bin/sh
# Builds everything with warnings as errors and runs the whole suite twice:
# a normal build (which also builds and checks the Debian packages), then an
# AddressSanitizer + UndefinedBehaviorSanitizer build. Between them, fbsetup
# is built against iODBC and tested through iODBC's installer; at the end,
# every fuzz target runs for a short time.
set -eu
cd "$(dirname "$0")/.."
scripts/install-deps.sh --packaging

jobs=$(nproc 2>/dev/null || echo 2)

run_suite() {
    dir=$1
    shift
    cmake -S . -B "$dir" -DKV_WERROR=ON "$@"
    cmake --build "$dir" -j "$jobs"
    ctest --test-dir "$dir" --output-on-failure -j "$jobs"
}

echo "== normal build"
run_suite build/ci-release -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKV_PACKAGE_TESTS=ON
echo "== fbsetup built against iODBC (FBSETUP_ODBC_INSTALLER=iODBC): its test through iODBC"
cmake -S . -B build/ci-iodbc -DKV_WERROR=ON -DKV_BUILD_BENCH=OFF -DFBSETUP_ODBC_INSTALLER=iODBC
cmake --build build/ci-iodbc -j "$jobs" --target fbsetup fbsetup_config_dsn fbsetup_create_database
ctest --test-dir build/ci-iodbc --output-on-failure -R '^fbsetup_through_iodbc$'
echo "== AddressSanitizer + UndefinedBehaviorSanitizer build"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
run_suite build/ci-sanitize -DCMAKE_BUILD_TYPE=Debug -DKV_SANITIZE=ON
echo "== all tests passed in both builds"
# A short run of every fuzz target on its corpus (clang, libFuzzer, ASan and
# UBSan), KV_FUZZ_SECONDS (30) seconds a target, as many at once as there are cores.
echo "== fuzz targets"
scripts/fuzz.sh --seconds "${KV_FUZZ_SECONDS:-30}"
