#!/usr/bin/env bash
# Runs the module on the compositing desktops Debian ships, as far as they
# run on this machine: each on a private server (Xvfb, or a headless
# Wayland compositor and its Xwayland) with a fresh home. On each, a stock
# GTK 2 program ($program below) with the example theme runs twice, the
# module turned on by the way that desktop's session does it, with
# GTK_RGBA_APPS choosing the program and then leaving it out:
#   xsession  ~/.xsessionrc, then the Xsession.d script, as Xsession(5)
#             sources them (the X11 desktops);
#   systemd   ~/.config/environment.d, then the user manager's environment
#             generators, ours among them, run by systemd's own code
#             (systemd-analyze) as tests/session_test.sh does (GNOME on
#             Wayland, sway, weston);
#   plasma    ~/.profile, then plasma-workspace/env, sourced as startplasma
#             does (KWin on Wayland).
# The module, the scripts and the theme are this checkout's, installed into
# a staging folder that GTK_PATH and GTK_DATA_PREFIX point into.
#
# It prints one line a desktop, its fields separated by tabs:
#   DESKTOP VERSION X11|Wayland WAY VERDICT SELECTED LEFT_OUT NEW_STDERR REASON
# where VERDICT is works, breaks or cannot-run; SELECTED is "notice=yes|no
# depths=D,... see-through=P%" and LEFT_OUT "depths=D,... see-through=P%",
# the share of the program's window pixels that let the desktop through;
# NEW_STDERR the first X error, critical or GTK/Gdk warning that the selected
# run printed and the left-out one did not ("none"); and REASON why it
# breaks or cannot run. A desktop that does not work at the first go runs
# once more, and the second run counts. Progress, and the first run's line
# then, go to standard error.
# docs/make-desktops-table.sh turns the lines into README.md's table.
#
# usage: scripts/desktops.sh [DESKTOP...]   (default: all of them)
#   RGBA_BUILD=DIR         the build to use (default: ./build)
#   RGBA_DESKTOPS_KEEP=DIR keep each desktop's logs, output and screenshots
#                          in DIR/DESKTOP
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/lib.sh"
program=searchmonkey

# DESKTOP PACKAGE COMMAND X11|Wayland WAY
all=(
  "picom picom picom X11 xsession"
  "xfwm4 xfwm4 xfwm4 X11 xsession"
  "mutter mutter mutter X11 xsession"
  "gnome-shell-x11 gnome-shell gnome-shell X11 xsession"
  "kwin_x11 kwin-x11 kwin_x11 X11 xsession"
  "marco marco marco X11 xsession"
  "metacity metacity metacity X11 xsession"
  "muffin muffin muffin X11 xsession"
  "compiz compiz-core compiz X11 xsession"
  "weston weston weston Wayland systemd"
  "sway sway sway Wayland systemd"
  "gnome-shell-wayland gnome-shell gnome-shell Wayland systemd"
  "kwin_wayland kwin-wayland kwin_wayland Wayland plasma"
)
chosen=("$@")
if [ ${#chosen[@]} -eq 0 ]; then
  for entry in "${all[@]}"; do chosen+=("${entry%% *}"); done
fi

bash "$root/scripts/install-deps.sh" desktops >&2
build=${RGBA_BUILD:-$root/build}
build_targets "$build" rgba-colormap rgba_composited rgba_see_through rgba_desktop_window
build=$(cd "$build" && pwd)

begin_work
stage=$work/stage
DESTDIR=$stage cmake --install "$build" >/dev/null
name=60rgba-colormap-gtk2-module
xsession_script=$stage/etc/X11/Xsession.d/$name
plasma_script=$stage/etc/xdg/plasma-workspace/env/$name.sh
generator=$stage/usr/lib/systemd/user-environment-generators/$name
module=$(find "$stage/usr/lib" -path '*/gtk-2.0/modules/librgba-colormap.so')
gtk_path=$(dirname "$(dirname "$module")")
# What Debian 12's startplasma runs to source plasma-workspace/env/*.sh
# (plasma-workspace 5.27, libexec/plasma-sourceenv.sh), whose output it
# takes as its own environment.
sourceenv=$work/plasma-sourceenv.sh
printf 'for i in $@\ndo\n    . $i >/dev/null\ndone\nenv -0\n' >"$sourceenv"

# Seconds the program has to show its window.
window_wait=20

# session_environment WAY HOME VAR=VALUE...: the environment, as env -0
# prints it, that a session started WAY gives its programs when the user's
# HOME has set GTK_RGBA_APPS its way and the session starts with the VARs.
session_environment() {
  local way=$1 home=$2
  shift 2
  case $way in
    xsession)
      env -i "$@" HOME="$home" sh -e -c '. "$HOME/.xsessionrc"; . "$1"; exec env -0' _ "$xsession_script"
      ;;
    plasma)
      env -i "$@" HOME="$home" sh -c '. "$HOME/.profile"; exec sh "$1" "$2"' _ \
        "$sourceenv" "$plasma_script"
      ;;
    systemd)
      # systemd-analyze verify starts a user manager in test mode, which
      # runs the environment generators and hands what they built to the
      # unit generators, where one writes it down.
      local dir=$home.manager
      mkdir -p "$dir/generators" "$dir/unit-generators" "$dir/units"
      ln -sf /usr/lib/systemd/user-environment-generators/30-systemd-environment-d-generator \
        "$generator" "$dir/generators/"
      printf '#!/bin/sh\nenv -0 >"%s"\n' "$dir/environment" >"$dir/unit-generators/write-down"
      chmod +x "$dir/unit-generators/write-down"
      printf '[Service]\nExecStart=/bin/true\n' >"$dir/units/probe.service"
      env -i "$@" HOME="$home" XDG_CONFIG_HOME="$home/.config" \
        SYSTEMD_ENVIRONMENT_GENERATOR_PATH="$dir/generators" SYSTEMD_GENERATOR_PATH="$dir/unit-generators" \
        systemd-analyze --user verify --generators=yes "$dir/units/probe.service" >/dev/null 2>&1 || true
      cat "$dir/environment"
      ;;
  esac
}

# X errors, criticals and GTK/Gdk warnings in FILE, without what differs
# from run to run (process ids, times, numbers).
troubles() {
  grep -E 'X Window System error|Details: serial|-CRITICAL \*\*|(Gtk|Gdk)-WARNING \*\*' "$1" |
    sed -E -e 's/^\([^)]*\): //' -e 's/[0-9]+/N/g' | sort -u || true
}

# The desktops. Each desktop_DESKTOP starts it with a fresh home and sets
# DISPLAY, the X server its X programs use, and, on Wayland, $shoot and
# $paint: the commands that take a screenshot (PPM FILE) of what it shows
# and that paint its desktop a COLOUR; X11 desktops are shot with lib.sh's
# shots_over_two_desktops. The programs' windows lie over an
# rgba_desktop_window, where the desktop does not paint the root window's
# background itself. It returns non-zero, with the reason last on standard
# error, when the desktop cannot run.
shoot='' paint='' outer=''

# Xvfb, with the pointer in a corner, where it shows no tooltip.
x11_server() {
  start_xvfb -screen 0 1280x1024x24
  xdotool mousemove 1279 1023
}

# On Xvfb: the window manager COMMAND..., compositing.
x11_wm() {
  x11_server
  start_x11_desktop "$build" "$@" || return 1
  add_desktop_window
}

add_desktop_window() {
  "$build/tools/rgba_desktop_window" >/dev/null 2>&1 &
  pids+=($!)
  sleep 0.5
}

desktop_picom() {
  x11_server
  start_compositor "$build"
}
desktop_xfwm4() { x11_wm xfwm4 --compositor=on --sm-client-disable; }
desktop_mutter() { x11_wm mutter --x11 --replace --sm-disable; }
# gnome-shell wants a system bus; its session bus stands in for it.
desktop_gnome-shell-x11() {
  x11_wm sh -c 'DBUS_SYSTEM_BUS_ADDRESS=$DBUS_SESSION_BUS_ADDRESS exec gnome-shell --x11 --replace --sm-disable' ||
    return 1
  leave_overview
}

# GNOME Shell starts in its overview, which hides the windows.
leave_overview() {
  for _ in $(seq 100); do
    grep -q 'GNOME Shell started' "$work/desktop.log" && break
    sleep 0.1
  done
  sleep 1
  xdotool key Escape
}
desktop_kwin_x11() { x11_wm kwin_x11 --replace; }
desktop_marco() { x11_wm marco --composite --replace --sm-disable; }
desktop_metacity() { x11_wm metacity --composite --replace --sm-disable; }
desktop_muffin() { x11_wm muffin --x11 --replace --sm-disable; }
desktop_compiz() {
  x11_wm compiz --replace --sm-disable ccp composite opengl decoration move place resize
}

# Wayland compositors, in a process group, a session bus and a fresh home
# ($work/desktop-home) of their own, with a runtime folder; COMMAND is run
# by sh, with the bus's address in $work/bus.
wayland_desktop() {
  x11_socket_folder
  mkdir -m 700 "$work/runtime"
  desktop_home
  in_desktop_group env -u DISPLAY -u WAYLAND_DISPLAY "${desktop_env[@]}" XDG_RUNTIME_DIR="$work/runtime" \
    dbus-run-session -- sh -c 'echo "$DBUS_SESSION_BUS_ADDRESS" >"$1/bus"; shift; exec "$@"' _ "$work" "$@"
}

# wait_for_display PATTERN: DISPLAY from the first line of the desktop's
# log that PATTERN (sed -n) turns into it.
wait_for_display() {
  for _ in $(seq 300); do
    DISPLAY=$(sed -n "$1" "$work/desktop.log" | head -n1)
    [ -n "$DISPLAY" ] && break
    sleep 0.1
  done
  if [ -z "$DISPLAY" ]; then
    echo "no Xwayland (log: $(tail -n 3 "$work/desktop.log" | paste -sd' ' -))" >&2
    return 1
  fi
  export DISPLAY
  for _ in $(seq 100); do
    xdpyinfo >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  echo "Xwayland $DISPLAY does not answer" >&2
  return 1
}

desktop_weston() {
  printf '[shell]\nbackground-color=0xff000000\npanel-position=none\n' >"$work/weston.ini"
  # --debug lets weston-screenshooter read the screen.
  wayland_desktop weston --backend=headless-backend.so --use-pixman --xwayland --debug \
    --socket=rgba-desktop --width=1280 --height=1024 --config="$work/weston.ini" --idle-time=0
  wait_for_display 's/.*xserver listening on display \(:[0-9]*\).*/\1/p' || return 1
  shoot=shoot_weston paint=set_desktop
  add_desktop_window
}
shoot_weston() {
  rm -rf "$work/shots" && mkdir "$work/shots"
  (cd "$work/shots" && XDG_RUNTIME_DIR=$work/runtime WAYLAND_DISPLAY=rgba-desktop weston-screenshooter)
  convert "$work"/shots/*.png "ppm:$1"
}

desktop_sway() {
  # lib.sh's, which makes its own home and runtime folder.
  start_sway || return 1
  shoot=shoot_sway paint=paint_sway
}
shoot_sway() { env "${sway_env[@]}" grim -t ppm "$1"; }
paint_sway() { env "${sway_env[@]}" swaymsg "output * bg $1 solid_color" >/dev/null; }

desktop_gnome-shell-wayland() {
  wayland_desktop sh -c 'DBUS_SYSTEM_BUS_ADDRESS=$DBUS_SESSION_BUS_ADDRESS exec gnome-shell --headless \
    --wayland --virtual-monitor 1280x1024 --sm-disable'
  # Its Xwayland wants the key it writes into the runtime folder.
  for _ in $(seq 100); do
    XAUTHORITY=$(find "$work/runtime" -maxdepth 1 -name '.mutter-Xwaylandauth.*' | head -n1)
    [ -z "$XAUTHORITY" ] || break
    sleep 0.1
  done
  export XAUTHORITY
  wait_for_display 's/.*Using public X11 display \(:[0-9]*\).*/\1/p' || return 1
  for _ in $(seq 100); do
    grep -q 'GNOME Shell started' "$work/desktop.log" && break
    sleep 0.1
  done
  sleep 1
  in_gnome_session gdbus call --session --dest org.gnome.Shell --object-path /org/gnome/Shell \
    --method org.freedesktop.DBus.Properties.Set org.gnome.Shell OverviewActive '<false>' >/dev/null
  # Its own desktop, painted one colour: GNOME Shell 48 on Wayland shows
  # no X11 desktop window.
  local key
  for key in picture-uri picture-uri-dark; do
    in_gnome_session gsettings set org.gnome.desktop.background "$key" ''
  done
  in_gnome_session gsettings set org.gnome.desktop.background color-shading-type solid
  shoot=shoot_gnome_shell paint=paint_gnome_shell
}
# in_gnome_session COMMAND...: runs COMMAND as a client of GNOME Shell's
# session.
in_gnome_session() {
  desktop_home
  env -u DISPLAY DBUS_SESSION_BUS_ADDRESS="$(cat "$work/bus")" XDG_RUNTIME_DIR="$work/runtime" \
    WAYLAND_DISPLAY=wayland-0 "${desktop_env[@]}" "$@"
}
paint_gnome_shell() { in_gnome_session gsettings set org.gnome.desktop.background primary-color "$1"; }
# GNOME Shell lets only a few programs take screenshots, gnome-screenshot
# among them.
shoot_gnome_shell() {
  rm -f "$work/shot.png"
  in_gnome_session gnome-screenshot -f "$work/shot.png" >/dev/null 2>&1
  convert "$work/shot.png" "ppm:$1"
}

# KWin's virtual backend has no screenshot interface: it runs in a window on
# an Xvfb, whose screen shows what it composites.
desktop_kwin_wayland() {
  start_xvfb -screen 0 1280x1024x24
  outer=$DISPLAY
  # A copy without the capability (cap_sys_resource) that the binary asks
  # for, which a container may not grant.
  cp /usr/bin/kwin_wayland "$work/kwin_wayland"
  wayland_desktop env DISPLAY="$outer" "$work/kwin_wayland" --x11-display "$outer" \
    --xwayland --socket rgba-desktop --width 1280 --height 1024 \
    "sh -c 'echo \"Xwayland display \$DISPLAY\"'"
  wait_for_display 's/^Xwayland display \(:[0-9]*\)$/\1/p' || return 1
  shoot=shoot_outer paint=set_desktop
  add_desktop_window
}
shoot_outer() { DISPLAY=$outer screenshot "ppm:$1"; }

# desktop_shots PREFIX: shots_over_two_desktops, on Wayland with the
# desktop's own $paint and $shoot.
desktop_shots() {
  if [ -z "$shoot" ]; then
    shots_over_two_desktops "$1"
  else
    shots_over_two_desktops "$1" "$paint" "$shoot"
  fi
}

# run_program WAY RUN APPS: runs the program in a fresh home $work/RUN, the
# module turned on WAY with GTK_RGBA_APPS=APPS, measures it and stops it.
# Leaves in $work/RUN.*: its output (.out, .err), its visible windows
# (.windows, as window_info prints them), and "SEEN TOTAL" pixels of them
# that let the desktop through (.seen).
run_program() {
  local way=$1 out=$work/$2 apps=$3 home=$work/$2
  mkdir -m 700 "$home" "$home.runtime"
  echo 'gtk-theme-name = "Frosted"' >"$home/.gtkrc-2.0"
  echo "export GTK_RGBA_APPS=$apps" >"$home/.xsessionrc"
  echo "export GTK_RGBA_APPS=$apps" >"$home/.profile"
  mkdir -p "$home/.config/environment.d"
  echo "GTK_RGBA_APPS=$apps" >"$home/.config/environment.d/60-rgba-colormap.conf"
  local vars
  mapfile -t -d '' vars < <(session_environment "$way" "$home" PATH="$PATH" DISPLAY="$DISPLAY" \
    ${XAUTHORITY:+XAUTHORITY="$XAUTHORITY"} LANG=C.UTF-8 XDG_RUNTIME_DIR="$home.runtime" GTK_PATH="$gtk_path" \
    GTK_DATA_PREFIX="$stage/usr")
  printf '%s\n' "${vars[@]}" | grep -E '^(GTK_RGBA_APPS|GTK2_MODULES)=' >"$out.session" || true

  (cd "$home" && exec env -i "${vars[@]}" setsid dbus-run-session -- stdbuf -oL -eL "$program" \
    </dev/null >"$out.out" 2>"$out.err") &
  local pid=$! windows='' started=$SECONDS
  until [ -n "$windows" ] || [ $((SECONDS - started)) -ge "$window_wait" ]; do
    sleep 0.2
    windows=$(xdotool search --all --onlyvisible --classname "^$program\$" 2>/dev/null) || true
  done
  # Let it settle: fonts, icons, the theme's first paint.
  sleep 2
  local window
  for window in $windows; do window_info "$window"; done >"$out.windows"
  desktop_shots "$out"
  # shellcheck disable=SC2046 # one word a number
  see_through_total "$build" "$out" $(awk '{ print $3, $4, $5, $6 }' "$out.windows") >"$out.seen"
  kill -- "-$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
}

# percent RUN: the share of RUN's window pixels that let the desktop through.
percent() { awk '{ printf "%.1f%%", $2 ? $1 * 100 / $2 : 0 }' "$work/$1.seen"; }
depths() { awk '{ print $2 }' "$work/$1.windows" | paste -sd, -; }

# measure DESKTOP PACKAGE COMMAND KIND WAY: one line of results.
measure() (
  local desktop=$1 package=$2 command=$3 kind=$4 way=$5 version
  version=$(dpkg-query -W -f='${Version}' "$package" 2>/dev/null | sed -E 's/^[0-9]+://; s/-[^-]*$//')
  begin_work
  # The X servers' GL (llvmpipe) keeps a shader cache, here and not in the
  # caller's home.
  export XDG_CACHE_HOME=$work/cache
  row() { printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$desktop" "${version:--}" "$kind" "$way" "$@"; }
  if ! command -v "$command" >/dev/null; then
    row cannot-run - - - "$command is not installed"
    return
  fi
  if ! "desktop_$desktop" >/dev/null 2>"$work/start.log"; then
    row cannot-run - - - "$(tail -n1 "$work/start.log")"
    keep "$desktop"
    return
  fi
  run_program "$way" selected "$program"
  run_program "$way" left-out "allbut:$program"

  local problems=() notice=no new
  grep -q "^progname=$program; RGBA=on\$" "$work/selected.out" && notice=yes
  [ "$notice" = yes ] || problems+=("no notice")
  ! grep -q 'RGBA=on' "$work/left-out.out" || problems+=("a notice when left out")
  [ -s "$work/selected.windows" ] || problems+=("no window")
  [ "$(depths selected | tr , '\n' | sort -u)" = 32 ] || problems+=("selected depths $(depths selected)")
  [ "$(depths left-out | tr , '\n' | sort -u)" = 24 ] || problems+=("left-out depths $(depths left-out)")
  local seen=0 total=0
  read -r seen total <"$work/selected.seen" || true
  [ "${total:-0}" -gt 0 ] && [ $((seen * 100)) -ge "$total" ] || problems+=("the desktop does not show through")
  seen=0 total=0
  read -r seen total <"$work/left-out.seen" || true
  [ $((${seen:-0} * 200)) -le "${total:-0}" ] || problems+=("the desktop shows through when left out")
  new=$(comm -23 <(troubles "$work/selected.err") <(troubles "$work/left-out.err") | head -n1)
  [ -z "$new" ] || problems+=("new on stderr")
  local verdict=works
  [ ${#problems[@]} -eq 0 ] || verdict=breaks
  row "$verdict" "notice=$notice depths=$(depths selected) see-through=$(percent selected)" \
    "depths=$(depths left-out) see-through=$(percent left-out)" "${new:-none}" \
    "$(IFS=';' && echo "${problems[*]}")"
  keep "$desktop"
)

# keep DESKTOP: keeps its logs and runs (see RGBA_DESKTOPS_KEEP).
keep() {
  [ -n "${RGBA_DESKTOPS_KEEP:-}" ] || return 0
  mkdir -p "$RGBA_DESKTOPS_KEEP"
  rm -rf "${RGBA_DESKTOPS_KEEP:?}/$1"
  mkdir "$RGBA_DESKTOPS_KEEP/$1"
  cp "$work"/*.log "$work"/selected.* "$work"/left-out.* "$RGBA_DESKTOPS_KEEP/$1/" 2>/dev/null || true
}

# entry DESKTOP: its line in $all.
entry() {
  local candidate
  for candidate in "${all[@]}"; do
    [ "${candidate%% *}" != "$1" ] || echo "$candidate"
  done
}
for desktop in "${chosen[@]}"; do
  if [ -z "$(entry "$desktop")" ]; then
    echo "desktops.sh: no desktop $desktop; there are: $(printf '%s\n' "${all[@]}" | cut -d' ' -f1 | paste -sd' ' -)" >&2
    exit 2
  fi
done

for desktop in "${chosen[@]}"; do
  entry=$(entry "$desktop")
  echo "running on $desktop" >&2
  # shellcheck disable=SC2086 # one word a field
  line=$(measure $entry)
  if [[ $line != *$'\tworks\t'* ]]; then
    # Once more: a busy machine may be slow to start a desktop, or to show
    # a window. What the second run finds counts.
    echo "once more, after: $line" >&2
    # shellcheck disable=SC2086
    line=$(measure $entry)
  fi
  [ -n "$line" ] || line=$(printf '%s\t-\t%s\t%s\tcannot-run\t-\t-\t-\tthe measurement failed\n' \
    "$desktop" "$(cut -d' ' -f4 <<<"$entry")" "$(cut -d' ' -f5 <<<"$entry")")
  echo "$line"
done
