#!/usr/bin/env bash
# Checks the module as a host and a packager see it: what the shared object
# exports and makes its host load, that an install into a DESTDIR stage
# loads by short name, and that the Debian package holds the module and
# its license, depends on GTK 2, and loads by short name once unpacked.
#
# usage: install_test.sh MODULE BUILD_DIR PROBE MODULE_DIR
set -euo pipefail

module=$1 build_dir=$2 probe=$3 module_dir=$4
# shellcheck source=scripts/lib.sh
source "$(dirname "$0")/../scripts/lib.sh"

failures=0
check() { # check DESCRIPTION COMMAND...
  local what=$1
  shift
  if "$@"; then
    echo "ok - $what"
  else
    echo "not ok - $what"
    failures=$((failures + 1))
  fi
}

begin_work
start_xvfb

# check_shared_object FILE: what a host gets when it loads FILE.
check_shared_object() {
  local file=$1 exports needed
  exports=$(nm -D --defined-only "$file" | awk '{ print $3 }')
  check "$file exports gtk_module_init alone (got: ${exports//$'\n'/ })" \
    [ "$exports" = gtk_module_init ]
  needed=$(readelf -d "$file" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
  check "$file links libgtk-x11-2.0" grep -qx 'libgtk-x11-2\.0\.so\.0' <<<"$needed"
  check "$file needs no C++ runtime (needs: ${needed//$'\n'/ })" \
    bash -c '! grep -qE "^lib(stdc\+\+|gcc_s)\." <<<"$1"' _ "$needed"
}

# check_loads_by_name ROOT: GTK finds the module installed below ROOT by
# its short name, through either variable.
check_loads_by_name() {
  local root=$1 variable out
  local expected=$'\nprogname=rgba_probe; RGBA=on\nargs=\nwidget=32 default=32 default-is-rgba=yes window=32'
  for variable in GTK2_MODULES GTK_MODULES; do
    out=$(env -u GTK_MODULES -u GTK2_MODULES G_DEBUG=fatal-criticals \
      GTK_PATH="$root$module_dir/.." "$variable=rgba-colormap" GTK_RGBA_APPS=rgba_probe \
      "$probe" 2>&1) || true
    check "$variable=rgba-colormap loads the module from $root" [ "$out" = "$expected" ]
  done
}

check_shared_object "$module"
check "$module has no static constructors" bash -c '! nm "$1" | grep -q _GLOBAL__sub_I' _ "$module"

# A staged install.
DESTDIR=$work/destdir cmake --install "$build_dir" >/dev/null
check "installs into the GTK 2 module folder" test -f "$work/destdir$module_dir/librgba-colormap.so"
check_loads_by_name "$work/destdir"

# The Debian package.
(cd "$build_dir" && cpack -G DEB -B "$work/package" >/dev/null)
deb=$(ls "$work"/package/*.deb)
files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | sort)
package=$(dpkg-deb -f "$deb" Package)
expected_files=$(printf '%s\n' ".$module_dir/librgba-colormap.so" \
  "./usr/share/doc/$package/copyright" | sort)
check "the package holds the module and its license (got: ${files//$'\n'/ })" \
  [ "$files" = "$expected_files" ]
check "the package depends on libgtk2.0-0" \
  grep -qE '(^|, )libgtk2\.0-0( |,|$)' <<<"$(dpkg-deb -f "$deb" Depends)"
for field in Maintainer Description Version Architecture Section; do
  check "the package has a $field" test -n "$(dpkg-deb -f "$deb" "$field")"
done
dpkg-deb -x "$deb" "$work/unpacked"
check "the package states its license" \
  grep -q '^License: ' "$work/unpacked/usr/share/doc/$package/copyright"
check_shared_object "$work/unpacked$module_dir/librgba-colormap.so"
check_loads_by_name "$work/unpacked"

echo "$failures failed"
[ "$failures" -eq 0 ]
