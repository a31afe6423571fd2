#!/usr/bin/env bash
# The survey on bad input: a command that is not installed, a name full of
# blanks and shell characters (a link to a GTK 2 program), a program that
# shows no window and ignores SIGTERM; and interrupted, with SIGINT and
# SIGTERM, in the middle of a run. Whatever happens, nothing it started may
# be left running and no scratch folder left behind.
#
# usage: survey_input_test.sh BUILD_DIR
set -euo pipefail

build_dir=$1
# shellcheck source=scripts/lib.sh
source "$(dirname "$0")/../scripts/lib.sh"
survey=$lib_root/scripts/rgba-colormap-survey

bash "$lib_root/scripts/install-deps.sh" survey searchmonkey
begin_work
# Open to the users the survey runs the programs as, when it runs as root.
chmod 755 "$work"
mkdir -m 755 "$work/bin" "$work/tmp"
cd "$work"

odd='odd name; $(touch pwned) `touch pwned` & | > "x'"'"
ln -s "$(command -v searchmonkey)" "$work/bin/$odd"
cat >"$work/bin/never-ends" <<'EOF'
#!/bin/sh
trap '' TERM HUP INT
while :; do sleep 1; done
EOF
chmod 755 "$work/bin/never-ends"

# left: the processes whose home is under the survey's scratch folders,
# which every process it starts carries.
left() {
  grep -lsz "^HOME=$work/tmp/" /proc/[0-9]*/environ || true
}

# has LINE PREFIX SUFFIX: whether LINE starts with PREFIX and ends with SUFFIX.
has() { [[ $1 == "$2"* && $1 == *"$3" ]]; }

status=0
PATH=$work/bin:$PATH TMPDIR=$work/tmp RGBA_BUILD=$build_dir \
  "$survey" --jobs 2 "$odd" no-such-program-here never-ends >"$work/survey" || status=$?
mapfile -t lines <"$work/survey"
check "the survey ends well (status $status)" [ "$status" -eq 0 ]
check "one line a program, in their order" [ "${#lines[@]}" -eq 3 ]
check "the odd name runs as it is and is selected by it: ${lines[0]:-}" \
  has "${lines[0]:-}" "$odd works " " name=$odd"
check "a command that is not installed: ${lines[1]:-}" \
  [ "${lines[1]:-}" = "no-such-program-here fails-alone not installed" ]
check "a program that never ends and loads no GTK: ${lines[2]:-}" \
  [ "${lines[2]:-}" = "never-ends not-gtk2 never loads GTK 2" ]
check "no shell ran the name" [ ! -e "$work/pwned" ]
check "nothing left running" [ -z "$(left)" ]
check "no scratch folder left" [ -z "$(ls -A "$work/tmp")" ]

# Interrupted while a program runs, the second of two side by side.
for signal in INT TERM; do
  PATH=$work/bin:$PATH TMPDIR=$work/tmp RGBA_BUILD=$build_dir \
    "$survey" --jobs 2 never-ends searchmonkey >"$work/survey" 2>"$work/survey.err" &
  pid=$!
  for _ in $(seq 300); do
    compgen -G "$work/tmp/rgba-survey.*/2/alone.err" >/dev/null && break
    sleep 0.1
  done
  sleep 0.5
  kill -"$signal" "$pid"
  status=0
  wait "$pid" || status=$?
  check "SIG$signal: the survey ends with its status ($status)" \
    [ "$status" -eq $((128 + $(kill -l "$signal"))) ]
  check "SIG$signal: no verdict printed for the programs cut short" [ ! -s "$work/survey" ]
  check "SIG$signal: nothing left running" [ -z "$(left)" ]
  check "SIG$signal: no scratch folder left" [ -z "$(ls -A "$work/tmp")" ]
done

echo "$failures failed"
[ "$failures" -eq 0 ]
