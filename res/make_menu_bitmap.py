#!/usr/bin/env python3
"""Writes menu.bmp: the submenu bitmap, 13 x 11 pixels, 16 colours, a red cross on white.

Run once when the picture changes; the .bmp is kept in the repository as a source file.
"""
import struct
import sys

WIDTH, HEIGHT = 13, 11

# The standard 16-colour palette as (red, green, blue); a BMP stores blue first.
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
RED, WHITE = 9, 15

# Top row first; 'X' is red. Two-pixel strokes from corner to corner, centred.
PICTURE = [
    ".............",
    "..XX.....XX..",
    "...XX...XX...",
    "....XX.XX....",
    ".....XXX.....",
    "......X......",
    ".....XXX.....",
    "....XX.XX....",
    "...XX...XX...",
    "..XX.....XX..",
    ".............",
]


def pixel_rows():
    assert len(PICTURE) == HEIGHT and all(len(row) == WIDTH for row in PICTURE)
    for row in reversed(PICTURE):  # a BMP stores the bottom row first
        indices = [RED if c == "X" else WHITE for c in row] + [0]
        packed = bytes((indices[i] << 4) | indices[i + 1] for i in range(0, WIDTH + 1, 2))
        yield packed + b"\0" * (-len(packed) % 4)  # rows are padded to 4 bytes


def bitmap():
    pixels = b"".join(pixel_rows())
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in PALETTE)
    header_size = 14 + 40 + len(palette)
    file_header = struct.pack("<2sIHHI", b"BM", header_size + len(pixels), 0, 0, header_size)
    info_header = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 4, 0, len(pixels),
                              2835, 2835, 16, 0)
    return file_header + info_header + palette + pixels


if __name__ == "__main__":
    out = sys.argv[1] if len(sys.argv) > 1 else "menu.bmp"
    with open(out, "wb") as f:
        f.write(bitmap())
