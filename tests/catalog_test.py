"""The Chinese catalog: every message translated, none fuzzy, the formats
right, and po/txconv.pot made from the sources as they are now.

usage: catalog_test.py BUILD_DIR   (the build holds the sources' own txconv.pot)
"""

import os
import re
import subprocess
import sys

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
    for message in failed:
        print("catalog: " + message)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
