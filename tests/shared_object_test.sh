#!/usr/bin/env bash
# Checks the built module as a host sees it: what it exports, what it makes
# the host load, and that an install into a DESTDIR stage loads by short name.
#
# usage: shared_object_test.sh MODULE BUILD_DIR PROBE MODULE_DIR
set -euo pipefail

module=$1 build_dir=$2 probe=$3 module_dir=$4
source "$(dirname "$0")/../scripts/xvfb.sh"
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

exports=$(nm -D --defined-only "$module" | awk '{ print $3 }')
check "exports gtk_module_init alone (got: $(echo $exports))" [ "$exports" = gtk_module_init ]

needed=$(readelf -d "$module" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
check "links libgtk-x11-2.0" grep -qx 'libgtk-x11-2\.0\.so\.0' <<<"$needed"
check "needs no C++ runtime (needs: $(echo $needed))" \
  bash -c '! grep -qE "^lib(stdc\+\+|gcc_s)\." <<<"$1"' _ "$needed"
check "has no static constructors" bash -c '! nm "$1" | grep -q _GLOBAL__sub_I' _ "$module"

stage=$(mktemp -d)
xvfb_pid=
cleanup() {
  [ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$stage"
}
trap cleanup EXIT

DESTDIR=$stage cmake --install "$build_dir" >/dev/null
check "installs into the GTK 2 module folder" test -f "$stage$module_dir/librgba-colormap.so"

start_xvfb "$stage"

for variable in GTK2_MODULES GTK_MODULES; do
  out=$(env -u GTK_MODULES -u GTK2_MODULES DISPLAY="$xvfb_display" G_DEBUG=fatal-criticals \
    GTK_PATH="$stage$module_dir/.." "$variable=rgba-colormap" GTK_RGBA_APPS=rgba_probe \
    "$probe" 2>&1) || true
  expected=$'\nprogname=rgba_probe; RGBA=on\nargs=\nwidget=32 default=32 default-is-rgba=yes window=32'
  check "$variable=rgba-colormap loads the staged module" [ "$out" = "$expected" ]
done

echo "$failures failed"
[ "$failures" -eq 0 ]
