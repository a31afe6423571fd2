#!/usr/bin/env bash
# Checks the module as a host and an installer see it: what the shared
# object exports and makes its host load; that a build configured with no
# prefix installs beside GTK, with its session script under /etc; that
# --prefix puts every file under the prefix; that the per-user install goes
# where GTK looks in the home folder; and that each of these loads by the
# module's short name and offers the example theme by its name.
#
# usage: install_test.sh MODULE PROBE
set -euo pipefail

module=$1 probe=$2
# shellcheck source=tests/module_checks.sh
source "$(dirname "$0")/module_checks.sh"

begin_work
start_xvfb

check_shared_object "$module"

# A build configured with nothing said takes GTK's prefix.
cmake -S "$lib_root" -B "$work/build" -DBUILD_TESTING=OFF >/dev/null
cmake --build "$work/build" >/dev/null
gtk_modules=$(pkg-config --variable=libdir gtk+-2.0)/gtk-2.0/modules

DESTDIR=$work/stage cmake --install "$work/build" >/dev/null
check "a plain install puts the module in GTK's module folder, $gtk_modules" \
  test -f "$work/stage$gtk_modules/librgba-colormap.so"
check "a plain install puts the session script in /etc/X11/Xsession.d" \
  test -f "$work/stage/etc/X11/Xsession.d/60rgba-colormap-gtk2-module"
gtk_themes=$(pkg-config --variable=prefix gtk+-2.0)/share/themes
check "a plain install puts the example theme in GTK's theme folder, $gtk_themes" \
  test -f "$work/stage$gtk_themes/Frosted/gtk-2.0/gtkrc"
check_loads_by_name "from a staged install" GTK_PATH="$work/stage$gtk_modules/.."

cmake --install "$work/build" --prefix "$work/prefix" --strip >/dev/null
outside=$(grep -v "^$work/prefix/" "$work/build/install_manifest.txt" || true)
check "--prefix puts every file under the prefix (outside: ${outside//$'\n'/ })" [ -z "$outside" ]
prefix_module=$(find "$work/prefix" -name librgba-colormap.so)
check "--prefix puts the module in <prefix>/<libdir>/gtk-2.0/modules (got: $prefix_module)" \
  [ "$(dirname "$prefix_module")" = "$work/prefix/$(awk -F= '/^CMAKE_INSTALL_LIBDIR:/ { print $2 }' \
    "$work/build/CMakeCache.txt")/gtk-2.0/modules" ]
check_stripped "$prefix_module"
check_shared_object "$prefix_module"
check_loads_by_name "from a prefix, with GTK_PATH" GTK_PATH="$(dirname "$(dirname "$prefix_module")")"
check_theme_by_name "in a prefix, with GTK_DATA_PREFIX" GTK_DATA_PREFIX="$work/prefix"

mkdir "$work/home"
HOME=$work/home cmake --install "$work/build" --component user >/dev/null
user_files=$(sort "$work/build/install_manifest_user.txt")
check "the user install writes the module to ~/.gtk-2.0/modules and the theme to ~/.themes (got: ${user_files//$'\n'/ })" \
  [ "$user_files" = "$work/home/.gtk-2.0/modules/librgba-colormap.so"$'\n'"$work/home/.themes/Frosted/gtk-2.0/gtkrc" ]
check_loads_by_name "from the home folder" HOME="$work/home"
check_theme_by_name "in the home folder" HOME="$work/home"

echo "$failures failed"
[ "$failures" -eq 0 ]
