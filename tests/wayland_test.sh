#!/usr/bin/env bash
# Runs the module in GTK 2 programs under Wayland, as GTK 2 programs run
# there: through Xwayland, here under weston's headless backend, which also
# composites the X windows itself. A selected program must print the notice
# and get depth-32 windows without an X error, and weston must blend their
# alpha over the desktop; a program that is not selected keeps depth 24 and
# stays opaque.
#
# usage: wayland_test.sh PROBE TRANSLUCENT_WINDOW MODULE
set -euo pipefail

probe=$1 translucent_window=$2 module=$3
# shellcheck source=tests/module_checks.sh
source "$(dirname "$0")/module_checks.sh"

begin_work
mkdir -m 700 "$work/runtime"
mkdir "$work/shots"
export XDG_RUNTIME_DIR=$work/runtime WAYLAND_DISPLAY=rgba-colormap-test
unset DISPLAY

# A magenta desktop and nothing else on it.
cat >"$work/weston.ini" <<'INI'
[shell]
background-color=0xffff00ff
panel-position=none
INI
# weston does not make the folder for Xwayland's socket itself.
x11_socket_folder
# --debug lets weston-screenshooter read the screen.
weston --backend=headless-backend.so --use-pixman --xwayland --debug --socket="$WAYLAND_DISPLAY" \
  --width=640 --height=480 --config="$work/weston.ini" --idle-time=0 >"$work/weston.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do
  DISPLAY=$(sed -n 's/.*xserver listening on display \(:[0-9]*\).*/\1/p' "$work/weston.log")
  [ -n "$DISPLAY" ] && break
  sleep 0.1
done
check "weston starts Xwayland (log: $(tail -n 3 "$work/weston.log" | paste -sd' ' -))" [ -n "$DISPLAY" ]
export DISPLAY

out=$(probe_with_module GTK_RGBA_APPS=rgba_probe)
check "a selected program prints the notice and gets depth 32 (got: $out)" \
  [ "$out" = "$selected_probe_output" ]
out=$(probe_with_module GTK_RGBA_APPS=allbut:rgba_probe)
check "a program left out keeps depth 24 (got: $out)" \
  [ "$out" = "$left_out_probe_output" ]

# show APPS: maps the test window, which paints itself translucent blue,
# with GTK_RGBA_APPS=APPS, and says what weston shows of it. Prints the
# window's depth and how many pixels have the colour of its fill blended
# over the magenta desktop; leaves its output in $work/window.err.
show() {
  env -u GTK_MODULES GTK2_MODULES="$module" GTK_RGBA_APPS="$1" \
    "$translucent_window" 20 20 window >/dev/null 2>"$work/window.err" &
  local pid=$! window='' depth
  for _ in $(seq 100); do
    window=$(xwininfo -name window 2>/dev/null | awk '/Window id:/ { print $4 }') && [ -n "$window" ] &&
      break
    sleep 0.1
  done
  depth=$(xwininfo -id "$window" 2>/dev/null | awk '/Depth:/ { print $2 }')
  sleep 1
  rm -f "$work"/shots/*
  (cd "$work/shots" && weston-screenshooter)
  # The fill, rgba(0.15, 0.35, 0.85, 0.45), over magenta: (157, 40, 238).
  blended=$(convert "$work"/shots/*.png -fuzz 2% -fill black +opaque 'rgb(157,40,238)' \
    -fill white -opaque 'rgb(157,40,238)' -format '%[fx:round(mean*w*h)]' info:)
  kill "$pid"
  wait "$pid" 2>/dev/null || true
  echo "$depth $blended"
}

read -r depth blended < <(show translucent_window)
check "a selected window has depth 32 (got: $depth)" [ "$depth" = 32 ]
check "weston blends it over the desktop (pixels: $blended)" [ "$blended" -gt 20000 ]
check "it prints no X error or warning (got: $(cat "$work/window.err"))" [ ! -s "$work/window.err" ]
read -r depth blended < <(show allbut:translucent_window)
check "a window left out has depth 24 (got: $depth)" [ "$depth" = 24 ]
check "and hides the desktop (blended pixels: $blended)" [ "$blended" -eq 0 ]

echo "$failures failed"
[ "$failures" -eq 0 ]
