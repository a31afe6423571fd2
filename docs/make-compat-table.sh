#!/usr/bin/env bash
# Regenerates README.md's compatibility table: installs the Debian package
# of every program in the table, and of each PROGRAM:PACKAGE given, runs
# scripts/rgba-colormap-survey over them all, and writes what it printed
# back into the table, with the GTK_RGBA_APPS line that leaves out every
# program that breaks, always or now and then.
#
# usage: bash docs/make-compat-table.sh [PROGRAM:PACKAGE...]
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/lib.sh"
readme=$root/README.md

begin_work

{
  compat_table "$readme" | awk -F'\t' '{ print $1 "\t" $2 }'
  for entry in "$@"; do
    printf '%s\t%s\n' "${entry%%:*}" "${entry#*:}"
  done
} | sort -u -t$'\t' -k1,1 >"$work/programs"

mapfile -t programs < <(cut -f1 "$work/programs")
mapfile -t packages < <(cut -f2 "$work/programs" | sort -u)
bash "$root/scripts/install-deps.sh" "${packages[@]}" >&2
"$root/scripts/rgba-colormap-survey" "${programs[@]}" >"$work/survey"

# One row a program: | program | package | name | verdict | what goes wrong |
while read -r program verdict detail; do
  package=$(awk -F'\t' -v p="$program" '$1 == p { print $2 }' "$work/programs")
  name=—
  [[ $detail != *" name="* && $detail != "name="* ]] || name=${detail##*name=}
  wrong=${detail%%depths=*}
  wrong=${wrong%; }
  wrong=${wrong//'|'/'\|'}
  wrong=${wrong//'*'/'\*'}
  echo "| \`$program\` | $package | $name | $verdict | $wrong |"
  case $verdict in breaks | flaky) echo "$name" >>"$work/breaking" ;; esac
done <"$work/survey" >"$work/rows"

allbut=allbut
if [ -s "$work/breaking" ]; then
  allbut=allbut:$(sort "$work/breaking" | paste -sd: -)
fi

{
  echo "<!-- compat-table begin: written by docs/make-compat-table.sh -->"
  echo "| program | package | name it reports | verdict | what goes wrong |"
  echo "| --- | --- | --- | --- | --- |"
  cat "$work/rows"
  echo
  echo "Every program the table says breaks or is flaky, left out:"
  echo
  echo '```sh'
  echo "export GTK_RGBA_APPS=$allbut"
  echo '```'
  echo "<!-- compat-table end -->"
} >"$work/block"

awk -v block="$work/block" '
  /<!-- compat-table begin/ { while ((getline line < block) > 0) print line; skip = 1; next }
  /<!-- compat-table end/ { skip = 0; next }
  !skip' "$readme" >"$work/README.md"
cp "$work/README.md" "$readme"
echo "wrote the table of $(wc -l <"$work/rows") programs into $readme" >&2
