#!/usr/bin/env bash
# Runs scripts/rgba-colormap-survey over some of the programs in this
# release's table (docs/programs-RELEASE.md), installing their packages, and
# fails where a verdict differs from the table's: both the survey and the
# table must stay right.
#
# usage: survey_test.sh BUILD_DIR PROGRAM...
set -euo pipefail

build_dir=$1
shift
# shellcheck source=scripts/lib.sh
source "$(dirname "$0")/../scripts/lib.sh"

begin_work
release=$(sed -n 's/^VERSION_CODENAME=//p' /etc/os-release)
table=$lib_root/docs/programs-$release.md
if [ ! -f "$table" ]; then
  echo "not ok - there is a table of programs for Debian $release ($table)"
  exit 1
fi
compat_table "$table" >"$work/table"

packages=()
for program in "$@"; do
  package=$(awk -F'\t' -v p="$program" '$1 == p { print $2 }' "$work/table")
  check "$program is in the table of Debian $release's programs" [ -n "$package" ]
  [ -z "$package" ] || packages+=("$package")
done
bash "$lib_root/scripts/install-deps.sh" "${packages[@]}"

RGBA_BUILD=$build_dir "$lib_root/scripts/rgba-colormap-survey" "$@" >"$work/survey"
while read -r program verdict detail; do
  expected=$(awk -F'\t' -v p="$program" '$1 == p { print $4 }' "$work/table")
  check "$program: $verdict, as the table says ($expected) [$detail]" [ "$verdict" = "$expected" ]
done <"$work/survey"
check "the survey judged every program" [ "$(wc -l <"$work/survey")" -eq $# ]

echo "$failures failed"
[ "$failures" -eq 0 ]
