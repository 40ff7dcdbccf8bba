#!/bin/sh
# Installs the build into a temporary prefix and has unixODBC load the
# installed fbsetup.so: the unattended dialog writes the data source only when
# the module found its description files in the installed tree.
# Usage: installed_tree.sh BUILD_DIR CONFIG_DSN_PROGRAM
set -eu
build=$1
config_dsn=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/fbsetup-installed-XXXXXX")
trap 'rm -rf "$work"' EXIT

cmake --install "$build" --prefix "$work/prefix" >/dev/null
module=$(find "$work/prefix" -name fbsetup.so)
[ -n "$module" ] || { echo "fbsetup.so was not installed"; exit 1; }
for ui in ZUVazad.ui ZUVazadNoDsn.ui; do
    [ -f "$work/prefix/share/com.kestrova.fbsetup/$ui" ] || { echo "$ui was not installed"; exit 1; }
done
[ -f "$work/prefix/include/fbsetup.h" ] || { echo "fbsetup.h was not installed"; exit 1; }
exported=$(nm -D --defined-only "$module" | awk '{print $3}' | LC_ALL=C sort | tr '\n' ' ')
[ "$exported" = "ConfigDSN ConfigDriver ODBCINSTGetProperties complete_error complete_info decrypt_pw encrypt_pw " ] ||
    { echo "fbsetup.so exports more or less than its entry points: $exported"; exit 1; }

# Servers run fbsetup.so without GTK: only its own module may need it.
if readelf -d "$module" | grep -q 'NEEDED.*gtk'; then
    echo "fbsetup.so needs GTK"; exit 1
fi

export ODBCSYSINI="$work" ODBCINI="$work/odbc.ini"
unset FBSETUP_EVENTS || true
printf '[Kestrova Firebird]\nDriver = %s/none.so\nSetup = %s\n' "$work" "$module" >"$work/odbcinst.ini"
: >"$work/odbc.ini"
"$config_dsn" add "Kestrova Firebird" dsn=Installed database=/srv/installed.fdb
grep -q '^\[Installed\]' "$work/odbc.ini" || { echo "the installed module wrote no data source"; cat "$work/odbc.ini"; exit 1; }
grep -q '^Database=/srv/installed.fdb' "$work/odbc.ini"

# A display that cannot be opened, or no GTK module at all, leaves the dialog
# headless (with a note saying why).
unset FBSETUP_HEADLESS
DISPLAY=:4095 "$config_dsn" add "Kestrova Firebird" dsn=NoDisplay database=/srv/nodisplay.fdb 2>"$work/said"
grep -q '^\[NoDisplay\]' "$work/odbc.ini" || { echo "no data source without a display"; cat "$work/said"; exit 1; }
rm -f "$(dirname "$module")/fbsetup_gtk.so"
DISPLAY=:4095 "$config_dsn" add "Kestrova Firebird" dsn=NoModule database=/srv/nomodule.fdb 2>"$work/said"
grep -q '^\[NoModule\]' "$work/odbc.ini" || { echo "no data source without the GTK module"; cat "$work/said"; exit 1; }
grep -q 'no GTK window' "$work/said" || { echo "no note on the missing GTK module"; cat "$work/said"; exit 1; }
