#!/bin/sh
# Installs the Debian packages the project needs when they are missing.
# As root it runs apt-get; otherwise it prints the command to run.
set -eu
cd "$(dirname "$0")/.."

packages="cmake g++ make pkg-config googletest libgtest-dev libgmock-dev libbenchmark-dev
unixodbc unixodbc-dev odbcinst firebird-dev libfbclient2 firebird3.0-server-core libexpat1-dev"
# The locale sources localedef reads, for the tests in a decimal-comma locale.
packages="$packages locales"
# abidw/abidiff for the recorded interface (abi/libkvsupp.abi).
packages="$packages abigail-tools"
# Doxygen for the API reference (scripts/apidoc.sh).
packages="$packages doxygen"
# iODBC's installer library, for the iODBC build of fbsetup (headers below).
packages="$packages libiodbc2"
# The fuzz targets: clang, libFuzzer (in clang's run-time) and the symbolizer.
packages="$packages clang libclang-rt-14-dev llvm"
# The ODBC client the driver is tested with from Python.
packages="$packages python3-pyodbc"

# GTK 3 for the setup dialog's desktop back-end; Xvfb, xdotool and a font for
# its tests (xauth for xvfb-run).
packages="$packages libgtk-3-dev libgtk-3-bin xvfb xauth xdotool fonts-dejavu-core"

# The packaging tools (scripts/package.sh, and the test suite that checks the packages).
if [ "${1:-}" = --packaging ]; then
    packages="$packages debhelper dpkg-dev lintian"
fi

missing=""
for p in $packages; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $p"
    fi
done

if [ -z "$missing" ]; then
    :
elif [ "$(id -u)" -eq 0 ]; then
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

# iODBC's headers: Debian's libiodbc2-dev conflicts with unixodbc-dev, so the
# package (of the installed libiodbc2's version) is unpacked into
# build/iodbc-dev rather than installed; CMake looks for it there.
iodbc_dev=build/iodbc-dev
if [ ! -f /usr/include/iodbc/iodbcinst.h ] && [ ! -f "$iodbc_dev/usr/include/iodbc/iodbcinst.h" ]; then
    download=$(mktemp -d)
    # Into a private directory: apt's sandbox user could not write there.
    (cd "$download" && apt-get download -qq -o APT::Sandbox::User=root \
        "libiodbc2-dev=$(dpkg-query -W -f='${Version}' libiodbc2)")
    mkdir -p "$iodbc_dev"
    dpkg -x "$download"/libiodbc2-dev_*.deb "$iodbc_dev"
    rm -rf "$download"
fi
