"""End-to-end runs of txconv: answers in, exact files and exit status out."""

import os
import pty
import re
import select
import subprocess
import tempfile
import time
import unittest

from harness import (BINARY, MENU, OPEN_FAILED, SAME_FILE, SHORT_TABLE, WRITE_FAILED, Case, CaseTest, Fifo, Link, image,
                     listing, populate, run, snapshot)

THREE = b"uv=00000001\r\nuv=0000000a\r\nuv=FFFFFFFF\r\n"
VALUES = [(0x9E3779B9 * (i + 1)) & 0xFFFFFFFF for i in range(95)]
TABLE = image(VALUES)
LISTING = listing(VALUES)
LONG = "n" * 246  # with ".txt", 250 bytes: near the 255 a name may have
CR_BAD = LISTING.replace(b"\r\n", b"\r")[:11 * 12] + b"uv=0000x000\r" + LISTING.replace(b"\r\n", b"\r")[12 * 12:]


class ListingToTable(CaseTest):
    def test_cases(self):
        self.check_cases([
            Case("three lines", {"pts.txt": THREE}, ["pts.txt"], b"1\n",
                 {"pts.txt": THREE, "pts.tx": image([1, 10, 0xFFFFFFFF])}, stderr=["\npts.txt\n"]),
            Case("a full listing", {"pts.txt": LISTING}, ["pts.txt"], b"01\n", {"pts.txt": LISTING, "pts.tx": TABLE}),
            Case("an empty listing", {"e.txt": b""}, ["e.txt"], b"1\n", {"e.txt": b"", "e.tx": image([])}),
            Case("appended behind an older table", {"pts.txt": THREE, "pts.tx": TABLE}, ["pts.txt"], b"1\n",
                 {"pts.txt": THREE, "pts.tx": TABLE + image([1, 10, 0xFFFFFFFF])}),
            Case("any key, fields cut short by the end", {"g.txt": b"gain=0000ABCD\r\nk==0000000A\r\nuv=12"},
                 ["g.txt"], b"1\n", {"g.txt": b"gain=0000ABCD\r\nk==0000000A\r\nuv=12", "g.tx": image([0xABCD, 0, 10, 0x12])},
                 stderr=["txconv: g.txt:2: value is not 8 hex digits; stored as 0"]),
            Case("more than 95 values", {"d.txt": LISTING + LISTING[:26]}, ["d.txt"], b"1\n",
                 {"d.txt": LISTING + LISTING[:26], "d.tx": TABLE},
                 stderr=["txconv: d.txt: 2 values after the first 95 were ignored"]),
            Case("exactly 96 values", {"n.txt": LISTING + LISTING[:13]}, ["n.txt"], b"1\n",
                 {"n.txt": LISTING + LISTING[:13], "n.tx": TABLE},
                 stderr=["txconv: n.txt: 1 value after the first 95 was ignored"]),
            Case("no '.' in the file name", {"pts": THREE}, ["pts"], b"1\n", {"pts": THREE, "pts.tx": image([1, 10, 0xFFFFFFFF])}),
            Case("a '.' in a folder name only", {"old.2/pts": THREE}, ["old.2/pts"], b"1\n",
                 {"old.2/pts": THREE, "old.2/pts.tx": image([1, 10, 0xFFFFFFFF])}),
            Case("a name outside ASCII", {"表 α.txt": THREE}, ["表 α.txt"], b"1\n",
                 {"表 α.txt": THREE, "表 α.tx": image([1, 10, 0xFFFFFFFF])}, stderr=["\n表 α.txt\n"]),
            # Dropped together: asked once, one notice with every path, and a
            # failure with its own notice (path and reason) that stops no other.
            Case("several paths", {"a.txt": THREE, "b.txt": LISTING}, ["a.txt", "gone.txt", "b.txt"], b"1\n",
                 {"a.txt": THREE, "a.tx": image([1, 10, 0xFFFFFFFF]), "b.txt": LISTING, "b.tx": TABLE}, 1,
                 ["\na.txt\ngone.txt\nb.txt\n[press Enter]", "txconv: gone.txt: No such file or directory\n",
                  OPEN_FAILED + "\ngone.txt\nNo such file or directory\n[press Enter]"]),
        ])


class TableToListing(CaseTest):
    def test_cases(self):
        self.check_cases([
            Case("a table", {"t.tx": TABLE}, ["t.tx"], b"2\n", {"t.tx": TABLE, "t.txt": LISTING}),
            Case("byte order", {"b.tx": b"\x78\x56\x34\x12" + bytes(376)}, ["b.tx"], b"2\n",
                 {"b.tx": b"\x78\x56\x34\x12" + bytes(376), "b.txt": listing([0x12345678])}),
            Case("only the first image counts", {"t.tx": TABLE + image([7])}, ["t.tx"], b"2\n",
                 {"t.tx": TABLE + image([7]), "t.txt": LISTING}),
            Case("bytes behind the image are ignored", {"t.tx": TABLE + b"xyz"}, ["t.tx"], b"2\n",
                 {"t.tx": TABLE + b"xyz", "t.txt": LISTING}),
            Case("appended behind an older listing", {"t.tx": TABLE, "t.txt": b"old\r\n"}, ["t.tx"], b"2\n",
                 {"t.tx": TABLE, "t.txt": b"old\r\n" + LISTING}),
            Case("an empty table file", {"e.tx": b""}, ["e.tx"], b"2\n", {"e.tx": b""}, 1,
                 ["txconv: e.tx: holds 0 bytes; a table takes 380", SHORT_TABLE]),
            Case("one byte short", {"s.tx": TABLE[:379], "s.txt": b"old"}, ["s.tx"], b"2\n",
                 {"s.tx": TABLE[:379], "s.txt": b"old"}, 1, ["txconv: s.tx: holds 379 bytes", SHORT_TABLE]),
        ])


def usage(what, args):
    """A command line that makes no sense: exit 2, a short usage, no file touched."""
    return Case(what, {"p.txt": THREE}, args, b"", {"p.txt": THREE}, 2, ["txconv: ", "usage: txconv"])


class CommandLine(CaseTest):
    def test_cases(self):
        bad = LISTING[:52] + b"uv=0000x000\r\n" + LISTING[65:]
        short_end = LISTING[:-6] + b"\r\n"  # the last field is "FFFF" or so, cut by the end
        self.check_cases([
            Case("-1 makes a table", {"p.txt": LISTING}, ["-1", "p.txt"], b"", {"p.txt": LISTING, "p.tx": TABLE}),
            Case("--to-txt makes a listing", {"t.tx": TABLE}, ["--to-txt", "t.tx"], b"",
                 {"t.tx": TABLE, "t.txt": LISTING}),
            Case("an existing target is left alone", {"t.tx": TABLE, "t.txt": b"old"}, ["-2", "t.tx"], b"",
                 {"t.tx": TABLE, "t.txt": b"old"}, 1,
                 ["txconv: t.txt: already exists; use --force to replace it or --append to add to it"]),
            Case("--force replaces it", {"t.tx": TABLE, "t.txt": b"old"}, ["--force", "-2", "t.tx"], b"",
                 {"t.tx": TABLE, "t.txt": LISTING}),
            Case("--force does not replace a link", {"t.tx": TABLE, "t.txt": Link("t.tx")}, ["-2f", "t.tx"], b"",
                 {"t.tx": TABLE, "t.txt": Link("t.tx")}, 1, ["txconv: t.txt: is a symbolic link; not followed"]),
            Case("--append adds, as the menu does", {"t.tx": TABLE, "t.txt": b"old\r\n"}, ["--append", "-2", "t.tx"],
                 b"", {"t.tx": TABLE, "t.txt": b"old\r\n" + LISTING}),
            Case("several files: one fails, the others are done", {"a.tx": TABLE, "b.tx": image([1])},
                 ["-2", "a.tx", "gone.tx", "b.tx", "-v"], b"",
                 {"a.tx": TABLE, "b.tx": image([1]), "a.txt": LISTING, "b.txt": listing([1])}, 1,
                 ["a.tx -> a.txt", "txconv: gone.tx: ", "b.tx -> b.txt"]),
            Case("two inputs, one target", {"x.1": TABLE, "x.2": image([1])}, ["-2", "x.1", "x.2"], b"",
                 {"x.1": TABLE, "x.2": image([1]), "x.txt": LISTING}, 1,
                 ["txconv: x.2: its output x.txt is also that of x.1"]),
            Case("-o names the output", {"t.tx": TABLE}, ["-2", "-o", "out.lst", "t.tx"], b"",
                 {"t.tx": TABLE, "out.lst": LISTING}),
            Case("--output=PATH", {"p.txt": LISTING}, ["--output=out", "-1", "p.txt"], b"",
                 {"p.txt": LISTING, "out": TABLE}),
            Case("-o - is standard output", {"t.tx": TABLE}, ["-2o-", "t.tx"], b"", {"t.tx": TABLE}, stdout=LISTING),
            Case("- reads standard input and writes standard output", {}, ["-2", "-"], TABLE, {}, stdout=LISTING),
            Case("- with -o", {}, ["-1", "-o", "p.tx", "-"], LISTING, {"p.tx": TABLE}, stdout=b""),
            Case("-- ends the options", {"-x.txt": LISTING}, ["-1", "--", "-x.txt"], b"",
                 {"-x.txt": LISTING, "-x.tx": TABLE}),
            Case("--strict: a malformed field", {"m.txt": bad}, ["--strict", "-1", "m.txt"], b"", {"m.txt": bad}, 1,
                 ["txconv: m.txt:5: value is not 8 hex digits\n"]),
            Case("--strict: a field cut short by the end", {"s.txt": short_end}, ["--strict", "-1", "s.txt"], b"",
                 {"s.txt": short_end}, 1, ["txconv: s.txt:95: value is not 8 hex digits\n"]),
            Case("--strict: too few values", {"p.txt": THREE}, ["--strict", "-1", "p.txt"], b"", {"p.txt": THREE}, 1,
                 ["txconv: p.txt: holds 3 values; a listing takes 95"]),
            Case("--strict: too many values", {"d.txt": LISTING + LISTING[:13]}, ["--strict", "-1", "d.txt"], b"",
                 {"d.txt": LISTING + LISTING[:13]}, 1, ["txconv: d.txt:96: more than 95 values"]),
            Case("--strict: a table file that is not whole tables", {"t.tx": TABLE + b"x"},
                 ["--strict", "-2", "t.tx"], b"", {"t.tx": TABLE + b"x"}, 1,
                 ["txconv: t.tx: holds 381 bytes; not a whole number of 380-byte tables"]),
            Case("--strict: two whole tables", {"t.tx": TABLE + TABLE}, ["--strict", "-2", "t.tx"], b"",
                 {"t.tx": TABLE + TABLE, "t.txt": LISTING}),
            Case("--check writes nothing, the extension tells", {"p.txt": LISTING, "t.TX": TABLE},
                 ["-cv", "p.txt", "t.TX"], b"", {"p.txt": LISTING, "t.TX": TABLE}, 0, ["p.txt: ok", "t.TX: ok"]),
            Case("--check with --strict", {"p.txt": THREE}, ["--check", "--strict", "p.txt"], b"", {"p.txt": THREE},
                 1, ["txconv: p.txt: holds 3 values"]),
            Case("--check: an unknown extension", {"x.bin": TABLE}, ["-c", "x.bin"], b"", {"x.bin": TABLE}, 1,
                 ["txconv: x.bin: cannot tell a listing from a table by its name; use -1 or -2"]),
            Case("--check: -2 decides", {"x.bin": TABLE}, ["-c2", "x.bin"], b"", {"x.bin": TABLE}),
            Case("-q keeps warnings back", {"g.txt": b"uv=12 45678\r\n"}, ["-q1", "g.txt"], b"",
                 {"g.txt": b"uv=12 45678\r\n", "g.tx": image([])}),
            usage("-1 and -2", ["-1", "-2", "p.txt"]),
            usage("an unknown option", ["p.txt", "--bogus"]),
            usage("an unknown short option", ["-1x", "p.txt"]),
            usage("no FILE", ["-1"]),
            usage("no direction", ["-v", "p.txt"]),
            usage("-o with two files", ["-1", "-o", "x", "p.txt", "p.txt"]),
            usage("-o without a value", ["-1", "p.txt", "-o"]),
            usage("--force and --append", ["-1", "--force", "--append", "p.txt"]),
            usage("--check with -o", ["-c", "-o", "x", "p.txt"]),
            usage("an empty -o", ["-1", "-o", "", "p.txt"]),
            # Several files that share an output: appended in file order,
            # never waiting on their own lock; replaced or made only once.
            Case("--append: two files, one output", {"a.tx": TABLE, "a.bin": image([1])},
                 ["-2", "--append", "a.tx", "a.bin"], b"",
                 {"a.tx": TABLE, "a.bin": image([1]), "a.txt": LISTING + listing([1])}),
            Case("--append: one file twice", {"c.txt": LISTING}, ["-1", "--append", "c.txt", "c.txt"], b"",
                 {"c.txt": LISTING, "c.tx": TABLE + TABLE}),
            Case("--force: a later file does not replace an earlier one's output",
                 {"a.tx": TABLE, "a.bin": image([1])}, ["-2", "-f", "a.tx", "a.bin"], b"",
                 {"a.tx": TABLE, "a.bin": image([1]), "a.txt": LISTING}, 1,
                 ["txconv: a.bin: its output a.txt is also that of a.tx"]),
            Case("--force with a name of 250 bytes", {LONG + ".tx": TABLE, LONG + ".txt": b"old"}, ["-2f", LONG + ".tx"],
                 b"", {LONG + ".tx": TABLE, LONG + ".txt": LISTING}),
            # A path the user typed is followed like any tool follows it.
            Case("-o through a link, --force", {"t.tx": TABLE, "l.txt": Link("real.txt"), "real.txt": b"old"},
                 ["-2f", "-o", "l.txt", "t.tx"], b"", {"t.tx": TABLE, "l.txt": Link("real.txt"), "real.txt": LISTING}),
            Case("-o a device", {"t.tx": TABLE}, ["-2", "-o", "/dev/null", "t.tx"], b"", {"t.tx": TABLE}),
            Case("-o into a folder that is not there", {"t.tx": TABLE}, ["-2", "-o", "none/x.txt", "t.tx"], b"",
                 {"t.tx": TABLE}, 1, ["txconv: none: No such file or directory"]),
            Case("control characters in a name are escaped", {"e\x1b[31m.tx": TABLE}, ["-2v", "e\x1b[31m.tx"], b"",
                 {"e\x1b[31m.tx": TABLE, "e\x1b[31m.txt": LISTING}, stderr=["e\\033[31m.tx -> e\\033[31m.txt"]),
            Case("CR alone ends a line", {"r.txt": CR_BAD}, ["--strict", "-1", "r.txt"], b"", {"r.txt": CR_BAD}, 1,
                 ["txconv: r.txt:12: value is not 8 hex digits"]),
            usage("a value for a flag", ["-1", "--force=yes", "p.txt"]),
        ])

    def test_standard_output_that_is_the_input(self):
        # txconv -2 -o - t.tx >> t.tx would append to its own input.
        with tempfile.TemporaryDirectory() as folder:
            populate(folder, {"t.tx": TABLE})
            with open(os.path.join(folder, "t.tx"), "ab") as same:
                proc = subprocess.run([BINARY, "-2", "-o", "-", "t.tx"], stdout=same, stderr=subprocess.PIPE,
                                      cwd=folder, timeout=30)
            self.assertEqual(proc.returncode, 1)
            self.assertIn(b"txconv: -: output would overwrite the input", proc.stderr)
            self.assertEqual(snapshot(folder), {"t.tx": TABLE})

    def test_closed_standard_streams_are_not_files(self):
        # txconv -1 - <&-, txconv -2 -o - t.tx >&-: as cat does, a failure.
        for args, closed in ((["-1", "-"], 0), (["-2", "-o", "-", "t.tx"], 1)):
            with self.subTest(args), tempfile.TemporaryDirectory() as folder:
                populate(folder, {"t.tx": TABLE})
                result = run(args, cwd=folder, stdin=subprocess.DEVNULL, preexec_fn=lambda: os.close(closed))
                self.assertEqual(result.status, 1, result.stderr)
                self.assertIn("txconv: -: was closed when txconv started", result.stderr)
                self.assertEqual(snapshot(folder), {"t.tx": TABLE})

    def test_force_keeps_the_permissions_and_owner(self):
        for mode in (0o444, 0o600):
            with self.subTest(oct(mode)), tempfile.TemporaryDirectory() as folder:
                populate(folder, {"t.tx": TABLE, "t.txt": b"old"})
                target = os.path.join(folder, "t.txt")
                os.chmod(target, mode)
                owner = (1234, 1234) if os.geteuid() == 0 else (os.getuid(), os.getgid())
                if os.geteuid() == 0:
                    os.chown(target, *owner)
                self.assertEqual(run(["-2f", "t.tx"], cwd=folder).status, 0)
                st = os.stat(target)
                self.assertEqual((st.st_mode & 0o7777, st.st_uid, st.st_gid), (mode, *owner))
                self.assertEqual(snapshot(folder), {"t.tx": TABLE, "t.txt": LISTING})

    def test_a_round_trip_through_pipes(self):
        # txconv -2 - < t.tx | txconv -1 - | cmp - t.tx
        with tempfile.TemporaryDirectory() as folder:
            populate(folder, {"t.tx": TABLE})
            with open(os.path.join(folder, "t.tx"), "rb") as table:
                first = subprocess.Popen([BINARY, "-2", "-"], stdin=table, stdout=subprocess.PIPE)
                second = subprocess.run([BINARY, "-1", "-"], stdin=first.stdout, capture_output=True, timeout=30)
                first.stdout.close()
                self.assertEqual((first.wait(timeout=30), second.returncode), (0, 0), second.stderr)
            self.assertEqual(second.stdout, TABLE)
            self.assertEqual(snapshot(folder), {"t.tx": TABLE})


class Answers(CaseTest):
    def test_cases(self):
        # Started on a table file: 2 makes its listing, 1 would write the table
        # into itself and is refused, anything else runs nothing.
        kept = {"t.tx": TABLE}
        made = {"t.tx": TABLE, "t.txt": LISTING}
        rows = [(answer, made, 0) for answer in (b" 2\n", b"+2\n", b"2abc\n", b"2", b"2\r\n", b"002\n")]
        rows += [(answer, kept, 1) for answer in (b"1\n", b"01\n", b"\t+1\n", b"1.5\n")]
        rows += [(answer, kept, 0) for answer in (b"12\n", b"0\n", b"\n", b"", b"-1\n", b"-2\n", b"3\n",
                                                  b"4294967297\n", b"x1\n", b"9" * 100000 + b"\n")]
        refused = ["txconv: t.tx: output would overwrite the input it is made from", SAME_FILE]
        self.check_cases([Case(f"answer {answer[:12]!r}", {"t.tx": TABLE}, ["t.tx"], answer, after, status,
                               refused if status else [])
                          for answer, after, status in rows])


class Refusals(CaseTest):
    def test_cases(self):
        self.check_cases([
            Case("missing listing", {}, ["gone.txt"], b"1\n", {}, 1, ["txconv: gone.txt: ", OPEN_FAILED]),
            Case("missing table", {}, ["gone.tx"], b"2\n", {}, 1, ["txconv: gone.tx: ", OPEN_FAILED]),
            Case("listing is a folder", {"dir.txt": None}, ["dir.txt"], b"1\n", {}, 1, ["txconv: dir.txt: ", OPEN_FAILED]),
            Case("table is a folder", {"dir.tx": None}, ["dir.tx"], b"2\n", {}, 1, ["txconv: dir.tx: ", OPEN_FAILED]),
            Case("output is a folder", {"p.txt": THREE, "p.tx": None}, ["p.txt"], b"1\n", {"p.txt": THREE}, 1,
                 ["txconv: p.tx: ", WRITE_FAILED]),
            Case("table read back into itself", {"x.tx": TABLE}, ["x.tx"], b"1\n", {"x.tx": TABLE}, 1,
                 ["txconv: x.tx: output would overwrite the input", SAME_FILE]),
            Case("listing written into itself", {"x.txt": LISTING}, ["x.txt"], b"2\n", {"x.txt": LISTING}, 1,
                 ["txconv: x.txt: output would overwrite", SAME_FILE]),
            Case("an empty path", {}, [""], b"1\n", {}, 1, ["txconv: : ", OPEN_FAILED]),
            # The output's name is made up, not typed: a link planted there is
            # never followed, whether it leads somewhere or nowhere.
            Case("output is a link", {"p.txt": THREE, "p.tx": Link("victim"), "victim": b"secret"}, ["p.txt"],
                 b"1\n", {"p.txt": THREE, "p.tx": Link("victim"), "victim": b"secret"}, 1,
                 ["txconv: p.tx: is a symbolic link; not followed", WRITE_FAILED]),
            Case("output is a dangling link", {"t.tx": TABLE, "t.txt": Link("made")}, ["t.tx"], b"2\n",
                 {"t.tx": TABLE, "t.txt": Link("made")}, 1, ["txconv: t.txt: is a symbolic link; not followed"]),
            # Nothing but regular files, and nothing that can make an open wait.
            Case("listing is a FIFO", {"f.txt": Fifo()}, ["f.txt"], b"1\n", {"f.txt": Fifo()}, 1,
                 ["txconv: f.txt: is not a regular file", OPEN_FAILED]),
            Case("output is a FIFO", {"t.tx": TABLE, "t.txt": Fifo()}, ["t.tx"], b"2\n",
                 {"t.tx": TABLE, "t.txt": Fifo()}, 1, ["txconv: t.txt: is not a regular file", WRITE_FAILED]),
            Case("an endless device as listing", {}, ["/dev/zero"], b"1\n", {}, 1,
                 ["txconv: /dev/zero: is not a regular file", OPEN_FAILED]),
            Case("a file under /proc, through a link", {"o.txt": Link("/proc/sys/kernel/ostype")}, ["o.txt"],
                 b"1\n", {"o.txt": Link("/proc/sys/kernel/ostype"), "o.tx": image([])}),
        ])

    def test_a_link_to_the_input_is_the_input(self):
        with tempfile.TemporaryDirectory() as folder:
            populate(folder, {"a.tx": TABLE})
            os.link(os.path.join(folder, "a.tx"), os.path.join(folder, "a.txt"))
            result = run(["a.tx"], b"2\n", cwd=folder)
            self.assertEqual(result.status, 1)
            self.assertIn(SAME_FILE, result.stderr)
            self.assertEqual(snapshot(folder), {"a.tx": TABLE, "a.txt": TABLE})


class Console(unittest.TestCase):
    def test_no_argument_shows_an_empty_notice_and_touches_nothing(self):
        with tempfile.TemporaryDirectory() as folder:
            result = run([], b"1\n", cwd=folder)
            self.assertEqual((result.status, result.stdout), (0, MENU))
            self.assertTrue(result.stderr.startswith("\n\n[press Enter]"), result.stderr)
            self.assertEqual(snapshot(folder), {})

    def test_menu_then_notice_then_result(self):
        with tempfile.TemporaryDirectory() as folder:
            result = run(["p.txt"], b"1\n", cwd=folder)
            self.assertEqual(result.stdout, MENU)
            self.assertTrue(result.stderr.startswith("\np.txt\n[press Enter] \n"), result.stderr)
            self.assertLess(result.stderr.index("[press Enter]"), result.stderr.index(OPEN_FAILED))

    def test_on_a_terminal_each_notice_takes_one_line(self):
        # A missing input shows two notices: the path, then the failure. On a
        # terminal each waits for one line of its own, and any text counts.
        with tempfile.TemporaryDirectory() as folder:
            pid, terminal = pty.fork()
            if pid == 0:
                os.chdir(folder)
                os.execv(BINARY, [BINARY, "gone.txt"])
            seen = b""

            def wait_for(text, count=1):
                nonlocal seen
                deadline = time.monotonic() + 10
                while seen.count(text) < count:
                    ready, _, _ = select.select([terminal], [], [], max(0, deadline - time.monotonic()))
                    self.assertTrue(ready, f"no {text!r} after {seen!r}")
                    try:
                        chunk = os.read(terminal, 4096)
                    except OSError:  # the child has gone
                        chunk = b""
                    self.assertTrue(chunk, f"ended before {text!r}: {seen!r}")
                    seen += chunk

            try:
                wait_for(b"TXT_")
                os.write(terminal, b"1\n")
                wait_for(b"[press Enter]")
                os.write(terminal, b"\n")
                wait_for(b"[press Enter]", 2)
                self.assertEqual(os.waitpid(pid, os.WNOHANG), (0, 0), "the failure notice did not wait")
                os.write(terminal, b"ok\n")
                _, status = os.waitpid(pid, 0)
            finally:
                os.close(terminal)
            self.assertEqual(os.waitstatus_to_exitcode(status), 1)
            self.assertIn(OPEN_FAILED.encode(), seen)

    def test_help_and_version_skip_the_menu(self):
        for option, expected in (("--help", b"usage: txconv PATH"), ("-h", b"usage: txconv PATH"),
                                 ("--version", b"txconv ")):
            with self.subTest(option):
                result = run([option], b"1\n")
                self.assertEqual((result.status, result.stderr), (0, ""))
                self.assertTrue(result.stdout.startswith(expected), result.stdout)

    def test_help_that_cannot_be_written_fails(self):
        with open("/dev/full", "wb") as full:
            proc = subprocess.run([BINARY, "--help"], stdout=full, stderr=subprocess.PIPE, timeout=30)
        self.assertEqual(proc.returncode, 1)

    def test_an_option_anywhere_means_no_menu(self):
        with tempfile.TemporaryDirectory() as folder:
            result = run(["p.txt", "--help"], b"1\n", cwd=folder)
            self.assertEqual(result.status, 0, result.stderr)
            self.assertTrue(result.stdout.startswith(b"usage: txconv PATH"), result.stdout)
            self.assertEqual(snapshot(folder), {})

    def test_closed_standard_input_runs_nothing(self):
        with tempfile.TemporaryDirectory() as folder:
            populate(folder, {"t.tx": TABLE})
            with open(os.devnull, "rb") as nothing:
                result = run(["t.tx"], cwd=folder, stdin=nothing)
            self.assertEqual(result.status, 0)
            self.assertEqual(snapshot(folder), {"t.tx": TABLE})


class Documentation(unittest.TestCase):
    def test_readme_and_man_page_name_every_option(self):
        top = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
        with open(os.path.join(top, "README.md"), encoding="utf-8") as f:
            readme = f.read()
        with open(os.path.join(top, "doc", "txconv.1"), encoding="utf-8") as f:
            page = f.read().replace("\\-", "-")
        options = re.findall(r"^  (?:(-\w), )?\s*(--[\w-]+)", run(["--help"]).stdout.decode(), re.M)
        self.assertGreater(len(options), 8)
        for short, long in options:
            for name in filter(None, (short, long)):
                self.assertIn(f"`{name}", readme, name)
                self.assertRegex(page, rf"(?<![\w-]){name}(?![\w-])", name)


class RoundTrip(unittest.TestCase):
    def test_listing_to_table_and_back_repeats_the_listing(self):
        with tempfile.TemporaryDirectory() as folder:
            populate(folder, {"pts.txt": LISTING})
            self.assertEqual(run(["pts.txt"], b"1\n", cwd=folder).status, 0)
            self.assertEqual(run(["pts.tx"], b"2\n", cwd=folder).status, 0)
            self.assertEqual(snapshot(folder), {"pts.txt": LISTING + LISTING, "pts.tx": TABLE})

    def test_an_older_image_is_the_one_read_back(self):
        with tempfile.TemporaryDirectory() as folder:
            older = image([5, 6, 7])
            populate(folder, {"pts.txt": LISTING, "pts.tx": older})
            self.assertEqual(run(["pts.txt"], b"1\n", cwd=folder).status, 0)
            self.assertEqual(run(["pts.tx"], b"2\n", cwd=folder).status, 0)
            self.assertEqual(snapshot(folder), {"pts.txt": LISTING + listing([5, 6, 7]), "pts.tx": older + TABLE})


if __name__ == "__main__":
    unittest.main()
