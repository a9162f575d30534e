#!/usr/bin/env python3
"""Writes HAND-M.CUR: the pointing-hand pointer shown over the main window's
buttons. 32 x 32 pixels, 32-bit colour with an AND mask, hot spot at the tip
of the index finger. Run it again after changing the drawing:

    python3 make_hand_cursor.py HAND-M.CUR
"""
import struct
import sys

# '#' outline, '.' fill, ' ' transparent. Row 0 is the top.
HAND = [
    "      ##                        ",
    "     #..#                       ",
    "     #..#                       ",
    "     #..#                       ",
    "     #..#                       ",
    "     #..###                     ",
    "     #..#..###                  ",
    "     #..#..#..##                ",
    "     #..#..#..#.#               ",
    "  ## #..#..#..#..#              ",
    " #..##........#..#              ",
    " #...#...........#              ",
    "  #..#...........#              ",
    "  #..............#              ",
    "   #.............#              ",
    "   #.............#              ",
    "    #...........#               ",
    "    #...........#               ",
    "     #.........#                ",
    "     #.........#                ",
    "     ###########                ",
]
SIZE = 32
HOTSPOT = (6, 0)


def pixels():
    rows = HAND + [""] * (SIZE - len(HAND))
    return [row.ljust(SIZE)[:SIZE] for row in rows]


def bitmap():
    grid = pixels()
    colour = bytearray()
    mask = bytearray()
    # Device-independent bitmaps run bottom-up.
    for row in reversed(grid):
        bits = 0
        for x, ch in enumerate(row):
            if ch == "#":
                colour += bytes((0, 0, 0, 255))
            elif ch == ".":
                colour += bytes((255, 255, 255, 255))
            else:
                colour += bytes((0, 0, 0, 0))
                bits |= 1 << (SIZE - 1 - x)
        mask += struct.pack(">I", bits)
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 32, 0,
                         len(colour) + len(mask), 0, 0, 0, 0)
    return header + bytes(colour) + bytes(mask)


def main(target):
    image = bitmap()
    directory = struct.pack("<HHH", 0, 2, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, HOTSPOT[0], HOTSPOT[1],
                        len(image), 6 + 16)
    with open(target, "wb") as out:
        out.write(directory + entry + image)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "HAND-M.CUR")
