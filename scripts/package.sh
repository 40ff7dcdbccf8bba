#!/bin/sh
# Builds the Debian packages (debian/, with dpkg-buildpackage) from a copy of
# the working tree and checks them with lintian.
#   scripts/package.sh [OUT]     the .deb files land in OUT (default build/packages)
set -eu
cd "$(dirname "$0")/.."
scripts/install-deps.sh --packaging

out=$(realpath -m "${1:-build/packages}")
version=$(dpkg-parsechangelog -S Version)
project_version=$(sed -n 's/^project(kvsupp VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
if [ "$version" != "$project_version" ]; then
    echo "debian/changelog is at $version but CMakeLists.txt at $project_version: add a changelog entry" >&2
    exit 1
fi

# dpkg-buildpackage writes its results beside the source directory, so the
# source is copied into OUT: nothing is written outside it.
rm -rf "$out"
src="$out/kvsupp-$version"
mkdir -p "$src"
tar --exclude=./build --exclude=./.git --exclude='./obj-*' -cf - . | tar -xf - -C "$src"

# ccache, when there is one, serves repeated package builds.
if command -v ccache >/dev/null; then
    export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache
fi
(cd "$src" && dpkg-buildpackage -b -us -uc -j"$(nproc)" >"$out/build.log" 2>&1) ||
    { tail -50 "$out/build.log"; echo "dpkg-buildpackage failed: see $out/build.log" >&2; exit 1; }
rm -rf "$src"

echo "== lintian"
lintian --fail-on error --display-info "$out"/*.deb
ls "$out"/*.deb
