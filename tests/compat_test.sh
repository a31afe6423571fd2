#!/usr/bin/env bash
# Runs stock GTK 2 programs from Debian with the module installed into a
# stage and loaded by its short name, on a private Xvfb with a compositing
# manager, each program selected by the name it reports. For each it checks:
# the notice names the program, every visible top-level window has depth 32,
# the program still runs after a few seconds, and it prints no X error or
# GTK critical that it does not also print without the module.
#
# usage: compat_test.sh [BUILD_DIR]   (builds into ./build when none is given)
# Prints a Markdown table of the results; exits non-zero if any program fails.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/lib.sh"

# file to run : name it reports to GLib (a program may choose its own)
programs=(
  gtk-demo:gtk-demo
  gpicview:gpicview
  gmrun:gmrun
  hexchat:hexchat
  lxtask:lxtask
  sylpheed:sylpheed
)

bash "$root/scripts/install-deps.sh" cmake g++ pkg-config libgtk2.0-dev libgtest-dev xvfb \
  x11-utils xcompmgr gtk2.0-examples gpicview gmrun hexchat lxtask sylpheed >&2

build=${1:-}
if [ -z "$build" ]; then
  build=$root/build
  build_targets "$build" rgba-colormap
fi

begin_work

DESTDIR=$work/stage cmake --install "$build" >/dev/null
module=$(find "$work/stage" -name librgba-colormap.so)
gtk_path=$(dirname "$(dirname "$module")")

start_xvfb
xcompmgr 2>/dev/null &
pids+=($!)

# Depths of the viewable top-level windows, one a line.
window_depths() {
  local window
  for window in $(xwininfo -root -children 2>/dev/null | awk '/^ +0x/ { print $1 }'); do
    xwininfo -id "$window" 2>/dev/null |
      awk '/Depth:/ { depth = $2 } /Map State:/ { state = $3 }
           END { if (state == "IsViewable") print depth }'
  done
}

# X errors and GTK criticals, without the process ids, times and serials
# that differ between two runs.
troubles() {
  grep -E 'CRITICAL|X Window System error|Bad[A-Z][a-z]+' "$1" | sed -E 's/[0-9]+/N/g' | sort -u || true
}

# run NAME FILE WITH_MODULE: runs FILE with a fresh home, the module loaded
# when WITH_MODULE is yes. Leaves, in $work/NAME.WITH_MODULE.*, its output
# (.out, .err), the depths of its windows (.depths) and whether it was
# still running a few seconds on (.alive).
run() {
  local name=$1 file=$2 with_module=$3 home=$work/home-$1-$3 pid
  mkdir -p "$home"
  local env=(env -u GTK_MODULES -u GTK2_MODULES HOME="$home" XDG_CONFIG_HOME="$home/.config")
  if [ "$with_module" = yes ]; then
    env+=(GTK_PATH="$gtk_path" GTK2_MODULES=rgba-colormap GTK_RGBA_APPS="$name")
  fi
  "${env[@]}" stdbuf -oL "$file" >"$work/$name.$with_module.out" 2>"$work/$name.$with_module.err" &
  pid=$!
  for _ in $(seq 300); do
    [ -n "$(window_depths)" ] && break
    sleep 0.1
  done
  sleep 3
  window_depths | sort | paste -sd, - >"$work/$name.$with_module.depths"
  if kill -0 "$pid" 2>/dev/null; then echo yes; else echo no; fi >"$work/$name.$with_module.alive"
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
}

failures=0
echo "| program | name it reports | window depth | verdict |"
echo "| --- | --- | --- | --- |"
for entry in "${programs[@]}"; do
  file=${entry%%:*} name=${entry#*:}
  run "$name" "$file" no
  run "$name" "$file" yes

  problems=()
  reported=$(sed -n 's/^progname=\(.*\); RGBA=on$/\1/p' "$work/$name.yes.out")
  [ "$(cat "$work/$name.yes.out")" = $'\nprogname='"$name"'; RGBA=on' ] ||
    problems+=("no notice for $name")
  depths=$(cat "$work/$name.yes.depths")
  [ -n "$depths" ] || problems+=("no window")
  [[ ",$depths," != *,24,* ]] || problems+=("a window of depth 24")
  [ "$(cat "$work/$name.yes.alive")" = yes ] || problems+=("exited early")
  new=$(comm -13 <(troubles "$work/$name.no.err") <(troubles "$work/$name.yes.err"))
  [ -z "$new" ] || problems+=("new on stderr: $(echo "$new" | head -n1)")

  verdict=works
  if [ ${#problems[@]} -gt 0 ]; then
    verdict="fails: $(printf '%s; ' "${problems[@]}")"
    verdict=${verdict%; }
    failures=$((failures + 1))
  fi
  echo "| $file | ${reported:-none} | ${depths:-none} | $verdict |"
done

[ "$failures" -eq 0 ]
