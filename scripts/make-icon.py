#!/usr/bin/python3
"""Draws the program's icon (a letter on a blue desk pad) as data/pulpex.png, 128x128 RGBA."""
import struct, zlib, math, sys, os

N = 128
px = [[(0, 0, 0, 0)] * N for _ in range(N)]

def inside_round_rect(x, y, x0, y0, x1, y1, r):
    cx = min(max(x, x0 + r), x1 - r)
    cy = min(max(y, y0 + r), y1 - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r and x0 <= x <= x1 and y0 <= y <= y1

for y in range(N):
    for x in range(N):
        if inside_round_rect(x + .5, y + .5, 6, 6, 122, 122, 22):
            t = y / N
            px[y][x] = (int(30 + 20 * t), int(90 + 40 * t), int(170 + 40 * t), 255)

# The envelope: a white body with a darker flap.
for y in range(38, 94):
    for x in range(24, 104):
        px[y][x] = (250, 250, 252, 255)
for y in range(38, 94):
    for x in range(24, 104):
        d = abs((x - 64) * 0.7) - (y - 38)
        if -2.2 < d < 0.8 and y < 72:
            px[y][x] = (60, 100, 170, 255)
# A red stamp.
for y in range(44, 58):
    for x in range(86, 98):
        px[y][x] = (205, 45, 45, 255)

raw = b"".join(b"\x00" + bytes(c for p in row for c in p) for row in px)
def chunk(tag, data):
    return struct.pack(">I", len(data)) + tag + data + struct.pack(">I", zlib.crc32(tag + data) & 0xFFFFFFFF)
png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", N, N, 8, 6, 0, 0, 0)) \
    + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")
out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "data", "pulpex.png")
open(out, "wb").write(png)
