#!/usr/bin/env bash
# Shows what the module is for, with stock parts: searchmonkey, a GTK 2
# program that Debian 12 and 13 both ship, twice, side by side, with the
# example theme (examples/theme, the Murrine engine drawing with alpha where
# a window has it) under a compositing manager. The left one is selected by
# GTK_RGBA_APPS, so the desktop shows through its window background, menu,
# tool and status bars; the right one is left out and stays opaque.
#
# With no DISPLAY it runs on a private Xvfb with picom over a checkered
# desktop, writes a screenshot (PNG) and prints its path, with how much of
# each window lets the desktop through. With a DISPLAY it runs on your
# screen, says whether a compositing manager is running there, and ends
# when you close both windows.
#
# usage: bash scripts/demo.sh [SCREENSHOT.png]   (default: build/demo.png)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/lib.sh"
shot=${1:-$root/build/demo.png}
theme=$root/examples/theme/gtk-2.0/gtkrc
program=searchmonkey

bash "$root/scripts/install-deps.sh" demo >&2
build=${RGBA_BUILD:-$root/build}
build_targets "$build" rgba-colormap rgba_composited rgba_see_through
build=$(cd "$build" && pwd)

begin_work

private=false
if [ -z "${DISPLAY:-}" ]; then
  private=true
  start_xvfb -screen 0 1240x620x24
  start_compositor "$build"
  convert -size 32x32 pattern:checkerboard +level-colors '#202020,#f0b030' "$work/tile.png"
  set_desktop "$work/tile.png"
  # Off both windows, where it shows no tooltip.
  xdotool mousemove 1239 619
elif "$build/tools/rgba_composited" >/dev/null; then
  echo "A compositing manager runs on $DISPLAY: the left window lets the desktop through."
else
  echo "No compositing manager runs on $DISPLAY, so both windows look the same." \
    "Start one (picom, xcompmgr) and run the demo again."
fi

# show APPS SIDE X: starts the program with the theme and GTK_RGBA_APPS=APPS,
# in a fresh home of its own, its output in $work/SIDE.out and .err, places
# its window at X and leaves it in $window.
show() {
  echo "GTK_RGBA_APPS=$1 GTK2_RC_FILES=$theme GTK2_MODULES=$build/librgba-colormap.so $program"
  mkdir "$work/$2"
  (cd "$work/$2" && exec env -u GTK_MODULES HOME="$work/$2" GTK2_RC_FILES="$theme" \
    GTK2_MODULES="$build/librgba-colormap.so" GTK_RGBA_APPS="$1" \
    stdbuf -oL "$program" >"$work/$2.out" 2>"$work/$2.err") &
  local pid=$!
  pids+=("$pid")
  window=
  for _ in $(seq 200); do
    window=$(xdotool search --all --onlyvisible --pid "$pid" --name "^$program\$" 2>/dev/null | head -n1) || true
    [ -n "$window" ] && break
    sleep 0.1
  done
  if [ -z "$window" ]; then
    echo "$program showed no window" >&2
    exit 1
  fi
  xdotool windowsize "$window" 600 560 windowmove "$window" "$3" 0
}

show "$program" left 0
left=$window
show "allbut:$program" right 620
right=$window

describe() { # describe SIDE WINDOW
  local depth
  depth=$(window_info "$2" | awk '{ print $2 }')
  echo "$1: depth $depth, notice: $(grep -o 'progname=.*' "$work/$1.out" || echo none)"
}
describe left "$left"
describe right "$right"

if ! $private; then
  echo "Close both windows to finish."
  wait
  exit 0
fi

# Once both have painted and the compositor has caught up, take the picture.
still_screenshot "$work/still.ppm"
screenshot "$shot"

# see_through SIDE WINDOW...: how much of the WINDOWs lets the desktop
# through, from the shots in $work/measure.
see_through() {
  local side=$1 window
  shift
  # shellcheck disable=SC2046 # one word a number
  see_through_total "$build" "$work/measure" \
    $(for window in "$@"; do window_info "$window" | awk '{ print $3, $4, $5, $6 }'; done) |
    awk -v side="$side" '{ printf "%s: the desktop shows through %.1f%% of its windows\n",
      side, $1 * 100 / $2 }'
}
shots_over_two_desktops "$work/measure"
see_through "left, selected" "$left"
see_through "right, left out" "$right"

# The theme must load and draw without a complaint.
if grep -hE 'CRITICAL|(Gtk|Gdk)-WARNING|engine' "$work/left.err" "$work/right.err" >&2; then
  echo "$program complained (above)" >&2
  exit 1
fi
echo "screenshot: $shot"
