#!/usr/bin/env bash
# Runs the module in GTK 2 programs under a desktop's own compositor rather
# than picom or weston: xfwm4, Xfce's window manager, compositing a private
# Xvfb, or sway, a Wayland compositor, compositing its Xwayland. Both are
# small installs. A selected program must print the notice and get depth-32
# windows without an X error or warning, and the compositor must blend
# their alpha over the desktop; a program left out keeps depth 24 and stays
# opaque.
#
# usage: desktop_test.sh xfwm4|sway BUILD_DIR PROBE TRANSLUCENT_WINDOW MODULE
set -euo pipefail

desktop=$1 build=$2 probe=$3 translucent_window=$4 module=$5
# shellcheck source=tests/module_checks.sh
source "$(dirname "$0")/module_checks.sh"

begin_work
unset DISPLAY WAYLAND_DISPLAY
# The X servers' GL (llvmpipe) keeps a shader cache, here and not in the
# caller's home.
export XDG_CACHE_HOME=$work/cache
# The compositor's accessibility bus is no concern of the programs tested.
export NO_AT_BRIDGE=1
case $desktop in
  xfwm4)
    build_targets "$build" rgba_composited
    start_xvfb -screen 0 1280x1024x24
    check "xfwm4 composites the screen" \
      start_x11_desktop "$build" xfwm4 --compositor=on --sm-client-disable
    set_desktop '#ff00ff'
    shoot() { ppm_screenshot "$1"; }
    ;;
  sway)
    check "sway starts Xwayland" start_sway
    shoot() { env "${sway_env[@]}" grim -t ppm "$1"; }
    ;;
  *)
    echo "usage: $0 xfwm4|sway BUILD_DIR PROBE TRANSLUCENT_WINDOW MODULE" >&2
    exit 2
    ;;
esac
if [ -z "${DISPLAY:-}" ]; then
  echo "$failures failed"
  exit 1
fi

out=$(probe_with_module GTK_RGBA_APPS=rgba_probe)
check "$desktop: a selected program prints the notice and gets depth 32, nothing else (got: $out)" \
  [ "$out" = "$selected_probe_output" ]
out=$(probe_with_module GTK_RGBA_APPS=allbut:rgba_probe)
check "$desktop: a program left out keeps depth 24 (got: $out)" [ "$out" = "$left_out_probe_output" ]

# show APPS: maps the test window, which paints itself translucent blue,
# with GTK_RGBA_APPS=APPS, and prints its depth, its size in pixels as the
# compositor gives it, and how many pixels of the screen have the colour of
# its fill blended over the magenta desktop. Its standard error is left in
# $work/window.err.
show() {
  env -u GTK_MODULES GTK2_MODULES="$module" GTK_RGBA_APPS="$1" \
    "$translucent_window" 20 20 window >/dev/null 2>"$work/window.err" &
  local pid=$! window='' info=()
  for _ in $(seq 100); do
    window=$(xwininfo -name window 2>/dev/null | awk '/Window id:/ { print $4 }') || true
    if [ -n "$window" ]; then
      read -r -a info < <(window_info "$window")
      [ "${info[6]}" = IsViewable ] && break
    fi
    sleep 0.1
  done
  still_screenshot "$work/shot.ppm" shoot
  # The fill, rgba(0.15, 0.35, 0.85, 0.45), over magenta: (157, 40, 238).
  echo "${info[1]:-none} $((${info[4]:-0} * ${info[5]:-0})) $(pixels_of_colour "$work/shot.ppm" 'rgb(157,40,238)')"
  kill "$pid"
  wait "$pid" 2>/dev/null || true
}

read -r depth area blended < <(show translucent_window)
check "$desktop: a selected window has depth 32 (got: $depth)" [ "$depth" = 32 ]
# All of it but the caption.
check "$desktop blends it over the desktop ($blended of its $area pixels)" \
  [ "$blended" -gt $((area * 9 / 10)) ]
check "$desktop: it prints no X error or warning (got: $(cat "$work/window.err"))" [ ! -s "$work/window.err" ]
read -r depth area blended < <(show allbut:translucent_window)
check "$desktop: a window left out has depth 24 (got: $depth)" [ "$depth" = 24 ]
check "$desktop: and hides the desktop ($blended blended pixels)" [ "$blended" -eq 0 ]
check "$desktop: it prints nothing on stderr either (got: $(cat "$work/window.err"))" [ ! -s "$work/window.err" ]

echo "$failures failed"
[ "$failures" -eq 0 ]
