#!/bin/sh
# unixODBC's isql against the driver: a table with a column of every
# Firebird type is created, filled and read back, and the output must be the
# expected text byte for byte; errors must carry their SQLSTATEs (isql is an
# ODBC 2 application: 42S02 reaches it as S0002); a DSN-less connection and
# the call trace must work. Run under with_datasource.sh.
# Usage: isql_test.sh SOURCE_DIR
set -eu
here=${1:?usage: $0 SOURCE_DIR}/tests/driver
out="$KVFB_TEST_DIR/out"
failed=0
fail() { echo "FAIL: $*"; failed=1; }

echo "== every type, written and read back"
isql -b -d'|' -c "$KVFB_DSN" <"$here/types.sql" >"$out" 2>"$out.err" || fail "isql exited with $?"
if ! diff -u "$here/types.expected" "$out"; then fail "the rows read back differ from types.expected"; fi
[ -s "$out.err" ] && { cat "$out.err"; fail "isql wrote errors"; }

echo "== errors carry SQLSTATEs (ODBC 2 states for isql)"
check_error() {  # statement, expected state
    printf '%s\n' "$1" | isql -b -v "$KVFB_DSN" >"$out" 2>&1 || true
    grep -q "^\[$2\]\[Kestrova ODBC Firebird\]" "$out" || { cat "$out"; fail "$1: no [$2] record"; }
}
check_error 'SELECT * FROM NO_SUCH_TABLE' S0002
check_error 'SELEC 1 FROM RDB$DATABASE' 37000
check_error 'INSERT INTO ALLTYPES (ID) VALUES (1)' 23000

echo "== a DSN-less connection through SQLDriverConnect"
printf 'SELECT COUNT(*) FROM ALLTYPES\n' |
    isql -b -d'|' -k "DRIVER={$KVFB_DRIVER};DATABASE=$KVFB_DATABASE;UID=SYSDBA;PWD=masterkey" >"$out" 2>&1 ||
    fail "isql -k exited with $?"
[ "$(cat "$out")" = "3" ] || { cat "$out"; fail "DSN-less count"; }

echo "== the call trace, turned on by the data source"
printf 'Trace = Yes\n' >>"$ODBCINI"
printf 'SELECT 1 FROM RDB$DATABASE\n' | isql -b "$KVFB_DSN" >"$out" 2>"$out.trace" || fail "traced isql exited with $?"
# The trace starts once the data source is read: with SQLConnect's exit.
for call in 'SQLConnect = SQL_SUCCESS' 'SQLPrepare(' 'SQLExecute = SQL_SUCCESS' 'SQLFetch = SQL_NO_DATA' 'SQLDisconnect = SQL_SUCCESS'; do
    grep -qF "$call" "$out.trace" || { head -20 "$out.trace"; fail "no trace line with $call"; }
done

exit $failed
