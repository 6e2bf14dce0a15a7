#!/usr/bin/env python3
"""Converts free bitmap fonts from Debian packages into the viewer's glyph tables.

Reads X11 PCF fonts (xfonts-base) and Linux console PSF fonts
(console-setup-linux) with parsers of its own, places each glyph in the cell
of the target font, and writes one C++ include file per font to render/fonts/:
256 glyphs, rows from top to bottom, 1 byte per row up to 8 pixels wide and 2
bytes per row for 9 to 16, the most significant bit the leftmost pixel.

A source shape taller than the target cell loses rows above its baseline
(squeeze), a shorter one is padded with blank rows (top); mini8x8 thins the
strokes of the 8x8 VGA shape. TARGETS lists every font with its sources.

Codes map to Unicode as follows: 32-126 ASCII, 160-255 Latin-1, 1-31 and 127
the CP437 symbols, 128-159 CP437 shades, box-drawing and block characters;
code 0 is left empty. A code point the source lacks (or has blank) comes from
the font's companions, then from a lookalike listed in FALLBACK; box-drawing
and block characters are drawn to fill the cell where the cell is padded, and
a few symbols the 4x6 font lacks are drawn by hand (HAND_DRAWN_4X6).

Usage:
  scripts/make_fonts.py                  regenerate render/fonts/ (needs the packages)
  scripts/make_fonts.py --show NAME TEXT print the glyphs of TEXT in font NAME
  scripts/make_fonts.py --preview OUT.png [SCALE [NAME...]]
                                         draw the fonts' 256 glyphs to a PNG
Only the Python standard library is used.
"""

import gzip
import os
import struct
import sys
import textwrap
import zlib

X11_DIR = "/usr/share/fonts/X11/misc"
CONSOLE_DIR = "/usr/share/consolefonts"
REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
OUT_DIR = os.path.join(REPO, "render", "fonts")


# --------------------------------------------------------------------------
# Source fonts: every reader returns a SourceFont whose glyphs are bitmaps in
# the font's own character cell (width x ascent+descent), rows top to bottom,
# each row an int whose bit (width - 1 - x) is pixel x.


class SourceFont:
    def __init__(self, path, width, height, glyphs, name):
        self.path = path
        self.width = width
        self.height = height
        self.glyphs = glyphs  # code point -> list of row ints
        self.name = name  # the font's own name (XLFD or PSF file name)


def _open(path):
    with open(path, "rb") as f:
        data = f.read()
    if data[:2] == b"\x1f\x8b":
        data = gzip.decompress(data)
    return data


PCF_PROPERTIES = 1 << 0
PCF_ACCELERATORS = 1 << 1
PCF_BDF_ACCELERATORS = 1 << 8
PCF_METRICS = 1 << 2
PCF_BITMAPS = 1 << 3
PCF_BDF_ENCODINGS = 1 << 5
PCF_COMPRESSED_METRICS = 0x100


def read_pcf(path):
    data = _open(path)
    if data[:4] != b"\x01fcp":
        raise ValueError(path + ": not a PCF file")
    (count,) = struct.unpack_from("<i", data, 4)
    tables = {}
    for i in range(count):
        ttype, tformat, size, offset = struct.unpack_from("<iiii", data, 8 + 16 * i)
        tables[ttype] = (tformat, size, offset)

    def table(ttype):
        tformat, _, offset = tables[ttype]
        # Each table repeats its format word; its byte order bit says how the
        # rest of the table is stored.
        (fmt,) = struct.unpack_from("<i", data, offset)
        if fmt != tformat:
            raise ValueError(path + ": inconsistent table format")
        order = ">" if fmt & 4 else "<"
        return fmt, order, offset + 4

    # Properties: the font name and its ascent and descent.
    fmt, o, pos = table(PCF_PROPERTIES)
    (nprops,) = struct.unpack_from(o + "i", data, pos)
    pos += 4
    raw = []
    for _ in range(nprops):
        name_off, is_string, value = struct.unpack_from(o + "ibi", data, pos)
        raw.append((name_off, is_string, value))
        pos += 9
    pos += (4 - (nprops & 3)) & 3
    (string_size,) = struct.unpack_from(o + "i", data, pos)
    pos += 4
    strings = data[pos:pos + string_size]

    def cstr(off):
        return strings[off:strings.index(b"\0", off)].decode("latin-1")

    props = {}
    for name_off, is_string, value in raw:
        props[cstr(name_off)] = cstr(value) if is_string else value

    # Metrics.
    fmt, o, pos = table(PCF_METRICS)
    metrics = []
    if fmt & PCF_COMPRESSED_METRICS:
        (n,) = struct.unpack_from(o + "h", data, pos)
        pos += 2
        for _ in range(n):
            lsb, rsb, cw, asc, desc = (b - 0x80 for b in data[pos:pos + 5])
            metrics.append((lsb, rsb, cw, asc, desc))
            pos += 5
    else:
        (n,) = struct.unpack_from(o + "i", data, pos)
        pos += 4
        for _ in range(n):
            lsb, rsb, cw, asc, desc, _attr = struct.unpack_from(o + "hhhhhH", data, pos)
            metrics.append((lsb, rsb, cw, asc, desc))
            pos += 12

    # Bitmaps: rows padded to 1 << (format & 3) bytes, stored in scan units of
    # 1 << ((format >> 4) & 3) bytes; bit 3 set = most significant bit first.
    fmt, o, pos = table(PCF_BITMAPS)
    (nglyphs,) = struct.unpack_from(o + "i", data, pos)
    pos += 4
    offsets = struct.unpack_from(o + "%di" % nglyphs, data, pos)
    pos += 4 * nglyphs
    pos += 16  # the four bitmap sizes, one per padding
    bitmap_base = pos
    pad = 1 << (fmt & 3)
    unit = 1 << ((fmt >> 4) & 3)
    msb_bit = bool(fmt & 8)
    msb_byte = bool(fmt & 4)

    def glyph_rows(index):
        lsb, rsb, _cw, asc, desc = metrics[index]
        w = rsb - lsb
        h = asc + desc
        stride = ((w + 7) // 8 + pad - 1) // pad * pad
        start = bitmap_base + offsets[index]
        rows = []
        for r in range(h):
            row = bytearray(data[start + r * stride:start + (r + 1) * stride])
            if msb_bit != msb_byte and unit > 1:
                for u in range(0, stride, unit):
                    row[u:u + unit] = row[u:u + unit][::-1]
            if not msb_bit:
                row = bytearray(int("{:08b}".format(b)[::-1], 2) for b in row)
            value = int.from_bytes(row, "big") >> (stride * 8 - w) if w > 0 else 0
            rows.append(value)
        return rows

    # Encodings: code = byte1 << 8 | byte2.
    fmt, o, pos = table(PCF_BDF_ENCODINGS)
    min2, max2, min1, max1, _default = struct.unpack_from(o + "hhhhh", data, pos)
    pos += 10
    span2 = max2 - min2 + 1
    n = span2 * (max1 - min1 + 1)
    indices = struct.unpack_from(o + "%dH" % n, data, pos)

    # Accelerators: the font's ascent and descent, which define its cell.
    accelerators = PCF_BDF_ACCELERATORS if PCF_BDF_ACCELERATORS in tables else PCF_ACCELERATORS
    fmt, o, pos = table(accelerators)
    ascent, descent = struct.unpack_from(o + "ii", data, pos + 8)
    cell_w = props.get("AVERAGE_WIDTH", 0) // 10 or metrics[0][2]
    cell_h = ascent + descent
    glyphs = {}
    for k, index in enumerate(indices):
        if index == 0xFFFF:
            continue
        code = ((k // span2 + min1) << 8) | (k % span2 + min2)
        lsb, rsb, _cw, asc, desc = metrics[index]
        bits = glyph_rows(index)
        cell = [0] * cell_h
        for r, value in enumerate(bits):
            y = ascent - asc + r
            if not 0 <= y < cell_h:
                continue
            for c in range(rsb - lsb):
                if value >> (rsb - lsb - 1 - c) & 1:
                    x = lsb + c
                    if 0 <= x < cell_w:
                        cell[y] |= 1 << (cell_w - 1 - x)
        glyphs[code] = cell
    return SourceFont(path, cell_w, cell_h, glyphs, props.get("FONT", os.path.basename(path)))


def read_psf(path):
    data = _open(path)
    if data[:2] == b"\x36\x04":
        mode, charsize = data[2], data[3]
        count = 512 if mode & 1 else 256
        width, height, size, pos = 8, charsize, charsize, 4
        has_table = bool(mode & 6)
        utf8 = False
    elif data[:4] == b"\x72\xb5\x4a\x86":
        _ver, headersize, flags, count, size, height, width = struct.unpack_from("<7I", data, 4)
        pos = headersize
        has_table = bool(flags & 1)
        utf8 = True
    else:
        raise ValueError(path + ": not a PSF file")
    stride = (width + 7) // 8
    bitmaps = []
    for g in range(count):
        rows = []
        base = pos + g * size
        for r in range(height):
            value = int.from_bytes(data[base + r * stride:base + (r + 1) * stride], "big")
            rows.append(value >> (stride * 8 - width))
        bitmaps.append(rows)
    glyphs = {}
    if not has_table:
        for g in range(min(count, 256)):
            glyphs[g] = bitmaps[g]
    else:
        pos += count * size
        for g in range(count):
            # Single code points up to the terminator; sequences (after the
            # sequence mark) are ignored.
            in_sequence = False
            if utf8:
                end = data.index(b"\xff", pos)
                entry = data[pos:end]
                pos = end + 1
                parts = entry.split(b"\xfe")
                for ch in parts[0].decode("utf-8"):
                    glyphs.setdefault(ord(ch), bitmaps[g])
            else:
                while True:
                    (u,) = struct.unpack_from("<H", data, pos)
                    pos += 2
                    if u == 0xFFFF:
                        break
                    if u == 0xFFFE:
                        in_sequence = True
                    elif not in_sequence:
                        glyphs.setdefault(u, bitmaps[g])
    return SourceFont(path, width, height, glyphs, os.path.basename(path))


# --------------------------------------------------------------------------
# Code to Unicode.

# CP437's pictures for the control codes 1-31 and for 127.
CP437_LOW = "☺☻♥♦♣♠•◘○◙♂♀♪♫☼►◄↕‼¶§▬↨↑↓→←∟↔▲▼"
CP437_127 = "⌂"
# 128-159: CP437's shades, single and double box-drawing lines and blocks
# (Latin-1 already has CP437's accented letters at 160-255).
GRAPHICS_128 = "░▒▓│┤╣║╗╝┐└┴┬├─┼╚╔╩╦╠═╬┘┌█▄▌▐▀■√"


def code_point(code):
    """The Unicode character that 8-bit code `code` shows, or None for code 0."""
    if code == 0:
        return None
    if code < 32:
        return ord(CP437_LOW[code - 1])
    if code == 127:
        return ord(CP437_127)
    if 128 <= code < 160:
        return ord(GRAPHICS_128[code - 128])
    return code


# Lookalikes tried when a source lacks a code point.
FALLBACK = {
    0x25BA: [0x25B6, 0x25B8],  # black right-pointing pointer -> triangle
    0x25C4: [0x25C0, 0x25C2],  # black left-pointing pointer -> triangle
}

# Symbols drawn for this project, for the 4x6 cell whose source lacks them
# (3 x 5 pixels of ink, the fourth column and sixth row kept for spacing).
HAND_DRAWN_4X6 = {
    0x263A: ["....", "#.#.", "....", "#.#.", ".#..", "...."],  # white smiling face
    0x263B: ["###.", ".#..", "###.", ".#..", "#.#.", "...."],  # black smiling face
    0x25D8: ["###.", "###.", "#.#.", "###.", "###.", "...."],  # inverse bullet
    0x25CB: ["....", ".#..", "#.#.", ".#..", "....", "...."],  # white circle
    0x25D9: ["###.", "#.#.", ".#..", "#.#.", "###.", "...."],  # inverse white circle
    0x2642: ["..#.", ".##.", "#.#.", "#.#.", ".#..", "...."],  # male sign
    0x2640: [".#..", "#.#.", ".#..", "###.", ".#..", "...."],  # female sign
    0x263C: ["#.#.", ".#..", "###.", ".#..", "#.#.", "...."],  # sun
    0x25BA: ["#...", "##..", "###.", "##..", "#...", "...."],  # right pointer
    0x25C4: ["..#.", ".##.", "###.", ".##.", "..#.", "...."],  # left pointer
    0x203C: ["#.#.", "#.#.", "#.#.", "....", "#.#.", "...."],  # double exclamation
    0x25AC: ["....", "....", "###.", "###.", "....", "...."],  # black rectangle
    0x21A8: [".#..", "###.", ".#..", "###.", ".#..", "###."],  # up down arrow with base
    0x25B2: ["....", ".#..", ".#..", "###.", "###.", "...."],  # up triangle
    0x25BC: ["....", "###.", "###.", ".#..", ".#..", "...."],  # down triangle
    0x2302: ["....", ".#..", "#.#.", "#.#.", "###.", "...."],  # house
}


# --------------------------------------------------------------------------
# Box-drawing, block and shade characters drawn to fill any cell, for fonts
# whose cell differs from their source's so that the source's lines would no
# longer meet those of the neighbouring cells.


def draw_graphic(cp, w, h):
    """Rows of code point cp drawn in a w x h cell, or None if not drawable."""
    c, r = (w - 1) // 2, (h - 1) // 2  # the single line's column and row
    a, b = c - 1, c + 1  # the double lines' columns
    p, q = r - 1, r + 1  # the double lines' rows
    W, H = w - 1, h - 1
    # Line segments: ("h", row, first column, last column) and
    # ("v", column, first row, last row).
    single = {  # arms: up, down, left, right
        0x2500: "lr", 0x2502: "ud", 0x250C: "dr", 0x2510: "dl", 0x2514: "ur", 0x2518: "ul",
        0x251C: "udr", 0x2524: "udl", 0x252C: "lrd", 0x2534: "lru", 0x253C: "udlr",
    }
    arm = {"u": ("v", c, 0, r), "d": ("v", c, r, H), "l": ("h", r, 0, c), "r": ("h", r, c, W)}
    double = {
        0x2550: [("h", p, 0, W), ("h", q, 0, W)],
        0x2551: [("v", a, 0, H), ("v", b, 0, H)],
        0x2554: [("h", p, a, W), ("v", a, p, H), ("h", q, b, W), ("v", b, q, H)],
        0x2557: [("h", p, 0, b), ("v", b, p, H), ("h", q, 0, a), ("v", a, q, H)],
        0x255A: [("h", q, a, W), ("v", a, 0, q), ("h", p, b, W), ("v", b, 0, p)],
        0x255D: [("h", q, 0, b), ("v", b, 0, q), ("h", p, 0, a), ("v", a, 0, p)],
        0x2560: [("v", a, 0, H), ("v", b, 0, p), ("v", b, q, H), ("h", p, b, W), ("h", q, b, W)],
        0x2563: [("v", b, 0, H), ("v", a, 0, p), ("v", a, q, H), ("h", p, 0, a), ("h", q, 0, a)],
        0x2566: [("h", p, 0, W), ("h", q, 0, a), ("h", q, b, W), ("v", a, q, H), ("v", b, q, H)],
        0x2569: [("h", q, 0, W), ("h", p, 0, a), ("h", p, b, W), ("v", a, 0, p), ("v", b, 0, p)],
        0x256C: [("h", p, 0, a), ("h", p, b, W), ("h", q, 0, a), ("h", q, b, W),
                 ("v", a, 0, p), ("v", a, q, H), ("v", b, 0, p), ("v", b, q, H)],
    }
    m = max(1, w // 4)  # margin of the black square
    top = max(0, (h - (w - 2 * m)) // 2)
    blocks = {  # rows filled, columns filled
        0x2588: (range(h), range(w)),
        0x2580: (range(h // 2), range(w)),
        0x2584: (range(h // 2, h), range(w)),
        0x258C: (range(h), range(w // 2)),
        0x2590: (range(h), range(w // 2, w)),
        0x25A0: (range(top, min(h, top + w - 2 * m)), range(m, w - m)),
    }
    cells = [[False] * w for _ in range(h)]
    if cp in single or cp in double:
        segments = [arm[k] for k in single[cp]] if cp in single else double[cp]
        for kind, at, first, last in segments:
            for i in range(max(first, 0), last + 1):
                if kind == "h":
                    cells[at][i] = True
                else:
                    cells[i][at] = True
    elif cp in blocks:
        ys, xs = blocks[cp]
        for y in ys:
            for x in xs:
                cells[y][x] = True
    elif cp in (0x2591, 0x2592, 0x2593):  # light, medium and dark shade
        for y in range(h):
            for x in range(w):
                quarter = x % 4 == (0 if y % 2 == 0 else 2)
                cells[y][x] = {0x2591: quarter, 0x2592: (x + y) % 2 == 0, 0x2593: not quarter}[cp]
    else:
        return None
    return [sum(1 << (w - 1 - x) for x in range(w) if row[x]) for row in cells]


def is_graphic(cp):
    return 0x2500 <= cp <= 0x25A0


# --------------------------------------------------------------------------
# Fitting a source glyph into the target cell.


def squeeze(rows, delete, candidates):
    """Deletes `delete` rows of `rows`, choosing among the row indices in
    `candidates`: first blank rows outside the glyph's ink, then (in the
    order of `candidates`) rows equal to a neighbouring row, which makes a
    stroke one row shorter, then blank rows between strokes, and only then
    the first remaining candidate. When every glyph deletes the same number of
    rows above the baseline, the baselines stay aligned."""
    present = list(range(len(rows)))
    for _ in range(delete):
        remaining = [i for i in candidates if i in present]
        ink = [i for i in present if rows[i]]

        def exterior(i):
            return rows[i] == 0 and (not ink or i < ink[0] or i > ink[-1])

        def duplicate(i):
            k = present.index(i)
            return any(0 <= j < len(present) and rows[present[j]] == rows[i]
                       for j in (k - 1, k + 1))

        for test in (exterior, duplicate, lambda i: rows[i] == 0, lambda i: True):
            choice = next((i for i in remaining if test(i)), None)
            if choice is not None:
                break
        present.remove(choice)
    return [rows[i] for i in present]


def thin(value, width):
    """Drops the rightmost pixel of every horizontal run of two or more."""
    out = value
    for x in range(width - 1):
        bit, right = 1 << (width - 1 - x), 1 << (width - 2 - x)
        if value & bit and value & right and not (x + 2 < width and value & (right >> 1)):
            out &= ~right
    return out


class Target:
    """One font of the directory and how it is made from its sources.

    source, companions: file names; companions give the code points the
      source lacks (or has blank), in the same cell as the source or in a
      taller one whose rows line up with the source's from the top.
    top: source row shown in the target's first row (negative pads above).
    squeeze: (rows to delete, candidate rows in order of preference), applied
      before `top` when the source is taller than the cell.
    style: None or "thin" (strokes thinned), applied to letters, digits and
      punctuation (codes 32-126 and 160-255) only.
    draw_graphics: box-drawing, block and shade characters drawn to fill the
      cell instead of taken from the source (for padded cells, where the
      source's lines would not meet those of the next cell).
    """

    def __init__(self, name, width, height, source, companions=(), top=0, squeeze=None,
                 style=None, draw_graphics=False, note=""):
        self.name, self.width, self.height = name, width, height
        self.source, self.companions = source, list(companions)
        self.top, self.squeeze = top, squeeze
        self.style, self.draw_graphics, self.note = style, draw_graphics, note


# Rows above the baseline of the 8x14 shapes that may give way, in order of
# preference: the accent rows, then rows inside the body where most strokes
# run vertically. Every glyph of a font deletes the same number of them.
VGA14_ABOVE = [0, 1, 2, 9, 10, 6, 5, 8, 4, 3, 7]
TERMINUS14_ABOVE = [0, 1, 2, 9, 5, 10, 4, 8, 6, 3, 7]

TARGETS = [
    Target("fixed8x13dos", 8, 13, "Uni2-VGA14.psf.gz", companions=["Uni2-VGA16.psf.gz"],
           squeeze=(1, VGA14_ABOVE),
           note="the 8x14 VGA shape with one row above the baseline removed"),
    Target("fixed8x11", 8, 11, "Uni2-VGA14.psf.gz", companions=["Uni2-VGA16.psf.gz"],
           squeeze=(3, VGA14_ABOVE),
           note="the 8x14 VGA shape with three rows above the baseline removed"),
    Target("fixed8x10", 8, 10, "Uni2-VGA8.psf.gz", top=-1, draw_graphics=True,
           note="the 8x8 VGA shape with one blank row above and below"),
    Target("fixed8x8", 8, 8, "Uni2-VGA8.psf.gz", note="the 8x8 VGA shape"),
    Target("decorate8x12", 8, 12, "Uni2-TerminusBold14.psf.gz",
           companions=["Uni2-VGA14.psf.gz", "Uni2-VGA16.psf.gz"], squeeze=(2, TERMINUS14_ABOVE),
           note="the bold 8x14 Terminus shape with two rows above the baseline removed"),
    Target("mini8x8", 8, 8, "Uni2-VGA8.psf.gz", style="thin",
           note="the 8x8 VGA shape with its strokes thinned to one pixel"),
    Target("fixed4x6", 4, 6, "4x6.pcf.gz"),
    Target("fixed5x7", 5, 7, "5x7.pcf.gz"),
    Target("fixed5x8", 5, 8, "5x8.pcf.gz"),
    Target("fixed6x9", 6, 9, "6x9.pcf.gz"),
    Target("fixed6x10", 6, 10, "6x10.pcf.gz"),
    Target("fixed6x12", 6, 12, "6x12.pcf.gz"),
    Target("fixed6x13", 6, 13, "6x13.pcf.gz"),
    Target("fixed6x13bold", 6, 13, "6x13B.pcf.gz", companions=["6x13.pcf.gz"]),
    Target("fixed6x13italic", 6, 13, "6x13O.pcf.gz", companions=["6x13.pcf.gz"]),
    Target("fixed7x13", 7, 13, "7x13.pcf.gz"),
    Target("fixed7x13bold", 7, 13, "7x13B.pcf.gz", companions=["7x13.pcf.gz"]),
    Target("fixed7x13italic", 7, 13, "7x13O.pcf.gz", companions=["7x13.pcf.gz"]),
    Target("fixed7x14", 7, 14, "7x14.pcf.gz"),
    Target("fixed7x14bold", 7, 14, "7x14B.pcf.gz", companions=["7x14.pcf.gz"]),
    Target("fixed8x13", 8, 13, "8x13.pcf.gz"),
    Target("fixed8x13bold", 8, 13, "8x13B.pcf.gz", companions=["8x13.pcf.gz"]),
    Target("fixed8x13italic", 8, 13, "8x13O.pcf.gz", companions=["8x13.pcf.gz"]),
    Target("clean6x12", 6, 12, "clR6x12.pcf.gz", note="the Schumacher Clean 6x12 shape"),
    Target("fixed9x15", 9, 15, "9x15.pcf.gz"),
    Target("fixed9x15bold", 9, 15, "9x15B.pcf.gz", companions=["9x15.pcf.gz"]),
    Target("fixed9x18", 9, 18, "9x18.pcf.gz"),
    Target("fixed9x18bold", 9, 18, "9x18B.pcf.gz", companions=["9x18.pcf.gz"]),
    Target("fixed10x20", 10, 20, "10x20.pcf.gz"),
]

PACKAGE = {"pcf": "xfonts-base", "psf": "console-setup-linux"}


def source_path(file_name):
    return os.path.join(X11_DIR if ".pcf" in file_name else CONSOLE_DIR, file_name)


_cache = {}


def load(file_name):
    if file_name not in _cache:
        path = source_path(file_name)
        _cache[file_name] = read_pcf(path) if ".pcf" in file_name else read_psf(path)
    return _cache[file_name]


def fit(target, font, rows, styled):
    """Places a glyph of `font` (rows in its own cell) in the target's cell."""
    if target.squeeze:
        rows = squeeze(rows, *target.squeeze)
    assert font.width == target.width, (target.name, font.path)
    out = []
    for y in range(target.height):
        sy = y + target.top
        value = rows[sy] if 0 <= sy < len(rows) else 0
        if styled and target.style == "thin":
            value = thin(value, target.width)
        out.append(value)
    return out


def make_glyphs(target):
    """The 256 glyphs of a target (row ints, top to bottom) and, per code, where
    each came from."""
    fonts = [load(target.source)] + [load(c) for c in target.companions]
    glyphs, origin = [], []
    for code in range(256):
        cp = code_point(code)
        styled = 32 <= code <= 126 or code >= 160
        if cp is None:
            glyphs.append([0] * target.height)
            origin.append("empty")
            continue
        found = None
        if not (target.draw_graphics and is_graphic(cp)):
            for wanted in [cp] + FALLBACK.get(cp, []):
                for font in fonts:
                    rows = font.glyphs.get(wanted)
                    # A blank glyph for a visible character is a gap in the
                    # source (VGA14 has one for the pilcrow): look further.
                    if rows is None or (not any(rows) and wanted not in (0x20, 0xA0)):
                        continue
                    if len(rows) > fonts[0].height:
                        # A taller companion whose rows line up with the
                        # source's from the top; what lies below is cut.
                        assert not any(rows[fonts[0].height:]), (target.name, code)
                        rows = rows[:fonts[0].height]
                    found = (fit(target, font, rows, styled),
                             "%s U+%04X" % (os.path.basename(font.path), wanted))
                    break
                if found:
                    break
        if not found and is_graphic(cp):
            drawn = draw_graphic(cp, target.width, target.height)
            if drawn:
                found = (drawn, "drawn")
        if not found and (target.width, target.height) == (4, 6) and cp in HAND_DRAWN_4X6:
            art = HAND_DRAWN_4X6[cp]
            found = ([int(row.replace("#", "1").replace(".", "0"), 2) for row in art], "hand-drawn")
        if not found:
            raise SystemExit("%s: no glyph for code %d (U+%04X)" % (target.name, code, cp))
        glyphs.append(found[0])
        origin.append(found[1])
    return glyphs, origin


def glyph_bytes(target, rows):
    """The stored bytes of one glyph: rows top to bottom, MSB = leftmost pixel."""
    per_row = 1 if target.width <= 8 else 2
    out = []
    for value in rows:
        value <<= per_row * 8 - target.width
        out.extend(value.to_bytes(per_row, "big"))
    return out


# --------------------------------------------------------------------------
# Output.

LICENCES = {
    "misc": "Public domain (\"Public domain font.  Share and enjoy.\", X.Org font-misc-misc).",
    "schumacher": "Copyright 1989 Dale Schumacher; permission to use, copy, modify and distribute "
                  "without fee, with the copyright and permission notices kept (X.Org "
                  "font-schumacher-misc; full text in render/fonts/README.md).",
    "vga": "Linux console font of console-setup: \"All console fonts are public domain by nature\" "
           "(console-setup's copyright file); the VGA shapes' BDF source is MIT-licensed, "
           "copyright 2000, 2001 Dmitry Bolkhovityanov (see render/fonts/README.md).",
    "terminus": "SIL Open Font License 1.1, copyright (c) 2010 Dimitar Toshkov Zhekov (Terminus "
                "Font); this derived font carries the same licence (see render/fonts/README.md).",
}


def licence_of(file_name):
    if "Terminus" in file_name:
        return "terminus"
    if "VGA" in file_name:
        return "vga"
    if file_name.startswith("cl"):
        return "schumacher"
    return "misc"


def array_name(name):
    return "kFont" + name[0].upper() + name[1:]


def write_target(target, glyphs, origin):
    files = [target.source] + target.companions
    used = sorted({o.split(" ")[0] for o in origin} - {"empty", "drawn", "hand-drawn"},
                  key=lambda f: files.index(f) if f in files else len(files))
    per_row = 1 if target.width <= 8 else 2
    size = 256 * target.height * per_row
    lines = ["// Glyphs of the bitmap font \"%s\": %d x %d pixels, 256 glyphs, %d byte%s per row,"
             % (target.name, target.width, target.height, per_row, "s" if per_row > 1 else ""),
             "// rows from top to bottom, the most significant bit the leftmost pixel.",
             "// Generated by scripts/make_fonts.py; do not edit.",
             "//"]
    for f in used:
        font = load(f)
        lines.append("// Source: %s (Debian package %s)" % (
            source_path(f), PACKAGE["pcf" if ".pcf" in f else "psf"]))
        if font.name != f:
            lines.append("//   " + font.name)
        lines.extend(textwrap.wrap("Licence: " + LICENCES[licence_of(f)], 96,
                                   initial_indent="//   ", subsequent_indent="//     "))
    if target.note:
        lines.append("// Made from " + target.note + ".")
    extra = sorted({o for o in origin if o in ("drawn", "hand-drawn")})
    if "drawn" in extra:
        lines.append("// Box-drawing, block and shade characters are drawn by the script to fill")
        lines.append("// the cell.")
    if "hand-drawn" in extra:
        lines.append("// Symbols the source lacks are drawn by hand in the script (HAND_DRAWN_4X6).")
    lines.append("// Codes: 1-31 and 127 CP437 symbols, 32-126 ASCII, 128-159 shades, box drawing")
    lines.append("// and blocks, 160-255 Latin-1; code 0 is empty (see render/fonts/README.md).")
    lines.append("")
    lines.append("static const unsigned char %s[%d] = {" % (array_name(target.name), size))
    for code, rows in enumerate(glyphs):
        data = glyph_bytes(target, rows)
        for start in range(0, len(data), 16):
            chunk = ",".join("0" if b == 0 else "0x%02x" % b for b in data[start:start + 16])
            lines.append(("/*%02x*/" % code if start == 0 else "      ") + chunk + ",")
    lines.append("};")
    path = os.path.join(OUT_DIR, target.name + ".inc")
    with open(path, "w") as f:
        f.write("\n".join(lines) + "\n")
    return size


def write_png(path, pixels, width, height):
    """A grey-scale PNG from rows of 0-255 values."""
    raw = b"".join(b"\0" + bytes(row) for row in pixels)

    def chunk(kind, body):
        crc = struct.pack(">I", zlib.crc32(kind + body))
        return struct.pack(">I", len(body)) + kind + body + crc

    header = struct.pack(">IIBBBBB", width, height, 8, 0, 0, 0, 0)
    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
    png += chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


def preview(path, scale=2, names=None):
    """Every chosen font's 256 glyphs (4 lines of 64 on alternating grey cells,
    so clipped glyphs show) and a sample text, labelled in fixed8x13."""
    targets = [t for t in TARGETS if not names or t.name in names]
    label_font = next(t for t in TARGETS if t.name == "fixed8x13")
    label_glyphs = make_glyphs(label_font)[0]
    sample = "Tavrin 1.234.567 nodes | x y z (Simplified) ÄÖÜäöüßé [_|_]"
    width = 4 + 64 * 10
    blocks = []
    for t in targets:
        glyphs = make_glyphs(t)[0]
        lines = [(label_font, label_glyphs, "%s %dx%d" % (t.name, t.width, t.height), False)]
        for line in range(4):
            codes = "".join(chr(c) for c in range(line * 64, line * 64 + 64))
            lines.append((t, glyphs, codes, True))
        lines.append((t, glyphs, sample, False))
        blocks.append(lines)
    height = sum(sum(l[0].height + 2 for l in b) + 6 for b in blocks)
    img = [[255] * width for _ in range(height)]
    y = 0
    for b in blocks:
        for t, glyphs, text, cells in b:
            for i, ch in enumerate(text):
                rows = glyphs[ord(ch)]
                for r in range(t.height):
                    for x in range(t.width):
                        px = 2 + i * t.width + x
                        if px >= width:
                            continue
                        on = rows[r] >> (t.width - 1 - x) & 1
                        shade = (235 if i % 2 else 215) if cells else 255
                        img[y + r][px] = 0 if on else shade
            y += t.height + 2
        y += 6
    big = []
    for row in img:
        wide = [v for v in row for _ in range(scale)]
        big.extend([wide] * scale)
    write_png(path, big, width * scale, height * scale)


def write_all():
    os.makedirs(OUT_DIR, exist_ok=True)
    total = 0
    for t in TARGETS:
        glyphs, origin = make_glyphs(t)
        for code in range(33, 127):
            if not any(glyphs[code]):
                raise SystemExit("%s: printable code %d is empty" % (t.name, code))
        total += write_target(t, glyphs, origin)
        print("%-16s %2dx%-2d from %s" % (t.name, t.width, t.height,
                                          ", ".join([t.source] + t.companions)))
    print("%d fonts, %d bytes of glyphs" % (len(TARGETS), total))


def main(argv):
    if len(argv) >= 3 and argv[1] == "--show":
        target = next(t for t in TARGETS if t.name == argv[2])
        glyphs = make_glyphs(target)[0]
        text = argv[3] if len(argv) > 3 else "Ag|_"
        code_of = {code_point(c): c for c in range(256)}
        codes = [code_of[ord(ch)] for ch in text if ord(ch) in code_of]
        for r in range(target.height):
            print(" ".join("".join("#" if glyphs[c][r] >> (target.width - 1 - x) & 1 else "."
                                   for x in range(target.width)) for c in codes))
    elif len(argv) >= 3 and argv[1] == "--preview":
        scale = int(argv[3]) if len(argv) > 3 else 2
        preview(argv[2], scale, argv[4:] or None)
    elif len(argv) == 1:
        write_all()
    else:
        print(__doc__)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
