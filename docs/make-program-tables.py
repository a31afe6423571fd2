#!/usr/bin/python3
"""Surveys every GTK 2 program of a Debian release and writes its table.

usage: docs/make-program-tables.py [--desktop-only] [--survey FILE] RELEASE

The census (scripts/census.py) lists the release's GTK 2 programs; the
survey (scripts/rgba-colormap-survey) runs the commands of those it does
not leave out, in a fresh system of the release (scripts/in-release.sh)
with all of their packages installed, plus two programs that are not
GTK 2 ones, as controls. With --desktop-only, only the programs that have
a desktop entry. What the survey printed is kept in
docs/survey-RELEASE.txt, and --survey FILE writes the tables from such a
file again without surveying anew.

It writes docs/programs-RELEASE.md, one row a command, with the ready
GTK_RGBA_APPS line that leaves out every program that breaks or is flaky,
and the release's summary in README.md, between the program-tables
markers: the counts by verdict, the link and the line.
"""

import argparse
import collections
import csv
import datetime
import pathlib
import re
import shlex
import subprocess
import sys

root = pathlib.Path(__file__).resolve().parent.parent
VERDICTS = ("works", "no-effect", "flaky", "breaks", "fails-alone", "not-gtk2")
# Programs that are not GTK 2 ones, each with its package: the survey must
# say so of them.
CONTROLS = {"xterm": "xterm", "gtk3-demo": "gtk-3-examples"}
RELEASES = {"bookworm": "Debian 12", "trixie": "Debian 13"}


def census(release):
    out = subprocess.run([sys.executable, str(root / "scripts/census.py"), release],
                         stdout=subprocess.PIPE, text=True, check=True).stdout
    return list(csv.DictReader(out.splitlines(), delimiter="\t", quoting=csv.QUOTE_NONE))


def programs_of(rows, desktop_only):
    """{command: row} for the commands to survey, in census order, and the
    rows left out."""
    programs, left_out = {}, []
    for row in rows:
        if row["left out"] or (desktop_only and row["desktop"] != "yes"):
            left_out.append(row)
            continue
        for command in shlex.split(row["commands"]):
            words = shlex.split(command)
            if words:
                programs.setdefault(pathlib.Path(words[0]).name, row)
    return programs, left_out


def survey(release, programs):
    packages = sorted({row["package"] for row in programs.values()} | set(CONTROLS.values()))
    names = list(programs) + list(CONTROLS)
    # Installed all at once, or one by one where that fails: a package that
    # will not install leaves its programs "not installed".
    inside = r'''
set -euo pipefail
packages=() programs=()
while [ "$1" != -- ]; do packages+=("$1"); shift; done
shift
bash scripts/install-deps.sh survey >&2
export DEBIAN_FRONTEND=noninteractive
if ! sudo -E apt-get install -y -q --no-install-recommends "${packages[@]}" >&2; then
  for package in "${packages[@]}"; do
    sudo -E apt-get install -y -q --no-install-recommends "$package" >&2 ||
      echo "could not install $package" >&2
  done
fi
exec scripts/rgba-colormap-survey -- "$@"
'''
    return subprocess.run(["bash", str(root / "scripts/in-release.sh"), release, "bash", "-c",
                           inside, "_", *packages, "--", *names],
                          stdout=subprocess.PIPE, text=True, check=True).stdout


def cell(text):
    return text.replace("|", r"\|").replace("*", r"\*")


def write_table(release, rows, programs, left_out, lines, desktop_only):
    label = RELEASES.get(release, f"Debian {release}")
    verdicts, table, breaking = collections.Counter(), [], []
    for line in lines:
        program, verdict, *rest = line.split(" ", 2)
        detail = rest[0] if rest else ""
        name = re.search(r"name=(.*)$", detail)
        name = name.group(1) if name else "—"
        wrong = re.sub(r"(^|; )?depths=\S*( name=.*)?$", "", detail)
        wrong = re.sub(r"^name=.*$", "", wrong).strip()
        row = programs.get(program)
        package = row["package"] if row else CONTROLS.get(program, "?")
        gtk2 = row["gtk2"] if row else "—"
        if row:
            verdicts[verdict] += 1
        if verdict in ("breaks", "flaky"):
            breaking.append(name)
        table.append(f"| `{cell(program)}` | {package} | {cell(name)} | {verdict} | "
                     f"{cell(wrong)} | {gtk2} |")
    allbut = ":".join(["allbut", *sorted(set(breaking))])
    which = "with a desktop entry " if desktop_only else ""
    text = [f"# GTK 2 programs of {label} ({release}) with the RGBA colormap", "",
            f"Every GTK 2 program of {label} {which}that the census "
            f"(`scripts/census.py {release}`) found, surveyed by "
            f"`scripts/rgba-colormap-survey` in a fresh {label} system, as a user of its "
            "own, with all of their packages installed, each command started without "
            "arguments on a private Xvfb under `picom`, with GTK 2's stock theme and a "
            f"clean home, once without the module and once with it. Written by "
            f"`docs/make-program-tables.py` on {datetime.date.today().isoformat()}, "
            f"from `docs/survey-{release}.txt`; `xterm` and `gtk3-demo` are controls, "
            "not GTK 2 programs.", "",
            "| verdict | commands |", "| --- | ---: |"]
    text += [f"| {v} | {verdicts[v]} |" for v in VERDICTS if verdicts[v]]
    text += ["", "Every program that breaks or is flaky, left out:", "", "```sh",
             f"export GTK_RGBA_APPS={allbut}", "```", "",
             "<!-- compat-table begin: written by docs/make-program-tables.py -->",
             "| program | package | name it reports | verdict | what goes wrong | reaches GTK 2 through |",
             "| --- | --- | --- | --- | --- | --- |", *table,
             "<!-- compat-table end -->", "",
             "Left out of the survey, with the census's reason:", "",
             "| package | why |", "| --- | --- |"]
    text += [f"| {row['package']} | {row['left out'] or 'no desktop entry'} |" for row in left_out]
    (root / f"docs/programs-{release}.md").write_text("\n".join(text) + "\n")
    return label, verdicts, allbut


def write_summary(release, label, verdicts, allbut, packages, left_out):
    readme = root / "README.md"
    text = readme.read_text()
    begin, end = "<!-- program-tables begin", "<!-- program-tables end -->"
    start, stop = text.index(begin), text.index(end)
    block = text[start:stop].split("\n")[1:]
    entries = {}
    for entry in ("\n" + "\n".join(block)).split("\n#### ")[1:]:
        entries[entry.split(" ")[1]] = "#### " + entry.rstrip("\n")
    counts = ", ".join(f"{v} {verdicts[v]}" for v in VERDICTS if verdicts[v])
    entries[label.split()[1]] = "\n".join([
        f"#### {label} ({release})", "",
        f"{packages} GTK 2 program packages, {left_out} of them left out of the survey; "
        f"the {sum(verdicts.values())} commands of the others by verdict: {counts}. "
        f"[The table](docs/programs-{release}.md).", "", "```sh",
        f"export GTK_RGBA_APPS={allbut}", "```"])
    ordered = [entries[k] for k in sorted(entries, key=lambda k: -int(k) if k.isdigit() else 0)]
    new = begin + ": written by docs/make-program-tables.py -->\n" + "\n\n".join(ordered) + "\n"
    readme.write_text(text[:start] + new + text[stop:])


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("release")
    parser.add_argument("--desktop-only", action="store_true")
    parser.add_argument("--survey", type=pathlib.Path)
    options = parser.parse_args()
    rows = census(options.release)
    programs, left_out = programs_of(rows, options.desktop_only)
    kept = root / f"docs/survey-{options.release}.txt"
    if options.survey:
        output = options.survey.read_text()
    else:
        output = survey(options.release, programs)
    kept.write_text(output)
    lines = [line for line in output.splitlines() if line.strip()]
    label, verdicts, allbut = write_table(options.release, rows, programs, left_out, lines,
                                          options.desktop_only)
    write_summary(options.release, label, verdicts, allbut, len(rows), len(left_out))
    print(f"wrote docs/programs-{options.release}.md", file=sys.stderr)


if __name__ == "__main__":
    main()
