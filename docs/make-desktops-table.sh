#!/usr/bin/env bash
# Writes README.md's table of desktops: runs scripts/desktops.sh over every
# desktop (or reads the lines it printed from RESULTS) and puts the table
# between README's desktops-table markers, with the Debian release it was
# measured on.
#
# usage: bash docs/make-desktops-table.sh [--from RESULTS] [README]
#   README defaults to the checkout's README.md.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/lib.sh"

results=
if [ "${1:-}" = --from ]; then
  results=$2
  shift 2
fi
readme=${1:-$root/README.md}
if ! grep -q '<!-- desktops-table begin' "$readme" || ! grep -q '<!-- desktops-table end' "$readme"; then
  echo "make-desktops-table.sh: $readme has no <!-- desktops-table begin --> and <!-- desktops-table end --> lines" >&2
  exit 1
fi

begin_work
if [ -z "$results" ]; then
  results=$work/results
  bash "$root/scripts/desktops.sh" >"$results"
fi

# field NAME=VALUE... NAME: VALUE.
field() { tr ' ' '\n' <<<"$1" | sed -n "s/^$2=//p"; }

# One row a desktop: | desktop | version | session | turned on by | notice |
# depth | see-through | depth | see-through | new on stderr | verdict |
while IFS=$'\t' read -r desktop version kind way verdict selected left_out new reason; do
  case $desktop in
    gnome-shell-x11 | gnome-shell-wayland) desktop="GNOME Shell" ;;
    kwin_x11 | kwin_wayland) desktop=KWin ;;
    picom) desktop="picom, no window manager" ;;
  esac
  case $way in
    xsession) way='`~/.xsessionrc`, Xsession.d script' ;;
    systemd) way='`~/.config/environment.d`, systemd generator' ;;
    plasma) way='`~/.profile`, plasma-workspace/env script' ;;
  esac
  if [ "$verdict" = cannot-run ]; then
    echo "| $desktop | $version | $kind | $way | | | | | | | cannot run here: ${reason//|/\\|} |"
    continue
  fi
  [ "$verdict" = works ] || verdict="$verdict: $reason"
  [ "$new" != none ] || new=
  new=${new//|/\\|}
  new=${new//\*/\\*}
  echo "| $desktop | $version | $kind | $way | $(field "$selected" notice) |" \
    "$(field "$selected" depths) | $(field "$selected" see-through) | $(field "$left_out" depths) |" \
    "$(field "$left_out" see-through) | $new | $verdict |"
done <"$results" >"$work/rows"

release=$(sed -n 's/^PRETTY_NAME="\(.*\)"/\1/p' /etc/os-release)
{
  echo "<!-- desktops-table begin: written by docs/make-desktops-table.sh -->"
  echo "Measured on $release:"
  echo
  echo "| desktop | version | session | turned on by | selected: notice | depth | see-through | left out: depth | see-through | new on stderr | verdict |"
  echo "| --- | --- | --- | --- | --- | --- | ---: | --- | ---: | --- | --- |"
  cat "$work/rows"
  echo "<!-- desktops-table end -->"
} >"$work/block"

awk -v block="$work/block" '
  /<!-- desktops-table begin/ { while ((getline line < block) > 0) print line; skip = 1; next }
  /<!-- desktops-table end/ { skip = 0; next }
  !skip' "$readme" >"$work/README.md"
cp "$work/README.md" "$readme"
echo "wrote the table of $(wc -l <"$work/rows") desktops into $readme" >&2
