#!/bin/sh
# Installs the built Debian packages with dpkg into a scratch root (its own
# dpkg database, a copy of the host's, so dependencies are checked for real)
# and checks them as a user meets them: the installed-tree test on its /usr,
# the setup module and the driver reached through unixODBC from their
# installed place, and the driver's entry in the root's odbcinst.ini through
# install, reinstall and purge. The host's own files are not touched.
# Usage: package_test.sh <packages dir> <source dir> <build dir>
set -eu
packages=$1
source=$2
build=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

root=$work/root
admin=$root/var/lib/dpkg
mkdir -p "$admin/info" "$admin/updates" "$root/etc"
cp /var/lib/dpkg/status "$admin/status"
cp /var/lib/dpkg/info/*.list "$admin/info/"
[ -f /var/lib/dpkg/arch ] && cp /var/lib/dpkg/arch "$admin/arch"
: >"$admin/available"

# The maintainer scripts run outside a chroot, with DPKG_ROOT naming the root.
dpkg_root() { dpkg --root="$root" --force-script-chrootless "$@" >>"$work/dpkg.log" 2>&1 ||
              { cat "$work/dpkg.log"; fail "dpkg $*"; }; }
deb() { ls "$packages/$1"_*.deb; }
host_ini=$(cat /etc/odbcinst.ini 2>/dev/null || echo absent)
ini=$root/etc/odbcinst.ini
name="Kestrova Firebird"

# An administrator's own driver, which must survive everything below.
printf '[Other]\nDriver=/usr/lib/other.so\n' >"$ini"

# The entry once, counted once, with the installed module's path.
check_registered() {
    [ "$(grep -c "^\[$name\]" "$ini")" = 1 ] || { cat "$ini"; fail "$1: the entry is not there exactly once"; }
    section=$(sed -n "/^\[$name\]/,/^\[/p" "$ini")
    echo "$section" | grep -qx 'UsageCount=1' || { cat "$ini"; fail "$1: usage count is not 1"; }
    echo "$section" | grep -q '^Setup=/usr/lib/.*/odbc/fbsetup.so$' || { cat "$ini"; fail "$1: no Setup path"; }
    echo "$section" | grep -q '^Driver=/usr/lib/.*/odbc/kvfbodbc.so$' || { cat "$ini"; fail "$1: no Driver path"; }
    grep -q '^\[Other\]' "$ini" || fail "$1: the administrator's entry is gone"
}

dpkg_root -i "$(deb libkvsupp1)" "$(deb libkvsupp-dev)" "$(deb fbsetup)" "$(deb fbsetup-gtk)" "$(deb kvfbodbc)"
check_registered install
dpkg_root -i "$(deb kvfbodbc)"
check_registered reinstall

usr=$root/usr
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
module=$usr/lib/$multiarch/odbc/fbsetup.so
[ -f "$module" ] || fail "fbsetup.so is not in <libdir>/odbc"
[ -f "$(dirname "$module")/fbsetup_gtk.so" ] || fail "fbsetup_gtk.so is not beside fbsetup.so"
for key in Setup Driver; do
    [ -f "$root$(sed -n "/^\[$name\]/,/^\[/s/^$key=//p" "$ini")" ] || fail "the registered $key is not an installed file"
done

# The development files as a driver author meets them.
"$source/tests/install/install_test.sh" "$build" "$source" "$usr" || fail "installed-tree test on the packages"

# unixODBC loads the installed module, which finds its description files in
# the installed tree; the unattended dialog writes the data source; isql then
# reads a row through the installed driver (libkvsupp from the root's libdir).
mkdir "$work/odbc" "$work/lock"
printf '[%s]\nDriver = %s\nSetup = %s\n' "$name" "$usr/lib/$multiarch/odbc/kvfbodbc.so" "$module" \
    >"$work/odbc/odbcinst.ini"
: >"$work/odbc/odbc.ini"
export ODBCSYSINI="$work/odbc" ODBCINI="$work/odbc/odbc.ini" FIREBIRD_LOCK="$work/lock" FIREBIRD_TMP="$work"
"$build/bin/fbsetup_create_database" "$work/packaged.fdb" >/dev/null || fail "could not create a database"
FBSETUP_HEADLESS=1 FBSETUP_EVENTS='' "$usr/bin/fbsetup_config_dsn" add "$name" DSN=Packaged "Database=$work/packaged.fdb" \
    User=SYSDBA >"$work/config.out" 2>&1 ||
    { cat "$work/config.out"; fail "the packaged fbsetup_config_dsn and module did not add a data source"; }
grep -q "^Database=$work/packaged.fdb" "$work/odbc/odbc.ini" || fail "the data source was not written"
echo "select 40 + 2 from rdb\$database" | LD_LIBRARY_PATH="$usr/lib/$multiarch" isql -b Packaged >"$work/isql.out" 2>&1 ||
    { cat "$work/isql.out"; fail "isql through the packaged driver"; }
grep -qw 42 "$work/isql.out" || { cat "$work/isql.out"; fail "isql did not read the row through the packaged driver"; }
unset ODBCSYSINI ODBCINI

# The man page is in the package (lintian has checked that it renders; a
# host may keep dpkg from installing man pages, so the .deb is looked at).
dpkg-deb -c "$(deb fbsetup)" | grep -q 'usr/share/man/man1/fbsetup_config_dsn\.1\.gz$' ||
    fail "no man page for fbsetup_config_dsn in the package"

dpkg_root --purge kvfbodbc
grep -q "^\[$name\]" "$ini" && { cat "$ini"; fail "purge left the driver's entry"; }
grep -q '^\[Other\]' "$ini" || fail "purge removed the administrator's entry"
[ ! -e "$usr/lib/$multiarch/odbc/kvfbodbc.so" ] || fail "purge left kvfbodbc.so"

# Installed again after the purge: registered again, once.
dpkg_root -i "$(deb kvfbodbc)"
check_registered "install after purge"
dpkg_root --purge kvfbodbc fbsetup-gtk fbsetup libkvsupp-dev libkvsupp1
[ -z "$(find "$root" -name 'libkvsupp*')" ] || fail "purge left library files"

[ "$(cat /etc/odbcinst.ini 2>/dev/null || echo absent)" = "$host_ini" ] || fail "the host's odbcinst.ini changed"
echo "packages install, register once, serve a driver author, unixODBC and isql, and purge cleanly"
