#!/usr/bin/env python3
"""Writes pencil.avi, the progress dialog's animation: a pencil drawing a wavy line.

An uncompressed 8-bit palette AVI with bottom-up frames and an index, the form the
animation control plays without a codec. Usage: make_pencil_avi.py OUTPUT
"""
import math
import struct
import sys

WIDTH, HEIGHT = 64, 48
FRAMES = 16
FRAME_MS = 200  # five frames a second: drawing each costs the shell's thread

# Palette: index 0 is the background; the control treats the colour of the first pixel as
# transparent (ACS_TRANSPARENT).
PALETTE = [
    (0xF0, 0xF0, 0xF0),  # 0 background
    (0xFF, 0xFF, 0xFF),  # 1 paper
    (0x90, 0x90, 0x90),  # 2 paper edge
    (0x20, 0x30, 0x80),  # 3 ink
    (0xF2, 0xC2, 0x1E),  # 4 pencil body
    (0xC8, 0x96, 0x10),  # 5 pencil shade
    (0xE8, 0xB8, 0x88),  # 6 wood
    (0x30, 0x30, 0x30),  # 7 lead
    (0xE0, 0x80, 0x90),  # 8 eraser
    (0xA0, 0xA0, 0xA8),  # 9 ferrule
]


def wave_y(x):
    return 32 + 6 * math.sin((x - 8) / 5.1)


def draw_frame(frame):
    pixels = [[0] * WIDTH for _ in range(HEIGHT)]

    def put(x, y, colour):
        x, y = int(round(x)), int(round(y))
        if 0 <= x < WIDTH and 0 <= y < HEIGHT:
            pixels[y][x] = colour

    # A sheet of paper.
    for y in range(14, 46):
        for x in range(4, 60):
            edge = y in (14, 45) or x in (4, 59)
            pixels[y][x] = 2 if edge else 1

    # The line drawn so far.
    end_x = 8 + (32 * frame) / (FRAMES - 1)
    x = 8.0
    while x <= end_x:
        put(x, wave_y(x), 3)
        put(x, wave_y(x) + 1, 3)
        x += 0.25

    # The pencil, its point on the line's end, leaning up and to the right.
    tip_x, tip_y = end_x, wave_y(end_x)
    ux, uy = math.cos(math.radians(-55)), math.sin(math.radians(-55))  # along the pencil
    px, py = -uy, ux  # across it
    for step in range(0, 44):
        t = step * 0.75
        if t < 2.5:
            colour, half = 7, t * 0.35
        elif t < 7:
            colour, half = 6, 0.9 + (t - 2.5) * 0.45
        elif t < 27:
            colour, half = 4, 3.0
        elif t < 29.5:
            colour, half = 9, 3.0
        else:
            colour, half = 8, 3.0
        cx, cy = tip_x + ux * t, tip_y + uy * t
        s = -half
        while s <= half:
            shade = 5 if colour == 4 and s > half - 1.2 else colour
            put(cx + px * s, cy + py * s, shade)
            s += 0.5
    return pixels


def frame_bytes(pixels):
    stride = (WIDTH + 3) & ~3
    rows = []
    for row in reversed(pixels):  # bottom-up
        rows.append(bytes(row) + b"\0" * (stride - WIDTH))
    return b"".join(rows)


def chunk(fourcc, data):
    pad = b"\0" if len(data) % 2 else b""
    return fourcc + struct.pack("<I", len(data)) + data + pad


def riff_list(kind, fourcc, data):
    return kind + struct.pack("<I", len(data) + 4) + fourcc + data


def build():
    frames = [frame_bytes(draw_frame(i)) for i in range(FRAMES)]
    frame_size = len(frames[0])

    avih = struct.pack(
        "<IIIIIIIIII4I",
        FRAME_MS * 1000,  # microseconds per frame
        frame_size * 1000 // FRAME_MS,  # max bytes per second
        0,  # padding granularity
        0x10,  # AVIF_HASINDEX
        FRAMES,
        0,  # initial frames
        1,  # streams
        frame_size,  # suggested buffer size
        WIDTH,
        HEIGHT,
        0, 0, 0, 0,
    )
    strh = struct.pack(
        "<4s4sIHHIIIIIIIIhhhh",
        b"vids",
        b"DIB ",
        0,  # flags
        0,  # priority
        0,  # language
        0,  # initial frames
        FRAME_MS,  # scale
        1000,  # rate: rate / scale = frames per second
        0,  # start
        FRAMES,  # length
        frame_size,  # suggested buffer size
        0xFFFFFFFF,  # quality: default
        0,  # sample size
        0, 0, WIDTH, HEIGHT,
    )
    bitmap_info = struct.pack(
        "<IiiHHIIiiII",
        40, WIDTH, HEIGHT, 1, 8, 0, frame_size, 2835, 2835, len(PALETTE), len(PALETTE)
    ) + b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in PALETTE)
    strl = riff_list(b"LIST", b"strl", chunk(b"strh", strh) + chunk(b"strf", bitmap_info))
    hdrl = riff_list(b"LIST", b"hdrl", chunk(b"avih", avih) + strl)

    movi_data = b""
    index = b""
    for data in frames:
        offset = 4 + len(movi_data)  # from the 'movi' fourcc to the chunk's header
        movi_data += chunk(b"00db", data)
        index += struct.pack("<4sIII", b"00db", 0x10, offset, len(data))  # AVIIF_KEYFRAME
    movi = riff_list(b"LIST", b"movi", movi_data)
    return riff_list(b"RIFF", b"AVI ", hdrl + movi + chunk(b"idx1", index))


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    with open(sys.argv[1], "wb") as out:
        out.write(build())


if __name__ == "__main__":
    main()
