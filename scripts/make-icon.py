#!/usr/bin/env python3
"""Draws the launcher's default icon, src/win32/rdplaunch.ico: a blue rounded square with
a white screen showing a window, in 16, 32, 48 and 256 pixels. The small images are
bitmaps (which every Windows reads), the 256-pixel one is PNG (Windows Vista and later).
Standard library only; the result is committed, so run it only to change the drawing.

Usage: scripts/make-icon.py [OUTPUT]
"""

import struct
import sys
import zlib
from pathlib import Path

SIZES = (16, 32, 48, 256)
BLUE = (0x1F, 0x5F, 0xB4)
WHITE = (0xFF, 0xFF, 0xFF)
DARK = (0x15, 0x3E, 0x75)


def coverage(size, x, y):
    """How much of pixel (x, y) the rounded square covers, 0..1 (4x4 samples)."""
    radius = size * 0.22
    inside = 0
    for sx in range(4):
        for sy in range(4):
            px, py = x + (sx + 0.5) / 4, y + (sy + 0.5) / 4
            cx = min(max(px, radius), size - radius)
            cy = min(max(py, radius), size - radius)
            inside += (px - cx) ** 2 + (py - cy) ** 2 <= radius ** 2
    return inside / 16


def pixel(size, x, y):
    """RGBA of one pixel: the square, a screen on it, a window on the screen."""
    alpha = coverage(size, x, y)
    if alpha == 0:
        return (0, 0, 0, 0)
    u, v = (x + 0.5) / size, (y + 0.5) / size
    color = BLUE
    if 0.18 <= u <= 0.82 and 0.22 <= v <= 0.66:
        color = WHITE
        if 0.30 <= u <= 0.70 and 0.32 <= v <= 0.56:
            color = DARK if v <= 0.38 else BLUE
    elif 0.42 <= u <= 0.58 and 0.66 < v <= 0.76 or 0.30 <= u <= 0.70 and 0.76 < v <= 0.80:
        color = WHITE  # the screen's stand
    return (*color, round(alpha * 255))


def rows(size):
    return [[pixel(size, x, y) for x in range(size)] for y in range(size)]


def bitmap(size):
    """A 32-bit bitmap as icons hold it: header of double height, rows bottom up, then an
    AND mask (all zero: the alpha channel decides)."""
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b"".join(bytes((b, g, r, a)) for row in reversed(rows(size)) for (r, g, b, a) in row)
    mask_row = ((size + 31) // 32) * 4
    return header + pixels + bytes(mask_row * size)


def png(size):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    raw = b"".join(b"\0" + bytes(c for p in row for c in p) for row in rows(size))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def icon():
    images = [png(size) if size == 256 else bitmap(size) for size in SIZES]
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, image in zip(SIZES, images):
        directory += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    return directory + b"".join(images)


if __name__ == "__main__":
    output = Path(sys.argv[1] if len(sys.argv) > 1 else Path(__file__).resolve().parents[1] / "src/win32/rdplaunch.ico")
    output.write_bytes(icon())
    print(f"wrote {output} ({output.stat().st_size} bytes)")
