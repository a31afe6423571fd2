#!/usr/bin/env python3
"""Tests scripts/census.py: the Exec rules on their own, and the whole
census over a small archive that the test signs and serves on the loopback
interface, so that apt fetches and checks it as it does Debian's.

usage: census_test.py GTK2_PROGRAM
  GTK2_PROGRAM  an ELF program that links GTK 2 (the build's rgba_probe)
"""

import contextlib
import functools
import gzip
import hashlib
import http.server
import os
import shlex
import shutil
import subprocess
import sys
import tempfile
import threading
import unittest
from datetime import datetime, timezone
from pathlib import Path

HERE = Path(__file__).resolve().parent
FIXTURE = HERE / "census"
CENSUS = HERE.parent / "scripts" / "census.py"
sys.path.insert(0, str(CENSUS.parent))
sys.dont_write_bytecode = True  # no __pycache__ in the checkout
import census  # noqa: E402

GTK2_PROGRAM = None  # set from the command line
NOT_GTK2_PROGRAM = Path(shutil.which("true")).resolve()


class ExecTest(unittest.TestCase):
    def test_exec_values(self):
        cases = [
            ("gimp-2.10 %U", ["gimp-2.10"]),
            ('"/opt/My Program/run" %f', ["/opt/My Program/run"]),
            # Codes inside a word go and leave the rest of the word.
            ("foo --file=%f --icon %i %c %k", ["foo", "--file=", "--icon"]),
            ("foo %%d 100%%", ["foo", "%d", "100%"]),
            ('sh -c "echo \\"hi\\" \\$HOME \\`x\\` \\\\"', ["sh", "-c", 'echo "hi" $HOME `x` \\']),
            # Inside double quotes a backslash before another character stays.
            ('foo "a\\nb"', ["foo", "a\\nb"]),
            ("sh -c 'a b' \"\" %u", ["sh", "-c", "a b", ""]),
            ("  spaced\t out  ", ["spaced", "out"]),
            ('foo "unclosed', None),
        ]
        for value, argv in cases:
            with self.subTest(value=value):
                self.assertEqual(census.exec_argv(value), argv)

    def test_string_escapes_come_before_the_exec_rules(self):
        entry = census.desktop_entry(
            "[Desktop Entry]\nExec=\"/opt/a\\\\\\\\b\" x\\sy\nName=A\n"
            "[Desktop Action Other]\nExec=other\n")
        self.assertEqual(census.exec_argv(entry["Exec"]), ["/opt/a\\b", "x", "y"])


@contextlib.contextmanager
def served(folder):
    """An HTTP server for folder on the loopback interface, and its URL."""
    handler = functools.partial(Quiet, directory=str(folder))
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    thread = threading.Thread(target=server.serve_forever, daemon=True)
    thread.start()
    try:
        yield f"http://127.0.0.1:{server.server_address[1]}/debian"
    finally:
        server.shutdown()
        server.server_close()


class Quiet(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


def build_archive(root, gnupg):
    """Debian's layout under root/debian, release "fixture", from the
    fixture's Packages and Contents; returns the keyring that signs it."""
    debian = root / "debian"
    dists = debian / "dists" / "fixture"
    (dists / "main" / "binary-amd64").mkdir(parents=True)
    contents = (FIXTURE / "Contents").read_text()
    files = {}
    for line in contents.splitlines():
        path, where = line.split()
        files.setdefault(where.rpartition("/")[2], []).append(path)

    stanzas = []
    for fields in census.stanzas((FIXTURE / "Packages").read_text()):
        name = fields["Package"]
        tree = root / "trees" / name
        for path in files.get(name, []):
            target = tree / path
            target.parent.mkdir(parents=True, exist_ok=True)
            if path in PROGRAMS:
                shutil.copy(PROGRAMS[path](), target)
            elif (FIXTURE / target.name).exists():
                shutil.copy(FIXTURE / target.name, target)
            elif path.endswith(".desktop"):
                target.write_text(f"[Desktop Entry]\nType=Application\nExec={name}\n")
            else:
                target.write_text("#!/bin/sh\n")
            target.chmod(0o755)
        (tree / "DEBIAN").mkdir(parents=True)
        control = "".join(f"{key}: {fields[key]}\n" for key in
                          ("Package", "Version", "Architecture", "Depends", "Pre-Depends")
                          if key in fields)
        (tree / "DEBIAN" / "control").write_text(
            control + "Maintainer: Nobody <nobody@example.org>\n"
            f"Description: {fields['Description'].splitlines()[0]}\n")
        pool = debian / "pool" / name
        pool.mkdir(parents=True)
        deb = pool / f"{name}_{fields['Version'].partition(':')[2] or fields['Version']}_amd64.deb"
        subprocess.run(["dpkg-deb", "--root-owner-group", "-Zgzip", "-b", str(tree), str(deb)],
                       check=True, capture_output=True)
        data = deb.read_bytes()
        stanza = "".join(f"{key}: {value}\n" for key, value in fields.items())
        stanzas.append(stanza + f"Filename: {deb.relative_to(debian)}\nSize: {len(data)}\n"
                       f"SHA256: {hashlib.sha256(data).hexdigest()}\n")
    indexes = {"main/binary-amd64/Packages": "\n".join(stanzas).encode(),
               "main/Contents-amd64": contents.encode(),
               "main/Contents-amd64.gz": gzip.compress(contents.encode())}
    sums = []
    for index, data in indexes.items():
        # Like Debian's, the Release names the uncompressed Contents, which
        # is not served: apt looks a target up by that name.
        if index != "main/Contents-amd64":
            (dists / index).write_bytes(data)
        sums.append(f" {hashlib.sha256(data).hexdigest()} {len(data)} {index}\n")
    date = datetime.now(timezone.utc).strftime("%a, %d %b %Y %H:%M:%S UTC")
    (dists / "Release").write_text(
        f"Origin: Fixture\nSuite: fixture\nCodename: fixture\nDate: {date}\n"
        "Architectures: amd64\nComponents: main\nSHA256:\n" + "".join(sums))
    env = dict(os.environ, GNUPGHOME=str(gnupg))
    gpg = ["gpg", "--batch", "--quiet", "--pinentry-mode", "loopback", "--passphrase", ""]
    subprocess.run(gpg + ["--quick-gen-key", "census test <test@example.org>", "ed25519", "sign",
                          "never"], env=env, check=True, capture_output=True)
    subprocess.run(gpg + ["--clearsign", "-o", str(dists / "InRelease"), str(dists / "Release")],
                   env=env, check=True, capture_output=True)
    keyring = root / "keyring.gpg"
    keyring.write_bytes(subprocess.run(gpg + ["--export"], env=env, check=True,
                                       capture_output=True).stdout)
    return keyring


PROGRAMS = {
    "usr/bin/fixture-viewer": lambda: GTK2_PROGRAM,
    "usr/bin/fixture-viewer-dump": lambda: NOT_GTK2_PROGRAM,
    "usr/bin/fixture-cli": lambda: NOT_GTK2_PROGRAM,
}

# What the census must say of the fixture: one line a GTK 2 program, with its
# commands as argvs. Neither the libraries (GTK 2, the gtkmm binding, the
# key-binding library) nor the programs that reach GTK 2 only through a
# package that is no binding (a library, or a program that calls itself a
# wrapper), or not at all, are GTK 2 programs.
EXPECTED = {
    "fixture-paint": ([["/opt/Fixture Paint/paint", '--title=100% "wet" paint']],
                      "libgtk2.0-0t64", "yes", ""),
    "fixture-viewer": ([["fixture-viewer"]], "libgtk2.0-0t64", "no", ""),
    "fixture-mm-game": ([["fixture-mm-game"]], "via libgtkmm-2.4-1t64", "no", ""),
    "fixture-gtkdialog": ([["fixture-gtkdialog"]], "libgtk2.0-0t64", "no", ""),
    "fixture-cli": ([["fixture-cli"]], "libgtk2.0-0t64", "no", "command-line tool"),
    "libfixture-dev": ([["fixture-convert"]], "libgtk2.0-0t64", "no", "library/plugin"),
    "fixture-synth": ([["fixture-synth"]], "libgtk2.0-0t64", "no", "needs a device (sound)"),
}


class CensusTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.scratch = Path(tempfile.mkdtemp(prefix="census-test."))
        cls.gnupg = cls.scratch / "gnupg"
        cls.gnupg.mkdir(mode=0o700)
        cls.keyring = build_archive(cls.scratch, cls.gnupg)

    @classmethod
    def tearDownClass(cls):
        subprocess.run(["gpgconf", "--kill", "gpg-agent"], env=dict(os.environ, GNUPGHOME=str(cls.gnupg)),
                       capture_output=True)
        shutil.rmtree(cls.scratch)

    def census(self, mirror, *options, release="fixture", cache="cache"):
        return subprocess.run(
            [sys.executable, str(CENSUS), "--mirror", mirror, "--keyring", str(self.keyring),
             "--arch", "amd64", "--cache", str(self.scratch / cache), *options, release],
            capture_output=True, text=True)

    def assert_rows(self, tsv):
        lines = tsv.splitlines()
        self.assertEqual(lines[0].split("\t"), list(census.HEADER))
        rows = {}
        for line in lines[1:]:
            package, commands, *rest = line.split("\t")
            # One shell word a command, and each word a shell command line.
            rows[package] = ([shlex.split(command) for command in shlex.split(commands)], *rest)
        self.assertEqual(rows, EXPECTED)

    def test_census_of_a_signed_archive(self):
        with served(self.scratch) as mirror:
            done = self.census(mirror)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assert_rows(done.stdout)
        # The cache holds all it needs: the server is gone.
        offline = self.census(mirror, "--offline")
        self.assertEqual((offline.returncode, offline.stdout), (0, done.stdout), offline.stderr)

    def test_without_good_contents_it_reads_the_packages(self):
        def corrupt(dists):
            # As when a mirror serves a Contents file newer than its Release.
            (dists / "main/Contents-amd64.gz").write_bytes(
                gzip.compress(b"usr/bin/fixture-gtk3  x11/fixture-paint\n"))

        def leave_out(dists):
            release = (dists / "Release").read_text()
            release = "".join(line + "\n" for line in release.splitlines() if "Contents" not in line)
            (dists / "Release").write_text(release)
            (dists / "main/Contents-amd64.gz").unlink()
            env = dict(os.environ, GNUPGHOME=str(self.gnupg))
            subprocess.run(["gpg", "--batch", "--yes", "--clearsign", "-o", str(dists / "InRelease"),
                            str(dists / "Release")], env=env, check=True, capture_output=True)

        for change, says in [(corrupt, "could not fetch or verify the Contents index"),
                             (leave_out, "has no Contents index")]:
            with self.subTest(says=says):
                archive = self.scratch / change.__name__
                shutil.copytree(self.scratch / "debian", archive / "debian")
                change(archive / "debian/dists/fixture")
                with served(archive) as mirror:
                    done = self.census(mirror, cache=f"cache-{change.__name__}")
                self.assertEqual(done.returncode, 0, done.stderr)
                self.assertIn(says, done.stderr)
                self.assert_rows(done.stdout)

    def test_errors(self):
        with served(self.scratch) as mirror:
            unknown = self.census(mirror, release="nosuch", cache="cache-errors")
        unreachable = self.census("http://127.0.0.1:1/debian", cache="cache-errors")
        for done, status, says in [(unknown, 2, "nosuch: no such release"),
                                   (unreachable, 1, "cannot fetch fixture's indexes")]:
            with self.subTest(says=says):
                self.assertEqual(done.returncode, status, done.stderr)
                self.assertIn(says, done.stderr)
                self.assertEqual(done.stdout, "")


if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    GTK2_PROGRAM = Path(sys.argv.pop(1)).resolve()
    unittest.main(verbosity=2)
