#!/usr/bin/env bash
# Renders the README's picture: one small GTK 2 program twice, under Xvfb
# with xcompmgr over a checkered desktop, painting its window with a
# translucent fill. The left one is selected by GTK_RGBA_APPS and shows the
# desktop through its window; the right one is not and stays opaque. The
# script checks that this is so before it writes the picture.
#
# usage: docs/make-picture.sh [OUTPUT.png [BUILD_DIR]]
#   (defaults: docs/rgba-colormap.png, and a build in ./build)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/lib.sh"
output=${1:-$root/docs/rgba-colormap.png}
build=${2:-}

bash "$root/scripts/install-deps.sh" cmake g++ pkg-config libgtk2.0-dev libgtest-dev xvfb x11-utils \
  hsetroot xcompmgr imagemagick fonts-dejavu-core >&2
if [ -z "$build" ]; then
  build=$root/build
  build_targets "$build" rgba-colormap translucent_window
fi
build=$(cd "$build" && pwd)

begin_work
start_xvfb -screen 0 660x260x24
# A checkered desktop, set the way desktops do it (_XROOTPMAP_ID), which is
# what the compositor paints beneath the windows.
convert -size 24x24 pattern:checkerboard +level-colors '#2a2a2a,#f0b030' "$work/tile.png"
hsetroot -tile "$work/tile.png" >/dev/null
xcompmgr 2>/dev/null &
pids+=($!)

# show X CAPTION GTK_RGBA_APPS
show() {
  env -u GTK_MODULES GTK2_MODULES="$build/librgba-colormap.so" GTK_RGBA_APPS="$3" \
    "$build/tests/translucent_window" "$1" 30 "$2" >/dev/null &
  pids+=($!)
  for _ in $(seq 100); do
    xwininfo -name "$2" >/dev/null 2>&1 && break
    sleep 0.1
  done
}
show 20 "selected: RGBA" translucent_window
show 340 "not selected" allbut:translucent_window
# The fill below each caption: many colours where the desktop shows
# through, one where the window is opaque.
colours() { convert "$work/shot.png" -crop "260x120+$1+100" -format %k info:; }
pixel() { convert "$work/shot.png" -format "%[pixel:p{$1,$2}]" info:; }
as_expected() {
  left=$(colours 40) right=$(colours 360)
  [ "$left" -gt 1 ] && [ "$right" -eq 1 ] && [ "$(pixel 150 160)" != "$(pixel 470 160)" ]
}

# Both windows must have painted and the compositor caught up: look again
# for a while before calling the picture wrong.
for _ in $(seq 40); do
  sleep 0.5
  import -window root "$work/shot.png"
  if as_expected; then
    cp "$work/shot.png" "$output"
    echo "wrote $output ($left colours through the selected window, $right in the other)"
    exit 0
  fi
done

echo "unexpected picture: $left colours in the selected window, $right in the other" >&2
cp "$work/shot.png" "$output.failed.png"
exit 1
