#!/bin/sh
# Runs a command against a fresh embedded Firebird database behind a data
# source, set up as an administrator would: the driver registered with
# `odbcinst -i -d -f`, the data source added through fbsetup (unattended).
# Everything lives in a temporary directory named by private ini files.
# Usage: with_datasource.sh BUILD_DIR COMMAND [ARG...]
# The command sees KVFB_DSN, KVFB_DRIVER, KVFB_DATABASE and KVFB_TEST_DIR.
# With KVFB_PRELOAD set (the sanitizer build), the command runs with those
# runtime libraries preloaded, so an unsanitized isql or python3 can load
# the sanitized driver.
set -eu
build=$(cd "${1:?usage: $0 BUILD_DIR COMMAND...}" && pwd)
shift
work=$(mktemp -d "${TMPDIR:-/tmp}/kvfb-test-XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir "$work/lock"
export FIREBIRD_LOCK="$work/lock" FIREBIRD_TMP="$work"
export ODBCSYSINI="$work" ODBCINI="$work/odbc.ini"
export KVFB_TEST_DIR="$work" KVFB_DATABASE="$work/test.fdb" KVFB_DSN=kvfbtest KVFB_DRIVER="Kestrova Firebird"
# The helpers are not under test: in the sanitizer build they skip the leak check.
ASAN_OPTIONS="${ASAN_OPTIONS:-}:detect_leaks=0" "$build/bin/fbsetup_create_database" "$KVFB_DATABASE" >/dev/null
odbcinst -i -d -f "$build/share/kvfbodbc/odbcinst-build.ini" >/dev/null
: >"$ODBCINI"
ASAN_OPTIONS="${ASAN_OPTIONS:-}:detect_leaks=0" "$build/bin/fbsetup_config_dsn" add "$KVFB_DRIVER" "DSN=$KVFB_DSN" "Database=$KVFB_DATABASE" \
    "User=SYSDBA" "Password=masterkey" "Charset=UTF8" >/dev/null
if [ -n "${KVFB_PRELOAD:-}" ]; then
    LD_PRELOAD="$KVFB_PRELOAD" "$@"
else
    "$@"
fi
