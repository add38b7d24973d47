#!/usr/bin/env python3
# Draws FEHLER_BINARY.bmp, the 32 x 32 24-bit picture the image viewer's placeholder shows: a
# yellow document sheet with a folded corner and a black question mark, a round dark badge
# with a white cross over its top left corner, on light grey (the bottom-left pixel, which the
# viewer takes as the transparent colour). Run it again after changing the drawing.
import struct

W = H = 32
GREY, YELLOW, FOLD, BLACK, BADGE, WHITE = (192, 192, 192), (255, 236, 96), (214, 184, 40), (0, 0, 0), (128, 0, 0), (255, 255, 255)
px = [[GREY] * W for _ in range(H)]

def put(x, y, c):
    if 0 <= x < W and 0 <= y < H:
        px[y][x] = c

# The sheet: 8..27 x 3..30, its top right corner folded over (6 pixels).
for y in range(3, 31):
    for x in range(8, 28):
        if x - 21 > y - 3:  # cut corner
            continue
        edge = x in (8, 27) or y in (3, 30) or x - 21 == y - 3
        put(x, y, BLACK if edge else YELLOW)
for y in range(3, 10):
    for x in range(21, 28):
        if x - 21 <= y - 3:
            put(x, y, BLACK if x == 21 or y == 9 or x - 21 == y - 3 else FOLD)

# The question mark, 2 pixels thick.
for x, y in [(15, 11), (16, 11), (17, 11), (18, 11), (19, 11), (20, 11), (14, 12), (15, 12), (20, 12), (21, 12),
             (14, 13), (15, 13), (20, 13), (21, 13), (20, 14), (21, 14), (19, 15), (20, 15), (18, 16), (19, 16),
             (17, 17), (18, 17), (17, 18), (18, 18), (17, 19), (18, 19), (17, 22), (18, 22), (17, 23), (18, 23)]:
    put(x, y, BLACK)

# The badge: a dark disc of radius 6.5 around (7, 7) with a white cross.
for y in range(H):
    for x in range(W):
        if (x - 7) ** 2 + (y - 7) ** 2 <= 42:
            put(x, y, BADGE)
for d in range(-3, 4):
    for t in (0, 1):  # two pixels thick
        put(7 + d, 7 + d + t, WHITE)
        put(7 + d, 7 - d + t, WHITE)

rows = b''.join(bytes(c for p in px[y] for c in (p[2], p[1], p[0])) for y in reversed(range(H)))
header = struct.pack('<2sIHHI', b'BM', 54 + len(rows), 0, 0, 54)
info = struct.pack('<IiiHHIIiiII', 40, W, H, 1, 24, 0, len(rows), 2835, 2835, 0, 0)
open(__file__.replace('make-fehler-binary.py', 'FEHLER_BINARY.bmp'), 'wb').write(header + info + rows)
