#!/usr/bin/env python3
"""Lists the GTK 2 programs of a Debian release, from the archive's indexes.

usage: census.py [OPTION...] RELEASE >census.tsv

RELEASE is a release's name or suite (bookworm, trixie, testing, sid...).
Writes a TSV with a header line and one line a package:

  package   the binary package
  commands  the commands to survey, space-separated (see below)
  gtk2      how it reaches GTK 2: the GTK 2 library it depends on
            (libgtk2.0-0t64, libgtk2.0-0), or "via" the binding libraries
            it depends on instead (via libgtkmm-2.4-1t64)
  desktop   yes if it ships a desktop entry in /usr/share/applications
  left out  empty, or why a survey should leave it out: command-line tool,
            library/plugin, needs a device (sound, scanner, ...)

A GTK 2 program is a package that depends on GTK 2 itself or on a binding
library, and that ships a desktop entry or a program in /usr/bin or
/usr/games. A binding library depends on GTK 2, is in a section of
libraries (libs, oldlibs, perl, ruby, cli-mono, ...), and is either
GObject introspection data or a package whose summary calls it a GTK
binding or wrapper: gtkmm, GTK#, ruby-gtk2, lablgtk2, gir1.2-gtk-2.0.

Its commands are the Exec lines of the desktop entries that a menu shows
(neither NoDisplay nor Hidden), field codes removed; a package with none
has its programs in /usr/bin and /usr/games instead, less the ones that are
ELF files that link neither GTK 2 nor a library of their own; failing
both, its hidden entries. The column is a list of POSIX shell words, one
a command, and each word is that command's shell command line, quoted only
where it needs it: gimp-2.10 'gnubg -w' "'/opt/My Program/run' --new".
In bash, `eval "commands=($column)"` makes an array of command lines, and
`eval "${commands[0]}"` runs the first; Python's shlex.split reads both
levels the same way.

The indexes and packages come through apt, with a configuration, sources
and state of the census's own in the cache, so apt checks the archive's
signatures and nothing of the host's apt setup is read or written.

Options: see --help.
"""

import argparse
import collections
import io
import os
import re
import shlex
import shutil
import struct
import subprocess
import sys
import tarfile
from pathlib import Path

GTK2 = ("libgtk2.0-0t64", "libgtk2.0-0")
# Sections whose packages are a language's libraries.
LIBRARY_SECTIONS = {
    "libs", "oldlibs", "perl", "python", "ruby", "cli-mono", "ocaml", "haskell", "lua", "lisp",
    "java", "javascript", "php", "introspection", "interpreters",
}
# The GTK 2 and gtkmm libraries, by soname: a program file that links one of
# them is a GTK 2 program.
GTK2_SONAME = re.compile(r"^lib(gtk|gdk)(mm)?-(x11-2\.0|2\.4)\.so")
HEADER = ("package", "commands", "gtk2", "desktop", "left out")

# Why a program needs a device that a survey's machine does not have, from
# the summary of the package (first match wins), and from its debtags.
DEVICE_WORDS = [
    ("sound", re.compile(
        r"\b(JACK|MIDI|ALSA|OSS|sound ?card|synth(esi[sz]er)?s?|tuner|sequencer|mixer|"
        r"audio recorder)\b", re.I)),
    ("joystick", re.compile(r"\b(joystick|gamepad|wiimote)s?\b", re.I)),
    ("scanner", re.compile(r"\b(scanners?|SANE)\b")),
    ("camera", re.compile(r"\b(web ?cam|camera|firewire|IEEE ?1394)s?\b", re.I)),
    ("serial", re.compile(r"\b(serial|modems?|RFID|USB|mobile phones?|radio control)\b", re.I)),
    ("CD drive", re.compile(r"\b(audio CD|CD player|CD ripper)\b", re.I)),
]
# (hardware::TODO: the tagger saw hardware but named none. Not
# hardware::input:joystick, which games have that merely take a joystick.)
DEVICE_TAGS = {
    "hardware::hamradio": "radio", "hardware::modem": "serial", "hardware::scanner": "scanner",
    "hardware::camera": "camera", "hardware::TODO": None,
}


class CensusError(Exception):
    """A failure to tell the user about, with the exit status to end with."""

    def __init__(self, message, status=1):
        super().__init__(message)
        self.status = status


# --- Debian's index formats ------------------------------------------------

def stanzas(text):
    """The stanzas of a deb822 text (Packages), as dicts of field to value."""
    for block in re.split(r"\n\s*\n", text):
        fields, name = {}, None
        for line in block.splitlines():
            if line[:1] in (" ", "\t") and name:
                fields[name] += "\n" + line.strip()
            elif ":" in line:
                name, _, value = line.partition(":")
                fields[name] = value.strip()
        if "Package" in fields:
            yield fields


def relation_names(value):
    """The package names in a relation field, alternatives included."""
    names = set()
    for alternative in re.split(r"[,|]", value or ""):
        name = re.split(r"[\s(\[<:]", alternative.strip(), maxsplit=1)[0]
        if name:
            names.add(name)
    return names


def contents_files(lines):
    """Package -> the files it ships that tell a program, from Contents lines."""
    files = collections.defaultdict(set)
    for line in lines:
        if not line.lstrip("/").startswith(PROGRAM_FOLDERS):
            continue
        # The file name may hold blanks; the packages are the last field.
        path, where = line.rsplit(None, 1)
        path = path.lstrip("/")
        if not is_program_file(path):
            continue
        for location in where.split(","):
            files[location.rpartition("/")[2]].add(path)
    return files


PROGRAM_FOLDERS = ("usr/share/applications/", "usr/bin/", "usr/games/")


def is_program_file(path):
    if path.startswith(PROGRAM_FOLDERS[0]):
        return path.endswith(".desktop")
    return path.startswith(PROGRAM_FOLDERS[1:])


def short_description(fields):
    return fields.get("Description", "").split("\n")[0]


def tags(fields):
    return {tag.strip() for tag in fields.get("Tag", "").replace("\n", " ").split(",") if tag.strip()}


def section(fields):
    return fields.get("Section", "").rpartition("/")[2]


# --- The census ------------------------------------------------------------

def gtk2_packages(packages):
    """Who depends on GTK 2: package -> how ("libgtk2.0-0t64", "via ...")."""

    def depends(fields):
        return relation_names(fields.get("Depends")) | relation_names(fields.get("Pre-Depends"))

    direct = {}
    for name, fields in packages.items():
        # Of "libgtk2.0-0t64 | libgtk2.0-0", the one the release has.
        found = sorted(depends(fields) & set(GTK2), key=lambda lib: (lib not in packages, lib))
        if found:
            direct[name] = found[0]
    bindings = {name for name in direct if is_binding(packages[name])}
    how = dict(direct)
    for name, fields in packages.items():
        through = sorted(depends(fields) & bindings)
        if name not in how and through:
            how[name] = "via " + ",".join(through)
    return how, bindings


def is_binding(fields):
    """A GTK 2 library that another language's programs use GTK 2 through."""
    summary = short_description(fields)
    return section(fields) in LIBRARY_SECTIONS and (
        section(fields) == "introspection"
        or (re.search(r"\bgtk", summary, re.I) and re.search(r"\b(bindings?|wrappers?)\b", summary, re.I))
    )


def left_out(fields, contents):
    """Why a survey should leave a program out, or ""."""
    name = fields["Package"]
    summary = short_description(fields)
    its_tags = tags(fields)
    if (section(fields) in ("libs", "oldlibs", "libdevel") or name.endswith(("-dev", "-dbg"))
            or (its_tags & {"role::shared-lib", "role::devel-lib", "role::plugin"}
                and "role::program" not in its_tags)):
        return "library/plugin"
    if not contents.shown_entries:
        graphical = its_tags & {"interface::x11", "interface::graphical"}
        if (its_tags & {"interface::commandline", "interface::text-mode"} and not graphical) \
                or re.search(r"\bcommand[- ]line\b", summary, re.I) \
                or (contents.all_programs and not contents.programs and not contents.hidden):
            return "command-line tool"
    elif all(entry.get("Terminal", "").lower() == "true" for entry in contents.shown_entries):
        return "command-line tool"
    for kind, words in DEVICE_WORDS:
        if words.search(summary):
            return f"needs a device ({kind})"
    for tag in sorted(its_tags & DEVICE_TAGS.keys()):
        return f"needs a device ({DEVICE_TAGS[tag]})" if DEVICE_TAGS[tag] else "needs a device"
    return ""


class PackageContents:
    """What a program package's own files tell: its desktop entries and the
    programs that may be GTK 2 ones."""

    def __init__(self, entries, programs, all_programs):
        self.entries = entries  # path -> the [Desktop Entry] group, as a dict
        self.shown_entries = [e for e in entries.values()
                              if e.get("Type") == "Application" and e.get("Exec")
                              and e.get("NoDisplay", "").lower() != "true"
                              and e.get("Hidden", "").lower() != "true"]
        # A hidden entry is mostly a helper that wants a file or a URL, or a
        # default that another package provides: the last resort.
        self.hidden = [e for e in entries.values()
                       if e.get("Type") == "Application" and e.get("Exec") and e not in self.shown_entries]
        self.programs = programs
        self.all_programs = all_programs

    def commands(self):
        """The commands to survey, each an argv."""
        seen, out = set(), []
        if self.shown_entries:
            found = [exec_argv(entry["Exec"]) for entry in self.shown_entries]
        elif self.programs or not self.hidden:
            found = [[os.path.basename(path)] for path in self.programs or self.all_programs]
        else:
            found = [exec_argv(entry["Exec"]) for entry in self.hidden]
        for argv in found:
            if argv is None:
                print("census: an Exec line whose quotes do not close, left out", file=sys.stderr)
            elif argv and tuple(argv) not in seen:
                seen.add(tuple(argv))
                out.append(argv)
        return out


def census_row(fields, how, contents):
    commands = " ".join(shell_word(" ".join(map(shell_word, argv))) for argv in contents.commands())
    desktop = "yes" if contents.entries else "no"
    return (fields["Package"], commands, how, desktop, left_out(fields, contents))


def shell_word(text):
    """text as one POSIX shell word, quoted only where it needs it, and read
    back the same by shlex.split."""
    if text and not re.search(r"[^\w@%+=:,./-]", text):
        return text
    if "'" not in text:
        return f"'{text}'"
    if not re.search(r"[$`]", text):
        return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'
    return shlex.quote(text)


# --- Desktop entries -------------------------------------------------------

def desktop_entry(text):
    """The keys of a desktop file's [Desktop Entry] group, values unescaped
    as strings ("\\s", "\\n", "\\t", "\\r", "\\\\")."""
    group, keys = None, {}
    for line in text.splitlines():
        line = line.strip()
        if not line or line.startswith("#"):
            continue
        if line.startswith("["):
            group = line.strip("[]")
            continue
        if group != "Desktop Entry" or "=" not in line:
            continue
        key, _, value = line.partition("=")
        key = key.strip()
        if key not in keys:
            keys[key] = unescape_string(value.strip())
    return keys


def unescape_string(value):
    escapes = {"s": " ", "n": "\n", "t": "\t", "r": "\r", "\\": "\\"}
    return re.sub(r"\\(.)", lambda m: escapes.get(m.group(1), m.group(0)), value)


def exec_argv(value):
    """The argv of an Exec value, field codes removed, as a menu starts it with
    no file to open; None when its quotes do not close. Beyond the rules for
    Exec it reads what GLib's menus read too: single quotes, and a backslash
    outside quotes."""
    argv, word, quote = [], [], None
    in_word = had_code = False
    chars = iter(value)
    for char in chars:
        if char == "%":
            # %f %F %u %U %i %c %k and the deprecated codes all go: there is no
            # file to open, and --icon or a name is no use to a survey.
            code = next(chars, "")
            in_word = True
            if code == "%":
                word.append("%")
            else:
                had_code = True
        elif quote == '"':
            if char == '"':
                quote = None
            elif char == "\\":
                following = next(chars, "")
                word.append(following if following in '"`$\\' else char + following)
            else:
                word.append(char)
        elif quote == "'":
            if char == "'":
                quote = None
            else:
                word.append(char)
        elif char in "\"'":
            quote, in_word = char, True
        elif char == "\\":
            word.append(next(chars, ""))
            in_word = True
        elif char in " \t\n":
            # A word that was field codes alone goes; a quoted empty one stays.
            if in_word and (word or not had_code):
                argv.append("".join(word))
            word, in_word, had_code = [], False, False
        else:
            word.append(char)
            in_word = True
    if quote:
        return None
    if in_word and (word or not had_code):
        argv.append("".join(word))
    return argv


# --- Reading packages ------------------------------------------------------

def read_deb(path):
    """The desktop entries and programs of a .deb, and every file name in it."""
    tar_stream = subprocess.Popen(["dpkg-deb", "--fsys-tarfile", str(path)],
                                  stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    desktop, links, needed, names = {}, {}, {}, set()
    with tarfile.open(fileobj=tar_stream.stdout, mode="r|") as tar:
        for member in tar:
            name = archive_path(member.name)
            names.add(name)
            if not is_program_file(name):
                continue
            if member.issym():
                links[name] = os.path.join(os.path.dirname(name), member.linkname)
            elif member.islnk():
                links[name] = "/" + archive_path(member.linkname)
            elif member.isfile():
                data = tar.extractfile(member).read()
                if name.startswith(PROGRAM_FOLDERS[0]):
                    desktop[name] = data.decode("utf-8", "replace")
                else:
                    needed[name] = elf_needed(data)
    error = tar_stream.stderr.read().decode()
    if tar_stream.wait() != 0:
        raise CensusError(f"cannot read {path}: {error.strip()}")
    for name, target in links.items():
        # Resolved within the package; an alternative or another package's
        # file stays unknown.
        resolved = archive_path(target)
        if name.endswith(".desktop"):
            if resolved in desktop:
                desktop[name] = desktop[resolved]
            else:
                print(f"census: {path.name}: {name} points to {target}, not in the package",
                      file=sys.stderr)
        else:
            needed[name] = needed.get(resolved)
    return desktop, needed, names


def archive_path(name):
    """A path in a package as the Contents index writes it: usr/bin/gimp."""
    return os.path.normpath("/" + name).lstrip("/")


def contents_of(path):
    """PackageContents of the .deb at path."""
    desktop, needed, names = read_deb(path)
    entries = {name: desktop_entry(text) for name, text in desktop.items()}
    own_libraries = {os.path.basename(name) for name in names}
    all_programs = sorted(needed)
    programs = [name for name in all_programs
                if needed[name] is None
                or any(GTK2_SONAME.match(lib) or lib in own_libraries for lib in needed[name])]
    return PackageContents(entries, programs, all_programs)


def elf_needed(data):
    """The DT_NEEDED entries of an ELF file, or None if it is no ELF."""
    if data[:4] != b"\x7fELF" or len(data) < 64:
        return None
    wide, order = data[4] == 2, "<" if data[5] == 1 else ">"
    try:
        if wide:
            phoff, = struct.unpack_from(order + "Q", data, 32)
            phentsize, phnum = struct.unpack_from(order + "HH", data, 54)
            header, dyn = order + "IIQQQQQQ", order + "qQ"
        else:
            phoff, = struct.unpack_from(order + "I", data, 28)
            phentsize, phnum = struct.unpack_from(order + "HH", data, 42)
            header, dyn = order + "IIIIIIII", order + "iI"
        loads, dynamic = [], None
        for index in range(phnum):
            fields = struct.unpack_from(header, data, phoff + index * phentsize)
            if wide:
                kind, _, offset, vaddr, _, filesz = fields[:6]
            else:
                kind, offset, vaddr, _, filesz = fields[:5]
            if kind == 1:
                loads.append((vaddr, offset, filesz))
            elif kind == 2:
                dynamic = (offset, filesz)
        if dynamic is None:
            return []
        entries, strtab = [], None
        size = struct.calcsize(dyn)
        for at in range(dynamic[0], dynamic[0] + dynamic[1], size):
            tag, value = struct.unpack_from(dyn, data, at)
            if tag == 0:
                break
            if tag == 1:
                entries.append(value)
            elif tag == 5:
                strtab = value
        for vaddr, offset, filesz in loads:
            if strtab is not None and vaddr <= strtab < vaddr + filesz:
                strtab = strtab - vaddr + offset
                break
        else:
            return []
        return [data[strtab + at:data.index(b"\0", strtab + at)].decode("utf-8", "replace")
                for at in entries]
    except (struct.error, ValueError):
        return []


# --- apt -------------------------------------------------------------------

CONTENTS_TARGET = """\
Acquire::IndexTargets::deb::Contents-deb {
  MetaKey "$(COMPONENT)/Contents-$(ARCHITECTURE)";
  ShortDescription "Contents-$(ARCHITECTURE)";
  Description "$(RELEASE)/$(COMPONENT) $(ARCHITECTURE) Contents (deb)";
  KeepCompressed "true";
};
"""


class Apt:
    """apt, with a configuration, sources and state of the census's own."""

    def __init__(self, root, release, mirror, keyring, arch, components):
        self.root = root
        self.release = release
        self.debs = root / "debs"
        empty = root / "empty"
        for folder in (empty, self.debs, root / "state", root / "cache", root / "log"):
            folder.mkdir(parents=True, exist_ok=True)
        (root / "status").touch()
        (root / "sources.list").write_text(
            f"deb [signed-by={keyring}] {mirror} {release} {' '.join(components)}\n")

        def quote(path):
            return '"' + str(path) + '"'

        settings = [
            # Nothing of the host's: its parts may hold hooks that run on update.
            ("Dir::Etc::main", "/dev/null"), ("Dir::Etc::parts", empty),
            ("Dir::Etc::sourcelist", root / "sources.list"), ("Dir::Etc::sourceparts", empty),
            ("Dir::Etc::preferences", "/dev/null"), ("Dir::Etc::preferencesparts", empty),
            ("Dir::Etc::trusted", "/dev/null"), ("Dir::Etc::trustedparts", empty),
            ("Dir::State", root / "state"), ("Dir::State::status", root / "status"),
            ("Dir::Cache", root / "cache"), ("Dir::Log", root / "log"),
            ("APT::Architecture", arch), ("APT::Architectures", arch),
            ("Acquire::Languages", "none"),
        ]
        if os.geteuid() == 0:
            # The user _apt cannot reach a cache in root's home; apt would fall
            # back to this itself, with a warning.
            settings.append(("APT::Sandbox::User", "root"))
        self.config = root / "apt.conf"
        self.config.write_text("".join(f"{key} {quote(value)};\n" for key, value in settings)
                               + CONTENTS_TARGET)

    def run(self, *args, cwd=None):
        env = dict(os.environ, APT_CONFIG=str(self.config), LC_ALL="C.UTF-8")
        return subprocess.run(args, env=env, cwd=cwd, capture_output=True, text=True)

    def update(self, contents=True):
        """Fetches the indexes; returns whether the Contents ones came too."""
        options = [] if contents else ["-o", "Acquire::IndexTargets::deb::Contents-deb::DefaultEnabled=false"]
        done = self.run("apt-get", "update", *options)
        said = done.stdout + done.stderr
        if re.search(r"does not have a Release file|404\s+Not Found.*Release", said):
            raise CensusError(f"{self.release}: no such release in the archive "
                              f"({self.mirror_line()})", 2)
        failed = re.findall(r"^Err:\d+ (.*)$", said, re.M)
        if failed and all("Contents" in line for line in failed) and contents:
            print(f"census: apt could not fetch or verify the Contents index "
                  f"({'; '.join(failed)}); reading the packages' own files instead",
                  file=sys.stderr)
            return self.update(contents=False)
        if failed or done.returncode != 0:
            problems = "\n".join(line for line in said.splitlines()
                                 if line.startswith(("E:", "W:", "Err:", "  ")))
            raise CensusError(f"cannot fetch {self.release}'s indexes from the archive "
                              f"({self.mirror_line()}):\n{problems}")
        return contents

    def mirror_line(self):
        return (self.root / "sources.list").read_text().strip()

    def index_files(self, created_by):
        done = self.run("apt-get", "indextargets", "--format", "$(FILENAME)",
                        f"Created-By: {created_by}")
        if done.returncode != 0:
            raise CensusError(f"apt-get indextargets failed: {done.stderr.strip()}")
        return [Path(line) for line in done.stdout.split() if Path(line).exists()]

    def cat(self, path):
        """An index file's text, decompressed however apt keeps it."""
        done = self.run("/usr/lib/apt/apt-helper", "cat-file", str(path))
        if done.returncode != 0:
            raise CensusError(f"cannot read {path}: {done.stderr.strip()}")
        return done.stdout

    def download(self, packages, offline):
        """The .deb of each package, fetched unless the cache has it."""
        files = {name: self.debs / deb_name(fields) for name, fields in packages.items()}
        missing = [f"{name}={packages[name]['Version']}" for name, path in files.items()
                   if not path.exists() or path.stat().st_size != int(packages[name]["Size"])]
        if missing and offline:
            raise CensusError(f"the cache lacks {len(missing)} packages, such as {missing[0]}")
        if missing:
            print(f"census: downloading {len(missing)} packages", file=sys.stderr)
            done = self.run("apt-get", "download", *missing, cwd=self.debs)
            if done.returncode != 0:
                raise CensusError(f"apt-get download failed:\n{done.stderr.strip()}")
        for stale in set(self.debs.glob("*.deb")) - set(files.values()):
            stale.unlink()
        return files


def deb_name(fields):
    """The file name apt-get download gives a package."""
    version = fields["Version"].replace(":", "%3a")
    return f"{fields['Package']}_{version}_{fields['Architecture']}.deb"


# --- main ------------------------------------------------------------------

def census(apt, offline=False):
    """The census's rows, sorted by package."""
    with_contents = offline or apt.update()
    if with_contents and not apt.index_files("Contents-deb"):
        with_contents = False
        if not offline:
            print("census: the archive has no Contents index; reading the packages' own files "
                  "instead", file=sys.stderr)
    packages = {}
    for index in apt.index_files("Packages"):
        for fields in stanzas(apt.cat(index)):
            packages[fields["Package"]] = fields
    if not packages:
        raise CensusError("the cache has no Packages index: run without --offline")

    how, _ = gtk2_packages(packages)
    if with_contents:
        files = collections.defaultdict(set)
        for index in apt.index_files("Contents-deb"):
            for name, paths in contents_files(io.StringIO(apt.cat(index))).items():
                files[name] |= paths
        programs = {name: way for name, way in how.items() if files.get(name)}
    else:
        programs = how
    debs = apt.download({name: packages[name] for name in programs}, offline)
    rows = []
    for name in sorted(programs):
        contents = contents_of(debs[name])
        if not with_contents and not (contents.entries or contents.all_programs):
            continue
        rows.append(census_row(packages[name], programs[name], contents))
    return rows


def main(argv=None):
    parser = argparse.ArgumentParser(
        prog="census.py", usage="%(prog)s [OPTION...] RELEASE >census.tsv",
        description=__doc__[__doc__.index("RELEASE is"):__doc__.index("Options:")],
        formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("release", metavar="RELEASE")
    cache_home = Path(os.environ.get("XDG_CACHE_HOME") or Path.home() / ".cache")
    parser.add_argument("--cache", metavar="DIR", type=Path,
                        default=cache_home / "rgba-colormap" / "census",
                        help="where to keep indexes and packages (default: %(default)s)")
    parser.add_argument("--mirror", metavar="URL", default="http://deb.debian.org/debian",
                        help="Debian's archive (default: %(default)s)")
    parser.add_argument("--keyring", metavar="FILE",
                        default="/usr/share/keyrings/debian-archive-keyring.gpg",
                        help="the keys the archive signs with (default: %(default)s)")
    parser.add_argument("--arch", metavar="ARCH", help="the architecture (default: dpkg's)")
    parser.add_argument("--components", metavar="LIST", default="main",
                        help="comma-separated (default: %(default)s)")
    parser.add_argument("--offline", action="store_true",
                        help="use what the cache holds, fetching nothing")
    args = parser.parse_args(argv)
    if not re.fullmatch(r"[a-z][a-z0-9-]*", args.release):
        parser.error(f"'{args.release}' is not a release name (such as trixie, bookworm or testing)")
    arch = args.arch or subprocess.run(["dpkg", "--print-architecture"], capture_output=True,
                                       text=True, check=True).stdout.strip()
    components = [c for c in args.components.split(",") if c]
    root = args.cache.absolute() / f"{args.release}-{arch}"
    new = not root.exists()
    try:
        apt = Apt(root, args.release, args.mirror, args.keyring, arch, components)
        rows = census(apt, args.offline)
    except CensusError as error:
        if new and error.status == 2:
            shutil.rmtree(root, ignore_errors=True)
        print(f"census: {error}", file=sys.stderr)
        return error.status
    out = sys.stdout
    for row in [HEADER, *rows]:
        out.write("\t".join(row) + "\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
