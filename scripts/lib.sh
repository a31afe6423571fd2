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

# start_xvfb [OPTION...]: starts Xvfb with OPTIONs on a free display, and
# exports DISPLAY for it. Free means no lock file here and no listening
# socket in the abstract namespace, which other mount namespaces (a
# chroot, the survey's) share with this one: X clients try that socket
# first, and would reach another server that still holds it, or one that is
# shutting down.
start_xvfb() {
  local display pid
  for display in $(seq 0 99); do
    [ ! -e "/tmp/.X$display-lock" ] || continue
    ! grep -q "@/tmp/.X11-unix/X$display\$" /proc/net/unix || continue
    Xvfb ":$display" -nolisten tcp "$@" 2>/dev/null &
    pid=$!
    for _ in $(seq 100); do
      grep -q "@/tmp/.X11-unix/X$display\$" /proc/net/unix && [ -S "/tmp/.X11-unix/X$display" ] && break
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
    if kill -0 "$pid" 2>/dev/null && [ -S "/tmp/.X11-unix/X$display" ]; then
      pids+=("$pid")
      DISPLAY=:$display
      export DISPLAY
      return 0
    fi
    # Another server took the display first.
    kill "$pid" 2>/dev/null || true
  done
  echo "Xvfb did not start" >&2
  return 1
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

# ppm_screenshot FILE: screenshot, as a PPM file.
ppm_screenshot() {
  screenshot "ppm:$1"
}

# still_screenshot FILE [SHOOT...]: a screenshot (PPM) of $DISPLAY once what
# it shows has stopped changing, two in a row a quarter of a second apart
# the same, or after 10 s: a busy machine may take its time to paint and
# composite. SHOOT FILE takes each one (default: ppm_screenshot), for
# screens that X cannot read as the compositor shows them.
still_screenshot() {
  local file=$1 previous=$1.previous
  shift
  [ $# -gt 0 ] || set -- ppm_screenshot
  "$@" "$previous"
  for _ in $(seq 40); do
    sleep 0.25
    "$@" "$file"
    cmp -s "$file" "$previous" && break
    mv "$file" "$previous"
  done
  rm -f "$previous"
}

# shots_over_two_desktops PREFIX [PAINT [SHOOT...]]: screenshots
# PREFIX.1.ppm, .2.ppm and .3.ppm, over a magenta, a green and again a
# magenta desktop: what tools/rgba_see_through reads to tell where the
# desktop shows through. PAINT COLOUR paints the desktop (default:
# set_desktop) and SHOOT FILE takes a screenshot (see still_screenshot),
# for desktops that paint and show it their own way.
shots_over_two_desktops() {
  local prefix=$1 paint=${2:-set_desktop} shot colours=('#ff00ff' '#00ff00' '#ff00ff')
  shift $(($# < 2 ? $# : 2))
  for shot in 1 2 3; do
    "$paint" "${colours[shot - 1]}"
    still_screenshot "$prefix.$shot.ppm" "$@"
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

# Desktops, each a process group: end_desktops ends them, waiting (at most
# 5 s) until they have gone, before end_work removes $work, for some write
# their settings into their home as they exit. The functions that start one
# make the script end them so when it exits.
desktop_groups=()
end_desktops() {
  local group
  for _ in $(seq 50); do
    # Exited processes that nobody waits for stay behind as zombies.
    ps -eo pgid=,stat= | awk -v groups=" ${desktop_groups[*]} " '
      index(groups, " " $1 " ") && $2 !~ /^Z/ { alive = 1 } END { exit !alive }' || break
    # Again and again: a compositor may start Xwayland anew when it ends.
    for group in "${desktop_groups[@]}"; do
      kill -TERM -- "-$group" 2>/dev/null || true
    done
    sleep 0.1
  done
  for group in "${desktop_groups[@]}"; do
    kill -KILL -- "-$group" 2>/dev/null || true
  done
  desktop_groups=()
}

# in_desktop_group COMMAND...: runs COMMAND in the background as a desktop
# (see end_desktops), its output in $work/desktop.log.
in_desktop_group() {
  setsid "$@" >"$work/desktop.log" 2>&1 </dev/null &
  desktop_groups+=($!)
  trap 'end_desktops; end_work' EXIT
}

# desktop_home: makes a fresh home, $work/desktop-home, if there is none
# yet, and leaves the variables that put a desktop there in $desktop_env.
# (Mesa finds the cache for its shaders through XDG_CACHE_HOME, or else in
# the user's entry in the password database, not in HOME.)
desktop_home() {
  local home=$work/desktop-home
  mkdir -p "$home/.config" "$home/.cache" "$home/.local/share"
  desktop_env=("HOME=$home" "XDG_CONFIG_HOME=$home/.config" "XDG_CACHE_HOME=$home/.cache"
    "XDG_DATA_HOME=$home/.local/share")
}

# start_x11_desktop BUILD_DIR COMMAND...: starts COMMAND, a window manager
# that composites, on $DISPLAY with a session bus and a fresh home
# ($work/desktop-home) of its own, and waits until it composites (as
# BUILD_DIR's rgba_composited tells), at most 30 s: some load plugins and
# settings first.
start_x11_desktop() {
  local build=$1
  shift
  desktop_home
  in_desktop_group env "${desktop_env[@]}" dbus-run-session -- "$@"
  for _ in $(seq 300); do
    "$build/tools/rgba_composited" >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  echo "$1 did not start compositing (log: $(tail -n 3 "$work/desktop.log" | paste -sd' ' -))" >&2
  return 1
}

# x11_socket_folder: makes /tmp/.X11-unix, where X servers put their
# sockets, if it is missing, as X servers and systemd-tmpfiles make it
# (with a fresh /tmp, as in a new container): some compositors do not make
# it before they start Xwayland, and wlroots makes it for its user alone.
x11_socket_folder() {
  [ -d /tmp/.X11-unix ] || install -d -m 1777 /tmp/.X11-unix
}

# start_sway [CONFIG_LINE...]: starts sway on a headless output of
# 1280x1024, painting with pixman, with Xwayland running at once and a
# magenta desktop, and the CONFIG_LINEs added to its configuration. It
# exports DISPLAY for Xwayland, and leaves WAYLAND_DISPLAY, XDG_RUNTIME_DIR
# and SWAYSOCK for its clients (grim, swaymsg) in $sway_env. sway
# refuses to run as root: root runs it as nobody, in a home of its own
# ($work/sway), and lets itself into the Xwayland it starts.
start_sway() {
  local home=$work/sway line
  mkdir -m 700 "$home"
  {
    echo 'output HEADLESS-1 resolution 1280x1024 bg #ff00ff solid_color'
    echo 'xwayland force'
    for line in "$@"; do echo "$line"; done
    # Once Xwayland is up, sway starts this with DISPLAY set for it.
    echo "exec sh -c 'xhost +si:localuser:$(id -un) >/dev/null && echo \"\$DISPLAY\" >$home/display'"
  } >"$home/config"
  local as=()
  x11_socket_folder
  if [ "$(id -u)" -eq 0 ]; then
    chmod 711 "$work"
    chown -R 65534:65534 "$home"
    as=(setpriv --reuid=65534 --regid=65534 --clear-groups)
  fi
  in_desktop_group env -i PATH="$PATH" HOME="$home" XDG_RUNTIME_DIR="$home" WLR_BACKENDS=headless \
    WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 "${as[@]}" sway --config "$home/config"
  for _ in $(seq 100); do
    [ -s "$home/display" ] && break
    sleep 0.1
  done
  if [ ! -s "$home/display" ]; then
    echo "sway did not start Xwayland (log: $(tail -n 3 "$work/desktop.log" | paste -sd' ' -))" >&2
    return 1
  fi
  DISPLAY=$(cat "$home/display")
  export DISPLAY
  local sockets=("$home"/wayland-*[0-9]) ipc=("$home"/sway-ipc.*.sock)
  # shellcheck disable=SC2034 # for the caller
  sway_env=("XDG_RUNTIME_DIR=$home" "WAYLAND_DISPLAY=${sockets[0]##*/}" "SWAYSOCK=${ipc[0]}")
}

# pixels_of_colour IMAGE COLOUR: how many pixels of IMAGE have COLOUR
# (within 2% on each channel).
pixels_of_colour() {
  convert "$1" -precision 16 -fuzz 2% -fill black +opaque "$2" -fill white -opaque "$2" \
    -format '%[fx:round(mean*w*h)]' info:
}
