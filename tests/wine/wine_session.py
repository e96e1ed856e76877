"""Xvfb, Wine prefixes and launches under Wine, with txconv's message boxes
answered the way a user would: focus the box, press a key."""

import contextlib
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

BUILD = os.path.abspath(sys.argv[1]) if len(sys.argv) > 1 else ""
EXE = os.path.join(BUILD, "txconv.exe")
SESSION = {}


def start_session(with_prefix=True):
    """Xvfb on a display it finds free itself, so that suites that start
    together never pick the same one, and, unless told otherwise, a fresh
    Wine prefix."""
    ready, told = os.pipe()
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(told), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, pass_fds=(told,))
    os.close(told)
    # Xvfb writes the display's number once it takes connections; nothing
    # where it could not start.
    with os.fdopen(ready) as numbers:
        display = numbers.readline().strip()
    SESSION.update(xvfb=xvfb)
    if not display:
        raise RuntimeError("Xvfb did not start")
    SESSION.update(display=f":{display}")
    if with_prefix:
        SESSION["prefix"], SESSION["env"] = make_prefix()


def make_prefix():
    """A new Wine prefix on the session's display, and the environment that uses it."""
    prefix = tempfile.mkdtemp(prefix="txconv-wine-")
    env = dict(os.environ, DISPLAY=SESSION["display"], WINEPREFIX=prefix, WINEDEBUG="-all",
               WINEDLLOVERRIDES="mscoree,mshtml=")
    subprocess.run(["wineboot", "-i"], env=env, check=True, capture_output=True, timeout=300)
    return prefix, env


def remove_prefix(prefix, env):
    """Ends everything that runs in the prefix, then removes it."""
    subprocess.run(["wineserver", "-k"], env=env, capture_output=True, timeout=60)
    for pid in processes_of_prefix(prefix):
        try:
            os.kill(pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
    shutil.rmtree(prefix, ignore_errors=True)


@contextlib.contextmanager
def fresh_prefix():
    """A new prefix that every launch uses until the block ends; yields its path."""
    saved = {key: SESSION[key] for key in ("prefix", "env") if key in SESSION}
    SESSION["prefix"], SESSION["env"] = make_prefix()
    try:
        yield SESSION["prefix"]
    finally:
        remove_prefix(SESSION["prefix"], SESSION["env"])
        SESSION.pop("prefix")
        SESSION.pop("env")
        SESSION.update(saved)


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
        remove_prefix(SESSION["prefix"], SESSION["env"])
    if "xvfb" in SESSION:
        SESSION["xvfb"].send_signal(signal.SIGTERM)
        SESSION["xvfb"].wait(timeout=30)


def visible_boxes():
    """The program's visible top-level windows, other than its input-method one."""
    tree = subprocess.run(["xwininfo", "-root", "-tree"], env=SESSION["env"], capture_output=True, text=True).stdout
    boxes = []
    for line in tree.splitlines():
        match = re.match(r'\s*(0x[0-9a-f]+) (.*?): \("txconvw?\.exe"', line)
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


# What Wine prints when it fails in its own start-up, on a loaded machine,
# before the program it was to start has run at all, or when the program
# loses its line to the Wine server; each ends the process with status 1.
WINE_START_FAILURES = ("failed to map the shared user data", "wine: failed to", "wine client error")
WINE_RETRIES = 2


def wine_start_failed(stderr):
    text = stderr.decode("utf-8", "replace") if isinstance(stderr, bytes) else stderr or ""
    return any(signature in text for signature in WINE_START_FAILURES)


def say_retry(args):
    print(f"wine: retrying {args[:3]}: Wine failed in its own start-up, before the program ran", file=sys.stderr)


def wine(args, not_started=lambda proc: False, **options):
    """subprocess.run of wine with args, launched again (twice at most) where
    Wine failed in its own start-up, or where not_started says that the
    program never ran; never where the program itself failed."""
    if "capture_output" not in options and "stderr" not in options:
        options["stderr"] = subprocess.PIPE
    for attempt in range(WINE_RETRIES + 1):
        proc = subprocess.run(["wine", *args], **options)
        if attempt == WINE_RETRIES or not (wine_start_failed(proc.stderr) or not_started(proc)):
            return proc
        say_retry(args)


def run_exe(args, answer, cwd, timeout=120, program=None, env=None, keys=(), on_box=None):
    """Runs txconv.exe (or program), pressing on each of txconv's message
    boxes in turn the next of keys, then Enter, after calling on_box (where
    given) with the box's number and window; returns the exit status, standard output
    and the texts of the notices in the order shown. A launch that failed in
    Wine's own start-up is tried again."""
    for attempt in range(WINE_RETRIES + 1):
        status, out, notices, err = run_exe_once(args, answer, cwd, timeout, program, env, keys, on_box)
        if attempt == WINE_RETRIES or out or notices or not wine_start_failed(err):
            return status, out, notices, err
        say_retry(args)


def run_exe_once(args, answer, cwd, timeout, program, env, keys, on_box=None):
    env = {**SESSION["env"], "WINEDEBUG": "trace+msgbox", **(env or {})}
    proc = subprocess.Popen(["wine", program or EXE, *args], cwd=cwd, env=env, stdin=subprocess.PIPE,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE)
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
                if on_box:
                    on_box(len(dismissed), box)
                pressed = keys[len(dismissed)] if len(dismissed) < len(keys) else "Return"
                subprocess.run(["xdotool", "key", pressed], env=env, capture_output=True, timeout=30)
                dismissed.add(box)
        time.sleep(0.2)
    for reader in readers:
        reader.join()
    err = output["err"].decode("utf-8", "replace")
    notices = [decode_trace(m) for m in re.findall(r'trace:msgbox:MSGBOX_OnInit L"((?:[^"\\]|\\.)*)"', err)]
    return proc.returncode, output["out"], notices, err


def run_suite(what, missing, with_prefix=True):
    """Runs the tests of the script that was started (those named after its
    build folder, or all) in a session of their own: 0 when they pass, 77
    (skipped) where something they need is missing."""
    if missing:
        print(f"SKIPPED: {what} need " + ", ".join(missing))
        return 77
    started = time.monotonic()
    try:
        start_session(with_prefix)
        print(f"Xvfb{' and a fresh Wine prefix' if with_prefix else ''} ready in "
              f"{time.monotonic() - started:.1f} s", flush=True)
        result = unittest.main(argv=[sys.argv[0], "-v", *sys.argv[2:]], exit=False).result
    finally:
        stop_session()
    print(f"{what[0].upper() + what[1:]} took {time.monotonic() - started:.1f} s")
    return 0 if result.wasSuccessful() else 1

