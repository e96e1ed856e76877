"""The Windows txconv.exe, end to end under Wine, with its message boxes
dismissed the way a user would: focus the box, press Enter.

usage: test_wine.py WINDOWS_BUILD_DIR [TEST...]

The build holds txconv.exe and tests/wine/wine_helper.exe, which gives
txconv.exe a console of its own or holds a file open. Exits 77 (skipped)
when they or one of the tools are missing.
"""

import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from harness import OPEN_FAILED, SAME_FILE, image, listing, populate, snapshot  # noqa: E402
from wine_session import BUILD, EXE, SESSION, run_exe, run_suite, wine  # noqa: E402

HELPER = os.path.join(BUILD, "tests", "wine", "wine_helper.exe")
WINDOWED = os.path.join(BUILD, "txconvw.exe")
SOURCE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
TOOLS = ["wine", "wineboot", "wineserver", "Xvfb", "xdotool", "xwininfo", "x86_64-w64-mingw32-objdump", "wrestool"]
VALUES = [(0x6C078965 * (i + 7)) & 0xFFFFFFFF for i in range(95)]
# A folder deep enough that its path passes 400 characters, relative and as
# Windows writes it.
DEEP = "/".join(f"a_folder_with_a_rather_long_name_{i:02}" for i in range(11))
WINDOWS_DEEP = DEEP.replace("/", "\\")
MENU = b"1 TXT to TX;\r\n2 TX to TXT_"
MB_ICONERROR, MB_ICONWARNING = 0x10, 0x30  # the C runtime writes text mode on Windows


def cut_like_wine(got, expected):
    """got, with each text that Wine's trace cut short taken as the whole one
    it begins."""
    return [want if len(text) >= 200 and want.startswith(text) else text for text, want in zip(got, expected)] + \
        got[len(expected):]


def project_version():
    with open(os.path.join(SOURCE, "CMakeLists.txt")) as f:
        return re.search(r"project\(txconv VERSION ([0-9.]+)", f.read()).group(1)


def resource(kind):
    """The raw bytes of the .exe's first resource of a type."""
    return subprocess.run(["wrestool", "-x", "--raw", f"--type={kind}", EXE], capture_output=True, check=True).stdout


class WineStartFailures(unittest.TestCase):
    def test_only_a_start_up_failure_is_launched_again(self):
        # A stand-in for wine that fails in start-up as many times as its
        # count file says, printing what its message file holds, then exits
        # with the status it is given.
        with tempfile.TemporaryDirectory() as folder:
            fake = os.path.join(folder, "wine")
            with open(fake, "w") as f:
                f.write('#!/bin/sh\nn=$(cat count); echo $((n - 1)) > count\n'
                        'if [ "$n" -gt 0 ]; then cat message >&2; '
                        'exit 1; fi\nexit "$1"\n')
            os.chmod(fake, 0o755)
            env = dict(os.environ, PATH=folder + os.pathsep + os.environ["PATH"])
            map_failed = "err:   failed to map the shared user data: c0000018"
            for failures, status, message, expected in ((0, 3, map_failed, 3), (2, 0, map_failed, 0),
                                                        (3, 0, map_failed, 1), (1, 0, "wine client error:4: write", 0),
                                                        (1, 0, "some program's own failure", 1)):
                with self.subTest(failures=failures, status=status, message=message):
                    populate(folder, {"count": str(failures).encode(), "message": message.encode()})
                    proc = wine([str(status)], cwd=folder, env=env)
                    self.assertEqual(proc.returncode, expected, proc.stderr)


class StaticExe(unittest.TestCase):
    def test_imports_no_mingw_runtime(self):
        # The windowed twin must be a GUI program: a console one would flash
        # a console window up at every right-click.
        for program, subsystem in ((EXE, "Windows CUI"), (WINDOWED, "Windows GUI")):
            with self.subTest(program):
                dump = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", program], capture_output=True, text=True,
                                      check=True).stdout
                dlls = {name.lower() for name in re.findall(r"DLL Name: (\S+)", dump)}
                self.assertFalse(dlls & {"libstdc++-6.dll", "libgcc_s_seh-1.dll", "libwinpthread-1.dll"}, dlls)
                self.assertIn("user32.dll", dlls)
                self.assertRegex(dump, r"Subsystem\s+\S+\s+\(" + subsystem + r"\)")

    def test_a_real_windows_executable(self):
        manifest = resource(24).decode()
        self.assertRegex(manifest, r"<longPathAware[^>]*>true</longPathAware>")
        self.assertIn("PerMonitorV2", manifest)
        self.assertIn("Microsoft.Windows.Common-Controls", manifest)
        version = resource(16)
        for text in ("ProductName", "FileDescription", "FileVersion", project_version()):
            self.assertIn(text.encode("utf-16-le"), version)
        self.assertTrue(resource(14), "no icon")
        self.assertLess(os.path.getsize(EXE), 400 * 1024)
        symbols = subprocess.run(["x86_64-w64-mingw32-objdump", "-t", EXE], capture_output=True, text=True).stdout
        self.assertNotIn("run_txconv", symbols, "not stripped")


class UnderWine(unittest.TestCase):
    # (what, files before, arguments, answer, exit status, notices, files after)
    CASES = [
        ("listing to table", {"pts.txt": listing(VALUES)}, ["pts.txt"], b"1\r\n", 0, ["pts.txt"],
         {"pts.txt": listing(VALUES), "pts.tx": image(VALUES)}),
        ("table to listing", {"t.tx": image(VALUES)}, ["t.tx"], b"2\r\n", 0, ["t.tx"],
         {"t.tx": image(VALUES), "t.txt": listing(VALUES)}),
        ("a Windows path, shown as given", {"sub/p.v1.txt": listing(VALUES)}, ["sub\\p.v1.txt"], b"1\r\n", 0,
         ["sub\\p.v1.txt"], {"sub/p.v1.txt": listing(VALUES), "sub/p.v1.tx": image(VALUES)}),
        ("a name outside the ANSI code page", {"表 α.txt": listing(VALUES)}, ["表 α.txt"], b"1\r\n", 0,
         ["表 α.txt"], {"表 α.txt": listing(VALUES), "表 α.tx": image(VALUES)}),
        ("a missing input", {}, ["gone.txt"], b"1\r\n", 1, ["gone.txt", OPEN_FAILED + "\ngone.txt\nFile not found"],
         {}),
        ("the output is the input", {"x.tx": image(VALUES)}, ["x.tx"], b"1\r\n", 1,
         ["x.tx", SAME_FILE + "\nx.tx\noutput would overwrite the input it is made from"], {"x.tx": image(VALUES)}),
        ("another answer", {"t.tx": image(VALUES)}, ["t.tx"], b"3\r\n", 0, ["t.tx"], {"t.tx": image(VALUES)}),
        ("no argument", {}, [], b"1\r\n", 0, [""], {}),
        ("a pattern typed at a prompt: the files it matches", {"a.tx": image(VALUES), "b.tx": image([1])}, ["*.tx"],
         b"2\r\n", 0, ["a.tx\nb.tx"],
         {"a.tx": image(VALUES), "b.tx": image([1]), "a.txt": listing(VALUES), "b.txt": listing([1])}),
        # Dropped together: one menu, one notice with every path, and a
        # failure that stops no other file.
        ("several files", {"a.txt": listing(VALUES), "b.tx": image(VALUES)}, ["a.txt", "gone.txt", "b.tx"], b"1\r\n",
         1, ["a.txt\ngone.txt\nb.tx", OPEN_FAILED + "\ngone.txt\nFile not found",
             SAME_FILE + "\nb.tx\noutput would overwrite the input it is made from"],
         {"a.txt": listing(VALUES), "a.tx": image(VALUES), "b.tx": image(VALUES)}),
        # Past MAX_PATH. Wine takes such paths either way; the unit tests show
        # the extended form that real Windows needs.
        # The notice shows both ends of a path too long for the screen.
        ("a path of 400 characters", {DEEP + "/p.txt": listing(VALUES)}, [WINDOWS_DEEP + "\\p.txt"], b"1\r\n", 0,
         [(WINDOWS_DEEP + "\\p.txt")[:50] + "..." + (WINDOWS_DEEP + "\\p.txt")[-97:]], {DEEP + "/p.txt": listing(VALUES), DEEP + "/p.tx": image(VALUES)}),
    ]

    def test_cases(self):
        for what, before, args, answer, status, notices, after in self.CASES:
            with self.subTest(what), tempfile.TemporaryDirectory() as folder:
                populate(folder, before)
                got_status, out, got_notices, err = run_exe(args, answer, folder)
                self.assertEqual(out, MENU)
                self.assertEqual(cut_like_wine(got_notices, notices), notices, err[-2000:])
                self.assertEqual(got_status, status)
                self.assertEqual(snapshot(folder), after)

    def test_a_program_that_shares_the_target_does_not_block_the_append(self):
        # A viewer holds the target open for reading and writing, sharing
        # both but not deletion: an append that asked for DELETE would fail.
        with tempfile.TemporaryDirectory() as folder:
            populate(folder, {"h.txt": listing(VALUES), "h.tx": b"old"})
            holder = subprocess.Popen(["wine", HELPER, "hold", "h.tx", "20"], cwd=folder, env=SESSION["env"],
                                      stdout=subprocess.PIPE)
            try:
                self.assertEqual(holder.stdout.readline(), b"holding\n")
                status, _, notices, err = run_exe(["h.txt"], b"1\r\n", folder)
            finally:
                holder.kill()
                holder.wait()
            self.assertEqual((status, notices), (0, ["h.txt"]), err[-2000:])
            self.assertEqual(snapshot(folder), {"h.txt": listing(VALUES), "h.tx": b"old" + image(VALUES)})

    def test_the_console_and_the_notices_speak_the_user_s_language(self):
        # Wine takes the UI language from LANG where that locale exists (.ci/run
        # makes zh_CN.UTF-8 and zh_TW.UTF-8), and words the system's reasons in
        # it too. Read back from the console's screen on the Chinese and the
        # Western code page; the path goes through escaped, see the helper.
        # Traditional Chinese is not what txconv's words are: English.
        locales = subprocess.run(["locale", "-a"], capture_output=True, text=True).stdout.split()
        if "zh_CN.utf8" not in locales or "zh_TW.utf8" not in locales:
            self.skipTest("no zh_CN.UTF-8 or zh_TW.UTF-8 locale: localedef -i zh_CN -f UTF-8 zh_CN.UTF-8, and zh_TW")
        rows = [
            ("zh_CN.UTF-8", "936", "txconv: 表 α.txt: 无法读取：找不到文件\n", "找不到文件",
             "txconv: x.tx: 输出会覆盖生成它的输入文件", "错误：输出文件与输入文件相同\nx.tx\n输出会覆盖生成它的输入文件"),
            ("zh_CN.UTF-8", "437", "txconv: 表 α.txt: 无法读取：找不到文件\n", "找不到文件", None, None),
            ("zh_TW.UTF-8", "437", "txconv: 表 α.txt: cannot be read: 找不到檔案\n", "找不到檔案", None, None),
            ("en_US.UTF-8", "437", "txconv: 表 α.txt: cannot be read: File not found\n", "File not found",
             "txconv: x.tx: output would overwrite the input it is made from",
             SAME_FILE + "\nx.tx\noutput would overwrite the input it is made from"),
        ]
        for lang, code_page, said, reason, same_said, same_notice in rows:
            with self.subTest(lang=lang, code_page=code_page), tempfile.TemporaryDirectory() as folder:
                env = {"LANG": lang, "LC_ALL": lang}
                status, screen, notices, err = run_exe(
                    ["console", code_page, "1", EXE, "\\u8868 \\u03b1.txt"], b"", folder, program=HELPER, env=env)
                self.assertEqual(status, 1, err[-2000:])
                self.assertIn(said, screen.decode())
                self.assertEqual(notices, ["表 α.txt", OPEN_FAILED + "\n表 α.txt\n" + reason])
                if same_said:
                    populate(folder, {"x.tx": image(VALUES)})
                    status, screen, notices, err = run_exe(["console", code_page, "1", EXE, "x.tx"], b"", folder,
                                                           program=HELPER, env=env)
                    self.assertEqual(status, 1, err[-2000:])
                    self.assertIn(same_said, screen.decode())
                    self.assertEqual(notices[1:], [same_notice])

    def test_warnings_stay_when_the_console_goes(self):
        # A console of its own closes with the process, so the warnings end
        # in a notice; run from a console that stays, stderr is enough.
        text = b"uv=12 45678\r\nuv=00000001\r\n"
        with tempfile.TemporaryDirectory() as folder:
            populate(folder, {"w.txt": text, "c.txt": listing(VALUES)})
            # Nothing to say past the paths, nothing more to read.
            status, _, notices, err = run_exe(["new-console", "1", EXE, "c.txt"], b"", folder, program=HELPER)
            self.assertEqual((status, notices), (0, ["c.txt"]), err[-2000:])
            status, _, notices, err = run_exe(["new-console", "1", EXE, "w.txt"], b"", folder, program=HELPER)
            self.assertEqual((status, notices), (0, ["w.txt", "w.tx: written, with 2 warnings\n\n"
                                                     "w.txt:1: value is not 8 hex digits; stored as 0\n"
                                                     "w.txt: holds 2 values; slots 2 to 94 are 0; a missing line "
                                                     "moves the values after it up by one slot"]), err[-2000:])
            status, _, notices, err = run_exe(["w.txt"], b"1\r\n", folder)
            self.assertEqual((status, notices), (0, ["w.txt"]), err[-2000:])
            self.assertEqual(snapshot(folder), {"w.txt": text, "w.tx": image([0, 1]) * 2, "c.txt": listing(VALUES),
                                                "c.tx": image(VALUES)})
            # A target that already held something is said to, in the last notice too.
            status, _, notices, err = run_exe(["new-console", "1", EXE, "w.txt"], b"", folder, program=HELPER)
            self.assertEqual(status, 0, err[-2000:])
            self.assertTrue(notices[-1].startswith("w.tx: table appended; it now holds 3 tables, and programs read "
                                                   "the first\n\nw.tx: written, with 2 warnings"), notices)

    # (what, files before, arguments, exit status, a fragment of stderr, files after): the command-line mode
    # where Windows names and files work otherwise than POSIX ones.
    WINDOWS_ROWS = [
        ("-o NUL is the device", {"t.tx": image(VALUES)}, ["-2", "-o", "NUL", "t.tx"], 0, "",
         {"t.tx": image(VALUES)}),
        ("a device name as input", {}, ["-2", "aux.tx"], 1, "aux.tx: cannot be read: is a name Windows keeps", {}),
        ("a device name with an extension, any case", {}, ["-1", "Com1.txt"], 1,
         "Com1.txt: cannot be read: is a name Windows keeps", {}),
        ("a trailing space in a folder counts", {"data /d.tx": image(VALUES), "data/d.tx": image([1])},
         ["-2", "data \\d.tx"], 0, "", {"data /d.tx": image(VALUES), "data/d.tx": image([1]),
                                          "data /d.txt": listing(VALUES)}),
        ("a trailing dot does not", {"e.tx": image(VALUES)}, ["-2", "e.tx."], 0, "",
         {"e.tx": image(VALUES), "e.txt": listing(VALUES)}),
        ("nor in telling a table by its name", {"e.tx": image(VALUES)}, ["-v", "e.tx. "], 0, "",
         {"e.tx": image(VALUES), "e.txt": listing(VALUES)}),
        ("a stream part", {"t.tx": image(VALUES)}, ["-2", "-o", "t.txt:s", "t.tx"], 1,
         "t.txt:s: cannot be written: names an alternate data stream", {"t.tx": image(VALUES)}),
        ("wildcards, which match files only", {"a.tx": image(VALUES), "b.tx": image([1]), "f.tx/x": b""},
         ["-2", "*.tx"], 0, "",
         {"a.tx": image(VALUES), "b.tx": image([1]), "f.tx/x": b"", "a.txt": listing(VALUES), "b.txt": listing([1])}),
        ("a pattern that matches nothing", {"a.tx": image(VALUES)}, ["-2", "a.tx", "z*.tx"], 1,
         "z*.tx: cannot be read: no file matches it",
         {"a.tx": image(VALUES), "a.txt": listing(VALUES)}),
        ("the rules on FILEs judge what a pattern matches: a chart of 13",
         {f"f{i:02}.tx": image(VALUES) for i in range(13)}, ["--plot", "-o", "m.svg", "f*.tx"], 2,
         "one chart holds 12 files at the most", {f"f{i:02}.tx": image(VALUES) for i in range(13)}),
        ("-o and a pattern that matches two", {"a.tx": image(VALUES), "b.tx": image([1])},
         ["-2", "-o", "o.txt", "*.tx"], 2, "-o names the output of a single FILE",
         {"a.tx": image(VALUES), "b.tx": image([1])}),
        ("--diff and a pattern that matches its two", {"a.tx": image(VALUES), "b.tx": image([1])},
         ["--diff", "*.tx"], 1, "", {"a.tx": image(VALUES), "b.tx": image([1])}),
        ("/? is --help", {}, ["/?"], 0, "", {}),
        ("a folder as input", {"f.tx/x": b""}, ["-2", "f.tx"], 1, "f.tx: cannot be read: is a folder",
         {"f.tx/x": b""}),
    ]

    def test_windows_names_and_files(self):
        for what, before, args, status, said, after in self.WINDOWS_ROWS:
            with self.subTest(what), tempfile.TemporaryDirectory() as folder:
                populate(folder, before)
                got_status, out, _, err = run_exe(args, b"", folder)
                self.assertEqual(got_status, status, err[-2000:])
                self.assertIn(said, err)
                self.assertEqual(snapshot(folder), after)
                if args == ["/?"]:
                    self.assertTrue(out.startswith(b"usage: txconv"), out)

    def test_read_only_and_hidden_targets_under_force(self):
        with tempfile.TemporaryDirectory() as folder:
            populate(folder, {"r.tx": image(VALUES), "r.txt": b"old", "h.tx": image(VALUES), "h.txt": b"old",
                              "n.tx": image(VALUES)})
            wine(["cmd", "/c", "attrib +r r.txt & attrib +h h.txt"], cwd=folder,
                           env=SESSION["env"], capture_output=True, timeout=60)
            status, _, _, err = run_exe(["-2f", "r.tx"], b"", folder)
            self.assertEqual(status, 1, err[-2000:])
            self.assertIn("r.txt: cannot be written: is read-only", err)
            status, _, _, err = run_exe(["-2f", "h.tx", "n.tx"], b"", folder)
            self.assertEqual(status, 0, err[-2000:])
            attributes = wine(["cmd", "/c", "attrib h.txt & attrib n.txt"], cwd=folder, env=SESSION["env"],
                                        capture_output=True, text=True, timeout=60).stdout.splitlines()
            self.assertRegex(attributes[0], r"\bH\b", "a hidden target stays hidden")
            self.assertNotRegex(attributes[1], r"\bH\b", "a new file comes out of hiding")
            self.assertEqual(snapshot(folder)["r.txt"], b"old")
            self.assertEqual(snapshot(folder)["h.txt"], listing(VALUES))

    def test_a_program_that_keeps_the_target_to_itself_is_waited_for(self):
        # Sharing nothing, or sharing it but locked: either way an append
        # waits; and --force waits for a program that does not share deletion.
        for how, args, after in (("hold-alone", ["--append"], b"old" + image(VALUES)),
                                 ("hold-locked", ["--append"], b"old" + image(VALUES)),
                                 ("hold", ["--force"], image(VALUES))):
            with self.subTest(how), tempfile.TemporaryDirectory() as folder:
                populate(folder, {"h.txt": listing(VALUES), "h.tx": b"old"})
                holder = subprocess.Popen(["wine", HELPER, how, "h.tx", "3"], cwd=folder, env=SESSION["env"],
                                          stdout=subprocess.PIPE)
                try:
                    self.assertEqual(holder.stdout.readline(), b"holding\n")
                    status, _, _, err = run_exe([*args, "-1", "h.txt"], b"", folder)
                finally:
                    holder.wait()
                self.assertEqual(status, 0, err[-2000:])
                self.assertIn("h.tx: waiting for another program to release it", err)
                self.assertEqual(snapshot(folder), {"h.txt": listing(VALUES), "h.tx": after})

    def test_a_file_made_while_the_run_waits_is_added_to_not_replaced(self):
        # n.tx is free when the run looks at it and writes it under a hidden
        # name, and made by somebody else while the run waits for h.tx before
        # naming it: the new file gets no name over theirs.
        with tempfile.TemporaryDirectory() as folder:
            populate(folder, {"h.txt": listing(VALUES), "h.tx": b"old", "n.txt": listing(VALUES)})
            holder = subprocess.Popen(["wine", HELPER, "hold-alone", "h.tx", "4"], cwd=folder, env=SESSION["env"],
                                      stdout=subprocess.PIPE)
            try:
                self.assertEqual(holder.stdout.readline(), b"holding\n")
                run = subprocess.Popen(["wine", EXE, "--append", "-1", "n.txt", "h.txt"], cwd=folder,
                                       env=SESSION["env"], stderr=subprocess.PIPE)
                err = b""
                for line in iter(run.stderr.readline, b""):
                    err += line
                    if b"waiting for another program" in line:
                        break
                populate(folder, {"n.tx": b"SOMEONE ELSES WORK"})
                err += run.communicate(timeout=120)[1]
            finally:
                holder.wait()
            self.assertEqual(run.returncode, 0, err[-2000:])
            self.assertEqual(snapshot(folder), {"h.txt": listing(VALUES), "h.tx": b"old" + image(VALUES),
                                                "n.txt": listing(VALUES),
                                                "n.tx": b"SOMEONE ELSES WORK" + image(VALUES)})

    def test_a_drive_relative_path_uses_that_drive_s_folder(self):
        # cd /d C:\work, then to another drive: C:d.tx is C:\work\d.tx.
        work = os.path.join(SESSION["prefix"], "drive_c", "work")
        os.makedirs(work, exist_ok=True)
        populate(work, {"d.tx": image(VALUES)})
        try:
            with tempfile.TemporaryDirectory() as folder:
                line = f"cd /d C:\\work & cd /d Z:{folder.replace('/', chr(92))} & {EXE.replace('/', chr(92))} -2 C:d.tx"
                proc = wine(["cmd", "/c", line], cwd=folder, env=SESSION["env"],
                                      capture_output=True, timeout=120)
                self.assertEqual(proc.returncode, 0, proc.stderr[-2000:])
                self.assertEqual(snapshot(folder), {})
            self.assertEqual(snapshot(work), {"d.tx": image(VALUES), "d.txt": listing(VALUES)})
        finally:
            shutil.rmtree(work, ignore_errors=True)

    # (what, the folder before, cmd's line, exit status, said, the folder after)
    REDIRECTED = [
        ("a table from standard input, read from its start", {"w.tx": image(VALUES)}, "-2 -o w.txt - < w.tx", 0, "",
         {"w.tx": image(VALUES), "w.txt": listing(VALUES)}),
        ("a filter, listing to table", {"l.txt": listing(VALUES)}, "-1 < l.txt > l.tx", 0, "",
         {"l.txt": listing(VALUES), "l.tx": image(VALUES)}),
        ("standard output appends to the input", {"u.tx": image(VALUES)}, "-2 -o - u.tx >> u.tx", 1,
         "standard output: output would overwrite the input", {"u.tx": image(VALUES)}),
        ("standard input is the output", {"v.txt": listing(VALUES)}, "-1 --append -o v.txt - < v.txt", 1,
         "v.txt: output would overwrite the input", {"v.txt": listing(VALUES)}),
        # Only a console is a terminal: NUL, a character device, is none.
        ("a table to NUL", {"c.txt": listing(VALUES)}, "-1 - < c.txt > NUL", 0, "", {"c.txt": listing(VALUES)}),
        ("a table from NUL", {}, "-2 < NUL", 1, "standard input: holds 0 bytes", {}),
    ]

    def test_standard_streams_as_cmd_redirects_them(self):
        for what, before, line, status, said, after in self.REDIRECTED:
            with self.subTest(what), tempfile.TemporaryDirectory() as folder:
                populate(folder, before)
                proc = wine(["cmd", "/c", EXE.replace("/", "\\") + " " + line], cwd=folder, env=SESSION["env"],
                            capture_output=True, timeout=120)
                self.assertEqual(proc.returncode, status, proc.stderr[-2000:])
                self.assertIn(said, proc.stderr.decode())
                self.assertEqual(snapshot(folder), after)

    def test_a_killed_run_leaves_no_temporary(self):
        # a.txt is written under a hidden, marked name while b.txt, held by
        # another program, is waited for; the run is then killed outright.
        with tempfile.TemporaryDirectory() as folder:
            populate(folder, {"a.tx": image(VALUES), "b.tx": image(VALUES), "b.txt": b"old"})
            holder = subprocess.Popen(["wine", HELPER, "hold-alone", "b.txt", "20"], cwd=folder, env=SESSION["env"],
                                      stdout=subprocess.PIPE)
            try:
                self.assertEqual(holder.stdout.readline(), b"holding\n")
                run = subprocess.Popen(["wine", EXE, "-2", "--append", "a.tx", "b.tx"], cwd=folder,
                                       env=SESSION["env"], stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
                while b"waiting for another program" not in run.stderr.readline():
                    pass
                self.assertTrue(any(name.startswith(".txconv-") for name in os.listdir(folder)))
                wine(["taskkill", "/f", "/im", "txconv.exe"], env=SESSION["env"],
                               capture_output=True, timeout=60)
                run.wait(timeout=60)
                run.stderr.close()
            finally:
                holder.kill()
                holder.wait()
            deadline = time.monotonic() + 10
            while any(name.startswith(".txconv-") for name in os.listdir(folder)) and time.monotonic() < deadline:
                time.sleep(0.2)
            self.assertEqual(snapshot(folder), {"a.tx": image(VALUES), "b.tx": image(VALUES), "b.txt": b"old"})

    def test_yes_replaces_only_the_file_it_was_asked_about(self):
        # While "ramp.txt already exists. Replace it?" is open, somebody else's
        # file takes the name; Yes must not replace it.
        theirs = b"SOMEONE ELSES WORK\n"
        for what, swap, status, after in (("swapped", True, 1, theirs), ("left alone", False, 0, listing(VALUES))):
            with self.subTest(what), tempfile.TemporaryDirectory() as folder:
                populate(folder, {"ramp.tx": image(VALUES), "ramp.txt": b"OLD\n"})

                def swap_first(box, _):
                    if swap and box == 0:
                        os.unlink(os.path.join(folder, "ramp.txt"))
                        populate(folder, {"ramp.txt": theirs})

                got, _, notices, err = run_exe(["-2", "--", "ramp.tx"], b"", folder, program=WINDOWED, keys=("y",),
                                               on_box=swap_first)
                self.assertEqual(got, status, err[-2000:])
                self.assertEqual(snapshot(folder), {"ramp.tx": image(VALUES), "ramp.txt": after})
                if swap:
                    self.assertIn("another file took its name", notices[-1])

    # (what, the program run (None: txconv.exe), arguments, answer, files before, each notice's caption, style
    # and text)
    ICONS = [
        ("a failure of the windowed twin", WINDOWED, ["-2", "gone.tx"], b"", {},
         [("txconv", MB_ICONERROR, "txconv: gone.tx: cannot be read: File not found")]),
        ("a warning of the windowed twin", WINDOWED, ["-1", "s.txt"], b"", {"s.txt": b"uv=00000001\r\n"},
         [("txconv", MB_ICONWARNING, "txconv: s.txt: holds 1 value; slots 1 to 94 are 0; a missing line moves the "
                                     "values after it up by one slot")]),
        ("the paths, then a file that cannot be opened", None, ["gone.tx"], b"2\r\n", {},
         [("", 0, "gone.tx"), ("", 0, OPEN_FAILED + "\ngone.tx\nFile not found")]),
        ("the paths, then a file that cannot be written", None, ["x.tx"], b"1\r\n", {"x.tx": image(VALUES)},
         [("", 0, "x.tx"),
          ("txconv", MB_ICONERROR, SAME_FILE + "\nx.tx\noutput would overwrite the input it is made from")]),
        # Started by a drop, its console closes with it: the warnings stay in a last notice.
        ("the last notice of a menu run that warned", HELPER, ["new-console", "1", EXE, "s.txt"], b"",
         {"s.txt": b"uv=00000001\r\n"},
         [("", 0, "s.txt"), ("txconv", MB_ICONWARNING, "s.tx: written, with 1 warning\n\ns.txt: holds 1 value; slots 1 "
                                                       "to 94 are 0; a missing line moves the values after it up by one "
                                                       "slot")]),
    ]

    def test_each_notice_has_the_icon_of_what_it_says(self):
        # Wine's relay trace of MessageBoxW alone gives its caption and style.
        wine(["reg", "add", r"HKCU\Software\Wine\Debug", "/v", "RelayInclude", "/d", "user32.MessageBoxW", "/f"],
             env=SESSION["env"], capture_output=True, timeout=60)
        try:
            for what, program, args, answer, before, expected in self.ICONS:
                with self.subTest(what), tempfile.TemporaryDirectory() as folder:
                    populate(folder, before)
                    _, _, notices, err = run_exe(args, answer, folder, program=program,
                                                 env={"WINEDEBUG": "trace+msgbox,+relay"})
                    shown = re.findall(r'Call user32\.MessageBoxW\(.*,[0-9a-f]+ L"(.*?)",([0-9a-f]{8})\) ret=', err)
                    self.assertEqual([(caption, int(style, 16) & 0xF0, text)
                                      for (caption, style), text in zip(shown, notices)], expected, err[-2000:])
        finally:
            wine(["reg", "delete", r"HKCU\Software\Wine\Debug", "/v", "RelayInclude", "/f"], env=SESSION["env"],
                 capture_output=True, timeout=60)

    def test_a_notice_of_many_failures_fits_the_screen(self):
        # 120 files that are not there: the first lines are quoted, the rest
        # counted, so the box and its OK button stay on a 768-pixel screen.
        heights = []

        def measure(_, box):
            geometry = subprocess.run(["xwininfo", "-id", box], env=SESSION["env"], capture_output=True,
                                      text=True).stdout
            heights.append(int(re.search(r"Height: (\d+)", geometry).group(1)))

        with tempfile.TemporaryDirectory() as folder:
            names = [f"missing{i:03}.tx" for i in range(120)]
            status, _, notices, err = run_exe(["-2", "--", *names], b"", folder, program=WINDOWED, on_box=measure)
            self.assertEqual(status, 1, err[-2000:])
            self.assertEqual(len(heights), 1, notices)
            self.assertLess(heights[0], 700)

    def test_a_name_that_cannot_be_made_durable_is_taken_back(self):
        # The second flush of a new output is the one after its rename.
        program = os.path.join(BUILD, "tests", "wine", "txconv_flush_fault.exe")
        for what, args, before in (("a new output", ["-2", "t.tx"], {}),
                                   ("a replacement", ["-2", "-f", "t.tx"], {"t.txt": b"old"})):
            with self.subTest(what), tempfile.TemporaryDirectory() as folder:
                populate(folder, {"t.tx": image(VALUES), **before})
                proc = wine([program, *args], cwd=folder, env=dict(SESSION["env"], TXCONV_FAIL_FLUSH="2"),
                            capture_output=True, timeout=120)
                self.assertEqual(proc.returncode, 1, proc.stderr[-2000:])
                self.assertIn(b"txconv: t.txt: cannot be written: ", proc.stderr)
                self.assertEqual(snapshot(folder), {"t.tx": image(VALUES), **before})

    def test_show_and_diff_on_the_console(self):
        # Read back from the console's screen, as a user sees them.
        changed = list(VALUES)
        changed[7] ^= 1
        with tempfile.TemporaryDirectory() as folder:
            populate(folder, {"t.tx": image(VALUES), "t.txt": listing(VALUES), "u.tx": image(changed)})
            status, screen, _, err = run_exe(["console", "437", "", EXE, "--show", "t.tx"], b"", folder, program=HELPER)
            self.assertEqual(status, 0, err[-2000:])
            self.assertIn(f" 7  {VALUES[7]:08X}  {VALUES[7]:10d}", screen.decode())
            for args, expected_status, line in ((["--diff", "t.txt", "t.tx"], 0, ""),
                                                (["--diff", "t.tx", "u.tx"], 1, f" 7  {VALUES[7]:08X}  {changed[7]:08X}")):
                status, screen, _, err = run_exe(["console", "437", "", EXE, *args], b"", folder, program=HELPER)
                self.assertEqual(status, expected_status, err[-2000:])
                self.assertIn(line, screen.decode())


def main():
    missing = [tool for tool in TOOLS if not shutil.which(tool)]
    for built in (EXE, HELPER):
        if not os.path.isfile(built):
            missing.insert(0, f"{built} (cmake --preset windows && cmake --build --preset windows)")
    return run_suite("the Windows tests", missing)


if __name__ == "__main__":
    sys.exit(main())
