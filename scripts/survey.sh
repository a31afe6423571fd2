#!/usr/bin/env bash
# Surveys how installed GTK 2 programs take the RGBA colormap. Each PROGRAM
# is started without arguments on a private Xvfb under picom, with GTK 2's
# stock theme (a clean home, no gtkrc), once without the module and once
# with it, selected by the name it reports. It prints one line a program,
#
#   PROGRAM VERDICT [DETAIL]
#
# where VERDICT is one of
#   works        the notice names the program, its windows have depth 32, it
#                runs on, prints no new X error, critical or GTK/Gdk warning,
#                and nowhere lets the desktop through where it is opaque
#                without the module;
#   breaks       selected, it dies, prints a new X error, critical or
#                warning, or lets the desktop through where it is opaque
#                without the module;
#   no-effect    the notice is printed, the windows stay at depth 24, and
#                nothing else differs;
#   not-gtk2     the module never runs in it (GTK 3, or no GTK at all);
#   fails-alone  it does not start, or dies, even without the module;
# and DETAIL says what went wrong, the depths of its windows and the name
# it reports (name=NAME, last). All else goes to standard error.
#
# Where the desktop shows through is measured: screenshots over a magenta,
# a green and again a magenta desktop; pixels that change with the desktop,
# as blending does, are see-through (see tools/see_through.c).
#
# usage: scripts/survey.sh PROGRAM...
#   RGBA_BUILD=DIR   the build to use (default: ./build, built when needed)
#   RGBA_SURVEY_KEEP=DIR   keep each program's runs in DIR/PROGRAM: output,
#                    windows and screenshots (.1.ppm is over magenta)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/lib.sh"

if [ $# -eq 0 ]; then
  echo "usage: $0 PROGRAM..." >&2
  exit 2
fi

# Games live in /usr/games, which root's PATH lacks.
[[ :$PATH: == *:/usr/games:* ]] || PATH=$PATH:/usr/games

bash "$root/scripts/install-deps.sh" survey >&2
build=${RGBA_BUILD:-$root/build}
build_targets "$build" rgba-colormap rgba_composited rgba_see_through
build=$(cd "$build" && pwd)
module=$build/librgba-colormap.so

# Seconds: how long a program has to show a window and settle, and how
# long after its start it must still be running. A program that spends
# more than busy_ticks (hundredths of a second) of processor time a second
# is still busy.
window_wait=20
alive_after=6
busy_ticks=5
# A program lets the desktop through if more than this share (per ten
# thousand) of its windows' pixels, and this many at least, turn see-through.
see_through_share=20
see_through_least=200

begin_work

# run_once OUT COMMAND [VARIABLE=VALUE...]: runs COMMAND with the VARIABLEs
# on a fresh X server under picom, over a magenta desktop, with a clean home
# and a session bus of its own. Leaves in OUT.*: what it printed (.out,
# .err); its visible windows once settled (.windows, as visible_windows
# prints them); screenshots over a magenta, a green and a magenta desktop
# (.1.ppm, .2.ppm, .3.ppm); whether it had GTK 2 loaded (.gtk2); whether it
# was still running some seconds after its start (.alive) and, if not, how
# it ended (.ended).
run_once() (
  local out=$1 command=$2
  shift 2
  begin_work
  start_xvfb -screen 0 1280x1024x24
  start_compositor "$build"
  set_desktop '#ff00ff'
  # A home as a new desktop user has it, and folders of its own.
  mkdir -m 700 "$work/home" "$work/runtime" "$work/tmp"
  mkdir -p "$work/home/.config" "$work/home/.cache" "$work/home/.local/share"

  # In its home, so that a file manager shows that, not the caller's folder.
  cd "$work/home"
  local started=$SECONDS pid
  # setsid: the program and all it starts are one session to watch and end.
  env -i PATH="$PATH" HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime" TMPDIR="$work/tmp" \
    DISPLAY="$DISPLAY" LANG=C.UTF-8 "$@" setsid dbus-run-session -- stdbuf -oL -eL "$command" \
    </dev/null >"$out.out" 2>"$out.err" &
  pid=$!
  pids+=("-$pid")

  until [ -n "$(visible_windows)" ] || ! kill -0 "$pid" 2>/dev/null ||
    [ $((SECONDS - started)) -ge "$window_wait" ]; do
    sleep 0.2
  done
  # Then it has settled once it has stopped working: some programs load
  # for seconds behind a splash window before they show their own.
  if [ -n "$(visible_windows)" ]; then
    local before after
    after=$(cpu_ticks "$pid")
    while [ $((SECONDS - started)) -lt "$window_wait" ]; do
      before=$after
      sleep 1
      after=$(cpu_ticks "$pid")
      [ $((after - before)) -gt "$busy_ticks" ] || break
    done
  fi

  visible_windows >"$out.windows"
  shots_over_two_desktops "$out"

  local process gtk2=no
  for process in $(ps -o pid= -s "$pid" 2>/dev/null); do
    grep -qs 'libgtk-x11-2\.0\.so' "/proc/$process/maps" && gtk2=yes
  done
  echo "$gtk2" >"$out.gtk2"

  local rest=$((alive_after - (SECONDS - started)))
  [ "$rest" -le 0 ] || sleep "$rest"
  # A program that has gone to the background has left its windows.
  if kill -0 "$pid" 2>/dev/null || [ -n "$(visible_windows)" ]; then
    echo yes >"$out.alive"
    stop_program
    wait "$pid" 2>/dev/null || true
  else
    echo no >"$out.alive"
    local status=0
    wait "$pid" 2>/dev/null || status=$?
    if [ "$status" -gt 128 ] && [ "$status" -le 192 ]; then
      echo "killed by signal $((status - 128))"
    else
      echo "exit status $status"
    fi >"$out.ended"
    stop_program
  fi
)

# stop_program: ends every process the program of the current run_once
# started, daemons that left its session too: all carry its home in their
# environment.
stop_program() {
  local processes round
  for round in $(seq 30); do
    processes=$(grep -lzx "HOME=$work/home" /proc/[0-9]*/environ 2>/dev/null | cut -d/ -f3)
    [ -n "$processes" ] || return 0
    # shellcheck disable=SC2086 # one word a process
    kill "-$([ "$round" -le 20 ] && echo TERM || echo KILL)" $processes 2>/dev/null || true
    sleep 0.1
  done
}

# cpu_ticks SESSION: the processor time the processes of SESSION, and the
# children they have waited for, have had, in clock ticks.
cpu_ticks() {
  local process
  for process in $(ps -o pid= -s "$1" 2>/dev/null); do
    sed 's/.*) //' "/proc/$process/stat" 2>/dev/null || true
  done | awk '{ ticks += $12 + $13 + $14 + $15 } END { print ticks + 0 }'
}

# The notice's name in run OUT, if the module ran there.
notice_name() { sed -n 's/^progname=\(.*\); RGBA=on$/\1/p' "$1.out" | head -n1; }

# X errors, criticals and GTK/Gdk warnings in run OUT.
trouble_lines() {
  grep -E 'X Window System error|Details: serial|-CRITICAL \*\*|(Gtk|Gdk)-WARNING \*\*' "$1.err" || true
}

# A trouble line without what differs between two runs anyway: process
# ids, times, addresses, serials, scratch folders; one a line.
normalise() {
  sed -E -e 's/^\([^)]*\): //' -e 's|/tmp/[^ ]*|TMP|g' -e 's/0x[0-9a-fA-F]+/N/g' -e 's/[0-9]+/N/g'
}

# The troubles of run WITH that none of the runs without the module had,
# as the program printed them.
new_troubles() {
  local with=$1 line
  shift
  local known
  known=$(for run in "$@"; do trouble_lines "$run"; done | normalise | sort -u)
  trouble_lines "$with" | while IFS= read -r line; do
    grep -qxF -- "$(normalise <<<"$line")" <<<"$known" || echo "$line"
  done
}

# Pixels of run OUT's windows that let the desktop through, and all their
# pixels: "SEE_THROUGH TOTAL".
see_through() {
  # shellcheck disable=SC2046 # one word a number
  see_through_total "$build" "$1" $(awk '{ print $3, $4, $5, $6 }' "$1.windows")
}

depths() { awk '{ print $2 }' "$1.windows" | paste -sd, -; }

# What it takes to say the program runs: it showed a window or runs on.
started() { [ "$(cat "$1.alive")" = yes ]; }

# judge PROGRAM DIR: the verdict and its detail for PROGRAM, run into DIR.
judge() {
  local program=$1 dir=$2 path name
  if ! path=$(type -P "$program"); then
    echo "fails-alone not installed"
    return
  fi

  # GTK names a program after the file it runs as, unless the program
  # names itself; then the notice tells the name when all are selected.
  # Runs go one after the other, since two copies of a program at once may
  # find each other.
  name=$(basename "$path")
  run_once "$dir/alone" "$path"
  run_once "$dir/with" "$path" GTK2_MODULES="$module" GTK_RGBA_APPS="$name"

  if ! started "$dir/alone"; then
    # It never got as far as GTK: say not-gtk2 only of a binary that does
    # not link GTK 2 at all.
    local kind libraries
    kind=$(file -L "$path")
    libraries=$(ldd "$path" 2>/dev/null || true)
    if [[ $kind == *ELF* && $libraries != *libgtk-x11-2.0* ]]; then
      echo "not-gtk2 does not link GTK 2 (and $(cat "$dir/alone.ended") on its own)"
    else
      echo "fails-alone $(cat "$dir/alone.ended") without the module"
    fi
    return
  fi

  if [ -z "$(notice_name "$dir/with")" ]; then
    if [ "$(cat "$dir/with.gtk2")" = no ] && [ "$(cat "$dir/alone.gtk2")" = no ]; then
      echo "not-gtk2 never loads GTK 2"
      return
    fi
    run_once "$dir/any" "$path" GTK2_MODULES="$module" GTK_RGBA_APPS=allbut
    name=$(notice_name "$dir/any")
    if [ -z "$name" ]; then
      echo "not-gtk2 loads GTK 2 but never runs its modules"
      return
    fi
    run_once "$dir/with" "$path" GTK2_MODULES="$module" GTK_RGBA_APPS="$name"
  fi

  local problems=() new alone_seen with_seen total
  if [ "$(notice_name "$dir/with")" != "$name" ]; then
    problems+=("no notice for $name")
  fi
  if [ "$(cat "$dir/with.alive")" = no ]; then
    problems+=("$(cat "$dir/with.ended") with the module")
  elif [ -s "$dir/alone.windows" ] && [ ! -s "$dir/with.windows" ]; then
    problems+=("shows no window with the module")
  fi
  new=$(new_troubles "$dir/with" "$dir/alone")
  if [ -n "$new" ]; then
    # A warning a program prints only now and then is not the module's:
    # look once more without it.
    run_once "$dir/alone2" "$path"
    new=$(new_troubles "$dir/with" "$dir/alone" "$dir/alone2")
    [ -z "$new" ] || problems+=("new on stderr: $(head -n1 <<<"$new" |
      sed -E -e 's/^\([^)]*\): //' -e 's/[0-9:]+\.[0-9]+: //')")
  fi
  read -r alone_seen _ < <(see_through "$dir/alone")
  read -r with_seen total < <(see_through "$dir/with")
  if [ $((with_seen - alone_seen)) -gt "$see_through_least" ] &&
    [ $(((with_seen - alone_seen) * 10000)) -gt $((see_through_share * total)) ]; then
    problems+=("the desktop shows through $(((with_seen - alone_seen) * 100 / total))% of its windows")
  fi

  local shown verdict
  shown=$(depths "$dir/with")
  if [ ${#problems[@]} -gt 0 ]; then
    verdict=breaks
  elif [ -z "$shown" ]; then
    verdict=works problems=("no visible window")
  elif [[ ",$shown," != *,32,* ]]; then
    verdict=no-effect problems=("its windows keep depth 24")
  elif [[ ",$shown," == *,24,* ]]; then
    verdict=works problems=("some of its windows keep depth 24")
  else
    verdict=works
  fi
  problems+=("depths=${shown:-none} name=$name")
  local detail
  detail=$(printf '%s; ' "${problems[@]}")
  echo "$verdict ${detail%; }"
}

number=0
for program in "$@"; do
  number=$((number + 1))
  mkdir "$work/$number"
  echo "surveying $program" >&2
  echo "$program $(judge "$program" "$work/$number")"
  if [ -n "${RGBA_SURVEY_KEEP:-}" ]; then
    mkdir -p "$RGBA_SURVEY_KEEP"
    rm -rf "${RGBA_SURVEY_KEEP:?}/$program"
    cp -r "$work/$number" "$RGBA_SURVEY_KEEP/$program"
  fi
done
