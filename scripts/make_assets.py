#!/usr/bin/env python3
"""Draws the toolbar strips (bitmaps 130 and 132, and their 150 % and 200 % versions for screens of 144
and 192 DPI) and the program icon (148) into src/resources/.

Plain Python, no packages: shapes are sampled 4 x 4 per pixel and averaged, the strips are
quantised to an 8-bit palette. Run it after changing a drawing and commit the outputs.
"""
import math
import os
import struct

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "src", "resources")
CELL = 23
SS = 4
BACKGROUND = (192, 192, 192)  # mapped to the button face when the strip is loaded


# ---- shapes: inside(x, y) tests in pixel coordinates of one 23 x 23 cell ----------------------

def rect(x0, y0, x1, y1):
    return lambda x, y: x0 <= x < x1 and y0 <= y < y1


def circle(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def ring(cx, cy, r0, r1):
    return lambda x, y: r0 * r0 <= (x - cx) ** 2 + (y - cy) ** 2 <= r1 * r1


def segment(ax, ay, bx, by, width):
    dx, dy = bx - ax, by - ay
    ll = dx * dx + dy * dy

    def inside(x, y):
        t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / ll))
        px, py = ax + t * dx, ay + t * dy
        return (x - px) ** 2 + (y - py) ** 2 <= width * width / 4

    return inside


def polygon(points):
    def inside(x, y):
        c = False
        n = len(points)
        for i in range(n):
            (x0, y0), (x1, y1) = points[i], points[(i + 1) % n]
            if (y0 > y) != (y1 > y) and x < (x1 - x0) * (y - y0) / (y1 - y0) + x0:
                c = not c
        return c

    return inside


def outline(points, width):
    segs = [segment(*points[i], *points[(i + 1) % len(points)], width) for i in range(len(points))]
    return lambda x, y: any(s(x, y) for s in segs)


def both(a, b):
    return lambda x, y: a(x, y) and b(x, y)


def either(*shapes):
    return lambda x, y: any(s(x, y) for s in shapes)


# ---- the nine toolbar glyphs, in strip order ------------------------------------------------

INK = (24, 24, 28)


def glyph_save():
    body = [(3, 3), (18, 3), (20.5, 5.5), (20.5, 20.5), (3, 20.5)]
    return [
        (polygon(body), (36, 72, 160)),
        (rect(7, 3, 16.5, 9.5), (214, 218, 226)),
        (rect(12.5, 4.2, 15, 8.3), (36, 72, 160)),
        (rect(6, 12.5, 17.5, 20.5), (250, 250, 250)),
        (rect(7.5, 14.5, 16, 15.3), (120, 140, 190)),
        (rect(7.5, 17, 16, 17.8), (120, 140, 190)),
        (outline(body, 1.1), (18, 34, 90)),
    ]


def glyph_load():
    back = [(2, 5), (8, 5), (10, 7.5), (18.5, 7.5), (18.5, 19), (2, 19)]
    front = [(2, 19), (6, 11), (22, 11), (18.5, 19)]
    return [
        (polygon(back), (206, 152, 36)),
        (outline(back, 1.0), (120, 80, 10)),
        (polygon(front), (252, 214, 92)),
        (outline(front, 1.0), (120, 80, 10)),
    ]


def magnifier(extra):
    return [
        (segment(14.5, 14.5, 20.5, 20.5, 3.6), (96, 62, 30)),
        (circle(9.5, 9.5, 6.2), (214, 234, 252)),
        (ring(9.5, 9.5, 5.6, 7.2), (44, 48, 56)),
    ] + extra


def glyph_zoom_in():
    return magnifier([(rect(6, 8.5, 13, 10.5), (20, 96, 40)), (rect(8.5, 6, 10.5, 13), (20, 96, 40))])


def glyph_zoom_out():
    return magnifier([(rect(6, 8.5, 13, 10.5), (170, 30, 30))])


def glyph_fit():
    blue = (30, 90, 200)
    arrows = []
    for sx, sy in ((1, 1), (-1, 1), (1, -1), (-1, -1)):
        cx, cy = 11.5 - sx * 7, 11.5 - sy * 7  # corner tip
        arrows.append((polygon([(cx, cy), (cx + sx * 5.5, cy), (cx, cy + sy * 5.5)]), blue))
        arrows.append((segment(cx + sx * 2, cy + sy * 2, 11.5 - sx * 1.5, 11.5 - sy * 1.5, 1.8), blue))
    frame = [(2, 2), (21, 2), (21, 21), (2, 21)]
    return [(outline(frame, 1.2), (60, 60, 68))] + arrows


def glyph_smart_contrast():
    disc = circle(11.5, 11.5, 8.3)
    return [
        (both(disc, lambda x, y: x < 11.5), (20, 20, 24)),
        (both(disc, lambda x, y: x >= 11.5), (255, 255, 255)),
        (both(circle(11.5, 11.5, 3.2), lambda x, y: x < 11.5), (255, 255, 255)),
        (both(circle(11.5, 11.5, 3.2), lambda x, y: x >= 11.5), (20, 20, 24)),
        (ring(11.5, 11.5, 8.0, 9.4), (214, 120, 20)),
    ]


def one(x):
    stem = rect(x, 5, x + 2.4, 18)
    flag = polygon([(x - 2.2, 7.8), (x, 5), (x + 2.4, 5), (x - 0.4, 9)])
    base = rect(x - 1.6, 16.4, x + 4, 18)
    return either(stem, flag, base)


def glyph_100():
    return [
        (one(4.6), INK),
        (rect(10.4, 8.2, 12.6, 10.4), INK),
        (rect(10.4, 13.6, 12.6, 15.8), INK),
        (one(16.2), INK),
    ]


def glyph_arrow(up):
    pts = [(11.5, 2), (20.5, 11), (15, 11), (15, 21), (8, 21), (8, 11), (2.5, 11)]
    if not up:
        pts = [(x, 23 - y) for x, y in pts]
    fill, edge = ((246, 150, 24), (150, 70, 0)) if up else ((50, 110, 210), (16, 44, 120))
    sun = []
    if up:
        sun = [(circle(18.8, 18.8, 3.2), (255, 220, 40)), (ring(18.8, 18.8, 3.0, 3.9), (190, 120, 0))]
    return [(polygon(pts), fill), (outline(pts, 1.1), edge)] + sun


GLYPHS = [glyph_save, glyph_load, glyph_zoom_in, glyph_zoom_out, glyph_fit, glyph_smart_contrast, glyph_100,
          lambda: glyph_arrow(True), lambda: glyph_arrow(False)]


# ---- rasterising ----------------------------------------------------------------------------

def render_cell(layers, background, size=CELL):
    """Returns size x size rows of (r, g, b) and the coverage of the union of all layers; the drawing
    is in CELL x CELL units whatever the size."""
    pixels, cover = [], []
    offs = [(i + 0.5) / SS for i in range(SS)]
    unit = CELL / size
    for py in range(size):
        row, crow = [], []
        for px in range(size):
            acc = [0.0, 0.0, 0.0]
            hit = 0
            for oy in offs:
                for ox in offs:
                    x, y = (px + ox) * unit, (py + oy) * unit
                    colour = background
                    covered = False
                    for shape, c in layers:
                        if shape(x, y):
                            colour = c
                            covered = True
                    hit += covered
                    for k in range(3):
                        acc[k] += colour[k]
            n = SS * SS
            row.append(tuple(int(a / n + 0.5) for a in acc))
            crow.append(hit / n)
        pixels.append(row)
        cover.append(crow)
    return pixels, cover


def disabled_cell(pixels, cover):
    """Classic engraved look: the dark parts of the glyph in grey over a white copy one pixel
    down-right, light parts left out so inner details stay readable."""
    ink = []
    size = len(pixels)
    for py in range(size):
        row = []
        for px in range(size):
            r, g, b = pixels[py][px]
            lum = 0.299 * r + 0.587 * g + 0.114 * b
            row.append(cover[py][px] * max(0.0, min(1.0, (205 - lum) / 110)))
        ink.append(row)
    out = []
    for py in range(size):
        row = []
        for px in range(size):
            c = ink[py][px]
            s = ink[py - 1][px - 1] if py > 0 and px > 0 else 0.0
            col = [float(v) for v in BACKGROUND]
            col = [v * (1 - s) + 255 * s for v in col]
            col = [v * (1 - c) + 128 * c for v in col]
            row.append(tuple(int(v + 0.5) for v in col))
        out.append(row)
    return out


def quantise(rows):
    counts = {}
    for row in rows:
        for c in row:
            counts[c] = counts.get(c, 0) + 1
    palette = sorted(counts, key=lambda c: -counts[c])[:256]
    index = {c: i for i, c in enumerate(palette)}

    def nearest(c):
        if c not in index:
            index[c] = min(range(len(palette)), key=lambda i: sum((a - b) ** 2 for a, b in zip(c, palette[i])))
        return index[c]

    return palette, [[nearest(c) for c in row] for row in rows]


def avoid_3d_greys(rows, keep):
    # The loader maps these greys to system colours; only the background may use one.
    special = {(128, 128, 128), (223, 223, 223), (192, 192, 192)} - {keep}
    return [[(c[0] + 1, c[1] + 1, c[2] + 1) if c in special else c for c in row] for row in rows]


def write_bmp8(path, rows):
    palette, idx = quantise(rows)
    h, w = len(idx), len(idx[0])
    stride = (w + 3) & ~3
    pal = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
    pal += b"\0" * (4 * 256 - len(pal))
    bits = b"".join(bytes(row) + b"\0" * (stride - w) for row in reversed(idx))
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 8, 0, len(bits), 2835, 2835, 256, 0)
    offset = 14 + len(info) + len(pal)
    header = struct.pack("<2sIHHI", b"BM", offset + len(bits), 0, 0, offset)
    with open(path, "wb") as f:
        f.write(header + info + pal + bits)


def strips(size=CELL, suffix=""):
    enabled = [[] for _ in range(size)]
    disabled = [[] for _ in range(size)]
    for g in GLYPHS:
        pix, cover = render_cell(g(), BACKGROUND, size)
        pix = avoid_3d_greys(pix, BACKGROUND)
        dis = disabled_cell(pix, cover)
        for y in range(size):
            enabled[y] += pix[y]
            disabled[y] += dis[y]
    write_bmp8(os.path.join(OUT, "toolbar%s.bmp" % suffix), enabled)
    write_bmp8(os.path.join(OUT, "toolbar_disabled%s.bmp" % suffix), disabled)


# ---- icon -----------------------------------------------------------------------------------

def icon_image(size):
    """A small landscape photo with a contrast half-disc: rows of (r, g, b, a)."""
    s = size / 48.0

    def rounded(x, y):
        r = 8 * s
        x0, y0, x1, y1 = 2 * s, 2 * s, 46 * s, 46 * s
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return x0 <= x <= x1 and y0 <= y <= y1 and (x - cx) ** 2 + (y - cy) ** 2 <= r * r

    mountains = polygon([(p[0] * s, p[1] * s) for p in
                         [(2, 40), (15, 20), (23, 30), (31, 16), (46, 36), (46, 46), (2, 46)]])
    snow = polygon([(p[0] * s, p[1] * s) for p in [(31, 16), (35.3, 22), (31, 21), (27.4, 21)]])
    sun = circle(14 * s, 13 * s, 5.5 * s)
    half = both(circle(35 * s, 35 * s, 9 * s), lambda x, y: x >= 35 * s)
    half_dark = both(circle(35 * s, 35 * s, 9 * s), lambda x, y: x < 35 * s)
    disc_ring = ring(35 * s, 35 * s, 8.6 * s, 10.2 * s)
    border = both(rounded, lambda x, y: not rounded_inner(x, y))

    def rounded_inner(x, y):
        r = 6.6 * s
        x0, y0, x1, y1 = 3.4 * s, 3.4 * s, 44.6 * s, 44.6 * s
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return x0 <= x <= x1 and y0 <= y <= y1 and (x - cx) ** 2 + (y - cy) ** 2 <= r * r

    rows = []
    offs = [(i + 0.5) / SS for i in range(SS)]
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for oy in offs:
                for ox in offs:
                    x, y = px + ox, py + oy
                    if not rounded(x, y):
                        continue
                    t = y / size
                    c = (int(60 + 110 * t), int(120 + 90 * t), int(215 + 35 * t))
                    if sun(x, y):
                        c = (255, 200, 40)
                    if mountains(x, y):
                        c = (40, 110, 60)
                    if snow(x, y):
                        c = (245, 245, 250)
                    if half_dark(x, y):
                        c = (20, 20, 24)
                    if half(x, y):
                        c = (255, 255, 255)
                    if disc_ring(x, y):
                        c = (230, 130, 20)
                    if border(x, y):
                        c = (30, 50, 100)
                    for k in range(3):
                        acc[k] += c[k]
                    acc[3] += 1
            n = SS * SS
            if acc[3] == 0:
                row.append((0, 0, 0, 0))
            else:
                row.append(tuple(int(acc[k] / acc[3] + 0.5) for k in range(3)) + (int(255 * acc[3] / n + 0.5),))
        rows.append(row)
    return rows


def write_ico(path, sizes):
    images = []
    for size in sizes:
        rows = icon_image(size)
        xor = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
        mask_stride = ((size + 31) // 32) * 4
        and_mask = b"\0" * (mask_stride * size)
        info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(and_mask), 0, 0, 0, 0)
        images.append((size, info + xor + and_mask))
    header = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries, blobs = b"", b""
    for size, blob in images:
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
        blobs += blob
    with open(path, "wb") as f:
        f.write(header + entries + blobs)


if __name__ == "__main__":
    strips()
    strips(35, "_150")  # 144 DPI
    strips(46, "_200")  # 192 DPI
    write_ico(os.path.join(OUT, "SolvanePictova.ico"), [16, 32, 48])
    print("wrote the toolbar strips and SolvanePictova.ico to", os.path.normpath(OUT))
