"""The Windows txconv.exe, end to end under Wine, with its message boxes
dismissed the way a user would: focus the box, press Enter.

usage: test_wine.py PATH/TO/txconv.exe

Exits 77 (skipped) when the .exe or one of the tools is missing.
"""

import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from harness import OPEN_FAILED, SAME_FILE, image, listing, populate, snapshot  # noqa: E402

EXE = os.path.abspath(sys.argv[1]) if len(sys.argv) > 1 else ""
TOOLS = ["wine", "wineboot", "wineserver", "Xvfb", "xdotool", "xwininfo", "x86_64-w64-mingw32-objdump"]
VALUES = [(0x6C078965 * (i + 7)) & 0xFFFFFFFF for i in range(95)]
MENU = b"1 TXT to TX;\r\n2 TX to TXT_"  # the C runtime writes text mode on Windows
SESSION = {}


def start_session():
    """Xvfb on a free display and a fresh Wine prefix."""
    display = next(n for n in range(90, 200)
                   if not os.path.exists(f"/tmp/.X{n}-lock") and not os.path.exists(f"/tmp/.X11-unix/X{n}"))
    xvfb = subprocess.Popen(["Xvfb", f":{display}", "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    SESSION["xvfb"] = xvfb
    deadline = time.monotonic() + 30
    while not os.path.exists(f"/tmp/.X11-unix/X{display}"):
        if xvfb.poll() is not None or time.monotonic() > deadline:
            raise RuntimeError(f"Xvfb did not start on :{display}")
        time.sleep(0.1)
    prefix = tempfile.mkdtemp(prefix="txconv-wine-")
    env = dict(os.environ, DISPLAY=f":{display}", WINEPREFIX=prefix, WINEDEBUG="-all",
               WINEDLLOVERRIDES="mscoree,mshtml=")
    SESSION.update(prefix=prefix, env=env)
    subprocess.run(["wineboot", "-i"], env=env, check=True, capture_output=True, timeout=300)


def processes_of_prefix(prefix):
    """Process ids of everything running in the Wine prefix, wineserver included."""
    pids = []
    for entry in os.listdir("/proc"):
        try:
            with open(f"/proc/{entry}/environ", "rb") as f:
                if f"WINEPREFIX={prefix}".encode() in f.read().split(b"\0"):
                    pids.append(int(entry))
        except (OSError, ValueError):
            continue
    return pids


def stop_session():
    if "env" in SESSION:
        subprocess.run(["wineserver", "-k"], env=SESSION["env"], capture_output=True, timeout=60)
        for pid in processes_of_prefix(SESSION["prefix"]):
            try:
                os.kill(pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
    if "xvfb" in SESSION:
        SESSION["xvfb"].send_signal(signal.SIGTERM)
        SESSION["xvfb"].wait(timeout=30)
    if "prefix" in SESSION:
        shutil.rmtree(SESSION["prefix"], ignore_errors=True)


def visible_boxes():
    """The program's visible top-level windows, other than its input-method one."""
    tree = subprocess.run(["xwininfo", "-root", "-tree"], env=SESSION["env"], capture_output=True, text=True).stdout
    boxes = []
    for line in tree.splitlines():
        match = re.match(r'\s*(0x[0-9a-f]+) (.*?): \("txconv\.exe"', line)
        if not match or "Default IME" in match.group(2):
            continue
        state = subprocess.run(["xwininfo", "-id", match.group(1)], env=SESSION["env"], capture_output=True,
                               text=True).stdout
        if "IsViewable" in state:
            boxes.append(match.group(1))
    return boxes


def decode_trace(text):
    """Undoes Wine's escaping of a traced wide string."""
    escapes = {"\\": "\\", '"': '"', "n": "\n", "r": "\r", "t": "\t"}
    return re.sub(r"\\([\\\"nrt]|[0-9a-fA-F]{4})",
                  lambda m: escapes.get(m.group(1)) or chr(int(m.group(1), 16)), text)


def run_exe(args, answer, cwd, timeout=120):
    """Runs txconv.exe, pressing Enter on each notice; returns the exit status,
    standard output and the texts of the notices in the order shown."""
    env = dict(SESSION["env"], WINEDEBUG="trace+msgbox")
    proc = subprocess.Popen(["wine", EXE, *args], cwd=cwd, env=env, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE)
    proc.stdin.write(answer)
    proc.stdin.close()
    output = {}
    def drain(key, stream):
        with stream:
            output[key] = stream.read()

    readers = [threading.Thread(target=drain, args=("out", proc.stdout)),
               threading.Thread(target=drain, args=("err", proc.stderr))]
    for reader in readers:
        reader.start()
    dismissed = set()
    deadline = time.monotonic() + timeout
    while proc.poll() is None:
        if time.monotonic() > deadline:
            proc.kill()
            raise AssertionError(f"txconv.exe {args} did not finish")
        for box in visible_boxes():
            if box not in dismissed:
                subprocess.run(["xdotool", "windowfocus", "--sync", box], env=env, capture_output=True, timeout=30)
                subprocess.run(["xdotool", "key", "Return"], env=env, capture_output=True, timeout=30)
                dismissed.add(box)
        time.sleep(0.2)
    for reader in readers:
        reader.join()
    err = output["err"].decode("utf-8", "replace")
    notices = [decode_trace(m) for m in re.findall(r'trace:msgbox:MSGBOX_OnInit L"((?:[^"\\]|\\.)*)"', err)]
    return proc.returncode, output["out"], notices, err


class StaticExe(unittest.TestCase):
    def test_imports_no_mingw_runtime(self):
        dump = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", EXE], capture_output=True, text=True,
                              check=True).stdout
        dlls = {name.lower() for name in re.findall(r"DLL Name: (\S+)", dump)}
        self.assertFalse(dlls & {"libstdc++-6.dll", "libgcc_s_seh-1.dll", "libwinpthread-1.dll"}, dlls)
        self.assertIn("user32.dll", dlls)


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
    ]

    def test_cases(self):
        for what, before, args, answer, status, notices, after in self.CASES:
            with self.subTest(what), tempfile.TemporaryDirectory() as folder:
                populate(folder, before)
                got_status, out, got_notices, err = run_exe(args, answer, folder)
                self.assertEqual(out, MENU)
                self.assertEqual(got_notices, notices, err[-2000:])
                self.assertEqual(got_status, status)
                self.assertEqual(snapshot(folder), after)


def main():
    missing = [tool for tool in TOOLS if not shutil.which(tool)]
    if not os.path.isfile(EXE):
        missing.insert(0, f"the Windows build ({EXE or 'no path given'}; cmake --build --preset windows)")
    if missing:
        print("SKIPPED: the Windows tests need " + ", ".join(missing))
        return 77
    started = time.monotonic()
    try:
        start_session()
        print(f"Xvfb and a fresh Wine prefix ready in {time.monotonic() - started:.1f} s", flush=True)
        result = unittest.main(argv=[sys.argv[0], "-v"], exit=False).result
    finally:
        stop_session()
    print(f"Windows tests took {time.monotonic() - started:.1f} s")
    return 0 if result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
