#!/bin/sh
# The API reference builds from the headers with every exported function
# documented; in a scratch copy of the tree with one contract comment taken
# away, the build fails and names that function, and with a comment Doxygen
# cannot read, it fails and points at it.
# Usage: apidoc_test.sh <source dir>
set -eu
source=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

"$source/scripts/apidoc.sh" "$work/apidoc" || fail "the API reference does not build"
grep -q 'ListLast' "$work/apidoc/html/list_8h.html" || fail "list.h's page lacks ListLast"

mkdir -p "$work/tree/scripts" "$work/tree/setup"
cp -r "$source/include" "$source/doc" "$source/CMakeLists.txt" "$work/tree/"
cp "$source/scripts/apidoc.sh" "$work/tree/scripts/"
cp "$source/setup/fbsetup.h" "$work/tree/setup/"
# Drop the comment above ListCount.
sed -i '/^\/\* Number of items; 0 for NULL. \*\/$/d' "$work/tree/include/kvsupp/list.h"
! grep -q 'Number of items' "$work/tree/include/kvsupp/list.h" || fail "the scratch edit did not apply"
if "$work/tree/scripts/apidoc.sh" "$work/bad" >"$work/out" 2>&1; then
    fail "a function without its contract passed"
fi
grep -q 'include/kvsupp/list.h:[0-9]*: ListCount$' "$work/out" || { cat "$work/out"; fail "the failure does not name ListCount"; }

# A comment Doxygen cannot read as written fails too, and is pointed at.
cp "$source/include/kvsupp/list.h" "$work/tree/include/kvsupp/list.h"
sed -i 's|^/\* Number of items; 0 for NULL. \*/$|/* Number of items; 0 for NULL. @nosuchcommand */|' "$work/tree/include/kvsupp/list.h"
grep -q 'nosuchcommand' "$work/tree/include/kvsupp/list.h" || fail "the second scratch edit did not apply"
if "$work/tree/scripts/apidoc.sh" "$work/bad" >"$work/out" 2>&1; then
    fail "a comment Doxygen cannot read passed"
fi
grep -q 'could not read' "$work/out" && grep -q 'include/kvsupp/list.h:[0-9]*: warning:.*nosuchcommand' "$work/out" ||
    { cat "$work/out"; fail "the failure does not point at the comment"; }
echo "API reference built; a missing contract is named, a comment Doxygen cannot read is pointed at"
