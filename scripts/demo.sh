#!/bin/sh
# The demo: builds the project, walks a driver's road through libkvsupp and
# sets up a Firebird data source through unixODBC and fbsetup.
set -eu
cd "$(dirname "$0")/.."
scripts/install-deps.sh

cmake -S . -B build/demo -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKV_BUILD_TESTS=OFF -DKV_BUILD_BENCH=OFF >/dev/null
cmake --build build/demo -j "$(nproc 2>/dev/null || echo 2)" >/dev/null

# Each example program is one stretch of the road, in the order a driver meets them.
for program in driver_road profile_longdata numerics values literals_dates connect_strings date_numeric_functions trace_cursors printer; do
    if [ -x "build/demo/bin/$program" ]; then
        echo
        "build/demo/bin/$program"
    fi
done

if [ -x scripts/demo-fbsetup.sh ]; then
    echo
    scripts/demo-fbsetup.sh build/demo
    # The real dialog on a desktop: DISPLAY=:0 build/demo/bin/fbsetup_config_dsn add "Kestrova Firebird" DSN=Sales
    echo "(the dialog as a GTK window: DISPLAY=... build/demo/bin/fbsetup_config_dsn add \"Kestrova Firebird\" DSN=Sales)"
fi
if [ -x scripts/demo-driver.sh ]; then
    echo
    scripts/demo-driver.sh build/demo
fi
