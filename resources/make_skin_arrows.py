#!/usr/bin/env python3
"""Writes the skin's drop-down arrows beside the skin (x/down-arrow.png and
x/down-arrow-disabled.png): 9 x 5 pixels, a triangle pointing down, in the
skin's ink colours, edges softened by coverage. Run it again after changing
the drawing:

    python3 make_skin_arrows.py x
"""
import os
import struct
import sys
import zlib

WIDTH, HEIGHT = 9, 5
COLOURS = {"down-arrow.png": (0x3D, 0x5A, 0x80), "down-arrow-disabled.png": (0xB4, 0xBF, 0xCC)}


def coverage(x, y):
    """How much of pixel (x, y) the triangle covers, sampled 4 x 4."""
    inside = 0
    for i in range(4):
        for j in range(4):
            px, py = x + (i + 0.5) / 4, y + (j + 0.5) / 4
            half = (WIDTH / 2) * (1 - py / HEIGHT)
            inside += abs(px - WIDTH / 2) <= half
    return inside / 16


def png(rgb):
    rows = b""
    for y in range(HEIGHT):
        rows += b"\0" + b"".join(
            struct.pack("4B", *rgb, round(255 * coverage(x, y))) for x in range(WIDTH))

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

    header = struct.pack(">IIBBBBB", WIDTH, HEIGHT, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b""))


if __name__ == "__main__":
    folder = sys.argv[1] if len(sys.argv) > 1 else "."
    for name, rgb in COLOURS.items():
        with open(os.path.join(folder, name), "wb") as out:
            out.write(png(rgb))
