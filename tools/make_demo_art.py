#!/usr/bin/env python3
"""Draws the demo game's artwork: nolm/splash.png (1920 x 1080, opaque) and
nolm/title.png (640 x 200, with transparency), standard library only.

Usage: make_demo_art.py OUTPUT_DIR
The output is deterministic, so the demo looks the same on every machine.
"""
import math
import os
import struct
import sys
import zlib

# Block letters, 5 x 7, for the title: only the letters it uses.
GLYPHS = {
    "S": ["01111", "10000", "10000", "01110", "00001", "00001", "11110"],
    "T": ["11111", "00100", "00100", "00100", "00100", "00100", "00100"],
    "A": ["01110", "10001", "10001", "11111", "10001", "10001", "10001"],
    "R": ["11110", "10001", "10001", "11110", "10100", "10010", "10001"],
    "D": ["11110", "10001", "10001", "10001", "10001", "10001", "11110"],
    "I": ["11111", "00100", "00100", "00100", "00100", "00100", "11111"],
    "F": ["11111", "10000", "10000", "11110", "10000", "10000", "10000"],
    " ": ["00000"] * 7,
}


def write_png(path, width, height, rows):
    """rows: list of bytes objects, each width * 4 RGBA bytes."""
    def chunk(tag, data):
        body = tag + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    raw = b"".join(b"\x00" + row for row in rows)
    png = (b"\x89PNG\r\n\x1a\n"
           + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
           + chunk(b"IDAT", zlib.compress(raw, 9))
           + chunk(b"IEND", b""))
    with open(path, "wb") as out:
        out.write(png)


def splash(width=1920, height=1080):
    """A dusk sky over two mountain ranges, with a few fixed stars."""
    stars = {((i * 7919) % width, (i * 104729) % (height // 2)) for i in range(160)}
    ridge_far = [int(height * 0.62 + 70 * math.sin(x / 210.0) + 35 * math.sin(x / 67.0)) for x in range(width)]
    ridge_near = [int(height * 0.78 + 60 * math.sin(x / 150.0 + 1.3) + 20 * math.sin(x / 41.0)) for x in range(width)]
    rows = []
    for y in range(height):
        t = y / height
        sky = (int(20 + 90 * t), int(18 + 40 * t), int(60 + 70 * t))
        row = bytearray()
        for x in range(width):
            if y >= ridge_near[x]:
                pixel = (14, 16, 30)
            elif y >= ridge_far[x]:
                pixel = (40, 36, 78)
            elif (x, y) in stars:
                pixel = (255, 250, 230)
            else:
                pixel = sky
            row += bytes(pixel) + b"\xff"
        rows.append(bytes(row))
    return width, height, rows


def title(text="STAR DRIFT", width=640, height=200, scale=9):
    """The game's name in block letters on a translucent banner."""
    letters_width = len(text) * 6 * scale - scale
    left = (width - letters_width) // 2
    top = (height - 7 * scale) // 2
    rows = []
    for y in range(height):
        row = bytearray()
        for x in range(width):
            inside_banner = 12 <= y < height - 12 and 12 <= x < width - 12
            pixel = (10, 10, 24, 150) if inside_banner else (0, 0, 0, 0)
            gx, gy = (x - left) // scale, (y - top) // scale
            if 0 <= gy < 7 and 0 <= x - left < letters_width:
                glyph, column = GLYPHS[text[gx // 6]], gx % 6
                if column < 5 and glyph[gy][column] == "1":
                    pixel = (255, 196, 64, 255)
            row += bytes(pixel)
        rows.append(bytes(row))
    return width, height, rows


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else "."
    os.makedirs(out, exist_ok=True)
    write_png(os.path.join(out, "splash.png"), *splash())
    write_png(os.path.join(out, "title.png"), *title())


if __name__ == "__main__":
    main()
