#!/bin/sh
# Sets up a Firebird data source through unixODBC and fbsetup, for a database
# the demo creates, tests the connection and prints the odbc.ini section.
# Usage: scripts/demo-fbsetup.sh BUILD_DIR
# Everything lives in a temporary directory: /etc/odbc*.ini is never touched.
set -eu
build=$(cd "${1:?usage: $0 BUILD_DIR}" && pwd)
module="$build/lib/fbsetup.so"
work=$(mktemp -d "${TMPDIR:-/tmp}/fbsetup-demo-XXXXXX")
trap 'rm -rf "$work"' EXIT

step() { printf '\n== %s\n' "$*"; }

echo "fbsetup demo: a Firebird data source set up through unixODBC's installer"

step "1. Create a Firebird database with the embedded engine"
# The embedded engine keeps its lock files in FIREBIRD_LOCK; a directory of our
# own works for root and other users alike.
mkdir "$work/lock"
export FIREBIRD_LOCK="$work/lock" FIREBIRD_TMP="$work"
database="$work/sales.fdb"
"$build/bin/fbsetup_create_database" "$database"
echo "created $database"

step "2. Register the driver with Setup = fbsetup.so in a private odbcinst.ini"
export ODBCSYSINI="$work" ODBCINI="$work/odbc.ini"
cat >"$work/odbcinst.ini" <<INI
[Kestrova Firebird]
Description = Kestrova Firebird ODBC driver
Driver = $work/driver-not-needed-for-setup.so
Setup = $module
INI
: >"$work/odbc.ini"
cat "$work/odbcinst.ini"

step "3. The dialog's events: fill the fields, press Test, then OK"
cat >"$work/events" <<EVENTS
type KVFB-1101 Sales
type KVFB-1102 Sales figures (demo)
command Next
type KVFB-1201 $database
type KVFB-1202 SYSDBA
type KVFB-1203 masterkey
tab 3
check KVFB-1303 on
tab 4
type KVFB-1403 UTF8
command Test
command OK
EVENTS
cat "$work/events"
export FBSETUP_EVENTS="$work/events"

step "4. SQLConfigDataSource(ODBC_ADD_DSN, \"Kestrova Firebird\"): unixODBC loads fbsetup.so"
"$build/bin/fbsetup_config_dsn" add "Kestrova Firebird" 2>&1

step "5. The data source in $ODBCINI"
cat "$ODBCINI"

step "6. The same dialog as a real window"
cat <<TEXT
On a desktop (DISPLAY or WAYLAND_DISPLAY set) fbsetup.so shows the dialog as a GTK 3 window
(its module fbsetup_gtk.so) instead of answering it headless. To see it, register the driver
as in step 2 and run, without FBSETUP_EVENTS:

  DISPLAY=:0 ODBCSYSINI=DIR ODBCINI=DIR/odbc.ini $build/bin/fbsetup_config_dsn add "Kestrova Firebird" DSN=Sales

Without a desktop, under Xvfb, an event script drives the window: FBSETUP_GTK_EVENTS=FILE with
xvfb-run -a. FBSETUP_HEADLESS=1 keeps the dialog headless even where a display is reachable.
TEXT
