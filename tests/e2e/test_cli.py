"""End-to-end runs of txconv: answers in, exact files and exit status out."""

import json
import os
import pty
import re
import shutil
from xml.etree import ElementTree
import select
import subprocess
import tempfile
import time
import unittest

from harness import (BINARY, MENU, OPEN_FAILED, SAME_FILE, SHORT_TABLE, WRITE_FAILED, Case, CaseTest, Fifo, Link, image,
                     listing, populate, run, run_shell, snapshot)

THREE = b"uv=00000001\r\nuv=0000000a\r\nuv=FFFFFFFF\r\n"
VALUES = [(0x9E3779B9 * (i + 1)) & 0xFFFFFFFF for i in range(95)]
TABLE = image(VALUES)
LISTING = listing(VALUES)
LONG = "n" * 246  # with ".txt", 250 bytes: near the 255 a name may have
JUNK = LISTING[:13] + b"uv=96BF9C06 junk\r\n" + LISTING[13:26] + b"gain=00000001\r\n" + LISTING[26:39] + b"\r\n" + \
    LISTING[39:13 * 92]
FREE = LISTING.replace(b"\r\n", b"\n").lower().replace(b"uv=", b"uv=")[:-1]
ZEROS = b"0\n" * 10
TWO_BAD = LISTING[:39] + b"uv= 0000ABC\r\nuv=\r\n" + LISTING[65:]
CR_TABLE = image(VALUES[:11] + [0] + VALUES[12:])
# As Notepad saves a listing: "Unicode", "Unicode big endian", and UTF-16
# without the mark that tells it; and a listing whose fields end in NUL.
U16LE = b"\xff\xfe" + LISTING.decode().encode("utf-16-le")
U16BE = b"\xfe\xff" + LISTING.decode().encode("utf-16-be")
U16BARE = LISTING.decode().encode("utf-16-le")
NUL_ENDS = b"".join(b"uv=%X\0\0\0\0\0\0\0\r\n" % (v & 0xF) for v in VALUES)
CR_BAD = LISTING.replace(b"\r\n", b"\r")[:11 * 12] + b"uv=0000x000\r" + LISTING.replace(b"\r\n", b"\r")[12 * 12:]


class ListingToTable(CaseTest):
    def test_cases(self):
        LONG = LISTING[:65] + b"uv=0002875233\r\n" + LISTING[78:]
        LONG_TABLE = image(VALUES[:5] + [0x00028752] + VALUES[6:])
        FAR_TOO_LONG = LISTING[:65] + b"uv=" + b"1" * 40 + b"\r\n" + LISTING[78:]
        self.check_cases([
            Case("three lines", {"pts.txt": THREE}, ["pts.txt"], b"1\n",
                 {"pts.txt": THREE, "pts.tx": image([1, 10, 0xFFFFFFFF])},
                 stderr=["\npts.txt\n", "txconv: pts.txt: holds 3 values; slots 3 to 94 are 0; a missing line moves "
                                          "the values after it up by one slot\n"]),
            # The menu takes its answer and the notice's Enter, one line each,
            # and leaves what follows to the next reader of the stream.
            Case("what follows the answers", {"pts.txt": THREE}, [], b"1\n\nnext\n",
                 {"pts.txt": THREE, "pts.tx": image([1, 10, 0xFFFFFFFF]), "rest": b"next\n"},
                 stderr=["pts.txt: holds 3 values"], shell='{ "$T" pts.txt; cat > rest; }'),
            # Edited as people edit them: a note at the top, a value typed too long.
            Case("a note at the top", {"n.txt": b"# S/N=20240501\r\n" + LISTING}, ["-1", "n.txt"], b"",
                 {"n.txt": b"# S/N=20240501\r\n" + LISTING, "n.tx": image([0x20240501] + VALUES[:94])},
                 stderr=["txconv: n.txt: 1 value after the first 95 was ignored\n",
                         'txconv: n.txt:1: the key "# S/N" is not the "uv" of most lines; the values after it moved by '
                         'one slot\n']),
            # A key typed wrong in a listing of 95 values moved nothing, and
            # must not say it did.
            Case("a key typed wrong", {"k.txt": LISTING[:65] + b"UV=" + LISTING[68:]}, ["-1", "k.txt"], b"",
                 {"k.txt": LISTING[:65] + b"UV=" + LISTING[68:], "k.tx": TABLE},
                 stderr=['txconv: k.txt:6: the key "UV" is not the "uv" of most lines\n']),
            # Counted so far, and no further.
            Case("a value typed far too long", {"l.txt": FAR_TOO_LONG}, ["-1", "l.txt"], b"",
                 {"l.txt": FAR_TOO_LONG, "l.tx": image(VALUES[:5] + [0x11111111] + VALUES[6:])},
                 stderr=["txconv: l.txt:6: the value has at least 32 hex digits; the first 8 were taken\n"]),
            Case("a value typed too long", {"l.txt": LISTING[:65] + b"uv=0002875233\r\n" + LISTING[78:]},
                 ["-1", "l.txt"], b"", {"l.txt": LISTING[:65] + b"uv=0002875233\r\n" + LISTING[78:],
                                        "l.tx": image(VALUES[:5] + [0x00028752] + VALUES[6:])},
                 stderr=["txconv: l.txt:6: the value has 10 hex digits; the first 8 were taken\n"]),
            Case("line numbers start again in each listing", {"l.txt": LONG, "m.txt": LONG}, ["-1", "l.txt", "m.txt"],
                 b"", {"l.txt": LONG, "m.txt": LONG, "l.tx": LONG_TABLE, "m.tx": LONG_TABLE},
                 stderr=["txconv: l.txt:6: the value has 10", "txconv: m.txt:6: the value has 10"]),
            Case("a full listing", {"pts.txt": LISTING}, ["pts.txt"], b"01\n", {"pts.txt": LISTING, "pts.tx": TABLE}),
            Case("an empty listing", {"e.txt": b""}, ["e.txt"], b"1\n", {"e.txt": b"", "e.tx": image([])},
                 stderr=["txconv: e.txt: holds no values; every slot is 0"]),
            Case("94 values", {"n.txt": LISTING[:-13]}, ["n.txt"], b"1\n", {"n.txt": LISTING[:-13], "n.tx": image(VALUES[:94])},
                 stderr=["txconv: n.txt: holds 94 values; slot 94 is 0"]),
            # After each conversion the menu says what the output now holds.
            Case("appended behind an older table", {"pts.txt": LISTING, "pts.tx": image([1])}, ["pts.txt"], b"1\n",
                 {"pts.txt": LISTING, "pts.tx": image([1]) + TABLE},
                 stderr=["txconv: pts.tx: table appended; it now holds 2 tables, and programs read the first\n"]),
            Case("a table made new", {"pts.txt": LISTING}, ["pts.txt"], b"1\n", {"pts.txt": LISTING, "pts.tx": TABLE},
                 stderr=["txconv: pts.tx: table written\n"]),
            Case("two listings, one new table", {"a.txt": LISTING, "a.TXT": THREE}, ["a.txt", "a.TXT"], b"1\n",
                 {"a.txt": LISTING, "a.TXT": THREE, "a.tx": TABLE + image([1, 10, 0xFFFFFFFF])},
                 stderr=["txconv: a.tx: table written\n", "txconv: a.TXT: holds 3 values",
                         "txconv: a.tx: table appended; it now holds 2 tables, and programs read the first\n"]),
            Case("appended behind what is no whole table", {"pts.txt": LISTING, "pts.tx": b"abc"}, ["pts.txt"], b"1\n",
                 {"pts.txt": LISTING, "pts.tx": b"abc" + TABLE},
                 stderr=["txconv: pts.tx: table appended; it now holds 383 bytes, and programs read its first 380\n"]),
            Case("any key, fields cut short by the end", {"g.txt": b"gain=0000ABCD\r\nk==0000000A\r\nuv=12"},
                 ["g.txt"], b"1\n", {"g.txt": b"gain=0000ABCD\r\nk==0000000A\r\nuv=12", "g.tx": image([0xABCD, 0, 10, 0x12])},
                 stderr=["txconv: g.txt:2: value is not 8 hex digits; stored as 0",
                         "txconv: g.txt:3: the input ends after 2 hex digits of the value; read as 00000012",
                         "txconv: g.txt: holds 4 values"]),
            Case("more than 95 values", {"d.txt": LISTING + LISTING[:26]}, ["d.txt"], b"1\n",
                 {"d.txt": LISTING + LISTING[:26], "d.tx": TABLE},
                 stderr=["txconv: d.txt: 2 values after the first 95 were ignored"]),
            Case("exactly 96 values", {"n.txt": LISTING + LISTING[:13]}, ["n.txt"], b"1\n",
                 {"n.txt": LISTING + LISTING[:13], "n.tx": TABLE},
                 stderr=["txconv: n.txt: 1 value after the first 95 was ignored"]),
            # The last two fields both run into the end: the second is one too many.
            Case("a 96th value inside the 95th", {"n.txt": LISTING[:-13] + b"uv=1=2"}, ["n.txt"], b"1\n",
                 {"n.txt": LISTING[:-13] + b"uv=1=2", "n.tx": image(VALUES[:94])},
                 stderr=["txconv: n.txt:95: value is not 8 hex digits; stored as 0",
                         "txconv: n.txt: 1 value after the first 95 was ignored"]),
            Case("Notepad's Unicode", {"u.txt": U16LE}, ["u.txt"], b"1\n", {"u.txt": U16LE, "u.tx": TABLE}),
            Case("Notepad's Unicode big endian", {"u.txt": U16BE}, ["u.txt"], b"1\n", {"u.txt": U16BE, "u.tx": TABLE}),
            Case("Notepad's UTF-8, with its mark", {"u.txt": b"\xef\xbb\xbf" + LISTING}, ["u.txt"], b"1\n",
                 {"u.txt": b"\xef\xbb\xbf" + LISTING, "u.tx": TABLE}),
            Case("UTF-16 without its mark", {"u.txt": U16BARE}, ["u.txt"], b"1\n", {"u.txt": U16BARE}, 1,
                 ["txconv: u.txt: is UTF-16 without a byte order mark", "\n" + OPEN_FAILED + "\n[press Enter]"]),
            Case("fields that end in NUL are no UTF-16", {"z.txt": NUL_ENDS}, ["z.txt"], b"1\n",
                 {"z.txt": NUL_ENDS, "z.tx": image([v & 0xF for v in VALUES])}),
            Case("no '.' in the file name", {"pts": LISTING}, ["pts"], b"1\n", {"pts": LISTING, "pts.tx": TABLE}),
            Case("a '.' in a folder name only", {"old.2/pts": LISTING}, ["old.2/pts"], b"1\n",
                 {"old.2/pts": LISTING, "old.2/pts.tx": TABLE}),
            Case("a name outside ASCII", {"表 α.txt": LISTING}, ["表 α.txt"], b"1\n",
                 {"表 α.txt": LISTING, "表 α.tx": TABLE}, stderr=["\n表 α.txt\n"]),
            # Dropped together: asked once, one notice with every path, and a
            # failure with its own notice (path and reason) that stops no other.
            # On a console the failure notice does not repeat the line above it.
            Case("several paths", {"a.txt": LISTING, "b.txt": LISTING}, ["a.txt", "gone.txt", "b.txt"], b"1\n",
                 {"a.txt": LISTING, "a.tx": TABLE, "b.txt": LISTING, "b.tx": TABLE}, 1,
                 ["\na.txt\ngone.txt\nb.txt\n[press Enter]",
                  "txconv: gone.txt: cannot be read: No such file or directory\n", "\n" + OPEN_FAILED + "\n[press Enter]",
                  "txconv: 3 files: 2 converted, 1 failed\n"]),
        ])


class TableToListing(CaseTest):
    def test_cases(self):
        self.check_cases([
            Case("a table", {"t.tx": TABLE}, ["t.tx"], b"2\n", {"t.tx": TABLE, "t.txt": LISTING}),
            Case("byte order", {"b.tx": b"\x78\x56\x34\x12" + bytes(376)}, ["b.tx"], b"2\n",
                 {"b.tx": b"\x78\x56\x34\x12" + bytes(376), "b.txt": listing([0x12345678])}),
            # Behind a listing that Notepad saved as UTF-16, in its byte order.
            Case("added to Notepad's Unicode", {"t.tx": TABLE, "t.txt": U16LE}, ["t.tx"], b"2\n",
                 {"t.tx": TABLE, "t.txt": U16LE + U16BARE},
                 stderr=["txconv: t.txt: listing appended; it now holds 2 listings, and programs read the first\n"]),
            Case("added to Notepad's Unicode big endian", {"t.tx": TABLE, "t.txt": U16BE}, ["-2", "--append", "t.tx"],
                 b"", {"t.tx": TABLE, "t.txt": U16BE + U16BE[2:]}),
            # What replaces it is made new, in the bytes txconv writes.
            Case("Notepad's Unicode replaced", {"t.tx": TABLE, "t.txt": U16LE}, ["-2", "--force", "t.tx"], b"",
                 {"t.tx": TABLE, "t.txt": LISTING}),
            Case("only the first image counts", {"t.tx": TABLE + image([7])}, ["t.tx"], b"2\n",
                 {"t.tx": TABLE + image([7]), "t.txt": LISTING}, stderr=["txconv: t.tx: holds 2 tables; the first is used"]),
            Case("bytes behind the image are ignored", {"t.tx": TABLE + b"xyz"}, ["t.tx"], b"2\n",
                 {"t.tx": TABLE + b"xyz", "t.txt": LISTING},
                 stderr=["txconv: t.tx: holds 383 bytes; the first 380 are used"]),
            Case("appended behind an older listing", {"t.tx": TABLE, "t.txt": LISTING}, ["t.tx"], b"2\n",
                 {"t.tx": TABLE, "t.txt": LISTING + LISTING},
                 stderr=["txconv: t.txt: listing appended; it now holds 2 listings, and programs read the first\n"]),
            Case("appended behind what is no whole listing", {"t.tx": TABLE, "t.txt": b"old\r\n"}, ["t.tx"], b"2\n",
                 {"t.tx": TABLE, "t.txt": b"old\r\n" + LISTING},
                 stderr=["txconv: t.txt: listing appended; it now holds 1240 bytes, and programs read its first 95 "
                         "values\n"]),
            Case("an empty table file", {"e.tx": b""}, ["e.tx"], b"2\n", {"e.tx": b""}, 1,
                 ["txconv: e.tx: holds 0 bytes; a table takes 380", SHORT_TABLE]),
            Case("one byte short", {"s.tx": TABLE[:379], "s.txt": b"old"}, ["s.tx"], b"2\n",
                 {"s.tx": TABLE[:379], "s.txt": b"old"}, 1, ["txconv: s.tx: holds 379 bytes", SHORT_TABLE]),
        ])


def usage(what, args, said=""):
    """A command line that makes no sense: exit 2, a short usage, no file touched."""
    return Case(what, {"p.txt": THREE}, args, b"", {"p.txt": THREE}, 2, ["txconv: " + said, "usage: txconv"])


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
            Case("a batch ends with its count where anything went wrong",
                 {"a.tx": TABLE, "b.tx": TABLE, "b.txt": b"old", "c.tx": b"short"}, ["-2", "a.tx", "b.tx", "c.tx", "d.tx"],
                 b"", {"a.tx": TABLE, "a.txt": LISTING, "b.tx": TABLE, "b.txt": b"old", "c.tx": b"short"}, 1,
                 ["txconv: b.txt: already exists", "txconv: c.tx: holds 5 bytes", "txconv: d.tx: cannot be read",
                  "txconv: 4 files: 1 converted, 1 left alone (its output exists), 2 failed\n"]),
            Case("and counts only what happened", {"a.tx": TABLE, "b.tx": TABLE, "b.txt": b"old"}, ["-2", "a.tx", "b.tx"],
                 b"", {"a.tx": TABLE, "a.txt": LISTING, "b.tx": TABLE, "b.txt": b"old"}, 1,
                 ["txconv: b.txt: already exists", "txconv: 2 files: 1 converted, 1 left alone (its output exists)\n"]),
            Case("--force replaces it", {"t.tx": TABLE, "t.txt": b"old"}, ["--force", "-2", "t.tx"], b"",
                 {"t.tx": TABLE, "t.txt": LISTING}),
            Case("--force does not replace a link", {"t.tx": TABLE, "t.txt": Link("t.tx")}, ["-2f", "t.tx"], b"",
                 {"t.tx": TABLE, "t.txt": Link("t.tx")}, 1, ["txconv: t.txt: cannot be written: is a symbolic link; not followed"]),
            Case("--append adds, as the menu does", {"t.tx": TABLE, "t.txt": b"old\r\n"}, ["--append", "-2", "t.tx"],
                 b"", {"t.tx": TABLE, "t.txt": b"old\r\n" + LISTING}),
            Case("several files: one fails, the others are done", {"a.tx": TABLE, "b.tx": image([1])},
                 ["-2", "a.tx", "gone.tx", "b.tx", "-v"], b"",
                 {"a.tx": TABLE, "b.tx": image([1]), "a.txt": LISTING, "b.txt": listing([1])}, 1,
                 ["a.tx -> a.txt", "txconv: gone.tx: ", "b.tx -> b.txt", "txconv: 3 files: 2 converted, 1 failed\n"]),
            Case("two inputs, one target", {"x.1": TABLE, "x.2": image([1])}, ["-2", "x.1", "x.2"], b"",
                 {"x.1": TABLE, "x.2": image([1]), "x.txt": LISTING}, 1,
                 ["txconv: x.2: its output x.txt is also that of x.1", "txconv: 2 files: 1 converted, 1 failed"]),
            Case("-o names the output", {"t.tx": TABLE}, ["-2", "-o", "out.lst", "t.tx"], b"",
                 {"t.tx": TABLE, "out.lst": LISTING}),
            Case("--output=PATH", {"p.txt": LISTING}, ["--output=out", "-1", "p.txt"], b"",
                 {"p.txt": LISTING, "out": TABLE}),
            Case("-o - is standard output", {"t.tx": TABLE}, ["-2o-", "t.tx"], b"", {"t.tx": TABLE}, stdout=LISTING),
            Case("- reads standard input and writes standard output", {}, ["-2", "-"], TABLE, {}, stdout=LISTING),
            Case("- with -o", {}, ["-1", "-o", "p.tx", "-"], LISTING, {"p.tx": TABLE}, stdout=b""),
            Case("-- ends the options", {"-x.txt": LISTING}, ["-1", "--", "-x.txt"], b"",
                 {"-x.txt": LISTING, "-x.tx": TABLE}),
            # --strict and --check: the form txconv writes, give or take line
            # ends and the case of the digits; every departure is named.
            Case("--strict: a malformed field", {"m.txt": bad}, ["--strict", "-1", "m.txt"], b"", {"m.txt": bad}, 1,
                 ["txconv: m.txt:5:8: 'x' is not a hex digit\n"]),
            Case("--strict: a field cut short by the end", {"s.txt": short_end}, ["--strict", "-1", "s.txt"], b"",
                 {"s.txt": short_end}, 1, ["txconv: s.txt:95: 4 hex digits; a value takes 8"]),
            Case("--strict: trailing junk, another key, a blank line", {"j.txt": JUNK}, ["--strict", "-1", "j.txt"],
                 b"", {"j.txt": JUNK}, 1, ["txconv: j.txt:2:12: a space\n", "txconv: j.txt:4: a key other than \"uv\"",
                                           "txconv: j.txt:6: an empty line"]),
            Case("--strict: LF, lower case, no last line end", {"f.txt": FREE}, ["--strict", "-1", "f.txt"], b"",
                 {"f.txt": FREE, "f.tx": TABLE}),
            Case("--strict: too few lines", {"p.txt": THREE}, ["--strict", "-1", "p.txt"], b"", {"p.txt": THREE}, 1,
                 ["txconv: p.txt: holds 3 lines; a listing takes 95"]),
            Case("--strict: a table file that is not one table", {"t.tx": TABLE + b"x"},
                 ["--strict", "-2", "t.tx"], b"", {"t.tx": TABLE + b"x"}, 1,
                 ["txconv: t.tx: holds 381 bytes; a table file takes 380"]),
            Case("--strict: two tables", {"t.tx": TABLE + TABLE}, ["--strict", "-2", "t.tx"], b"",
                 {"t.tx": TABLE + TABLE}, 1, ["txconv: t.tx: holds 760 bytes; a table file takes 380"]),
            Case("--check: a table file too short", {"s.tx": b"abc"}, ["--check", "s.tx"], b"", {"s.tx": b"abc"}, 1,
                 ["txconv: s.tx: holds 3 bytes; a table file takes 380"]),
            # Nothing is written, so standard output may be anything, the input too.
            Case("--check with standard output into its input", {"p.txt": LISTING}, [], b"", {"p.txt": LISTING},
                 shell='"$T" --check p.txt >> p.txt'),
            Case("-2 outranks the extension", {"t.txt": TABLE}, ["-2", "--show", "t.txt"], b"", {"t.txt": TABLE},
                 stdout=shown(VALUES)),
            Case("--strict: two tables, one chosen", {"t.tx": TABLE + TABLE}, ["--strict", "--image", "2", "-2", "t.tx"],
                 b"", {"t.tx": TABLE + TABLE}, 1, ["txconv: t.tx: holds 760 bytes; a table file takes 380"]),
            Case("--check writes nothing, the extension tells", {"p.txt": LISTING, "t.TX": TABLE},
                 ["-cv", "p.txt", "t.TX"], b"", {"p.txt": LISTING, "t.TX": TABLE}, 0, ["p.txt: ok", "t.TX: ok"]),
            Case("--check: the first few departures, then a count", {"z.txt": ZEROS}, ["-cv", "z.txt"], b"",
                 {"z.txt": ZEROS}, 1, [f"txconv: z.txt:{n}: no \"=\" on the line" for n in range(1, 6)] +
                 ["txconv: z.txt: 5 more such lines\n", "txconv: z.txt: holds 10 lines"]),
            Case("--check: CR alone ends a line, though not as written", {"r.txt": LISTING.replace(b"\r\n", b"\r")},
                 ["--check", "r.txt"], b"", {"r.txt": LISTING.replace(b"\r\n", b"\r")}, 1,
                 [f"txconv: r.txt:{n}: ends in a CR without an LF" for n in range(1, 6)] + ["txconv: r.txt: 90 more such lines\n"]),
            # Each line is judged on its own: nothing of one line, neither the byte
            # that ended its digits nor the bytes kept of it, is part of the next.
            Case("--check: two bad lines in a row", {"c.txt": TWO_BAD}, ["--check", "c.txt"], b"", {"c.txt": TWO_BAD},
                 1, ["txconv: c.txt:4:4: a space after \"=\"\n", "txconv: c.txt:5: 0 hex digits; a value takes 8\n"]),
            Case("--check: a short listing", {"p.txt": THREE}, ["--check", "p.txt"], b"", {"p.txt": THREE},
                 1, ["txconv: p.txt: holds 3 lines"]),
            Case("--check: two tables", {"t.tx": TABLE + TABLE}, ["-c", "t.tx"], b"", {"t.tx": TABLE + TABLE},
                 1, ["txconv: t.tx: holds 760 bytes"]),
            Case("--check: a CR alone at the very end is a line", {"e.txt": LISTING + b"\r"}, ["--check", "e.txt"],
                 b"", {"e.txt": LISTING + b"\r"}, 1,
                 ["txconv: e.txt:96: ends in a CR without an LF\n", "txconv: e.txt: holds 96 lines"]),
            usage("--check: an unknown extension", ["-c", "x.bin"]),
        ] + [
            # Each way a line departs from the form has its own words, and
            # its column where one applies; here on line 4 of a whole listing.
            Case(f"--check names {said}", {"c.txt": LISTING[:39] + line + LISTING[52:]}, ["--check", "c.txt"], b"",
                 {"c.txt": LISTING[:39] + line + LISTING[52:]}, 1, [f"txconv: c.txt:4{said}\n"])
            for line, said in ((b"uv=0000ABCD \r\n", ":12: a trailing space"), (b"uv=0000\tABC\r\n", ":8: a tab"),
                               (b"uv = 0000ABCD\r\n", ":3: a space before \"=\""),
                               (b"uv= 0000ABCD\r\n", ":4: a space after \"=\""),
                               (b"UV=0000ABCD\r\n", ": the key in capitals; txconv writes \"uv=\""),
                               (b"uv=000ABCD\r\n", ": 7 hex digits; a value takes 8"),
                               (b"uv=000ABCDEF\r\n", ": 9 hex digits; a value takes 8"),
                               (b"uv=0000ABCG\r\n", ":11: 'G' is not a hex digit"),
                               (b"uv=0000ABC\xe9\r\n", ":11: \\351 is not a hex digit"),
                               (b"uv=0000ABC\x7f\r\n", ":11: \\177 is not a hex digit"),
                               (b"uv=0000ABCD\r", ": ends in a CR without an LF"),
                               (b"uv=0000ABCG\r", ":11: 'G' is not a hex digit"),  # said before its CR
                               (b"gain=0000ABCD\r\n", ": a key other than \"uv\""),
                               (b"ux=0000ABCD\r\n", ": a key other than \"uv\""),
                               (b"av=0000ABCD\r\n", ": a key other than \"uv\""),
                               # Past the bytes kept of a long line: a space is trailing only
                               # where nothing but spaces follows it, however far.
                               (b"uv=0000ABCD" + b" " * 30 + b"\r\n", ":12: a trailing space"),
                               (b"uv=0000ABCD" + b" " * 21 + b"x\r\n", ":12: a space"),
                               (b"uv=000ABCD \r\n", ":11: a space"),
                               # An '=' past the bytes kept still ends the key before it.
                               (b"calibration_offset_for_the_second_sensor=0000ABCD\r\n", ": a key other than \"uv\""),
                               (b"uv" + b" " * 40 + b"=0000ABCD\r\n", ":3: a space before \"=\""),
                               # Digits are counted whole, however far they run.
                               (b"uv=" + b"1" * 40 + b"\r\n", ": 40 hex digits; a value takes 8"),
                               (b"uv=" + b"1" * 40 + b"x\r\n", ":44: 'x' is not a hex digit"),
                               (b"\r\n", ": an empty line"), (b"hello\r\n", ": no \"=\" on the line"))
        ] + [
            Case("--check names a byte order mark", {"b.txt": b"\xef\xbb\xbf" + LISTING}, ["--check", "b.txt"], b"",
                 {"b.txt": b"\xef\xbb\xbf" + LISTING}, 1, ["txconv: b.txt:1: starts with a UTF-8 byte order mark\n"]),
            # Once, not line by line.
            # An empty file that Notepad saved as Unicode is its mark alone.
            Case("--check names UTF-16", {"u.txt": U16LE, "v.txt": U16BE, "e.txt": b"\xff\xfe"},
                 ["--check", "u.txt", "v.txt", "e.txt"], b"", {"u.txt": U16LE, "v.txt": U16BE, "e.txt": b"\xff\xfe"}, 1,
                 ["txconv: u.txt: is UTF-16, little-endian (Unicode); txconv writes ASCII\n",
                  "txconv: v.txt: is UTF-16, big-endian (Unicode big endian); txconv writes ASCII\n",
                  "txconv: e.txt: is UTF-16, little-endian (Unicode); txconv writes ASCII\n",
                  "txconv: e.txt: holds 0 lines; a listing takes 95\n"]),
            # The extension decides in every run; no FILE means a filter.
            Case("without -1 or -2", {"a.tx": TABLE, "b.txt": LISTING}, ["-f", "a.tx", "b.txt"], b"",
                 {"a.tx": TABLE, "b.txt": LISTING, "a.txt": LISTING, "b.tx": TABLE}),
            Case("no FILE: a filter", {}, ["-2"], TABLE, {}, stdout=LISTING),
            usage("- without a direction", ["-v", "-"]),
            usage("an extension that says neither", ["-v", "p.bin"]),
            # Long options may be shortened while they stay unique.
            Case("--verb, --to-t-x exact", {"t.tx": TABLE}, ["--verb", "--to-txt", "t.tx"], b"",
                 {"t.tx": TABLE, "t.txt": LISTING}, stderr=[]),
            usage("an ambiguous prefix", ["--to-t", "t.tx"]),
            Case("--check: -2 decides", {"x.bin": TABLE}, ["-c2", "x.bin"], b"", {"x.bin": TABLE}),
            Case("-q keeps warnings back", {"g.txt": b"uv=12 45678\r\n"}, ["-q1", "g.txt"], b"",
                 {"g.txt": b"uv=12 45678\r\n", "g.tx": image([])}),
            usage("-1 and -2", ["-1", "-2", "p.txt"]),
            usage("an unknown option", ["p.txt", "--bogus"]),
            usage("an unknown short option", ["-1x", "p.txt"]),

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
                 ["txconv: a.bin: its output a.txt is also that of a.tx", "txconv: 2 files: 1 converted, 1 failed"]),
            Case("--force with a name of 250 bytes", {LONG + ".tx": TABLE, LONG + ".txt": b"old"}, ["-2f", LONG + ".tx"],
                 b"", {LONG + ".tx": TABLE, LONG + ".txt": LISTING}),
            # A path the user typed is followed like any tool follows it.
            Case("-o through a link, --force", {"t.tx": TABLE, "l.txt": Link("real.txt"), "real.txt": b"old"},
                 ["-2f", "-o", "l.txt", "t.tx"], b"", {"t.tx": TABLE, "l.txt": Link("real.txt"), "real.txt": LISTING}),
            Case("-o through a link in a folder, to a name in that folder",
                 {"t.tx": TABLE, "sub/l.txt": Link("real.txt"), "sub/real.txt": b"old"}, ["-2f", "-o", "sub/l.txt", "t.tx"],
                 b"", {"t.tx": TABLE, "sub/l.txt": Link("real.txt"), "sub/real.txt": LISTING}),
            Case("-o through two links", {"t.tx": TABLE, "l1": Link("l2"), "l2": Link("real.txt"), "real.txt": b"old"},
                 ["-2f", "-o", "l1", "t.tx"], b"",
                 {"t.tx": TABLE, "l1": Link("l2"), "l2": Link("real.txt"), "real.txt": LISTING}),
            Case("-o a device", {"t.tx": TABLE}, ["-2", "-o", "/dev/null", "t.tx"], b"", {"t.tx": TABLE}),
            Case("-o into a folder that is not there", {"t.tx": TABLE}, ["-2", "-o", "none/x.txt", "t.tx"], b"",
                 {"t.tx": TABLE}, 1, ["txconv: none/x.txt: cannot be written: none: No such file or directory"]),
            Case("control characters in a name are escaped", {"e\x1b[31m.tx": TABLE}, ["-2v", "e\x1b[31m.tx"], b"",
                 {"e\x1b[31m.tx": TABLE, "e\x1b[31m.txt": LISTING}, stderr=["e\\033[31m.tx -> e\\033[31m.txt"]),
            Case("CR alone ends a line", {"r.txt": CR_BAD}, ["-1", "r.txt"], b"", {"r.txt": CR_BAD, "r.tx": CR_TABLE},
                 stderr=["txconv: r.txt:12: value is not 8 hex digits; stored as 0"]),
            usage("a value for a flag", ["-1", "--force=yes", "p.txt"]),
            usage("a '-' inside a bundle", ["-1-", "p.txt"], "'-' is not an option letter, in '-1-'"),
            usage("an empty long name", ["--=x", "p.txt"], "unknown option '--=x'"),
            usage("--image that is not all digits", ["--show", "--image", "2x", "p.txt"], "--image takes"),
            usage("standard input twice", ["-1", "-", "-"], "standard input is named twice"),
            usage("standard input twice, once through a link", ["-1", "-", "/dev/stdin"], "standard input is named"),
            usage("--diff of standard input with itself", ["--diff", "-1", "-", "-"], "standard input is named"),
            # Where a file name starts is the system's rule: on POSIX a
            # backslash is part of the name.
            Case("a backslash in a name", {"a\\b.tx": TABLE, "b.tx": image([1])}, ["-2", "a\\b.tx", "b.tx"], b"",
                 {"a\\b.tx": TABLE, "b.tx": image([1]), "a\\b.txt": LISTING, "b.txt": listing([1])}),
            Case("C1 control characters are escaped", {"c\u0085d.tx": TABLE}, ["-2v", "c\u0085d.tx"], b"",
                 {"c\u0085d.tx": TABLE, "c\u0085d.txt": LISTING}, stderr=["c\\302\\205d.tx -> c\\302\\205d.txt"]),
            Case("-o through a link loop", {"t.tx": TABLE, "l1": Link("l2"), "l2": Link("l1")}, ["-2", "-o", "l1", "t.tx"],
                 b"", {"t.tx": TABLE, "l1": Link("l2"), "l2": Link("l1")}, 1,
                 ["txconv: l1: cannot be written: its links go round in a loop"]),
        ])


class StreamsAndComparisons(CaseTest):
    def test_cases(self):
        changed = [v ^ 1 for v in VALUES]
        pair = {"a.tx": TABLE, "b.tx": image(changed)}
        self.check_cases([
            # Standard output that is a file takes part in the run's shared-output check.
            Case("--force and standard output into one file", {"p.tx": TABLE, "q.tx": image([1]), "p.txt": b"old"},
                 [], b"", {"p.tx": TABLE, "q.tx": image([1]), "p.txt": LISTING}, 1,
                 ["txconv: standard input: its output standard output is also that of p.tx",
                  "txconv: 2 files: 1 converted, 1 failed"],
                 shell='"$T" -2 -f p.tx - < q.tx >> p.txt'),
            Case("--append and standard output into one file", {"p.tx": TABLE, "q.tx": image([1]), "p.txt": b"old"},
                 [], b"", {"p.tx": TABLE, "q.tx": image([1]), "p.txt": b"old" + LISTING}, 1,
                 ["txconv: standard input: its output standard output is also that of p.tx",
                  "txconv: 2 files: 1 converted, 1 failed"],
                 shell='"$T" -2 --append p.tx - < q.tx >> p.txt'),
            Case("--diff into one of its inputs", pair, [], b"", pair, 2,
                 ["txconv: standard output: output would overwrite the input"], shell='"$T" --diff a.tx b.tx >> a.tx'),
            Case("--diff into a full device", pair, [], b"", pair, 2,
                 ["txconv: standard output: cannot be written: No space left on device"],
                 shell='"$T" --diff a.tx b.tx > /dev/full'),
            Case("--diff into a closed standard output", pair, [], b"", pair, 2,
                 ["txconv: standard output: cannot be written: was closed when txconv started"],
                 shell='"$T" --diff a.tx b.tx >&-'),
            Case("--diff -q still says trouble", {"a.tx": TABLE}, ["--diff", "-q", "a.tx", "gone.tx"], b"",
                 {"a.tx": TABLE}, 2, ["txconv: gone.tx: cannot be read"]),
            Case("a file on standard input lends its permissions", {"s.tx": TABLE}, [], b"",
                 {"s.tx": TABLE, "out.txt": LISTING}, stdout=b"600\n",
                 shell='chmod 600 s.tx; umask 022; "$T" -2 -o out.txt < s.tx && stat -c %a out.txt'),
            # As cat reads it: from where the stream stands, not from the file's start.
            Case("a file on standard input, part read already", {"two.tx": TABLE + image(changed)}, [], b"",
                 {"two.tx": TABLE + image(changed), "o.txt": listing(changed)},
                 shell='{ dd bs=380 count=1 of=/dev/null 2>/dev/null; "$T" -2 -o o.txt; } < two.tx'),
            # Past the end of its file, it holds nothing: no length that wraps round.
            Case("a file on standard input, read past its end", {"t.tx": TABLE}, [], b"", {"t.tx": TABLE}, 1,
                 ["txconv: standard input: holds 0 bytes; a table takes 380"],
                 shell='{ dd bs=1000 skip=1 count=0 2>/dev/null; "$T" -2 -o o.txt; } < t.tx'),
            # 1<> writes from the file's start, over what is there, and past
            # the listing the file keeps what it held.
            Case("standard output opened inside a longer file", {"t.tx": TABLE, "o": b"x" * 2000}, [], b"",
                 {"t.tx": TABLE, "o": LISTING + b"x" * (2000 - len(LISTING))}, shell='"$T" -2 -o - t.tx 1<> o'),
            Case("standard input is never written into", {"t.tx": TABLE}, [], b"", {"t.tx": TABLE}, 1,
                 ["txconv: t.tx: output would overwrite the input"], shell='"$T" -2 --append -o t.tx - < t.tx'),
            Case("an endless standard input", {}, [], b"", {"o.txt": listing([])},
                 stderr=["txconv: standard input: goes on past what a table needs"],
                 shell='"$T" -2 < /dev/zero > o.txt'),
            Case("-o /dev/stdout into a pipe", {"t.tx": TABLE}, ["-2", "-o", "/dev/stdout", "t.tx"], b"",
                 {"t.tx": TABLE}, stdout=LISTING),
            # What is written to a FIFO named by -o reaches its reader whole.
            Case("-o a FIFO", {"t.tx": TABLE}, [], b"", {"t.tx": TABLE, "f": Fifo(), "got.txt": LISTING},
                 shell='mkfifo f; cat f > got.txt & "$T" -2 -o f t.tx; s=$?; wait; exit $s'),
            Case("a missing table on standard input is standard input's", {}, ["--show", "--image", "3", "-2", "-"],
                 TABLE + image(changed), {}, 1, ["txconv: standard input: holds 2 tables; there is no table 3"]),
            # A file as standard input is read as the file it is, to its length:
            # a table far past its end is not there, rather than more than a
            # stream is read for.
            Case("a table far past the end of a file on standard input", {"t.tx": TABLE * 2}, [], b"",
                 {"t.tx": TABLE * 2}, 1, ["txconv: standard input: holds 2 tables; there is no table 200000"],
                 shell='"$T" --show --image 200000 -2 - < t.tx'),
            Case("--image last of tables on a pipe", {}, ["--show", "--image", "last", "-2", "-"], TABLE + image(changed),
                 {}, stdout=shown(changed)),
            # Read as it comes: only a whole table counts, the one chosen.
            Case("the first of two tables on a pipe", {}, ["--show", "-2", "-"], image(changed) + TABLE, {},
                 stderr=["txconv: standard input: holds 2 tables; the first is used"], stdout=shown(changed)),
            Case("--image last of tables on a pipe that ends in part of one", {},
                 ["--show", "--image", "last", "-2", "-"], TABLE + image(changed) + b"xyz", {},
                 stderr=["txconv: standard input: holds 763 bytes: 2 tables and 3 bytes of one cut short"],
                 stdout=shown(changed)),
            Case("--plot of standard input draws on standard output", {}, ["--plot", "-2", "-"], TABLE, {},
                 stdout=run(["--plot", "-o", "-", "-2", "-"], TABLE).stdout),
        ])


    def test_standard_output_that_is_the_input(self):
        # txconv -2 -o - t.tx >> t.tx would append to its own input.
        with tempfile.TemporaryDirectory() as folder:
            populate(folder, {"t.tx": TABLE})
            with open(os.path.join(folder, "t.tx"), "ab") as same:
                proc = subprocess.run([BINARY, "-2", "-o", "-", "t.tx"], stdout=same, stderr=subprocess.PIPE,
                                      cwd=folder, timeout=30)
            self.assertEqual(proc.returncode, 1)
            self.assertIn(b"txconv: standard output: output would overwrite the input", proc.stderr)
            self.assertEqual(snapshot(folder), {"t.tx": TABLE})

    def test_closed_standard_streams_are_not_files(self):
        # txconv -1 - <&-, txconv -2 -o - t.tx >&-: as cat does, a failure.
        for args, closed in ((["-1", "-"], 0), (["-2", "-o", "-", "t.tx"], 1)):
            with self.subTest(args), tempfile.TemporaryDirectory() as folder:
                populate(folder, {"t.tx": TABLE})
                result = run(args, cwd=folder, stdin=subprocess.DEVNULL, preexec_fn=lambda: os.close(closed))
                self.assertEqual(result.status, 1, result.stderr)
                side = "standard input: cannot be read" if closed == 0 else "standard output: cannot be written"
                self.assertIn(f"txconv: {side}: was closed when txconv started", result.stderr)
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


def shown(values):
    return "".join(f"{i:2}  {v:08X}  {v:10}\n" for i, v in enumerate(list(values) + [0] * (95 - len(values)))).encode()


class Inspecting(CaseTest):
    def test_cases(self):
        changed = list(VALUES)
        changed[7] ^= 0x100
        twice_table, twice_listing = TABLE + image(changed), LISTING + listing(changed)  # what appending twice makes
        keyed = LISTING[:26] + b"xx=0000000A\r\n" + LISTING[39:]
        lettered = LISTING.replace(b"uv=", b"k=")
        self.check_cases([
            Case("--show a table", {"t.tx": TABLE}, ["--show", "t.tx"], b"", {"t.tx": TABLE}, stdout=shown(VALUES)),
            Case("--show a listing, and a header for each of several", {"t.tx": TABLE, "p.txt": THREE},
                 ["--show", "t.tx", "p.txt"], b"", {"t.tx": TABLE, "p.txt": THREE},
                 stderr=["txconv: p.txt: holds 3 values"],
                 stdout=b"t.tx:\n" + shown(VALUES) + b"p.txt:\n" + shown([1, 10, 0xFFFFFFFF])),
            Case("--show a file of several tables", {"t.tx": twice_table}, ["--show", "t.tx"], b"",
                 {"t.tx": twice_table}, stderr=["txconv: t.tx: holds 2 tables; the first is used"],
                 stdout=shown(VALUES)),
            Case("--diff: a listing and its table are equal", {"t.tx": TABLE, "t.txt": LISTING},
                 ["--diff", "t.txt", "t.tx"], b"", {"t.tx": TABLE, "t.txt": LISTING}, stdout=b""),
            Case("--diff: one slot differs", {"t.tx": TABLE, "u.tx": image(changed)}, ["--diff", "t.tx", "u.tx"], b"",
                 {"t.tx": TABLE, "u.tx": image(changed)}, 1,
                 stdout=f"--- t.tx\n+++ u.tx\n 7  {VALUES[7]:08X}  {changed[7]:08X}  {VALUES[7]:10d}  {changed[7]:10d}  "
                        f"{changed[7] - VALUES[7]:+11d}\n".encode()),
            # For scripts: csv with a header row, json that a parser reads.
            # The other way round: a difference that rises has its sign too.
            Case("--diff --format csv", {"t.tx": TABLE, "u.tx": image(changed)},
                 ["--diff", "--format", "csv", "u.tx", "t.tx"], b"", {"t.tx": TABLE, "u.tx": image(changed)}, 1,
                 stdout=f"slot,a,b,a_value,b_value,difference\n7,{changed[7]:08X},{VALUES[7]:08X},{changed[7]},"
                        f"{VALUES[7]},+{VALUES[7] - changed[7]}\n".encode()),
            Case("--diff --format json", {"t.tx": TABLE, "u.tx": image(changed)},
                 ["--diff", "--format", "json", "t.tx", "u.tx"], b"", {"t.tx": TABLE, "u.tx": image(changed)}, 1,
                 stdout=json.dumps({"a": "t.tx", "b": "u.tx", "differences": [
                     {"slot": 7, "a": f"{VALUES[7]:08X}", "b": f"{changed[7]:08X}", "a_value": VALUES[7],
                      "b_value": changed[7], "difference": changed[7] - VALUES[7]}]}).encode() + b"\n"),
            # A difference that rises has no sign in JSON, which takes none.
            Case("--diff --format json, the other way round", {"t.tx": TABLE, "u.tx": image(changed)},
                 ["--diff", "--format", "json", "u.tx", "t.tx"], b"", {"t.tx": TABLE, "u.tx": image(changed)}, 1,
                 stdout=json.dumps({"a": "u.tx", "b": "t.tx", "differences": [
                     {"slot": 7, "a": f"{changed[7]:08X}", "b": f"{VALUES[7]:08X}", "a_value": changed[7],
                      "b_value": VALUES[7], "difference": VALUES[7] - changed[7]}]}).encode() + b"\n"),
            Case("--diff --format json of equal tables", {"t.tx": TABLE, "t.txt": LISTING},
                 ["--diff", "--format=json", "t.tx", "t.txt"], b"", {"t.tx": TABLE, "t.txt": LISTING},
                 stdout=json.dumps({"a": "t.tx", "b": "t.txt", "differences": []}).encode() + b"\n"),
            Case("--show --format json", {"t.tx": TABLE}, ["--show", "--format", "json", "t.tx"], b"", {"t.tx": TABLE},
                 stdout=json.dumps({"file": "t.tx", "slots": [{"slot": i, "hex": f"{v:08X}", "value": v}
                                                              for i, v in enumerate(VALUES)]}).encode() + b"\n"),
            Case("--show --format csv of two files", {"t.tx": TABLE, "p.txt": THREE},
                 ["--show", "--format", "csv", "t.tx", "p.txt"], b"", {"t.tx": TABLE, "p.txt": THREE},
                 stderr=["txconv: p.txt: holds 3 values"],
                 stdout=("file,slot,hex,decimal\n" + "".join(f"{n},{i},{v:08X},{v}\n" for n, vs in
                         (("t.tx", VALUES), ("p.txt", [1, 10, 0xFFFFFFFF] + [0] * 92)) for i, v in enumerate(vs)))
                 .encode()),
            usage("--format with a conversion", ["--format", "csv", "p.txt"], "--format says how --show and --diff"),
            Case("--diff -q says nothing", {"t.tx": TABLE, "u.tx": image(changed)}, ["--diff", "-q", "t.tx", "u.tx"],
                 b"", {"t.tx": TABLE, "u.tx": image(changed)}, 1, stdout=b""),
            Case("--diff: trouble", {"t.tx": TABLE}, ["--diff", "t.tx", "gone.tx"], b"", {"t.tx": TABLE}, 2,
                 ["txconv: gone.tx: cannot be read"]),
            usage("--diff needs two", ["--diff", "p.txt"]),
            Case("--image 2 of a table file", {"t.tx": twice_table}, ["--show", "--image", "2", "t.tx"], b"",
                 {"t.tx": twice_table}, stdout=shown(changed)),
            Case("--image last of a listing", {"t.txt": twice_listing}, ["--show", "--image", "last", "t.txt"], b"",
                 {"t.txt": twice_listing}, stdout=shown(changed)),
            Case("--image 2 converts", {"t.txt": twice_listing}, ["-1", "--image=2", "t.txt"], b"",
                 {"t.txt": twice_listing, "t.tx": image(changed)}),
            Case("--image with --diff, on both", {"a.tx": twice_table, "b.txt": twice_listing},
                 ["--diff", "--image", "last", "a.tx", "b.txt"], b"", {"a.tx": twice_table, "b.txt": twice_listing},
                 stdout=b""),
            Case("--image 3 of two tables", {"t.tx": twice_table}, ["--show", "--image", "3", "t.tx"], b"",
                 {"t.tx": twice_table}, 1, ["txconv: t.tx: holds 2 tables; there is no table 3"], stdout=b""),
            # Not a word of the empty table that is not there.
            Case("--image 3 of a listing of two", {"t.txt": twice_listing}, ["--show", "--image", "3", "t.txt"], b"",
                 {"t.txt": twice_listing}, 1, ["txconv: t.txt: holds 2 tables; there is no table 3"], stdout=b""),
            usage("--image 0", ["--show", "--image", "0", "p.txt"]),
            Case("--plot will not replace a picture", {"t.tx": TABLE, "t.tx.svg": b"old"}, ["--plot", "t.tx"], b"",
                 {"t.tx": TABLE, "t.tx.svg": b"old"}, 1, ["txconv: t.tx.svg: already exists; use --force to replace it\n"]),
            Case("--image 1 of a listing of two says nothing of the other", {"t.txt": twice_listing},
                 ["--show", "--image", "1", "t.txt"], b"", {"t.txt": twice_listing}, stdout=shown(VALUES)),
            # The runs before the one read count as tables, a short last one
            # too, and what their lines hold is not said of the one read.
            Case("--image 2 of a listing whose second run is short", {"t.txt": LISTING + LISTING[:26]},
                 ["--show", "--image", "2", "t.txt"], b"", {"t.txt": LISTING + LISTING[:26]},
                 stderr=["txconv: t.txt: holds 2 values"], stdout=shown(VALUES[:2])),
            Case("--image last of a listing whose first run has another key", {"k.txt": keyed + twice_listing},
                 ["--show", "--image", "last", "k.txt"], b"", {"k.txt": keyed + twice_listing}, stdout=shown(changed)),
            # The key most lines use is that of the run read: no word of "uv".
            Case("--image last of a listing whose last run has its own key", {"k.txt": LISTING + lettered},
                 ["--show", "--image", "last", "k.txt"], b"", {"k.txt": LISTING + lettered}, stdout=shown(VALUES)),
            Case("--image last of a table file cut short", {"t.tx": twice_table + b"xyz"},
                 ["--show", "--image", "last", "t.tx"], b"", {"t.tx": twice_table + b"xyz"},
                 stderr=["txconv: t.tx: holds 763 bytes: 2 tables and 3 bytes of one cut short"], stdout=shown(changed)),
        ])

    def test_the_menu_appends_and_image_picks(self):
        # Appended twice by the menu, in both forms: --image 2 and last pick
        # the second table, whichever form holds it.
        changed = [v ^ 0xFF for v in VALUES]
        with tempfile.TemporaryDirectory() as folder:
            for first, second, name, answer in ((listing(VALUES), listing(changed), "a.txt", b"1\n"),
                                                (image(VALUES), image(changed), "b.tx", b"2\n")):
                for content in (first, second):
                    populate(folder, {name: content})
                    self.assertEqual(run([name], answer, cwd=folder).status, 0)
            for made in ("a.tx", "b.txt"):
                for picked in ("2", "last"):
                    with self.subTest(made, image=picked):
                        result = run(["--show", "--image", picked, made], cwd=folder)
                        self.assertEqual((result.status, result.stdout), (0, shown(changed)), result.stderr)

    def test_a_plot_that_a_renderer_draws(self):
        with tempfile.TemporaryDirectory() as folder:
            # FILE.svg, so that a listing and its table give two pictures;
            # a name that is no UTF-8 still makes well-formed XML.
            populate(folder, {"c<&>.txt": LISTING, "c<&>.tx": TABLE, b"lat\xe9n.tx".decode("utf-8", "surrogateescape"): TABLE})
            self.assertEqual(run(["--plot", "c<&>.txt", "c<&>.tx", b"lat\xe9n.tx".decode("utf-8", "surrogateescape")],
                                 cwd=folder).status, 0)
            latin = ElementTree.parse(os.path.join(folder.encode(), b"lat\xe9n.tx.svg")).getroot()
            self.assertEqual(latin.find("{http://www.w3.org/2000/svg}title").text, "lat\\351n.tx")
            self.assertTrue(os.path.exists(os.path.join(folder, "c<&>.tx.svg")))
            svg = os.path.join(folder, "c<&>.txt.svg")
            root = ElementTree.parse(svg).getroot()
            ns = "{http://www.w3.org/2000/svg}"
            self.assertEqual(root.find(ns + "title").text, "c<&>.txt")
            self.assertIsNone(root.find(f"{ns}g[@class='legend']"), "one table needs no legend")
            points = [tuple(map(float, p.split(","))) for p in root.find(ns + "polyline").get("points").split()]
            self.assertEqual(len(points), 95)
            xs = [x for x, _ in points]
            self.assertEqual(xs, sorted(xs))
            # Higher values stand higher: y falls as the value grows.
            order = sorted(range(95), key=lambda i: VALUES[i])
            ys = [points[i][1] for i in order]
            self.assertEqual(ys, sorted(ys, reverse=True))
            if shutil.which("rsvg-convert"):
                png = subprocess.run(["rsvg-convert", svg], capture_output=True, timeout=30)
                self.assertEqual(png.returncode, 0, png.stderr)
                self.assertTrue(png.stdout.startswith(b"\x89PNG"))

    def test_a_chart_of_many_files_can_be_read(self):
        # Named as Explorer passes them, full paths in a shared folder: the
        # title and the legend lie within the canvas and outside the plotting
        # area (by a width guessed high: 0.62 em a character), the folder is
        # left out, and no two lines share both a colour and a dash.
        ns = "{http://www.w3.org/2000/svg}"

        def width(text, size):
            return sum(0.62 if ord(c) < 128 else 1.0 for c in text) * size

        with tempfile.TemporaryDirectory() as folder:
            deep = os.path.join(folder, "Documents", "measurements of the bench rig, 2024")
            # Ending in Chinese, whose characters take a whole em each: so much
            # that even the last third of a name is cut to fit.
            tail = "左声道第二次校准测量的最终数据，已由实验室复核并签字确认后归档保存，请勿修改或删除此文件"
            names = [os.path.join(deep, f"calibration run {i:02} of the left channel, {tail}.tx") for i in range(13)]
            populate(folder, {os.path.relpath(n, folder): image([i * 1000 + k for k in range(95)])
                              for i, n in enumerate(names)})
            for count in (2, 6, 12):
                with self.subTest(count):
                    svg = os.path.join(folder, f"m{count}.svg")
                    self.assertEqual(run(["--plot", "-o", svg, *names[:count]], cwd=folder).status, 0)
                    root = ElementTree.parse(svg).getroot()
                    area = root.find(f"{ns}rect[@class='plot-area']")
                    left, top = float(area.get("x")), float(area.get("y"))
                    right, bottom = left + float(area.get("width")), top + float(area.get("height"))
                    title = next(t for t in root.iter(ns + "text") if t.get("font-size") == "16")
                    half = width(title.text, 16) / 2
                    self.assertTrue(0 <= float(title.get("x")) - half and float(title.get("x")) + half <= 800, title.text)
                    self.assertLess(float(title.get("y")), top)
                    # What the files share, not the first file's whole name.
                    self.assertTrue(title.text.startswith(f"{count} tables from "), title.text)
                    self.assertNotIn(".tx", title.text)
                    entries = root.findall(f"{ns}g[@class='legend']/{ns}text")
                    self.assertEqual(len(entries), count)
                    for entry in entries:
                        x, y = float(entry.get("x")), float(entry.get("y"))
                        self.assertTrue(right <= x and x + width(entry.text, 12) <= 800, entry.text)
                        self.assertTrue(0 <= y - 12 and y <= 480, entry.text)
                        self.assertNotIn("Documents", entry.text)
                        # What the names share goes up to a separator, not into a word.
                        self.assertRegex(entry.text, r"^\d\d ")
                    looks = [(line.get("stroke"), line.get("stroke-dasharray")) for line in root.iter(ns + "polyline")]
                    self.assertEqual(len(set(looks)), count)
                    if shutil.which("rsvg-convert"):
                        png = subprocess.run(["rsvg-convert", svg], capture_output=True, timeout=30)
                        self.assertEqual(png.returncode, 0, png.stderr)
            result = run(["--plot", "-o", os.path.join(folder, "m13.svg"), *names], cwd=folder)
            self.assertEqual(result.status, 2)
            self.assertIn("one chart holds 12 files at the most", result.stderr)
            self.assertFalse(os.path.exists(os.path.join(folder, "m13.svg")))

    def test_a_chart_fits_its_data(self):
        # Values 0 to 94,000 rise across most of the chart, not along its
        # floor; two FILEs with -o share one chart with a line and a legend
        # entry each; a flat table gets a range of its own and still draws.
        ns = "{http://www.w3.org/2000/svg}"
        rising, falling, flat = image([i * 1000 for i in range(95)]), image([94000 - i * 500 for i in range(95)]), image([7] * 95)
        with tempfile.TemporaryDirectory() as folder:
            populate(folder, {"r.tx": rising, "s.tx": falling, "f.tx": flat, "two.tx": flat + rising})
            for args in (["r.tx"], ["-o", "both.svg", "r.tx", "s.tx"], ["f.tx"], ["--image", "2", "two.tx"],
                         ["--full-range", "-o", "full.svg", "r.tx"]):
                self.assertEqual(run(["--plot", *args], cwd=folder).status, 0, args)

            def chart(name):
                root = ElementTree.parse(os.path.join(folder, name)).getroot()
                lines = [[tuple(map(float, p.split(","))) for p in line.get("points").split()]
                         for line in root.findall(ns + "polyline")]
                return root, lines

            root, [line] = chart("r.tx.svg")
            heights = [y for _, y in line]
            self.assertGreater(max(heights) - min(heights), 0.8 * (480 - 48 - 60))
            # Each round tick is marked on the axis and labelled in hex, with its
            # decimal value under it; each tenth slot is marked under the axis;
            # a gridline runs across from each.
            texts = [t.text for t in root.iter(ns + "text")]
            self.assertEqual(texts[texts.index("0x00004E20") + 1], "20000")
            self.assertIn("0x000186A0", texts)  # the top of the axis, 100,000
            y = next(t for t in root.iter(ns + "text") if t.text == "0x00004E20").get("y")
            x = next(t for t in root.iter(ns + "text") if t.text == "10").get("x")
            marks = [(m.get("x1"), m.get("y1"), m.get("x2"), m.get("y2")) for m in root.iter(ns + "line")]
            for mark in (("105.0", y, "110.0", y), ("110.0", y, "780.0", y), (x, "420.0", x, "425.0"),
                         (x, "48.0", x, "420.0")):
                self.assertIn(mark, marks)
            root, lines = chart("both.svg")
            self.assertEqual(len(lines), 2)
            # Names that share nothing: no "from" left hanging.
            self.assertEqual(root.find(ns + "title").text, "2 tables")
            self.assertEqual([t.text for t in root.iter(ns + "text") if t.text in ("r.tx", "s.tx")], ["r.tx", "s.tx"])
            self.assertEqual(len(root.findall(f"./{ns}g/{ns}circle")), 190)
            _, [line] = chart("full.svg")
            self.assertLess(max(y for _, y in line) - min(y for _, y in line), 10)
            # A flat table is drawn across the middle of the range it gets.
            _, [line] = chart("f.tx.svg")
            self.assertEqual({y for _, y in line}, {(48 + 420) / 2})
            root, _ = chart("two.tx.svg")
            self.assertEqual(root.find(ns + "title").text, "two.tx, table 2")
            if shutil.which("rsvg-convert"):
                for name in ("f.tx.svg", "both.svg"):
                    png = subprocess.run(["rsvg-convert", os.path.join(folder, name)], capture_output=True, timeout=30)
                    self.assertEqual(png.returncode, 0, png.stderr)


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
        nothing = ["txconv: nothing converted: the answer was not 1 or 2\n"]
        self.check_cases([Case(f"answer {answer[:12]!r}", {"t.tx": TABLE}, ["t.tx"], answer, after, status,
                               refused if status else [] if after == made else nothing)
                          for answer, after, status in rows])


class Languages(CaseTest):
    # Chosen as gettext chooses, from the environment of each run.
    ZH = "LANG=zh_CN.UTF-8"
    BAD = b"uv=12 45678\r\nuv=00000001\r\n"

    def test_cases(self):
        zh_missing = ["txconv: gone.tx: 无法读取：没有那个文件或目录"]
        en_missing = ["txconv: gone.tx: cannot be read: No such file or directory"]
        self.check_cases([
            Case("LANG=zh_CN.UTF-8 says a failure in Chinese", {}, [], b"", {}, 1, zh_missing,
                 shell=f'{self.ZH} "$T" -2 gone.tx'),
            Case("and its warnings", {"w.txt": self.BAD}, [], b"", {"w.txt": self.BAD, "w.tx": image([0, 1])}, 0,
                 ["txconv: w.txt:1: 值不是 8 位十六进制数字；按 0 存储", "txconv: w.txt: 含 2 个值；槽位 2 至 94 为 0"],
                 shell=f'{self.ZH} "$T" -1 w.txt'),
            Case("and a usage error, naming the option as given", {}, [], b"", {}, 2,
                 ["txconv: 未知选项“--frobnicate”\n用法：txconv PATH..."],
                 shell=f'{self.ZH} "$T" --frobnicate'),
            Case("LANG=C says it in English", {}, [], b"", {}, 1, en_missing, shell='LANG=C "$T" -2 gone.tx'),
            Case("LC_ALL=C wins over LANG", {}, [], b"", {}, 1, en_missing,
                 shell=f'LC_ALL=C {self.ZH} "$T" -2 gone.tx'),
            Case("LANGUAGE=zh_CN wins over LANG=en_US.UTF-8", {}, [], b"", {}, 1, zh_missing,
                 shell='LANGUAGE=zh_CN LANG=en_US.UTF-8 "$T" -2 gone.tx'),
            Case("a Chinese locale that is not UTF-8 gets English", {}, [], b"", {}, 1, en_missing,
                 shell='LANG=zh_CN.GB18030 "$T" -2 gone.tx'),
            Case("and so do characters that are not", {}, [], b"", {}, 1, en_missing,
                 shell=f'LC_CTYPE=C {self.ZH} "$T" -2 gone.tx'),
            Case("LANGUAGE counts in C.UTF-8, as gettext has it", {}, [], b"", {}, 1, zh_missing,
                 shell='LANGUAGE=zh_CN:en LANG=C.UTF-8 "$T" -2 gone.tx'),
            Case("scripts read standard input as -, whatever the language", {"t.tx": TABLE}, [], b"", {"t.tx": TABLE}, 0,
                 shell=f'{self.ZH} "$T" --show --format json -2 - < t.tx | grep -q \'^{{"file": "-"\''),
            # The menu and what scripts read stay as they are.
            Case("the menu is the menu in Chinese too", {"p.txt": LISTING}, [], b"1\n",
                 {"p.txt": LISTING, "p.tx": TABLE}, 0, ["txconv: p.tx: 表已写入"], stdout=MENU,
                 shell=f'{self.ZH} "$T" p.txt'),
            Case("a batch's count, with the language's own punctuation", {"t.tx": TABLE, "t.txt": b""}, [], b"",
                 {"t.tx": TABLE, "t.txt": b""}, 1, ["txconv: t.txt: 已存在", "txconv: gone.tx: 无法读取",
                                                   "txconv: 2 个文件：0 个已转换，1 个已跳过（输出已存在），1 个失败\n"],
                 shell=f'{self.ZH} "$T" -2 t.tx gone.tx'),
            Case("FILE: ok and IN -> OUT", {"t.tx": TABLE}, [], b"", {"t.tx": TABLE, "t.txt": LISTING}, 0,
                 ["t.tx: ok\n", "t.tx -> t.txt\n"], shell=f'{self.ZH} "$T" -cv t.tx && {self.ZH} "$T" -2v t.tx'),
        ])

    def test_help_in_chinese_names_every_option(self):
        english = run(["--help"]).stdout.decode()
        with tempfile.TemporaryDirectory() as folder:
            chinese = run_shell(f'{self.ZH} "$T" --help', b"", folder).stdout.decode()
        self.assertIn("用法：txconv PATH...", chinese)
        self.assertIn("  -1, --to-tx          清单转为表\n", chinese)
        options = re.findall(r"^  (?:-\w, |    )(--[\w-]+(?: [A-Z]+)?)", english, re.M)
        self.assertEqual(len(options), 17)
        for option in options:
            self.assertIn(option, chinese)


class Refusals(CaseTest):
    def test_cases(self):
        self.check_cases([
            Case("missing listing", {}, ["gone.txt"], b"1\n", {}, 1, ["txconv: gone.txt: ", OPEN_FAILED]),
            Case("missing table", {}, ["gone.tx"], b"2\n", {}, 1, ["txconv: gone.tx: ", OPEN_FAILED]),
            Case("listing is a folder", {"dir.txt": None}, ["dir.txt"], b"1\n", {}, 1,
                 ["txconv: dir.txt: cannot be read: is a folder", OPEN_FAILED]),
            Case("table is a folder", {"dir.tx": None}, ["dir.tx"], b"2\n", {}, 1, ["txconv: dir.tx: ", OPEN_FAILED]),
            Case("output is a folder", {"p.txt": THREE, "p.tx": None}, ["p.txt"], b"1\n", {"p.txt": THREE}, 1,
                 ["txconv: p.tx: ", WRITE_FAILED]),
            Case("table read back into itself", {"x.tx": TABLE}, ["x.tx"], b"1\n", {"x.tx": TABLE}, 1,
                 ["txconv: x.tx: output would overwrite the input", SAME_FILE]),
            Case("listing written into itself", {"x.txt": LISTING}, ["x.txt"], b"2\n", {"x.txt": LISTING}, 1,
                 ["txconv: x.txt: output would overwrite", SAME_FILE]),
            Case("an empty path", {}, [""], b"1\n", {}, 1, ["txconv: : ", OPEN_FAILED]),
            Case("an answer that cannot be read", {"p.txt": LISTING}, [], b"", {"p.txt": LISTING}, 1,
                 ["txconv: standard input: cannot be read: Is a directory"], shell='"$T" p.txt < .'),
            # A dropped path is a file, whatever its name.
            Case("a path of -", {}, ["-"], b"2\n", {}, 1, ["txconv: -: cannot be read: No such file", OPEN_FAILED]),
            Case("a path of /?", {}, ["/?"], b"2\n", {}, 1, ["txconv: /?: cannot be read", OPEN_FAILED]),
            # The output's name is made up, not typed: a link planted there is
            # never followed, whether it leads somewhere or nowhere.
            Case("output is a link", {"p.txt": THREE, "p.tx": Link("victim"), "victim": b"secret"}, ["p.txt"],
                 b"1\n", {"p.txt": THREE, "p.tx": Link("victim"), "victim": b"secret"}, 1,
                 ["txconv: p.tx: cannot be written: is a symbolic link; not followed", WRITE_FAILED]),
            Case("output is a dangling link", {"t.tx": TABLE, "t.txt": Link("made")}, ["t.tx"], b"2\n",
                 {"t.tx": TABLE, "t.txt": Link("made")}, 1,
                 ["txconv: t.txt: cannot be written: is a symbolic link; not followed"]),
            # Nothing but regular files, and nothing that can make an open wait.
            Case("listing is a FIFO", {"f.txt": Fifo()}, ["f.txt"], b"1\n", {"f.txt": Fifo()}, 1,
                 ["txconv: f.txt: cannot be read: is not a regular file", OPEN_FAILED]),
            Case("output is a FIFO", {"t.tx": TABLE, "t.txt": Fifo()}, ["t.tx"], b"2\n",
                 {"t.tx": TABLE, "t.txt": Fifo()}, 1, ["txconv: t.txt: cannot be written: is not a regular file",
                                                        WRITE_FAILED]),
            Case("an endless device as listing", {}, ["/dev/zero"], b"1\n", {}, 1,
                 ["txconv: /dev/zero: cannot be read: is not a regular file", OPEN_FAILED]),
            Case("a file under /proc, through a link", {"o.txt": Link("/proc/sys/kernel/ostype")}, ["o.txt"],
                 b"1\n", {"o.txt": Link("/proc/sys/kernel/ostype"), "o.tx": image([])},
                 stderr=["txconv: o.txt: holds no values"]),
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
            self.assertIn("txconv: nothing converted: no file was given\n", result.stderr)
            self.assertEqual(snapshot(folder), {})

    def test_warnings_stay_on_a_console_that_outlives_the_run(self):
        # No closing notice repeats them, as only a console that closes does.
        with tempfile.TemporaryDirectory() as folder:
            populate(folder, {"g.txt": b"uv=1\r\n"})
            result = run(["g.txt"], b"1\n", cwd=folder)
            self.assertEqual((result.status, result.stderr.count("[press Enter]")), (0, 1), result.stderr)

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

    def test_a_terminal_gets_no_table_and_gives_no_filter_input(self):
        # As gzip: no binary on a terminal unless forced; and a filter whose
        # standard input is a terminal would only wait. Typed at a terminal,
        # a listing ends at one end of file (Ctrl-D), as cat's input does.
        rows = ((["-1", "-"], "stdout", b"", 1, "a table is not written to a terminal"),
                (["-1", "-o", "/dev/stdout", "-"], "stdout", b"", 1, "a table is not written to a terminal"),
                (["-1f", "-"], "stdout", LISTING, 0, ""),
                (["-2", "-"], "stdout", TABLE, 0, ""),
                (["-2"], "stdin", b"", 2, "standard input is a terminal"),
                (["--version"], "stdin", b"", 0, ""),
                (["--help"], "stdin", b"", 0, ""),
                (["-1", "--show", "-"], "stdin", b"uv=0000002A\n\x04", 0, "holds 1 value"))
        for args, where, given, status, said in rows:
            with self.subTest(args):
                main, other = pty.openpty()
                try:
                    streams = {"stdout": other, "stdin": subprocess.PIPE} if where == "stdout" else \
                        {"stdin": other, "stdout": subprocess.PIPE}
                    proc = subprocess.Popen([BINARY, *args], stderr=subprocess.PIPE, **streams)
                    if where == "stdin":
                        os.write(main, given)
                    _, err = proc.communicate(given if where == "stdout" else None, timeout=30)
                finally:
                    os.close(other)
                    os.close(main)
                self.assertEqual(proc.returncode, status, err)
                self.assertIn(said, err.decode())

    def test_help_that_cannot_be_written_fails_and_says_so(self):
        for option, redirect, said in (("--help", ">/dev/full", "No space left on device"),
                                        ("--version", ">/dev/full", "No space left on device"),
                                        ("--help", ">&-", "was closed when txconv started"),
                                        ("--version", ">&-", "was closed when txconv started")):
            with self.subTest(option=option, redirect=redirect), tempfile.TemporaryDirectory() as folder:
                result = run_shell(f'"$T" {option} {redirect}', b"", folder)
                self.assertEqual(result.status, 1)
                self.assertIn(f"txconv: standard output: cannot be written: {said}", result.stderr)

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


TOP = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")


def read_top(*parts):
    with open(os.path.join(TOP, *parts), encoding="utf-8") as f:
        return f.read()


class Documentation(unittest.TestCase):
    def test_the_reference_and_man_page_name_every_option(self):
        reference = read_top("doc", "command-line.md")
        page = read_top("doc", "txconv.1").replace("\\-", "-")
        options = re.findall(r"^  (?:(-\w), )?\s*(--[\w-]+)", run(["--help"]).stdout.decode(), re.M)
        self.assertGreater(len(options), 8)
        for short, long in options:
            for name in filter(None, (short, long)):
                self.assertIn(f"`{name}", reference, name)
                self.assertRegex(page, rf"(?<![\w-]){name}(?![\w-])", name)

    def test_the_readme_tour_runs_as_shown(self):
        # Each command of the tour, run on copies of the samples, exits 0 and
        # prints the lines shown under it, in order.
        readme = read_top("README.md")
        tour = readme[readme.index("## A short tour"):]
        block = tour[tour.index("```console\n") + 11:tour.index("\n```", tour.index("```console"))]
        commands = re.split(r"^\$ ", block, flags=re.M)[1:]
        self.assertGreater(len(commands), 5)
        with tempfile.TemporaryDirectory() as folder:
            for sample in ("curve.txt", "ramp.tx"):
                shutil.copy(os.path.join(TOP, "examples", sample), folder)
            env = dict(os.environ, PATH=os.path.dirname(os.path.abspath(BINARY)) + os.pathsep + os.environ["PATH"])
            for entry in commands:
                command, *shown = entry.rstrip("\n").split("\n")
                with self.subTest(command):
                    proc = subprocess.run(["sh", "-c", command], cwd=folder, env=env, capture_output=True, timeout=30)
                    said = (proc.stdout + proc.stderr).decode()
                    self.assertEqual(proc.returncode, 0, said)
                    at = 0
                    for line in shown:
                        found = said.find(line, at)
                        self.assertGreaterEqual(found, 0, f"{line!r} not in {said[:500]!r}")
                        at = found + len(line)

    @unittest.skipUnless(shutil.which("mandoc"), "needs mandoc")
    def test_the_chinese_man_page_puts_no_space_beside_its_punctuation(self):
        # roff joins input lines with a space, which Chinese never puts next
        # to its own full-width punctuation. Rendered on one long line, so
        # that no break hides one; bold and italic overstrikes taken out.
        page = subprocess.run(["mandoc", "-Tutf8", "-Owidth=1000", os.path.join(TOP, "doc", "zh_CN", "txconv.1")],
                              capture_output=True, check=True).stdout.decode()
        text = re.sub(r".\x08", "", page)
        self.assertEqual(re.findall(r"\S [，。：；、（）]|[，。：；、）] \S", text), [])

    def test_the_readme_fits_on_a_page_and_links_its_pages(self):
        readme = read_top("README.md")
        self.assertLessEqual(readme.count("\n"), 200)
        for page in re.findall(r"\]\((doc/[\w.-]+)\)", readme):
            self.assertTrue(os.path.isfile(os.path.join(TOP, page)), page)


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
