#!/bin/sh
# The driver at work: a Firebird database, the driver registered with
# unixODBC (`odbcinst -i -d -f`), a data source added through fbsetup, and
# unixODBC's isql creating, filling and querying a table through the driver.
# Usage: scripts/demo-driver.sh BUILD_DIR
# Everything lives in a temporary directory: /etc/odbc*.ini is never touched.
set -eu
build=$(cd "${1:?usage: $0 BUILD_DIR}" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/kvfb-demo-XXXXXX")
trap 'rm -rf "$work"' EXIT
step() { printf '\n== %s\n' "$*"; }
echo "driver demo: isql through unixODBC and the Kestrova Firebird driver"

step "1. An embedded Firebird database"
mkdir "$work/lock"
export FIREBIRD_LOCK="$work/lock" FIREBIRD_TMP="$work"
"$build/bin/fbsetup_create_database" "$work/shop.fdb"
echo "created $work/shop.fdb"

step "2. Register the driver: odbcinst -i -d -f odbcinst.ini"
export ODBCSYSINI="$work" ODBCINI="$work/odbc.ini"
cat "$build/share/kvfbodbc/odbcinst-build.ini"
odbcinst -i -d -f "$build/share/kvfbodbc/odbcinst-build.ini"
odbcinst -q -d

step "3. A data source through fbsetup (SQLConfigDataSource, unattended)"
: >"$ODBCINI"
"$build/bin/fbsetup_config_dsn" add "Kestrova Firebird" "DSN=Shop" "Description=Demo shop" \
    "Database=$work/shop.fdb" "User=SYSDBA" "Password=masterkey" "Charset=UTF8"
grep -E '^\[|^(Driver|Database|User|Password|Charset)=' "$ODBCINI"

step "4. isql: create and fill a table (escapes included)"
cat >"$work/fill.sql" <<'SQL'
CREATE TABLE ORDERS (ID INTEGER NOT NULL PRIMARY KEY, CUSTOMER VARCHAR(30), AMOUNT NUMERIC(18,2), ORDERED DATE, NOTE BLOB SUB_TYPE TEXT)
INSERT INTO ORDERS VALUES (1, 'Ada Lovelace', 1234.50, {d '2026-12-01'}, 'first order')
INSERT INTO ORDERS VALUES (2, 'Émile Borel', 99.99, {fn TIMESTAMPADD(SQL_TSI_DAY, 3, {d '2026-12-01'})}, NULL)
INSERT INTO ORDERS VALUES (3, {fn UCASE('grace hopper')}, 0.01, CURRENT_DATE, 'a note')
SQL
cat "$work/fill.sql"
isql -b -v Shop <"$work/fill.sql"

step "5. isql: the rows, read back through the driver"
echo "SELECT ID, CUSTOMER, AMOUNT, ORDERED, {fn DAYNAME(ORDERED)} AS WEEKDAY, NOTE FROM ORDERS ORDER BY ID" | isql -b -v -m24 Shop
