# shellcheck shell=bash
# Sourced by the project's scripts: a scratch folder that goes away with the
# script, a private X server with a compositing manager and a desktop, the
# windows on it and screenshots of it, and the build.

lib_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# begin_work: makes the scratch folder $work. When the script (or the
# subshell that called it) exits, the processes listed in $pids are ended
# (a negative number ends a process group) and $work is removed.
begin_work() {
  work=$(mktemp -d)
  pids=()
  trap end_work EXIT
}

end_work() {
  local pid
  for pid in "${pids[@]}"; do
    kill -- "$pid" 2>/dev/null || true
  done
  rm -rf "$work"
}

# start_xvfb [OPTION...]: starts Xvfb with OPTIONs on a display it picks
# itself, and exports DISPLAY for it.
start_xvfb() {
  Xvfb -displayfd 3 -nolisten tcp "$@" 3>"$work/xvfb-display" 2>/dev/null &
  pids+=($!)
  for _ in $(seq 100); do
    [ -s "$work/xvfb-display" ] && break
    sleep 0.1
  done
  if [ ! -s "$work/xvfb-display" ]; then
    echo "Xvfb did not start" >&2
    return 1
  fi
  DISPLAY=:$(head -n1 "$work/xvfb-display")
  export DISPLAY
}

# start_compositor BUILD_DIR: starts picom on $DISPLAY, painting with
# XRender and without shadows or fading, and waits until it composites (as
# BUILD_DIR's rgba_composited tells).
start_compositor() {
  picom --config /dev/null --backend xrender >/dev/null 2>&1 &
  pids+=($!)
  for _ in $(seq 100); do
    "$1/tools/rgba_composited" >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  echo "picom did not start compositing" >&2
  return 1
}

# set_desktop COLOUR | FILE: paints the desktop one colour, or tiled with an
# image, the way desktops do it (_XROOTPMAP_ID), which is what compositing
# managers paint beneath the windows.
set_desktop() {
  if [ -f "$1" ]; then
    hsetroot -tile "$1" >/dev/null
  else
    hsetroot -solid "$1" >/dev/null
  fi
}

# window_info WINDOW: ID DEPTH X Y WIDTH HEIGHT MAP_STATE of WINDOW on
# $DISPLAY, its place on the screen as a whole.
window_info() {
  xwininfo -id "$1" 2>/dev/null | awk -v id="$1" '
    /Absolute upper-left X:/ { x = $4 } /Absolute upper-left Y:/ { y = $4 }
    /Width:/ { w = $2 } /Height:/ { h = $2 } /Depth:/ { depth = $2 }
    /Map State:/ { state = $3 }
    END { print id, depth, x, y, w, h, state }'
}

# visible_windows: the viewable top-level windows of programs on $DISPLAY,
# one a line: ID DEPTH X Y WIDTH HEIGHT.
visible_windows() {
  local window
  for window in $(xwininfo -root -children 2>/dev/null | awk '/^ +0x/ { print $1 }'); do
    # A program's windows have a class; the compositor's have none mapped.
    xprop -id "$window" WM_CLASS 2>/dev/null | grep -q '=' || continue
    window_info "$window" | awk '$7 == "IsViewable" { print $1, $2, $3, $4, $5, $6 }'
  done
}

# screenshot FILE: what the compositing manager shows on $DISPLAY. (xwd
# -root reads each window on its own when their depths differ, so that a
# translucent window never looks it.)
screenshot() {
  import -window root -depth 8 "$1"
}

# still_screenshot FILE: a screenshot (PPM) of $DISPLAY once what it shows
# has stopped changing, two in a row a quarter of a second apart the same,
# or after 10 s: a busy machine may take its time to paint and composite.
still_screenshot() {
  local previous=$1.previous
  screenshot "ppm:$previous"
  for _ in $(seq 40); do
    sleep 0.25
    screenshot "ppm:$1"
    cmp -s "$1" "$previous" && break
    mv "$1" "$previous"
  done
  rm -f "$previous"
}

# shots_over_two_desktops PREFIX: screenshots PREFIX.1.ppm, .2.ppm and
# .3.ppm, over a magenta, a green and again a magenta desktop: what
# tools/rgba_see_through reads to tell where the desktop shows through.
shots_over_two_desktops() {
  local shot colours=('#ff00ff' '#00ff00' '#ff00ff')
  for shot in 1 2 3; do
    set_desktop "${colours[shot - 1]}"
    still_screenshot "$1.$shot.ppm"
  done
}

# see_through_total BUILD_DIR PREFIX [X Y WIDTH HEIGHT]...: how many pixels
# of the areas let the desktop through in the shots PREFIX.1.ppm to .3.ppm
# (see shots_over_two_desktops), and how many they have: "SEEN TOTAL".
see_through_total() {
  local tool=$1/tools/rgba_see_through prefix=$2
  shift 2
  if [ $# -eq 0 ]; then
    echo "0 0"
    return
  fi
  "$tool" "$prefix.1.ppm" "$prefix.2.ppm" "$prefix.3.ppm" "$@" |
    awk '{ seen += $1; total += $2 } END { print seen, total }'
}

# build_targets BUILD_DIR TARGET...: builds the TARGETs in BUILD_DIR,
# configuring the project there first, without its tests if it is new.
build_targets() {
  local build=$1
  shift
  if [ -f "$build/CMakeCache.txt" ]; then
    cmake "$build" >/dev/null
  else
    cmake -S "$lib_root" -B "$build" -DBUILD_TESTING=OFF >/dev/null
  fi
  cmake --build "$build" --target "$@" >/dev/null
}

# check DESCRIPTION COMMAND...: runs COMMAND and reports it in TAP's words;
# $failures counts the checks that did not pass.
failures=0
check() {
  local what=$1
  shift
  if "$@"; then
    echo "ok - $what"
  else
    echo "not ok - $what"
    failures=$((failures + 1))
  fi
}

# compat_table FILE: the rows of the table of programs in FILE (as
# docs/make-program-tables.py writes them), one a line, their cells
# separated by tabs: program, package, name it reports, verdict, what goes
# wrong, how it reaches GTK 2.
compat_table() {
  awk -F'|' '
    /<!-- compat-table begin/ { inside = 1; next }
    /<!-- compat-table end/ { inside = 0 }
    inside && /^\| / && !/^\| (program|---) / {
      row = ""
      for (i = 2; i < NF; i++) {
        cell = $i
        gsub(/^ +| +$/, "", cell)
        gsub(/`/, "", cell)
        row = row (i > 2 ? "\t" : "") cell
      }
      print row
    }' "$1"
}
