#!/usr/bin/env python3
"""Draws the program's icon (an open carton with an arrow leaving it) and writes uninst.ico:
one 32 x 32 and one 16 x 16 image of 16 colours, transparent around the drawing.

Run from anywhere: python3 res/make_icon.py [output]. The output is committed; rerun only
after changing the drawing."""

import os
import struct
import sys

# The standard 16-colour palette, in the order a 4-bit Windows bitmap expects (R, G, B).
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]

# Letters of the drawings: '.' transparent, the rest palette indexes.
INK = {'.': None, 'k': 0, 'r': 1, 'o': 3, 'g': 8, 's': 7, 'R': 9, 'Y': 11, 'w': 15}

ICON_32 = """
................................
...............kk...............
..............kRRk..............
.............kRRRRk.............
............kRRRRRRk............
...........kRRRRRRRRk...........
..........kRRRRRRRRRRk..........
.........kRRRRRRRRRRRRk.........
........kRRRRRRRRRRRRRRk........
........kkkkkRRRRRRkkkkk........
............kRRRRRRk............
............kRRRRRRk............
............kRRRRRRk............
..kk........kRRRRRRk........kk..
..kYkk......kRRRRRRk......kkYk..
...kYYkk....kRRRRRRk....kkYYk...
...kYYYYkk..kRRRRRRk..kkYYYYk...
....kkkkkkkkkrrrrrrkkkkkkkkk....
....koooooooooooooooooooooook...
....kYYYYYYYYYYYYYYYYYYYYYYok...
....kYYYYYYYYYYYYYYYYYYYYYYok...
....kYYYYYYYkkkkkkkkYYYYYYYok...
....kYYYYYYYkwwwwwwkYYYYYYYok...
....kYYYYYYYkkkkkkkkYYYYYYYok...
....kYYYYYYYYYYYYYYYYYYYYYYok...
....kYYYYYYYYYYYYYYYYYYYYYYok...
....kYYYYYYYYYYYYYYYYYYYYYYok...
....kYYYYYYYYYYYYYYYYYYYYYYok...
....koooooooooooooooooooooook...
....kkkkkkkkkkkkkkkkkkkkkkkkk...
................................
................................
"""

ICON_16 = """
.......kk.......
......kRRk......
.....kRRRRk.....
....kRRRRRRk....
...kkkRRRRkkk...
.....kRRRRk.....
.k...kRRRRk...k.
.kYk.kRRRRk.kYk.
..kkkkrrrrkkkkk.
..kooooooooooook
..kYYYYYYYYYYYok
..kYYYkkkkkYYYok
..kYYYkwwwkYYYok
..kYYYYYYYYYYYok
..kooooooooooook
..kkkkkkkkkkkkkk
"""


def rows_of(art, size):
    rows = [line for line in art.strip('\n').split('\n')]
    if len(rows) != size or any(len(r) != size for r in rows):
        raise SystemExit(f'the {size} x {size} drawing is not {size} x {size}')
    return rows


def image(art, size):
    """The icon image: BITMAPINFOHEADER, palette, 4-bit colour rows and 1-bit mask, bottom-up."""
    rows = rows_of(art, size)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for (r, g, b) in PALETTE)
    colour = bytearray()
    mask = bytearray()
    for row in reversed(rows):
        inks = [INK[c] for c in row]
        nibbles = [0 if i is None else i for i in inks]
        line = bytes((nibbles[x] << 4) | nibbles[x + 1] for x in range(0, size, 2))
        colour += line + b'\0' * (-len(line) % 4)
        bits = bytearray((size + 7) // 8)
        for x, i in enumerate(inks):
            if i is None:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits + b'\0' * (-len(bits) % 4)
    return header + palette + bytes(colour) + bytes(mask)


def icon_file(images):
    """ICONDIR, one directory entry per image, then the images."""
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack('<BBBBHHII', size, size, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    return out + b''.join(data for _, data in images)


def main():
    target = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), 'uninst.ico')
    data = icon_file([(32, image(ICON_32, 32)), (16, image(ICON_16, 16))])
    with open(target, 'wb') as f:
        f.write(data)


if __name__ == '__main__':
    main()
