#!/bin/sh
# Installs the Debian packages the project needs when they are missing.
# As root it runs apt-get; otherwise it prints the command to run.
set -eu

packages="cmake g++ make pkg-config googletest libgtest-dev libgmock-dev libbenchmark-dev
unixodbc unixodbc-dev odbcinst firebird-dev libfbclient2 firebird3.0-server-core libexpat1-dev"
# The locale sources localedef reads, for the tests in a decimal-comma locale.
packages="$packages locales"
# The fuzz targets: clang, libFuzzer (in clang's run-time) and the symbolizer.
packages="$packages clang libclang-rt-14-dev llvm"
# The ODBC client the driver is tested with from Python.
packages="$packages python3-pyodbc"

# GTK 3 for the setup dialog's desktop back-end; Xvfb, xdotool and a font for
# its tests (xauth for xvfb-run).
packages="$packages libgtk-3-dev libgtk-3-bin xvfb xauth xdotool fonts-dejavu-core"
missing=""
for p in $packages; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $p"
    fi
done

[ -z "$missing" ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
    echo "installing:$missing"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    # shellcheck disable=SC2086
    apt-get install -y -qq --no-install-recommends $missing
else
    echo "missing packages:$missing" >&2
    echo "run: sudo apt-get install -y$missing" >&2
    exit 1
fi
