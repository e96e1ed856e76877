"""The batch that `txconv -2 FILE...` (or -1) does, as one Python process
with the same durability: each output is written to a temporary file,
synced and renamed into place, and the folder is synced at the end.

usage: batch_peer.py -1|-2 FILE...
"""

import os
import struct
import sys


def to_listing(data):
    return b"".join(b"uv=%08X\r\n" % v for v in struct.unpack("<95I", data[:380]))


def to_table(text):
    values = [int(line[3:11], 16) for line in text.split(b"\r\n")[:95] if line]
    return struct.pack("<95I", *(values + [0] * (95 - len(values))))


def main():
    convert, extension = (to_table, ".tx") if sys.argv[1] == "-1" else (to_listing, ".txt")
    for name in sys.argv[2:]:
        with open(name, "rb") as f:
            data = convert(f.read())
        out = os.path.splitext(name)[0] + extension
        temporary = out + ".tmp"
        fd = os.open(temporary, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o666)
        os.write(fd, data)
        os.fsync(fd)
        os.close(fd)
        os.rename(temporary, out)
    folder = os.open(".", os.O_RDONLY)
    os.fsync(folder)
    os.close(folder)


if __name__ == "__main__":
    main()
