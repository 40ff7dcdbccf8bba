#!/bin/sh
# Compares the interface of a built libkvsupp with the recorded baseline
# abi/libkvsupp.abi (an abidw dump: every export with its symbol version and
# the types of its parameters and results, as the public headers declare them).
#
#   scripts/abi-check.sh LIBRARY            check (used by the test suite)
#   scripts/abi-check.sh --update LIBRARY   record LIBRARY's interface as the baseline
#
# LIBRARY is a libkvsupp.so.1 built with debug information (RelWithDebInfo
# or Debug), for example build/ci-release/lib/libkvsupp.so.1. The check fails
# when an export disappears or changes, and also when one is added: every
# export is a promise for the life of KVSUPP_1, so it is recorded on purpose,
# by running --update and committing the baseline with the change.
# ABI_BASELINE overrides the baseline's path (the test suite uses it).
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
baseline=${ABI_BASELINE:-$root/abi/libkvsupp.abi}
update=no
if [ "${1:-}" = --update ]; then
    update=yes
    shift
fi
[ $# -eq 1 ] || { echo "usage: $0 [--update] LIBRARY" >&2; exit 2; }
library=$1

command -v abidw >/dev/null || { echo "abidw is missing: install abigail-tools" >&2; exit 2; }
[ -f "$library" ] || { echo "no library at $library" >&2; exit 2; }
if ! readelf -S "$library" | grep -q '\.debug_info'; then
    echo "$library has no debug information: build it as RelWithDebInfo or Debug" >&2
    exit 2
fi

# Only the public headers' types are recorded; source locations and paths
# are left out so that the baseline changes only when the interface does.
dump() {
    abidw --exported-interfaces-only --headers-dir "$root/include" --drop-private-types --no-show-locs --no-corpus-path \
          --no-comp-dir-path --no-elf-needed --type-id-style hash --out-file "$1" "$library"
}

if [ "$update" = yes ]; then
    dump "$baseline"
    echo "recorded the interface of $library in $baseline"
    exit 0
fi

[ -f "$baseline" ] || { echo "no baseline at $baseline: run $0 --update $library" >&2; exit 2; }
report=$(mktemp)
trap 'rm -f "$report"' EXIT
status=0
abidiff --exported-interfaces-only --headers-dir2 "$root/include" --drop-private-types "$baseline" "$library" >"$report" || status=$?
[ "$status" -eq 0 ] && { echo "the interface matches $baseline"; exit 0; }
cat "$report"
# abidiff's status is a bit set: 1 tool error, 2 usage error, 4 a change,
# 8 an incompatible change (an export removed).
if [ $((status & 3)) -ne 0 ]; then
    echo "abidiff could not compare $library with $baseline" >&2
    exit 2
fi
removed_or_changed=$(grep -E 'changes summary: ([1-9][0-9]* Removed|[0-9]+ Removed[^,]*, [1-9][0-9]* Changed)' \
                     "$report" || true)
if [ $((status & 8)) -ne 0 ] || [ -n "$removed_or_changed" ] ||
   ! grep -q 'changes summary: ' "$report"; then
    cat >&2 <<MSG
FAIL: an export of libkvsupp disappeared or changed (report above).
Programs built against KVSUPP_1 would break: restore the export. A change that
is meant needs, once KVSUPP_1 is released, a new version node in
support/kvsupp.map (or a new SONAME), and then a new baseline:
    scripts/abi-check.sh --update $library
MSG
    exit 1
fi
cat >&2 <<MSG
FAIL: libkvsupp has new exports (report above), not yet in the recorded ABI.
If they are meant, record them and commit the baseline with the change:
    scripts/abi-check.sh --update $library
MSG
exit 1
