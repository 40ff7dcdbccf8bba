#!/bin/sh
# The API reference builds from the headers with every exported function
# documented; in a scratch copy of the tree with one contract comment taken
# away, the build fails and names that function.
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
echo "API reference built; a missing contract is named"
