"""What `cmake --install` and `cpack` make of a build tree: the binary, a
man page that lints clean, and a Debian package that Debian's checker passes.

usage: install_test.py BUILD_DIR
"""

import gzip
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

BUILD = os.path.abspath(sys.argv[1]) if len(sys.argv) > 1 else ""
MAN_PAGE = os.path.join("share", "man", "man1", "txconv.1.gz")
# The Chinese translation of the same page.
MAN_PAGES = (MAN_PAGE, os.path.join("share", "man", "zh_CN", "man1", "txconv.1.gz"))


def build_type():
    with open(os.path.join(BUILD, "CMakeCache.txt")) as f:
        found = re.search(r"^CMAKE_BUILD_TYPE:\w+=(\w*)$", f.read(), re.M)
    return found.group(1) if found else ""


class Install(unittest.TestCase):
    def test_binary_and_man_page(self):
        with tempfile.TemporaryDirectory() as prefix:
            subprocess.run(["cmake", "--install", BUILD, "--prefix", prefix], check=True, capture_output=True)
            version = subprocess.run([os.path.join(prefix, "bin", "txconv"), "--version"], capture_output=True,
                                     check=True).stdout
            self.assertRegex(version, rb"^txconv \d+\.\d+\.\d+\n$")
            for packed_page in MAN_PAGES:
                with self.subTest(packed_page):
                    self.check_man_page(os.path.join(prefix, packed_page), version.split()[1].decode())

    def check_man_page(self, packed_page, version):
        with tempfile.TemporaryDirectory() as folder:
            page = os.path.join(folder, "txconv.1")
            with gzip.open(packed_page, "rb") as packed, open(page, "wb") as plain:
                plain.write(packed.read())
            with open(page, encoding="utf-8") as f:
                self.assertIn(f'"txconv {version}"', f.readline(), "the man page's version")
            if shutil.which("mandoc"):
                lint = subprocess.run(["mandoc", "-Tlint", "-Wwarning", page], capture_output=True, text=True)
            elif shutil.which("groff"):
                lint = subprocess.run(["groff", "-man", "-ww", "-z", page], capture_output=True, text=True)
            else:
                self.skipTest("needs mandoc or groff to lint the man page")
            self.assertEqual((lint.returncode, lint.stdout + lint.stderr), (0, ""))

    @unittest.skipUnless(shutil.which("dpkg-deb"), "needs dpkg-deb")
    def test_debian_package(self):
        with tempfile.TemporaryDirectory() as out:
            subprocess.run(["cpack", "-G", "DEB", "--config", os.path.join(BUILD, "CPackConfig.cmake"), "-B", out],
                           check=True, capture_output=True)
            packages = [name for name in os.listdir(out) if name.endswith(".deb")]
            self.assertEqual(len(packages), 1, os.listdir(out))
            self.assertRegex(packages[0], r"^txconv_\d+\.\d+\.\d+_amd64\.deb$")
            package = os.path.join(out, packages[0])
            listing = subprocess.run(["dpkg-deb", "-c", package], capture_output=True, text=True, check=True).stdout
            for path in ("bin/txconv", *MAN_PAGES, "share/doc/txconv/copyright", "share/doc/txconv/changelog.gz"):
                self.assertRegex(listing, rf" \./usr/{re.escape(path)}\n", path)
            # What ships is the release build: stripped, no sanitizers.
            if shutil.which("lintian") and build_type() == "Release":
                lint = subprocess.run(["lintian", package], capture_output=True, text=True)
                tags = [line for line in lint.stdout.splitlines() if re.match(r"[EW]: ", line)]
                self.assertEqual(tags, [], lint.stdout + lint.stderr)


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0], "-v"])
