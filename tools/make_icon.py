#!/usr/bin/env python3
"""Generate res/app.ico for nolm-shortcut (stdlib only, byte-for-byte deterministic).

Design: an indigo rounded square (vertical gradient, lighter at the top)
carrying a bold white "N". Drawn procedurally at every size instead of
downscaling one bitmap, so each size gets pixel-snapped stems and stays
crisp at 16 px.

Usage: python3 tools/make_icon.py [output.ico]   (default: <repo>/res/app.ico)
"""
import math
import os
import struct
import sys
import zlib

SIZES = (16, 24, 32, 48, 64, 96, 128, 256)
SUB = 16                            # vertical sub-scanlines per pixel (x coverage is exact)
TOP, BOTTOM = (0x63, 0x5B, 0xF0), (0x31, 0x2A, 0x9E)   # gradient end colours (RGB)
WHITE = (0xFF, 0xFF, 0xFF)


def add_span(cov, a, b, w):
    """Add w * (exact overlap of [a, b) with each pixel column) to cov."""
    if b <= a:
        return
    for px in range(max(0, int(a)), min(len(cov), int(math.ceil(b)))):
        cov[px] += w * (min(b, px + 1) - max(a, px))


def geometry(s):
    """Shape parameters in pixel units for an s x s icon."""
    m = round(s / 32)               # margin: 0 at 16 px (use every pixel), 8 at 256
    r = 0.22 * (s - 2 * m)          # corner radius
    # Stem edges and glyph top/bottom snapped to whole pixels -> sharp verticals.
    top, bot = round(s * 0.25), round(s * 0.75)
    sw = max(2, round(s * 0.14))    # stem width; never thinner than 2 px
    l0 = round(s * 0.26)
    r1 = s - l0                     # mirror of l0 keeps the glyph centred
    # Diagonal's horizontal width chosen so its perpendicular thickness is ~85% of
    # a stem (a full-weight diagonal closes the counters up at large sizes).
    dw = sw
    for _ in range(8):
        dx, dy = (r1 - dw) - l0, bot - top
        dw = 0.85 * sw * math.hypot(dx, dy) / dy
    return m, r, top, bot, l0, l0 + sw, r1 - sw, r1, dw


def render(s):
    """Return s rows (top-down) of (r, g, b, a) tuples, straight alpha."""
    m, r, top, bot, l0, l1, r0, r1, dw = geometry(s)
    rows = []
    for py in range(s):
        rect = [0.0] * s            # coverage of the rounded square
        glyph = [0.0] * s           # coverage of the "N" (always inside the square)
        for k in range(SUB):
            y = py + (k + 0.5) / SUB
            w = 1.0 / SUB
            if m <= y < s - m:      # rounded-square span on this sub-scanline
                dy = max(m + r - y, y - (s - m - r), 0.0)
                inset = r - math.sqrt(max(r * r - dy * dy, 0.0))
                add_span(rect, m + inset, s - m - inset, w)
            if top <= y < bot:      # "N" = two stems + diagonal; merge overlaps
                t = (y - top) / (bot - top)
                d0 = l0 + t * (r1 - dw - l0)
                spans = sorted([(l0, l1), (r0, r1), (d0, d0 + dw)])
                merged = [list(spans[0])]
                for a, b in spans[1:]:
                    if a <= merged[-1][1]:
                        merged[-1][1] = max(merged[-1][1], b)
                    else:
                        merged.append([a, b])
                for a, b in merged:
                    add_span(glyph, a, b, w)
        g = py / (s - 1)            # gradient parameter, 0 at top row
        bg = [TOP[i] + (BOTTOM[i] - TOP[i]) * g for i in range(3)]
        row = []
        for px in range(s):
            a = min(rect[px], 1.0)
            n = min(glyph[px], a)
            if a <= 0.0:
                row.append((0, 0, 0, 0))    # fully transparent: zero colour too
                continue
            # Straight (non-premultiplied) alpha, as both DIB and PNG icon entries expect.
            c = [round((bg[i] * (a - n) + WHITE[i] * n) / a) for i in range(3)]
            row.append((c[0], c[1], c[2], round(a * 255)))
        rows.append(row)
    return rows


def png(s, rows):
    """Minimal PNG (RGBA8, no ancillary chunks -> no timestamps), zlib level 9."""
    def chunk(tag, data):
        return (struct.pack(">I", len(data)) + tag + data
                + struct.pack(">I", zlib.crc32(tag + data) & 0xFFFFFFFF))
    raw = b"".join(b"\x00" + bytes(v for p in row for v in p) for row in rows)
    return (b"\x89PNG\r\n\x1a\n"
            + chunk(b"IHDR", struct.pack(">IIBBBBB", s, s, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9))
            + chunk(b"IEND", b""))


def dib(s, rows):
    """Classic icon DIB: BITMAPINFOHEADER (height doubled), bottom-up BGRA, 1-bpp AND mask."""
    xor = b"".join(bytes(v for (r, g, b, a) in row for v in (b, g, r, a))
                   for row in reversed(rows))
    stride = ((s + 31) // 32) * 4   # AND-mask rows are padded to 32 bits
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(stride)
        for px, p in enumerate(row):
            if p[3] == 0:           # set bit = transparent (for pre-alpha consumers)
                bits[px >> 3] |= 0x80 >> (px & 7)
        mask += bits
    hdr = struct.pack("<IiiHHIIiiII", 40, s, 2 * s, 1, 32, 0,
                      len(xor) + len(mask), 0, 0, 0, 0)
    return hdr + xor + bytes(mask)


def build_ico():
    # PNG from 32 px up keeps the executable small (Windows 10 reads PNG
    # entries at any size); 16 and 24 px stay DIBs, which every loader reads
    # so every consumer, including old ones, can read them.
    images = [(s, png(s, render(s)) if s >= 32 else dib(s, render(s))) for s in SIZES]
    out = struct.pack("<HHH", 0, 1, len(images))       # ICONDIR: reserved, type=icon, count
    offset = 6 + 16 * len(images)
    for s, data in images:                             # ICONDIRENTRY; 0 means 256
        out += struct.pack("<BBBBHHII", s % 256, s % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b"".join(data for _, data in images)


if __name__ == "__main__":
    here = os.path.dirname(os.path.abspath(__file__))
    dest = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "res", "app.ico")
    data = build_ico()
    with open(dest, "wb") as f:
        f.write(data)
    print(f"wrote {os.path.normpath(dest)} ({len(data)} bytes, {len(SIZES)} images)")
