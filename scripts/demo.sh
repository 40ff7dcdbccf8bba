#!/bin/sh
# The demo: builds the project and walks a driver's road through libkvsupp.
set -eu
cd "$(dirname "$0")/.."
scripts/install-deps.sh

cmake -S . -B build/demo -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKV_BUILD_TESTS=OFF -DKV_BUILD_BENCH=OFF >/dev/null
cmake --build build/demo -j "$(nproc 2>/dev/null || echo 2)" >/dev/null

echo "=== a driver's road through libkvsupp"
build/demo/bin/driver_road
