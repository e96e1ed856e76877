"""Draws txconv's icon and writes it as a Windows .ico (16, 32 and 48 pixels,
32-bit). The result, app/txconv.ico, is committed; run this again only to
change the drawing.

usage: python3 scripts/make_icon.py app/txconv.ico
"""

import struct
import sys

BLUE = (0x2B, 0x5C, 0xAB, 0xFF)
WHITE = (0xFF, 0xFF, 0xFF, 0xFF)
CLEAR = (0, 0, 0, 0)


def pixel(x, y, size):
    """A blue sheet with rounded corners, ruled with white lines of text."""
    edge = size / 16
    corner = 2 * edge
    inside_x = min(x + 0.5, size - x - 0.5)
    inside_y = min(y + 0.5, size - y - 0.5)
    if inside_x < corner and inside_y < corner and (corner - inside_x) ** 2 + (corner - inside_y) ** 2 > corner ** 2:
        return CLEAR
    row = (y + 0.5) / size
    col = (x + 0.5) / size
    for top in (0.25, 0.42, 0.59, 0.76):
        if top <= row < top + 0.09 and 0.2 <= col < (0.8 if top != 0.76 else 0.55):
            return WHITE
    return BLUE


def image(size):
    """One icon image: a BITMAPINFOHEADER, BGRA rows bottom-up, an AND mask."""
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 32, 0, 0, 0, 0, 0, 0)
    rows = b""
    for y in reversed(range(size)):
        for x in range(size):
            r, g, b, a = pixel(x, y, size)
            rows += bytes((b, g, r, a))
    mask_row = ((size + 31) // 32) * 4
    return header + rows + bytes(mask_row * size)


def main():
    sizes = (16, 32, 48)
    images = [image(size) for size in sizes]
    out = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for size, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(sys.argv[1], "wb") as f:
        f.write(out + b"".join(images))


if __name__ == "__main__":
    main()
