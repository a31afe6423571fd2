#!/usr/bin/env bash
# The survey's verdict on trouble that shows up only now and then: GTK 2
# programs (searchmonkey, behind a wrapper that keeps its own name) that
# print a critical in some of their runs, counted across the runs. The
# trouble is the module's only where it never shows without it, and says
# how often it shows where it shows only sometimes.
#
# usage: survey_repeat_test.sh BUILD_DIR
set -euo pipefail

build_dir=$1
# shellcheck source=scripts/lib.sh
source "$(dirname "$0")/../scripts/lib.sh"

bash "$lib_root/scripts/install-deps.sh" survey searchmonkey
begin_work
# Open to the users the survey runs the programs as, when it runs as root;
# the counts are written by each run's user in turn.
chmod 755 "$work"
mkdir -m 755 "$work/bin"
mkdir -m 777 "$work/counts"

critical="Gdk-CRITICAL **: gdk_fixture: assertion 'x' failed"
# name | the runs without the module that print it | the runs with it that
# print it | the line expected up to the depths
cases=(
  "every-time||1 2 3|every-time breaks new on stderr: $critical; depths="
  "now-and-then||1|now-and-then flaky new on stderr: $critical (in 1 of 3 runs); depths="
  "without-too|2|1|without-too works depths="
)

programs=()
for entry in "${cases[@]}"; do
  IFS='|' read -r name alone with _ <<<"$entry"
  programs+=("$name")
  cat >"$work/bin/$name" <<SCRIPT
#!/bin/bash
umask 0
kind=alone
[ -z "\${GTK2_MODULES:-}" ] || kind=with
count=\$((\$(cat "$work/counts/$name.\$kind" 2>/dev/null || echo 0) + 1))
echo "\$count" >"$work/counts/$name.\$kind"
case \$kind in
alone) runs=" $alone " ;;
with) runs=" $with " ;;
esac
if [[ \$runs == *" \$count "* ]]; then
  echo "($name:\$\$): Gdk-CRITICAL **: 12:00:00.123: gdk_fixture: assertion 'x' failed" >&2
fi
exec -a "\$0" searchmonkey
SCRIPT
  chmod 755 "$work/bin/$name"
done

PATH=$work/bin:$PATH RGBA_BUILD=$build_dir \
  "$lib_root/scripts/rgba-colormap-survey" --reruns 2 "${programs[@]}" >"$work/survey"
mapfile -t lines <"$work/survey"
for number in "${!cases[@]}"; do
  IFS='|' read -r name _ _ expected <<<"${cases[number]}"
  line=${lines[number]:-}
  check "$name: $line" [ "${line%%depths=*}depths=" = "$expected" ]
done

echo "$failures failed"
[ "$failures" -eq 0 ]
