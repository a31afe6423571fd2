#!/usr/bin/env bash
# Shows what the module is for, with stock parts: gtk-demo twice, side by
# side, with the example theme (examples/theme, the Murrine engine drawing
# with alpha where a window has it) under a compositing manager. The left
# one is selected by GTK_RGBA_APPS, so the desktop shows through its window
# background, tool and menu bars; the right one is left out and stays
# opaque.
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

bash "$root/scripts/install-deps.sh" cmake g++ pkg-config libgtk2.0-dev gtk2.0-examples \
  gtk2-engines-murrine fonts-dejavu-core xvfb x11-utils xdotool picom hsetroot imagemagick >&2
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
elif "$build/tools/rgba_composited" >/dev/null; then
  echo "A compositing manager runs on $DISPLAY: the left window lets the desktop through."
else
  echo "No compositing manager runs on $DISPLAY, so both windows look the same." \
    "Start one (picom, xcompmgr) and run the demo again."
fi

# show APPS SIDE X: starts gtk-demo with the theme and GTK_RGBA_APPS=APPS,
# its output in $work/SIDE.out and .err, moves its window to X and leaves
# its windows in $windows. On the private server it also opens the first
# demo, a window with a menu bar, tool bar and status bar, below it.
show() {
  echo "GTK_RGBA_APPS=$1 GTK2_RC_FILES=$theme GTK2_MODULES=$build/librgba-colormap.so gtk-demo"
  env -u GTK_MODULES GTK2_RC_FILES="$theme" GTK2_MODULES="$build/librgba-colormap.so" \
    GTK_RGBA_APPS="$1" stdbuf -oL gtk-demo >"$work/$2.out" 2>"$work/$2.err" &
  local pid=$! app=''
  pids+=("$pid")
  local window
  window=$(find_window "$pid" 'GTK\+ Code Demos')
  windows=("$window")
  if [ -z "$window" ]; then
    echo "gtk-demo showed no window" >&2
    exit 1
  fi
  xdotool windowmove "$window" "$3" 0
  $private || return 0

  # A double click on the first row, "Application main window".
  xdotool mousemove "$(($3 + 100))" 43 click --repeat 2 --delay 100 1 mousemove 0 619
  app=$(find_window "$pid" '^Application Window$')
  if [ -n "$app" ]; then
    xdotool windowsize "$app" 600 180 windowmove "$app" "$3" 420
    windows+=("$app")
  fi
}

# find_window PID TITLE: the window of process PID whose title matches the
# regular expression TITLE, once it shows.
find_window() {
  local found
  for _ in $(seq 100); do
    found=$(xdotool search --all --onlyvisible --pid "$1" --name "$2" 2>/dev/null | head -n1) || true
    [ -n "$found" ] && break
    sleep 0.1
  done
  echo "$found"
}

show gtk-demo left 0
left=("${windows[@]}")
show allbut:gtk-demo right 620
right=("${windows[@]}")

describe() { # describe SIDE WINDOW
  local depth
  depth=$(window_info "$2" | awk '{ print $2 }')
  echo "$1: depth $depth, notice: $(grep -o 'progname=.*' "$work/$1.out" || echo none)"
}
describe left "${left[0]}"
describe right "${right[0]}"

if ! $private; then
  echo "Double-click \"Application main window\" in each for a window with menus and" \
    "tool bars. Close both to finish."
  wait
  exit 0
fi

# Let both paint and the compositor catch up, then take the picture.
sleep 2
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
see_through "left, selected" "${left[@]}"
see_through "right, left out" "${right[@]}"

# The theme must load and draw without a complaint.
if grep -hE 'CRITICAL|(Gtk|Gdk)-WARNING|engine' "$work/left.err" "$work/right.err" >&2; then
  echo "gtk-demo complained (above)" >&2
  exit 1
fi
echo "screenshot: $shot"
