#!/usr/bin/env bash
# Counts what loading a GTK 2 module costs a program's start-up, in
# instructions (valgrind's callgrind: the same count on a busy machine as on
# an idle one). The program is the test suite's rgba_probe: gtk_init, one
# realised window, exit. It runs bare, with a module that does nothing (the
# floor any GTK 2 module pays, mostly the dynamic loader's walk over GTK's
# libraries), with rgba-colormap not selected and selected, and with three
# GTK 2 modules Debian ships for other jobs.
#
# usage: bash bench/measure-startup.sh     (prints a Markdown table)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build-hardened
source "$root/scripts/lib.sh"

bash "$root/scripts/install-deps.sh" build dpkg-dev libgtest-dev \
  libgail-common libcanberra-gtk-module appmenu-gtk2-module dbus-daemon valgrind xvfb >&2

# Built as the Debian package builds it, with Debian's hardening flags:
# among them -z now, which has the loader resolve all of a module's imports
# when it loads the module. CMake does not read CPPFLAGS, so they go along
# with the compiler flags, as debhelper passes them.
eval "$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --export=sh)"
export CFLAGS="$CFLAGS $CPPFLAGS" CXXFLAGS="$CXXFLAGS $CPPFLAGS"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=None -DBUILD_TESTING=ON >/dev/null
build_targets "$build" rgba-colormap rgba_probe rgba_empty_module

begin_work
start_xvfb

probe=$build/tests/rgba_probe
ours=$build/librgba-colormap.so
empty=$build/bench/librgba_empty_module.so

# instructions [VARIABLE=VALUE...]: the probe's total instruction count.
# Each run gets a session bus of its own, as on a desktop: without one the
# appmenu module gives up early and looks cheaper than no module at all.
instructions() {
  env -i PATH="$PATH" HOME="$work" DISPLAY="$DISPLAY" "$@" \
    dbus-run-session -- valgrind --tool=callgrind --callgrind-out-file=/dev/null "$probe" 2>&1 >/dev/null |
    sed -n 's/.*Collected : \([0-9]*\).*/\1/p'
}

names=(
  "no module"
  "empty GTK 2 module (floor)"
  "rgba-colormap, not selected"
  "rgba-colormap, selected"
  "libgail.so"
  "libcanberra-gtk-module.so"
  "libappmenu-gtk-module.so"
)
counts=(
  "$(instructions)"
  "$(instructions GTK_MODULES="$empty")"
  "$(instructions GTK_MODULES="$ours" GTK_RGBA_APPS=editor)"
  "$(instructions GTK_MODULES="$ours" GTK_RGBA_APPS=rgba_probe)"
  "$(instructions GTK_MODULES=gail)"
  "$(instructions GTK_MODULES=canberra-gtk-module)"
  "$(instructions GTK_MODULES=appmenu-gtk-module)"
)
bare=${counts[0]} floor=${counts[1]}

echo "| start-up with | instructions | over no module | vs. floor |"
echo "| --- | ---: | ---: | ---: |"
for i in "${!names[@]}"; do
  awk -v name="${names[$i]}" -v n="${counts[$i]}" -v bare="$bare" -v floor="$floor" 'BEGIN {
    printf "| %s | %.2f M | %+.2f M | %+.2f%% |\n",
      name, n / 1e6, (n - bare) / 1e6, (n - floor) * 100 / floor }'
done

status=0
for i in 2 3; do
  if ! awk -v n="${counts[$i]}" -v floor="$floor" 'BEGIN { exit !(n <= floor * 1.01) }'; then
    echo "over budget: ${names[$i]} costs more than 1% over the floor" >&2
    status=1
  fi
done
exit $status
