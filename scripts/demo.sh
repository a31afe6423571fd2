#!/usr/bin/env bash
# Builds the module and shows it at work in gtk-demo, a stock GTK 2 program:
# the module's notice, then the depth of gtk-demo's top-level window (32 is
# RGBA). With no DISPLAY set it runs on a private Xvfb and closes the demo
# itself; on your own display, close the demo window to finish.
#
# GTK_RGBA_APPS defaults to "gtk-demo"; set it to see other choices, e.g.
#   GTK_RGBA_APPS=allbut:gtk-demo bash scripts/demo.sh
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build
source "$root/scripts/lib.sh"

bash "$root/scripts/install-deps.sh" cmake g++ pkg-config libgtk2.0-dev gtk2.0-examples \
  x11-utils xvfb
cmake -S "$root" -B "$build" -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" --target rgba-colormap >/dev/null

begin_work

private=false
if [ -z "${DISPLAY:-}" ]; then
  private=true
  start_xvfb
fi

export GTK_RGBA_APPS=${GTK_RGBA_APPS-gtk-demo}
echo "GTK_RGBA_APPS=$GTK_RGBA_APPS GTK2_MODULES=$build/librgba-colormap.so gtk-demo"
env -u GTK_MODULES GTK2_MODULES="$build/librgba-colormap.so" stdbuf -oL gtk-demo &
demo=$!
pids+=("$demo")

window=
for _ in $(seq 100); do
  window=$(xwininfo -root -tree 2>/dev/null | awk '/"GTK\+ Code Demos"/ { print $1; exit }')
  [ -n "$window" ] && break
  sleep 0.1
done
if [ -z "$window" ]; then
  echo "gtk-demo showed no window" >&2
  exit 1
fi

depth=$(xwininfo -id "$window" | awk '/Depth:/ { print $2 }')
meaning=opaque
[ "$depth" = 32 ] && meaning=RGBA
echo "gtk-demo's top-level window: depth $depth ($meaning)"

if ! $private; then
  echo "Close the demo window to finish."
  wait "$demo" || true
fi
