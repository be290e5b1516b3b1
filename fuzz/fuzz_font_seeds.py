#!/usr/bin/env python3
"""Writes the small font files of fuzz/corpus/font/ that the project makes
itself: a TrueType font of four glyphs and a BDF bitmap font of three.
(The corpus also holds 4x6.pcf.gz, the public-domain 4x6 font of Debian's
xfonts-base.)  Usage: fuzz/fuzz_font_seeds.py fuzz/corpus/font"""
import struct
import sys


def table_checksum(data):
    data += b"\0" * (-len(data) % 4)
    return sum(struct.unpack(">%dI" % (len(data) // 4), data)) & 0xFFFFFFFF


def simple_glyph(contours):
    """A glyf entry of straight on-curve contours, points in font units."""
    points = [p for c in contours for p in c]
    xs, ys = [p[0] for p in points], [p[1] for p in points]
    out = struct.pack(">hhhhh", len(contours), min(xs), min(ys), max(xs), max(ys))
    end = -1
    for c in contours:
        end += len(c)
        out += struct.pack(">H", end)
    out += struct.pack(">H", 0)  # no instructions
    out += bytes([1] * len(points))  # on curve, 16-bit deltas
    x = y = 0
    for px, _ in points:
        out += struct.pack(">h", px - x)
        x = px
    for _, py in points:
        out += struct.pack(">h", py - y)
        y = py
    return out + b"\0" * (-len(out) % 2)


def truetype():
    units = 1000
    # .notdef (a box), space, "A" (a triangle with a notch), "B" (a frame).
    glyphs = [
        simple_glyph([[(50, 0), (50, 700), (450, 700), (450, 0)]]),
        b"",
        simple_glyph([[(20, 0), (300, 700), (580, 0), (300, 200)]]),
        simple_glyph([[(80, 0), (80, 700), (520, 700), (520, 0)], [(180, 100), (420, 100), (420, 600), (180, 600)]]),
    ]
    advances = [500, 300, 600, 600]
    glyf, loca = b"", []
    for g in glyphs:
        loca.append(len(glyf))
        glyf += g
    loca.append(len(glyf))
    tables = {
        b"head": struct.pack(">IIIIHHqqhhhhHHhhh", 0x00010000, 0x00010000, 0, 0x5F0F3CF5, 0x000B, units, 0, 0,
                             0, 0, 600, 700, 0, 8, 2, 1, 0),
        b"hhea": struct.pack(">IhhhHhhhhhhhhhhhH", 0x00010000, 800, -200, 0, 600, 0, 0, 600, 1, 0, 0, 0, 0, 0, 0,
                             0, len(glyphs)),
        b"maxp": struct.pack(">IHHHHHHHHHHHHHH", 0x00010000, len(glyphs), 8, 2, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0),
        b"hmtx": b"".join(struct.pack(">Hh", a, 0) for a in advances),
        b"loca": b"".join(struct.pack(">I", o) for o in loca),
        b"glyf": glyf,
        b"post": struct.pack(">IIhhIIIII", 0x00030000, 0, -100, 50, 0, 0, 0, 0, 0),
    }
    # cmap format 4: 32 -> 1, 65 -> 2, 66 -> 3.
    segments = [(32, 32, 1 - 32), (65, 66, 2 - 65), (0xFFFF, 0xFFFF, 1)]
    n = len(segments)
    sub = struct.pack(">HHHHHHH", 4, 16 + 8 * n, 0, 2 * n, 2, 1, 2 * n - 2)
    sub += b"".join(struct.pack(">H", e) for _, e, _ in segments) + b"\0\0"
    sub += b"".join(struct.pack(">H", s) for s, _, _ in segments)
    sub += b"".join(struct.pack(">h", d) for _, _, d in segments)
    sub += b"\0\0" * n
    tables[b"cmap"] = struct.pack(">HHHHI", 0, 1, 3, 1, 12) + sub
    tags = sorted(tables)
    out = struct.pack(">IHHHH", 0x00010000, len(tags), 64, 2, len(tags) * 16 - 64)
    offset = 12 + 16 * len(tags)
    body = b""
    for tag in tags:
        data = tables[tag]
        out += struct.pack(">4sIII", tag, table_checksum(data), offset + len(body), len(data))
        body += data + b"\0" * (-len(data) % 4)
    return out + body


BDF = """STARTFONT 2.1
FONT -korvagl-tiny-medium-r-normal--8-80-75-75-c-60-iso8859-1
SIZE 8 75 75
FONTBOUNDINGBOX 6 8 0 -1
STARTPROPERTIES 2
FONT_ASCENT 7
FONT_DESCENT 1
ENDPROPERTIES
CHARS 3
STARTCHAR space
ENCODING 32
SWIDTH 750 0
DWIDTH 6 0
BBX 6 8 0 -1
BITMAP
00
00
00
00
00
00
00
00
ENDCHAR
STARTCHAR A
ENCODING 65
SWIDTH 750 0
DWIDTH 6 0
BBX 5 7 0 0
BITMAP
20
50
88
F8
88
88
88
ENDCHAR
STARTCHAR g
ENCODING 103
SWIDTH 750 0
DWIDTH 6 0
BBX 5 6 0 -1
BITMAP
78
88
88
78
08
70
ENDCHAR
ENDFONT
"""

if __name__ == "__main__":
    folder = sys.argv[1] if len(sys.argv) > 1 else "fuzz/corpus/font"
    with open(folder + "/tiny.ttf", "wb") as f:
        f.write(truetype())
    with open(folder + "/tiny.bdf", "w") as f:
        f.write(BDF)
