#!/bin/sh
# The driver as an administrator installs it: `cmake --install` to a scratch
# prefix, registered with the installed `odbcinst -i -d -f` file, loaded by
# isql from there (it finds libkvsupp beside itself and fbsetup.so for the
# stored password), exporting the ODBC entry points and nothing else.
# Usage: installed_driver.sh BUILD_DIR SOURCE_DIR
set -eu
build=$(cd "$1" && pwd)
source=$(cd "$2" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/kvfb-installed-XXXXXX")
trap 'rm -rf "$work"' EXIT
failed=0
fail() { echo "FAIL: $*"; failed=1; }

cmake --install "$build" --prefix "$work/prefix" >/dev/null
libdir=$(dirname "$(find "$work/prefix" -name kvfbodbc.so | head -1)")
driver="$libdir/kvfbodbc.so"
template="$work/prefix/share/kvfbodbc/odbcinst.ini"
[ -f "$template" ] || fail "no registration file installed"

# Exported: exactly the names of the version script.
expected=$(grep -o 'SQL[A-Za-z]*' "$source/driver/kvfbodbc.map" | sort)
exported=$(nm -D --defined-only "$driver" | awk '{print $3}' | sort)
[ "$expected" = "$exported" ] || { echo "$exported"; fail "the driver exports more or less than its ODBC entry points"; }

mkdir "$work/lock"
export FIREBIRD_LOCK="$work/lock" FIREBIRD_TMP="$work" ODBCSYSINI="$work" ODBCINI="$work/odbc.ini"
"$build/bin/fbsetup_create_database" "$work/db.fdb" >/dev/null
# The installed template names the installed files (the prefix given at configure time):
# register a copy that points at the scratch prefix.
sed -e "s|^Driver = .*|Driver = $driver|" -e "s|^Setup = .*|Setup = $libdir/fbsetup.so|" "$template" >"$work/register.ini"
odbcinst -i -d -f "$work/register.ini" >/dev/null
: >"$ODBCINI"
"$work/prefix/bin/fbsetup_config_dsn" add "Kestrova Firebird" DSN=installed "Database=$work/db.fdb" User=SYSDBA Password=pw >/dev/null
out=$(printf 'SELECT 40 + 2 FROM RDB$DATABASE\n' | isql -b -d'|' installed 2>&1) || fail "isql exited with $?"
[ "$out" = "42" ] || { echo "$out"; fail "query through the installed driver"; }
exit $failed
