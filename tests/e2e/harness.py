"""Runs the built txconv in a scratch folder and looks at what it left there."""

import os
import re
import stat
import struct
import subprocess
import tempfile
import unittest
from dataclasses import dataclass, field

BINARY = os.environ.get("TXCONV", "txconv")
# The tables hold txconv's English words, whatever language the machine that
# runs them speaks; the rows on languages set their own.
for variable in ("LANGUAGE", "LC_ALL", "LC_MESSAGES", "LC_CTYPE"):
    os.environ.pop(variable, None)
os.environ["LANG"] = "C.UTF-8"

OPEN_FAILED = "错误：无法打开文件"
# The other notices' first lines, in English; in Chinese they read 错误：无法写入文件,
# 错误：输出文件与输入文件相同 and 错误：表文件不完整.
WRITE_FAILED = "Error: cannot write the file"
SAME_FILE = "Error: the output file is the input file"
SHORT_TABLE = "Error: the table file is incomplete"
MENU = b"1 TXT to TX;\n2 TX to TXT_"
MENU_REPORT = re.compile(r"txconv: .*: (table|listing) (written$|appended; it now holds )")


def image(values):
    """A table file's bytes: the values, then zeros up to 95 slots."""
    values = list(values) + [0] * (95 - len(values))
    return struct.pack("<95I", *values)


def listing(values):
    """A listing as txconv writes it: 95 lines, zeros behind the values."""
    values = list(values) + [0] * (95 - len(values))
    return b"".join(b"uv=%08X\r\n" % v for v in values)


@dataclass
class Run:
    status: int
    stdout: bytes
    stderr: str


def run(args, answer=b"", cwd=None, stdin=None, preexec_fn=None, timeout=30):
    """Starts txconv with args, answering answer on standard input."""
    proc = subprocess.run(
        [BINARY, *args],
        input=None if stdin is not None else answer,
        stdin=stdin,
        cwd=cwd,
        capture_output=True,
        timeout=timeout,
        preexec_fn=preexec_fn,
    )
    return Run(proc.returncode, proc.stdout, proc.stderr.decode("utf-8", "replace"))


def run_shell(command, answer, folder):
    """Runs a shell command line in folder with $T naming txconv."""
    proc = subprocess.run(["sh", "-c", command], input=answer, cwd=folder, capture_output=True, timeout=30,
                          env={**os.environ, "T": BINARY})
    return Run(proc.returncode, proc.stdout, proc.stderr.decode("utf-8", "replace"))


class Link(str):
    """A symbolic link, by what it points to."""


class Fifo:
    """A named pipe."""

    def __eq__(self, other):
        return isinstance(other, Fifo)

    def __repr__(self):
        return "Fifo()"


def snapshot(folder):
    """Every file below folder, by relative name, with its bytes; a link or a
    FIFO as such, never opened."""
    files = {}
    for root, _, names in os.walk(folder):
        for name in names:
            path = os.path.join(root, name)
            mode = os.lstat(path).st_mode
            if stat.S_ISLNK(mode):
                files[os.path.relpath(path, folder)] = Link(os.readlink(path))
            elif stat.S_ISFIFO(mode):
                files[os.path.relpath(path, folder)] = Fifo()
            else:
                with open(path, "rb") as f:
                    files[os.path.relpath(path, folder)] = f.read()
    return files


def populate(folder, files):
    """Makes files: bytes, None for a folder, a Link or a Fifo."""
    for name, content in files.items():
        path = os.path.join(folder, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        if content is None:
            os.makedirs(path, exist_ok=True)
        elif isinstance(content, Link):
            os.symlink(content, path)
        elif isinstance(content, Fifo):
            os.mkfifo(path)
        else:
            with open(path, "wb") as f:
                f.write(content)


@dataclass
class Case:
    """One run: the folder before, the arguments and answer, what must follow."""

    what: str
    before: dict
    args: list
    answer: bytes
    after: dict
    status: int = 0
    # Fragments that must appear, in order; a "txconv: " line that no
    # fragment names must not appear at all.
    stderr: list = field(default_factory=list)
    stdout: bytes = None  # what standard output must hold, where it matters
    # A shell command to run instead of args, for redirections: "$T" is
    # txconv; standard input is answer, as for args.
    shell: str = None


class CaseTest(unittest.TestCase):
    def check_cases(self, cases):
        for case in cases:
            with self.subTest(case.what), tempfile.TemporaryDirectory() as folder:
                populate(folder, case.before)
                result = run_shell(case.shell, case.answer, folder) if case.shell else run(case.args, case.answer,
                                                                                            cwd=folder)
                self.assertEqual(result.status, case.status, result.stderr)
                self.assertEqual(snapshot(folder), case.after)
                self.check_stderr(result.stderr, case.stderr)
                if case.stdout is not None:
                    self.assertEqual(result.stdout, case.stdout)

    def check_stderr(self, stderr, fragments):
        at = 0
        for fragment in fragments:
            found = stderr.find(fragment, at)
            self.assertGreaterEqual(found, 0, f"{fragment!r} not in {stderr!r}")
            at = found + len(fragment)
        # The menu's line on what each output now holds has rows of its own;
        # elsewhere it is no unexpected diagnostic.
        said = [line for line in stderr.splitlines() if line.startswith("txconv: ") and not MENU_REPORT.match(line)]
        expected = [fragment for fragment in fragments if fragment.startswith("txconv: ") and
                    not MENU_REPORT.match(fragment)]
        self.assertEqual(len(said), len(expected), f"unexpected diagnostics in {stderr!r}")
