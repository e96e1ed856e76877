"""The Chinese catalog: every message translated, none fuzzy, the formats
right, and po/txconv.pot made from the sources as they are now; and the
build's step that puts the compiled catalog into the program takes it only
where the program can read it as it is.

usage: catalog_test.py BUILD_DIR   (the build holds the sources' own txconv.pot)
"""

import os
import re
import struct
import subprocess
import sys
import tempfile

SOURCE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")


def main():
    built = os.path.join(sys.argv[1], "txconv.pot")
    failed = []
    stats = subprocess.run(["msgfmt", "-c", "--statistics", "-o", os.devnull, "po/zh_CN.po"], cwd=SOURCE,
                           capture_output=True, text=True)
    print(stats.stderr.strip())
    if stats.returncode != 0 or re.search(r"fuzzy|untranslated", stats.stderr):
        failed.append("po/zh_CN.po has mistakes, or messages untranslated or fuzzy")
    # Each way round: no message of the sources missing from po/txconv.pot,
    # and none there that the sources no longer have.
    for reference, definitions in ((built, "po/txconv.pot"), ("po/txconv.pot", built)):
        proc = subprocess.run(["msgcmp", "--use-untranslated", definitions, reference], cwd=SOURCE,
                              capture_output=True, text=True)
        if proc.returncode != 0:
            failed.append(f"po/txconv.pot is not the sources' (cmake --build --target update-po):\n{proc.stderr}")
    failed += refused_catalogs(os.path.join(sys.argv[1], "zh_CN.mo"))
    for message in failed:
        print("catalog: " + message)
    return 1 if failed else 0


def refused_catalogs(built):
    """What is wrong with how the embedding step judges the built catalog
    and broken copies of it: the first must pass, each copy must stop it."""
    with open(built, "rb") as f:
        good = f.read()
    count, originals, translations = struct.unpack_from("<III", good, 8)

    def patched(at, value):
        bad = bytearray(good)
        struct.pack_into("<I", bad, at, value)
        return bytes(bad)

    cases = [
        ("the built catalog", good, True),
        ("big-endian", good[:4][::-1] + good[4:], False),
        ("revision 1.0", patched(4, 0x10000), False),
        ("its header cut short", good[:12], False),
        ("its last text cut short", good[:-2], False),
        ("a table past its end", patched(8, 0x7FFFFFFF), False),
        ("a translation past its end", patched(translations + 8 * (count - 1) + 4, len(good)), False),
        ("an original past its end", patched(originals, len(good)), False),
    ]
    failed = []
    with tempfile.TemporaryDirectory() as scratch:
        for name, data, taken in cases:
            catalog = os.path.join(scratch, "zh_CN.mo")
            with open(catalog, "wb") as f:
                f.write(data)
            proc = subprocess.run(["cmake", f"-DINPUT={catalog}", f"-DOUTPUT={os.path.join(scratch, 'c.cpp')}",
                                   "-P", os.path.join(SOURCE, "cmake", "embed_catalog.cmake")],
                                  capture_output=True, text=True)
            if (proc.returncode == 0) != taken:
                failed.append(f"the embedding step {'refused' if taken else 'took'} {name}:\n{proc.stderr}")
    return failed


if __name__ == "__main__":
    sys.exit(main())
