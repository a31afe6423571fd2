#!/usr/bin/env bash
# Renders the README's picture with the demo (scripts/demo.sh): stock
# searchmonkey with the example theme under picom over a checkered desktop,
# selected on the left, left out on the right. It checks that the picture
# shows what the README says, the desktop through the left windows and not
# through the right ones, before it writes it.
#
# usage: docs/make-picture.sh [OUTPUT.png [BUILD_DIR]]
#   (defaults: docs/rgba-colormap.png, and the build in ./build)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/lib.sh"
output=${1:-$root/docs/rgba-colormap.png}
[ -z "${2:-}" ] || export RGBA_BUILD=$2

begin_work
report=$(env -u DISPLAY bash "$root/scripts/demo.sh" "$work/picture.png")
echo "$report"

shows_through() { # shows_through SIDE: the share of SIDE's windows, in %
  sed -n "s/^$1, .*: the desktop shows through \([0-9.]*\)% .*/\1/p" <<<"$report"
}
left=$(shows_through left) right=$(shows_through right)
if ! awk -v left="$left" -v right="$right" 'BEGIN { exit !(left >= 5 && right == 0) }'; then
  cp "$work/picture.png" "$output.failed.png"
  echo "unexpected picture ($output.failed.png): the desktop shows through ${left:-?}%" \
    "of the selected windows and ${right:-?}% of the others" >&2
  exit 1
fi
cp "$work/picture.png" "$output"
echo "wrote $output"
