"""Runs the built txconv in a scratch folder and looks at what it left there."""

import os
import struct
import subprocess
import tempfile
import unittest
from dataclasses import dataclass, field

BINARY = os.environ.get("TXCONV", "txconv")

OPEN_FAILED = "错误：无法打开文件"
WRITE_FAILED = "错误：无法写入文件"
SAME_FILE = "错误：输出文件与输入文件相同"
SHORT_TABLE = "错误：表文件不完整"
MENU = b"1 TXT to TX;\n2 TX to TXT_"


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


def snapshot(folder):
    """Every file below folder, by relative name, with its bytes."""
    files = {}
    for root, _, names in os.walk(folder):
        for name in names:
            path = os.path.join(root, name)
            with open(path, "rb") as f:
                files[os.path.relpath(path, folder)] = f.read()
    return files


def populate(folder, files):
    for name, content in files.items():
        path = os.path.join(folder, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        if content is None:
            os.makedirs(path, exist_ok=True)
            continue
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
    stderr: list = field(default_factory=list)  # fragments that must appear, in order


class CaseTest(unittest.TestCase):
    def check_cases(self, cases):
        for case in cases:
            with self.subTest(case.what), tempfile.TemporaryDirectory() as folder:
                populate(folder, case.before)
                result = run(case.args, case.answer, cwd=folder)
                self.assertEqual(result.status, case.status, result.stderr)
                self.assertEqual(snapshot(folder), case.after)
                at = 0
                for fragment in case.stderr:
                    found = result.stderr.find(fragment, at)
                    self.assertGreaterEqual(found, 0, f"{fragment!r} not in {result.stderr!r}")
                    at = found + len(fragment)
