#!/usr/bin/env python3
"""Draws the list's drag pointer (an arrow over a page with up and down
marks) and writes it as a 32x32, 32-bit Windows icon: drag.ico."""
import struct
import sys

W = H = 32
px = [[(0, 0, 0, 0)] * W for _ in range(H)]  # (b, g, r, a), row 0 at top

def put(x, y, c):
    if 0 <= x < W and 0 <= y < H:
        px[y][x] = c

BLACK, WHITE, BLUE = (0, 0, 0, 255), (255, 255, 255, 255), (200, 110, 30, 255)

# The page: a white sheet with a black outline and three text lines.
for y in range(12, 31):
    for x in range(12, 29):
        edge = x in (12, 28) or y in (12, 30)
        put(x, y, BLACK if edge else WHITE)
for y in (17, 21, 25):
    for x in range(15, 26):
        put(x, y, BLUE)
# Up and down marks at the page's right: the entry travels.
for i in range(4):
    for x in range(24 - i, 25 + i):
        put(x, 1 + i, BLACK)
        put(x, 10 - i, BLACK)

# The arrow pointer, hotspot at (0, 0): a head of 12 rows and a short stem.
for y in range(0, 12):
    for x in range(0, y + 1):
        put(x, y, BLACK if x in (0, y) or y == 11 else WHITE)
for y in range(11, 17):
    for x in range(4, 8):
        put(x, y, BLACK if x in (4, 7) or y == 16 else WHITE)

xor = b"".join(struct.pack("4B", *px[y][x]) for y in reversed(range(H)) for x in range(W))
and_row = (W + 31) // 32 * 4
mask = b"".join(
    bytes(
        sum((0x80 >> b) for b in range(8) if px[y][(i * 8) + b][3] == 0) if i * 8 < W else 0
        for i in range(and_row)
    )
    for y in reversed(range(H))
)
header = struct.pack("<IiiHHIIiiII", 40, W, H * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
image = header + xor + mask
icon = struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", W, H, 0, 0, 1, 32, len(image), 22)
with open(sys.argv[1] if len(sys.argv) > 1 else "drag.ico", "wb") as out:
    out.write(icon + image)
