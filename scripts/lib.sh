# shellcheck shell=bash
# Sourced by the project's scripts: a scratch folder that goes away with the
# script, a private X server, and the build.

lib_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# begin_work: makes the scratch folder $work. When the script exits, the
# processes listed in $pids are ended and $work is removed.
begin_work() {
  work=$(mktemp -d)
  pids=()
  trap end_work EXIT
}

end_work() {
  local pid
  for pid in "${pids[@]}"; do
    kill "$pid" 2>/dev/null || true
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

# build_targets BUILD_DIR TARGET...: configures the project, tests included,
# in BUILD_DIR and builds the TARGETs there.
build_targets() {
  local build=$1
  shift
  cmake -S "$lib_root" -B "$build" -DBUILD_TESTING=ON >/dev/null
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
