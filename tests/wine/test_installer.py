"""The Windows installer under Wine, each case in a prefix of its own: what
it adds, Explorer's verbs as they are registered, the question before a
file is replaced, an upgrade, and a removal that leaves nothing behind.

usage: test_installer.py WINDOWS_BUILD_DIR [TEST...]

Exits 77 (skipped) when the installer or one of the tools is missing.
"""

import glob
import os
import re
import shlex
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from harness import image, listing, populate, snapshot  # noqa: E402
from wine_session import BUILD, SESSION, fresh_prefix, run_exe, run_suite, wine  # noqa: E402

SOURCE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
TOOLS = ["wine", "wineboot", "wineserver", "Xvfb", "xdotool", "xwininfo", "msiinfo", "wixl", "msibuild", "faketime",
         "wrestool"]
VALUES = [(0x2545F491 * (i + 3)) & 0xFFFFFFFF for i in range(95)]
CLASSES = r"HKCU\Software\Classes"
TO_LISTING = CLASSES + r"\txconv.table\shell\txconv.tolisting\command"
TO_TABLE = CLASSES + r"\SystemFileAssociations\.txt\shell\txconv.totable\command"
OPEN = CLASSES + r"\txconv.table\shell\open\command"
UNINSTALL = r"Software\Microsoft\Windows\CurrentVersion\Uninstall"


def project_version():
    with open(os.path.join(SOURCE, "CMakeLists.txt")) as f:
        return re.search(r"project\(txconv VERSION ([0-9.]+)", f.read()).group(1)


MSI = os.path.join(BUILD, f"txconv-{project_version()}-x64.msi")


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


def reg(*args):
    return wine(["reg", *args], env=SESSION["env"], capture_output=True, text=True, timeout=60)


def value(key, name=None):
    """A registry value, or None where reg says there is none. reg is Wine's,
    not ours: where it gives neither the value nor a word that there is none
    (seen once on a loaded machine), it is asked again, and at last what it
    printed is said."""
    for _ in range(3):
        proc = reg("query", key, *(["/v", name] if name else ["/ve"]))
        if "Unable to find the specified registry" in proc.stdout:
            return None
        match = re.search(r"\s(?:\(Default\)|" + re.escape(name or "") + r")\s+REG_\w+\s+(.*)", proc.stdout)
        if proc.returncode == 0 and match:
            return match.group(1).rstrip("\r")
    raise AssertionError(f"reg query {key} {name or '/ve'}: exit {proc.returncode}, {proc.stdout!r}, {proc.stderr!r}")


def verb_name(program, number, language):
    """String number of the program's string table in a language, as
    Explorer loads it for a verb's MUIVerb: 16 strings to a block, each its
    length and its UTF-16 code units."""
    raw = subprocess.run(["wrestool", "-x", "--raw", "--type=6", f"--name={number // 16 + 1}",
                          f"--language={language}", program], capture_output=True, check=True).stdout
    at = 0
    for _ in range(number % 16):
        at += 2 + 2 * struct.unpack_from("<H", raw, at)[0]
    length = struct.unpack_from("<H", raw, at)[0]
    return raw[at + 2:at + 2 + 2 * length].decode("utf-16-le")


def msiexec(*args, succeeds=True):
    """Runs msiexec quietly; where it did not do as expected, says what it,
    Wine and the installer's log said, since its status alone tells little."""
    with tempfile.TemporaryDirectory() as logs:
        log = os.path.join(logs, "msiexec.log")
        # Status 1 is no result of Windows Installer's (those are 0 and from
        # 1601 on): where no log was begun either, Wine failed before the
        # installer ran, and it is launched again, as any such launch is.
        proc = wine(["msiexec", *args, "/qn", "/l*v", windows_path(log)],
                    not_started=lambda proc: proc.returncode == 1 and not os.path.exists(log), env=SESSION["env"],
                    capture_output=True, timeout=300)
        if (proc.returncode == 0) != succeeds:
            said = open(log, "rb").read()[-3000:] if os.path.exists(log) else b"(no log)"
            raise AssertionError(f"msiexec {' '.join(args)}: exit {proc.returncode}, {proc.stdout[-2000:]!r}, "
                                 f"{proc.stderr[-2000:]!r}, log: {said.decode('utf-8', 'replace')}")


def home(prefix):
    return next(path for path in glob.glob(os.path.join(prefix, "drive_c", "users", "*"))
                if os.path.basename(path) != "Public")


def traces(prefix, folder):
    """What the user has that an install could touch: the exported keys and
    every name under the profile but its temporary files."""
    exported = {}
    for key in (CLASSES, r"HKCU\Environment", r"HKCU\Software\txconv"):
        target = os.path.join(folder, "export.reg")
        if reg("export", key, windows_path(target), "/y").returncode != 0:
            exported[key] = None
            continue
        with open(target, "rb") as f:
            exported[key] = f.read().decode("utf-16")
        os.remove(target)
    # Windows Installer takes the separator out with the folder it added to
    # PATH; Wine's leaves it behind, and an empty entry means nothing.
    exported[r"HKCU\Environment"] = re.sub(r';"\r\n', '"\r\n', exported[r"HKCU\Environment"] or "")
    profile = home(prefix)
    names = {os.path.relpath(os.path.join(root, name), profile)
             for root, folders, files in os.walk(profile) for name in folders + files}
    # Windows Installer keeps a folder of its own, made on first use; what it
    # holds for txconv (the icon) must go.
    names.discard("AppData/Roaming/Microsoft/Installer")
    return exported, sorted(name for name in names if not name.startswith("AppData/Local/Temp"))


def run_verb(key, path, answer=b"", keys=()):
    """Runs a verb's command as registered, with %1 the file's Windows path."""
    command = value(key).replace("%1", windows_path(path))
    program, *args = shlex.split(command.replace("\\", "\\\\"))
    return run_exe(args, answer, os.path.dirname(path), program=program, keys=keys)


def installed_products():
    """The programs and versions that Apps & features lists as txconv."""
    found = []
    for root in ("HKCU", "HKLM"):
        text = reg("query", root + "\\" + UNINSTALL, "/s").stdout
        for block in re.split(r"\r?\n(?=HKEY_)", text):
            if re.search(r"DisplayName\s+REG_SZ\s+txconv\s*$", block, re.M):
                found.append(re.search(r"DisplayVersion\s+REG_SZ\s+(\S+)", block).group(1))
    return found


class Package(unittest.TestCase):
    def test_no_administrator_is_needed(self):
        # Wine makes every user an administrator, so the package itself is
        # read: no ALLUSERS, and the summary's "no elevation" bit.
        properties = subprocess.run(["msiinfo", "export", MSI, "Property"], capture_output=True, text=True,
                                    check=True).stdout
        self.assertNotRegex(properties, r"(?m)^ALLUSERS\t")
        summary = subprocess.run(["msiinfo", "suminfo", MSI], capture_output=True, text=True, check=True).stdout
        self.assertTrue(int(re.search(r"Source: (\d+)", summary).group(1)) & 8, summary)


class Installer(unittest.TestCase):
    maxDiff = None
    # (what, verb, file, its bytes, the target before, answer, keys, exit status, notices, the target after)
    VERBS = [
        ("Convert to listing", TO_LISTING, "t.tx", image(VALUES), None, b"", (), 0, [], listing(VALUES)),
        ("Convert to table", TO_TABLE, "l.txt", listing(VALUES), None, b"", (), 0, [], image(VALUES)),
        ("Open is the menu, and appends", OPEN, "o.tx", image(VALUES), b"old", b"2\r\n", (), 0, ["o.tx"],
         b"old" + listing(VALUES)),
        ("a clash answered No", TO_LISTING, "n.tx", image(VALUES), b"old", b"", ("Return",), 1,
         ["n.txt already exists.\n\nReplace it?"], b"old"),
        ("a clash answered Yes", TO_LISTING, "y.tx", image(VALUES), b"old", b"", ("y",), 0,
         ["y.txt already exists.\n\nReplace it?"], listing(VALUES)),
        ("a failure is shown", TO_LISTING, "s.tx", image(VALUES)[:100], None, b"", (), 1,
         ["txconv: s.tx: holds 100 bytes"], None),
    ]

    def test_install_verbs_and_removal(self):
        with fresh_prefix() as prefix, tempfile.TemporaryDirectory() as folder:
            # What a user's profile holds on Windows: a PATH of their own, a
            # program for .txt and something in Send To. The install adds to
            # each and must give each back as it was.
            reg("add", r"HKCU\Environment", "/v", "PATH", "/t", "REG_SZ", "/d", r"C:\mine", "/f")
            reg("add", CLASSES + r"\.txt", "/ve", "/d", "txtfile", "/f")
            send_to = os.path.join(home(prefix), "AppData", "Roaming", "Microsoft", "Windows", "SendTo")
            populate(send_to, {"Desktop (create shortcut).DeskLink": b""})
            before = traces(prefix, folder)
            msiexec("/i", MSI)
            installed = os.path.join(home(prefix), "AppData", "Local", "Programs", "txconv")
            self.assertEqual(sorted(os.listdir(installed)), ["LICENSE", "README.md", "txconv.exe", "txconvw.exe"])
            self.assertTrue(os.path.isfile(os.path.join(send_to, "txconv.lnk")))
            self.assertEqual(value(r"HKCU\Environment", "PATH"),
                             r"C:\mine;" + value(r"HKCU\Software\txconv", "InstallDir"))
            self.assertEqual(value(CLASSES + r"\.tx"), "txconv.table")
            self.assertEqual(value(CLASSES + r"\.txt"), "txtfile")
            # Each verb's name in the user's language: MUIVerb points at the
            # windowed program's string, whose English is the default name.
            for key, english, chinese in ((r"\txconv.table\shell\txconv.tolisting", "Convert to listing", "转换为清单"),
                                          (r"\SystemFileAssociations\.txt\shell\txconv.totable", "Convert to table",
                                           "转换为表")):
                path, number = re.fullmatch(r"@(.*),-(\d+)", value(CLASSES + key, "MUIVerb")).groups()
                self.assertEqual(path, value(r"HKCU\Software\txconv", "InstallDir") + "txconvw.exe")
                self.assertEqual((value(CLASSES + key), verb_name(os.path.join(installed, "txconvw.exe"), int(number), 1033)),
                                 (english, english))
                self.assertEqual(verb_name(os.path.join(installed, "txconvw.exe"), int(number), 2052), chinese)

            for what, verb, name, data, old, answer, keys, status, notices, after in self.VERBS:
                with self.subTest(what):
                    target = os.path.join(folder, os.path.splitext(name)[0] + (".txt" if ".tx" == name[-3:] else
                                                                                ".tx"))
                    populate(folder, {name: data, **({os.path.basename(target): old} if old else {})})
                    got_status, _, got_notices, err = run_verb(verb, os.path.join(folder, name), answer, keys)
                    self.assertEqual(got_status, status, err[-2000:])
                    shown = [re.sub(r"Z:\\\S*\\", "", notice) for notice in got_notices]
                    self.assertEqual([n[:len(want)] for n, want in zip(shown, notices)], notices)
                    self.assertEqual(len(shown), len(notices), shown)
                    self.assertEqual(snapshot(folder).get(os.path.basename(target)), after)
            made = snapshot(folder)

            msiexec("/x", MSI)
            self.assertEqual(traces(prefix, folder), before)
            self.assertEqual(installed_products(), [])
            self.assertEqual(snapshot(folder), made, "the user's files are the user's")

    def test_a_newer_version_replaces_an_older_one_in_place(self):
        with fresh_prefix() as prefix, tempfile.TemporaryDirectory() as folder:
            # The older package, of stand-in files that tell themselves apart.
            files = os.path.join(folder, "files")
            shutil.copytree(os.path.join(BUILD, "msi-files"), files)
            with open(os.path.join(files, "txconv.exe"), "wb") as f:
                f.write(b"MZ the older txconv")
            older = os.path.join(folder, "txconv-1.0.0-x64.msi")
            subprocess.run(["sh", os.path.join(SOURCE, "packaging", "windows", "make-msi.sh"), "1.0.0", files,
                            older, "1767225600"], check=True, capture_output=True)
            program = os.path.join(home(prefix), "AppData", "Local", "Programs", "txconv", "txconv.exe")
            msiexec("/i", older)
            self.assertEqual(installed_products(), ["1.0.0"])
            msiexec("/i", MSI)
            self.assertEqual(installed_products(), [project_version()])
            with open(program, "rb") as got, open(os.path.join(BUILD, "txconv.exe"), "rb") as built:
                self.assertEqual(got.read(), built.read())
            # Going back is refused, and changes nothing.
            msiexec("/i", older, succeeds=False)
            self.assertEqual(installed_products(), [project_version()])


def main():
    missing = [tool for tool in TOOLS if not shutil.which(tool)]
    if not os.path.isfile(MSI):
        missing.insert(0, f"{MSI} (cmake --build --preset windows --target msi)")
    return run_suite("the installer's tests", missing, with_prefix=False)


if __name__ == "__main__":
    sys.exit(main())
