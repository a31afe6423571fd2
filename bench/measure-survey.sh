#!/usr/bin/env bash
# Times the survey over PROGRAMs, one at a time (--jobs 1) and two side by
# side (--jobs 2), in wall-clock seconds, and prints the seconds a program
# for each, with the verdicts of both runs, which must agree. Installing
# and building come first and are not counted.
#
# usage: bash bench/measure-survey.sh PROGRAM...
#   RGBA_BUILD=DIR   the build to use (default: ./build, built when needed)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/lib.sh"
if [ $# -eq 0 ]; then
  echo "usage: $0 PROGRAM..." >&2
  exit 2
fi

bash "$root/scripts/install-deps.sh" survey >&2
build=${RGBA_BUILD:-$root/build}
build_targets "$build" rgba-colormap rgba_composited rgba_see_through
export RGBA_BUILD=$build

begin_work
echo "| jobs | programs | seconds | seconds a program |"
echo "| ---: | ---: | ---: | ---: |"
for jobs in 1 2; do
  start=$(date +%s.%N)
  "$root/scripts/rgba-colormap-survey" --jobs "$jobs" "$@" >"$work/jobs$jobs" 2>"$work/jobs$jobs.err"
  end=$(date +%s.%N)
  awk -v j="$jobs" -v n=$# -v s="$start" -v e="$end" \
    'BEGIN { printf "| %d | %d | %.1f | %.1f |\n", j, n, e - s, (e - s) / n }'
done

echo
echo "verdicts, --jobs 1 and --jobs 2:"
paste -d'\n' "$work/jobs1" "$work/jobs2" | awk '{ print (NR % 2 ? "  1: " : "  2: ") $0 }'
if diff <(awk '{ print $1, $2 }' "$work/jobs1") <(awk '{ print $1, $2 }' "$work/jobs2") >/dev/null; then
  echo "the verdicts agree"
else
  echo "the verdicts differ" >&2
  exit 1
fi
