#!/usr/bin/env python3
"""Writes menu.ico: the submenu bitmap's picture as an icon (16 x 16 and 32 x 32, 32-bit
colour with alpha), for menus that take an icon rather than a bitmap (the Windows 11 menu).

The 13 x 11 picture of make_menu_bitmap.py is centred on a transparent square, scaled by
a whole factor. Run once when the picture changes; the .ico is kept as a source file.
"""
import struct
import sys

from make_menu_bitmap import HEIGHT, PICTURE, WIDTH

RED = (255, 0, 0)
WHITE = (255, 255, 255)


def image(size):
    scale = size // 16
    left = (size - WIDTH * scale) // 2
    top = (size - HEIGHT * scale) // 2
    rows = []
    for y in range(size):
        row = bytearray()
        for x in range(size):
            px, py = (x - left) // scale, (y - top) // scale
            if x >= left and y >= top and px < WIDTH and py < HEIGHT:
                r, g, b = RED if PICTURE[py][px] == "X" else WHITE
                row += bytes((b, g, r, 255))
            else:
                row += bytes(4)  # transparent
        rows.append(bytes(row))
    pixels = b"".join(reversed(rows))  # bottom row first
    # The AND mask is unused with alpha, but must be there: 1 bit a pixel, rows of 4 bytes.
    mask_row = ((size + 31) // 32) * 4
    mask = bytes(mask_row * size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(pixels) + len(mask),
                         0, 0, 0, 0)
    return header + pixels + mask


def icon(sizes=(16, 32)):
    images = [image(size) for size in sizes]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b"".join(images)


if __name__ == "__main__":
    out = sys.argv[1] if len(sys.argv) > 1 else "menu.ico"
    with open(out, "wb") as f:
        f.write(icon())
