#!/bin/sh
# The ABI check on the built library, then on libraries relinked in a scratch
# copy of the tree from the same objects: one with an export made local, one
# with a changed signature, one with an export added. The first must pass,
# the others fail with the message that says what to do.
# Usage: abi_check_test.sh <build dir> <source dir>
set -eu
build=$1
source=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

"$source/scripts/abi-check.sh" "$build/lib/libkvsupp.so.1" || fail "the built library does not match the baseline"

# The scratch tree: the check, its baseline and the public headers.
mkdir -p "$work/tree/scripts"
cp "$source/scripts/abi-check.sh" "$work/tree/scripts/"
cp -r "$source/abi" "$source/include" "$source/support" "$work/tree/"
objects=$(ls "$build"/support/CMakeFiles/kvsupp_objects.dir/*.o)

# Links a libkvsupp.so.1 into $work/$1 from the objects, with the version
# script $2 and any further objects, and runs the scratch tree's check on it.
relink_and_check() {
    mkdir -p "$work/$1"
    dir=$1 map=$2
    shift 2
    # shellcheck disable=SC2086
    c++ -shared -o "$work/$dir/libkvsupp.so.1" -Wl,-soname,libkvsupp.so.1 -Wl,--no-undefined \
        -Wl,--version-script="$map" "$@" "$build/lib/libkvextra.so.1" -lm
    "$work/tree/scripts/abi-check.sh" "$work/$dir/libkvsupp.so.1" >"$work/$dir/out" 2>&1 && return 0
    status=$?; cat "$work/$dir/out"; return $status
}
expect_failure() {
    grep -q "$2" "$work/$1/out" || { cat "$work/$1/out"; fail "$1: the check does not say '$2'"; }
}

# Unchanged objects relinked pass.
# shellcheck disable=SC2086
relink_and_check same "$source/support/kvsupp.map" $objects || { cat "$work/same/out"; fail "a relinked library differs"; }

# An export made local.
sed 's/local: _Z\*;/local: _Z*; mutex_exit;/' "$source/support/kvsupp.map" >"$work/removed.map"
# shellcheck disable=SC2086
if relink_and_check removed "$work/removed.map" $objects; then fail "a removed export passed"; fi
expect_failure removed "disappeared or changed"

# mutex_entry taking a long instead of a pointer, header and source alike.
sed -i 's/int mutex_entry(void \*mutex)/int mutex_entry(long mutex)/' "$work/tree/include/kvsupp/threads.h"
sed -i 's/int mutex_entry(void \*)/int mutex_entry(long)/' "$work/tree/support/threads.cpp"
grep -q 'mutex_entry(long' "$work/tree/support/threads.cpp" || fail "the scratch edit of mutex_entry did not apply"
c++ -std=c++20 -g -O2 -fPIC -fvisibility=hidden -fno-ipa-icf -I"$work/tree/include" -I"$work/tree/support" \
    -c "$work/tree/support/threads.cpp" -o "$work/threads.o"
changed_objects=$(echo "$objects" | grep -v '/threads\.cpp\.o$')
# shellcheck disable=SC2086
if relink_and_check changed "$source/support/kvsupp.map" $changed_objects "$work/threads.o"; then
    fail "a changed signature passed"
fi
expect_failure changed "disappeared or changed"

# A new export.
printf '__attribute__((visibility("default"))) int kv_abi_probe(int x) { return x + 1; }\n' >"$work/probe.c"
cc -g -fPIC -c "$work/probe.c" -o "$work/probe.o"
# shellcheck disable=SC2086
if relink_and_check added "$source/support/kvsupp.map" $objects "$work/probe.o"; then fail "a new export passed"; fi
expect_failure added "new exports"
expect_failure added "abi-check.sh --update"
grep -q kv_abi_probe "$work/added/out" || fail "the report does not name the new export"

# The update records it: the check then passes.
"$work/tree/scripts/abi-check.sh" --update "$work/added/libkvsupp.so.1" >/dev/null
"$work/tree/scripts/abi-check.sh" "$work/added/libkvsupp.so.1" >/dev/null || fail "the updated baseline does not pass"
echo "ABI check passes on the built library and fails on removed, changed and added exports"
