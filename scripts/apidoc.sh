#!/bin/sh
# Builds the API reference from the public headers' contract comments with
# Doxygen, and fails, naming them, when an exported function has no contract.
#   scripts/apidoc.sh [OUT]     HTML in OUT/html (default build/apidoc)
set -eu
cd "$(dirname "$0")/.."
command -v doxygen >/dev/null || { echo "doxygen is missing: run scripts/install-deps.sh" >&2; exit 2; }

KV_SOURCE_DIR=$(pwd)
KV_APIDOC_DIR=$(realpath -m "${1:-build/apidoc}")
KV_VERSION=$(sed -n 's/^project(kvsupp VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
export KV_SOURCE_DIR KV_APIDOC_DIR KV_VERSION
rm -rf "$KV_APIDOC_DIR"
mkdir -p "$KV_APIDOC_DIR"
doxygen doc/Doxyfile

log=$KV_APIDOC_DIR/warnings.log
# Doxygen's warning for a function without documentation:
#   FILE:LINE: warning: Member NAME(ARGS) (function) of file F is not documented.
undocumented=$(sed -n 's/^\([^:]*:[0-9]*\): warning: Member \([^ (]*\).* (function) of .* is not documented\.$/\1: \2/p' "$log")
if [ -n "$undocumented" ]; then
    echo "FAIL: these public functions have no contract comment (put one on the line above each):" >&2
    echo "$undocumented" | sed "s|^$KV_SOURCE_DIR/||; s/^/  /" >&2
    exit 1
fi
# Any other warning is a comment Doxygen could not render as written.
malformed=$(grep 'warning:' "$log" | grep -v 'is not documented\.$' || true)
if [ -n "$malformed" ]; then
    echo "FAIL: Doxygen could not read these comments as written:" >&2
    echo "$malformed" | sed "s|^$KV_SOURCE_DIR/||; s/^/  /" >&2
    exit 1
fi
# Records and members without a comment of their own are listed in the log,
# not failed: many are described by their record's comment.
others=$(grep -c 'warning:' "$log" || true)
[ "$others" -eq 0 ] || echo "note: $others records and members without a comment of their own: see $log"
echo "API reference: $KV_APIDOC_DIR/html/index.html"
