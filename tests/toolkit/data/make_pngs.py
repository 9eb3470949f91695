#!/usr/bin/env python3
"""Writes the toolkit tests' images next to this script."""
import os
import struct
import zlib


def png(name, w, h, pixel):
    rows = b"".join(b"\0" + b"".join(bytes(pixel(x, y)) for x in range(w)) for y in range(h))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    data = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 6, 0, 0, 0))
    with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), name), "wb") as f:
        f.write(data + chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b""))


def knob(x, y):  # 31 frames of 40x40, a bar growing with the frame number
    frame, fy = divmod(y, 40)
    if 4 <= fy < 36 and 4 <= x < 36:
        return (230, 140, 20, 255) if (x - 4) < (frame * 32) // 30 else (50, 50, 50, 255)
    return (20, 20, 20, 255)


png("strip.png", 10, 30, lambda x, y: [(255, 0, 0, 255), (0, 255, 0, 255), (0, 0, 255, 255)][y // 10])
png("alpha.png", 4, 1, lambda x, y: [(255, 255, 255, 255), (255, 255, 255, 128), (0, 0, 0, 0), (0, 0, 0, 255)][x])
png("scene_back.png", 320, 200, lambda x, y: (90, 90, 110, 255) if x % 40 == 0 or y % 40 == 0
    else (30 + (x * 60) // 320, 40, 60 + (y * 80) // 200, 255))
png("scene_knob.png", 40, 31 * 40, knob)
png("scene_kick.png", 60, 40, lambda x, y: (200, 200, 60, 255) if y >= 20 else (70, 70, 30, 255))
