#!/usr/bin/env bash
# Checks the X session script as Xsession(5) runs it: sourced by sh -e after
# the user's ~/.xsessionrc. It must leave the session alone unless
# GTK_RGBA_APPS is set and not empty; then it must export GTK2_MODULES with
# rgba-colormap added once, after the entries already there. Last, a session
# set up that way loads the installed module into a GTK 2 program.
#
# usage: session_test.sh BUILD_DIR PROBE
set -euo pipefail

build_dir=$1 probe=$2
# shellcheck source=tests/module_checks.sh
source "$(dirname "$0")/module_checks.sh"

begin_work
DESTDIR=$work/stage cmake --install "$build_dir" >/dev/null
script=$(find "$work/stage" -path '*/X11/Xsession.d/*' -type f)
module=$(find "$work/stage" -name librgba-colormap.so)

check "the script is installed under /etc/X11/Xsession.d" \
  [ "$(dirname "${script#"$work/stage"}")" = /etc/X11/Xsession.d ]
check "run-parts, which Xsession lists the folder with, takes its name" \
  [ "$(run-parts --list "$(dirname "$script")")" = "$script" ]

# session SETUP TIMES: the two variables as a session exports them once
# ~/.xsessionrc (SETUP) and then the script, TIMES times, are sourced.
session() {
  env -i PATH=/usr/bin:/bin sh -eu -c '
    eval "$1"
    for _ in $(seq "$2"); do . "$3"; done
    env' _ "$1" "$2" "$script" | grep -E '^(GTK_RGBA_APPS|GTK2_MODULES)=' | sort | paste -sd' ' - || true
}

# ~/.xsessionrc | what the session exports
cases=(
  "|"
  "GTK_RGBA_APPS=|"
  "export GTK_RGBA_APPS=|GTK_RGBA_APPS="
  "export GTK2_MODULES=gail|GTK2_MODULES=gail"
  "export GTK_RGBA_APPS= GTK2_MODULES=gail|GTK2_MODULES=gail GTK_RGBA_APPS="
  "GTK_RGBA_APPS=gimp|GTK2_MODULES=rgba-colormap GTK_RGBA_APPS=gimp"
  "export GTK_RGBA_APPS=gimp GTK2_MODULES=|GTK2_MODULES=rgba-colormap GTK_RGBA_APPS=gimp"
  "GTK_RGBA_APPS=allbut GTK2_MODULES=gail:atk-bridge|GTK2_MODULES=gail:atk-bridge:rgba-colormap GTK_RGBA_APPS=allbut"
  "GTK_RGBA_APPS=gimp GTK2_MODULES=rgba-colormap|GTK2_MODULES=rgba-colormap GTK_RGBA_APPS=gimp"
  "GTK_RGBA_APPS=gimp GTK2_MODULES=gail:rgba-colormap:atk-bridge|GTK2_MODULES=gail:rgba-colormap:atk-bridge GTK_RGBA_APPS=gimp"
  "GTK_RGBA_APPS=gimp GTK2_MODULES=rgba-colormap-extra|GTK2_MODULES=rgba-colormap-extra:rgba-colormap GTK_RGBA_APPS=gimp"
)
for case in "${cases[@]}"; do
  setup=${case%%|*} expected=${case#*|}
  for times in 1 2; do
    got=$(session "$setup" "$times")
    check "after '$setup', sourced $times time(s): '$expected' (got '$got')" [ "$got" = "$expected" ]
  done
done

# The whole way: ~/.xsessionrc, the script, then a GTK 2 program that finds
# the installed module by its short name.
start_xvfb
echo 'export GTK_RGBA_APPS=rgba_probe' >"$work/xsessionrc"
out=$(env -i PATH=/usr/bin:/bin DISPLAY="$DISPLAY" GTK_PATH="$(dirname "$(dirname "$module")")" \
  sh -e -c '. "$1"; . "$2"; exec "$3"' _ "$work/xsessionrc" "$script" "$probe" 2>&1)
check "a session with GTK_RGBA_APPS in ~/.xsessionrc loads the module (got: $out)" \
  [ "$out" = "$selected_probe_output" ]

echo "$failures failed"
[ "$failures" -eq 0 ]
