#!/bin/sh
# fbsetup built against iODBC's installer library, reached as iODBC reaches
# it: iODBC's SQLConfigDataSource (through fbsetup_config_dsn built against
# iODBC) finds the driver in the test's odbcinst.ini (ODBCINSTINI), loads the
# module named by its Setup key and calls ConfigDSN, headless. The data
# sources go to the test's odbc.ini (ODBCINI).
# Usage: iodbc_test.sh MODULE CONFIG_DSN CREATE_DATABASE
set -eu
module=$1
config_dsn=$2
create_database=$3
work=$(mktemp -d "${TMPDIR:-/tmp}/fbsetup-iodbc-XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; [ -f "$work/odbc.ini" ] && cat "$work/odbc.ini" >&2; exit 1; }

driver="Kestrova Firebird"
printf '[ODBC Drivers]\n%s = Installed\n\n[%s]\nDriver = %s/none.so\nSetup = %s\n' \
    "$driver" "$driver" "$work" "$module" >"$work/odbcinst.ini"
: >"$work/odbc.ini"
export ODBCINSTINI="$work/odbcinst.ini" ODBCINI="$work/odbc.ini"
export FIREBIRD_LOCK="$work/lock" FIREBIRD_TMP="$work"
unset FBSETUP_EVENTS || true

# Runs a request; $1 is the expected outcome (TRUE or FALSE).
request() {
    expected=$1
    shift
    "$config_dsn" "$@" >"$work/out" 2>&1 || true
    grep -q "): $expected\$" "$work/out" || { cat "$work/out"; fail "$* did not give $expected"; }
}
value() { sed -n "/^\[$1\]/,/^\[/s/^$2 *= *//p" "$work/odbc.ini"; }

# Unattended add: the attributes given are written.
request TRUE add "$driver" DSN=Sales Database=/srv/sales.fdb UID=SYSDBA
[ "$(value Sales Database)" = /srv/sales.fdb ] || fail "add did not write the database"
[ "$(value Sales User)" = SYSDBA ] || fail "add did not write the user"
grep -q '^Sales *= *Kestrova Firebird' "$work/odbc.ini" || fail "add did not list the data source"

# Configure updates the section in place: a key the module does not know stays.
printf 'Custom = kept\n' >>"$work/odbc.ini"
request TRUE config "$driver" DSN=Sales Description=Monthly
[ "$(value Sales Description)" = Monthly ] || fail "configure did not write the description"
[ "$(value Sales Custom)" = kept ] || fail "configure lost a key it does not know"
[ "$(value Sales Database)" = /srv/sales.fdb ] || fail "configure lost the stored database"

# Refusals reach the caller with the module's own texts.
request FALSE add "$driver" DSN=NoDatabase
grep -q 'installer error 11: A target database must be specified' "$work/out" || { cat "$work/out"; fail "refusal text"; }
request FALSE config "$driver" DSN=Missing Description=x
grep -q 'installer error 9: ' "$work/out" || { cat "$work/out"; fail "configure of a missing data source"; }
request FALSE add "$driver" DSN=Sales Database=/x.fdb Dialect=7
grep -q 'installer error 8: ' "$work/out" || { cat "$work/out"; fail "a value out of range"; }

# An event script: Test against a real embedded database, then OK.
# (A helper, not under test: LeakSanitizer cannot follow the embedded engine's exit.)
ASAN_OPTIONS="${ASAN_OPTIONS:-}:detect_leaks=0" "$create_database" "$work/real.fdb" >/dev/null ||
    fail "could not create a database"
printf 'type KVFB-1101 Real\ncommand Next\ntype KVFB-1201 %s\ntype KVFB-1202 SYSDBA\ncommand Test\ncommand OK\n' \
    "$work/real.fdb" >"$work/events"
FBSETUP_EVENTS="$work/events" request TRUE add "$driver"
grep -q 'Connect test completed successfully' "$work/out" || { cat "$work/out"; fail "the test connection"; }
[ "$(value Real Database)" = "$work/real.fdb" ] || fail "the scripted add did not write the database"

printf 'command Cancel\n' >"$work/cancel"
FBSETUP_EVENTS="$work/cancel" request FALSE add "$driver" DSN=Cancelled Database=/x.fdb
grep -q 'installer error 16: ' "$work/out" || { cat "$work/out"; fail "Cancel"; }
grep -q '^\[Cancelled\]' "$work/odbc.ini" && fail "Cancel wrote a data source"

request TRUE remove "$driver" DSN=Sales
grep -q '^\[Sales\]' "$work/odbc.ini" && fail "remove left the section"
[ "$(value Real Database)" = "$work/real.fdb" ] || fail "remove touched another data source"
echo "fbsetup works through iODBC's installer"
