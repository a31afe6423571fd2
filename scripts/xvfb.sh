# Sourced by the scripts that need a private X server.

# start_xvfb DIR [OPTION...]: starts Xvfb with OPTIONs on a display it picks
# itself, keeping its note of the display in DIR. Sets xvfb_pid and
# xvfb_display (":N"); the caller kills xvfb_pid when done.
start_xvfb() {
  local dir=$1
  shift
  Xvfb -displayfd 3 -nolisten tcp "$@" 3>"$dir/xvfb-display" 2>/dev/null &
  xvfb_pid=$!
  for _ in $(seq 100); do
    [ -s "$dir/xvfb-display" ] && break
    sleep 0.1
  done
  if [ ! -s "$dir/xvfb-display" ]; then
    echo "Xvfb did not start" >&2
    return 1
  fi
  xvfb_display=:$(head -n1 "$dir/xvfb-display")
}
