#!/bin/sh
# Installs the build into a scratch prefix and checks what a driver author
# gets there: the shared libraries with their SONAMEs, NEEDED entry and
# RUNPATH, an interface that exports nothing internal, and a C program built
# against the installed headers alone, once with pkg-config and once with
# find_package(kvsupp).
# Usage: install_test.sh <build dir> <source dir> [<installed prefix>]
# With a prefix (for example the /usr of the installed packages) the checks
# run on it instead of a fresh `cmake --install`.
set -eu
build=$1
source=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }

if [ $# -ge 3 ]; then
    prefix=$3
else
    prefix=$work/prefix
    cmake --install "$build" --prefix "$prefix" >/dev/null
fi
pc=$(find "$prefix" -name kvsupp.pc)
[ -n "$pc" ] || fail "kvsupp.pc is not installed"
libdir=$(dirname "$(dirname "$pc")")
supp="$libdir/libkvsupp.so.1"
extra="$libdir/libkvextra.so.1"
[ -f "$supp" ] && [ -f "$extra" ] || fail "libraries missing under $libdir"
[ -f "$prefix/include/kvsupp.h" ] || fail "kvsupp.h is not installed"

readelf -d "$supp" | grep -q 'SONAME.*\[libkvsupp.so.1\]' || fail "libkvsupp SONAME"
readelf -d "$extra" | grep -q 'SONAME.*\[libkvextra.so.1\]' || fail "libkvextra SONAME"
readelf -d "$supp" | grep -q 'NEEDED.*\[libkvextra.so.1\]' || fail "libkvsupp does not record libkvextra"
readelf -d "$supp" | grep -q 'RUNPATH.*\[\$ORIGIN\]' || fail "libkvsupp RUNPATH is not \$ORIGIN"

# Every export carries the interface's version, KVSUPP_1.
unversioned=$(nm -D --defined-only "$supp" | awk '$2 != "A" && $3 !~ /@@KVSUPP_1$/ {print $3}')
[ -z "$unversioned" ] || fail "exports without the version KVSUPP_1: $unversioned"
exported=$(nm -D --defined-only "$supp" | awk '$2 != "A" {sub(/@.*/, "", $3); print $3}')
bad=$(echo "$exported" | grep -E '^_Z|^kv_sys_|^kv_test_|^kv_eval_error' || true)
[ -z "$bad" ] || fail "internal symbols exported: $bad"
echo "$exported" | grep -qx map_table || fail "map_table is not exported"
[ "$(nm -D --defined-only "$extra" | awk '{print $3}')" = "__dummy_function" ] ||
    fail "libkvextra must export __dummy_function alone"

# libkvextra is found through RUNPATH alone: no search path is given here.
cc -std=c99 -Wall -Wextra -Werror -o "$work/dlopen_check" -x c - -ldl <<'PROGRAM'
#include <dlfcn.h>
#include <stdio.h>
int main(int argc, char **argv)
{
    void *lib = dlopen(argv[argc - 1], RTLD_NOW);
    if (!lib) { fprintf(stderr, "%s\n", dlerror()); return 1; }
    void (*dummy)(void) = (void (*)(void))dlsym(lib, "__dummy_function");
    if (!dummy) { fprintf(stderr, "__dummy_function is not reachable\n"); return 1; }
    dummy();
    return 0;
}
PROGRAM
"$work/dlopen_check" "$supp" || fail "libkvsupp does not load with libkvextra beside it"
# And by its SONAME, as a program linked against it finds it.
LD_LIBRARY_PATH="$libdir" "$work/dlopen_check" libkvsupp.so.1 || fail "libkvsupp.so.1 does not load by its SONAME"

export PKG_CONFIG_PATH="$(dirname "$pc")"
# shellcheck disable=SC2046
cc -std=c99 -Wall -Wextra -Wpedantic -Werror -o "$work/every_function_pc" \
    "$source/tests/install/every_function.c" $(pkg-config --cflags --libs kvsupp)
LD_LIBRARY_PATH="$libdir" "$work/every_function_pc" || fail "the pkg-config build does not run"

cmake -S "$source/tests/install" -B "$work/consumer" -DCMAKE_PREFIX_PATH="$prefix" \
    -DCMAKE_C_FLAGS="-Wall -Wextra -Werror" >/dev/null || fail "find_package(kvsupp) does not configure"
cmake --build "$work/consumer" >/dev/null || fail "the find_package build fails"
LD_LIBRARY_PATH="$libdir" "$work/consumer/every_function" || fail "the find_package build does not run"
echo "installed tree checked"
