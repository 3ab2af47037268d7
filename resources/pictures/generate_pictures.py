#!/usr/bin/env python3
"""Draws every picture Orblane shows and writes the Qt resource file that compiles them in.

Run from anywhere:  python3 resources/pictures/generate_pictures.py
Only Python's standard library is used: shapes are polygons filled with 4 x 4 supersampling and written as PNG.

Outputs (all under resources/):
  bitmaps/<NAME><U|D|F|X>.png  64 x 64 RGB button faces: U normal, D pressed/checked, F focused, X disabled
  bitmaps/109.png, 110.png     48 x 48 RGB layout chooser cells (outside / inside the chosen block)
  cursors/<id>.png             32 x 32 RGBA mouse cursors, hotspot in the PNG text keys HotspotX / HotspotY
  icons/199-<size>.png         application icon at 16, 32, 48, 64 and 256 pixels
  orblane.qrc                  the resource list (aliases bitmaps/<name>, cursors/<id>, icons/199-<size>)
"""
import math
import pathlib
import struct
import zlib

ROOT = pathlib.Path(__file__).resolve().parent.parent
SUPERSAMPLE = 4

# ---------------------------------------------------------------------------------------------------------------
# Rasteriser: nonzero-winding polygon fill with exact horizontal span coverage on SUPERSAMPLE sub-rows per pixel.


class Canvas:
    def __init__(self, width, height, background=(0, 0, 0, 255)):
        self.width, self.height = width, height
        self.pixels = [[c / 255.0 for c in background] for _ in range(width * height)]
        self.dx = self.dy = 0.0

    def coverage(self, polygons):
        ss = SUPERSAMPLE
        sub_width = self.width * ss
        edges = []
        for poly in polygons:
            n = len(poly)
            for i in range(n):
                x0, y0 = poly[i]
                x1, y1 = poly[(i + 1) % n]
                x0 += self.dx; x1 += self.dx; y0 += self.dy; y1 += self.dy
                if y0 == y1:
                    continue
                winding = 1 if y1 > y0 else -1
                if y0 > y1:
                    x0, y0, x1, y1 = x1, y1, x0, y0
                edges.append((y0, y1, x0, (x1 - x0) / (y1 - y0), winding))
        cov = {}
        if not edges:
            return cov
        first = max(0, int(math.floor(min(e[0] for e in edges) * ss)))
        last = min(self.height * ss, int(math.ceil(max(e[1] for e in edges) * ss)))
        unit = 1.0 / (ss * ss)
        for sub_y in range(first, last):
            y = (sub_y + 0.5) / ss
            crossings = sorted((x0 + (y - y0) * slope, w) for (y0, y1, x0, slope, w) in edges if y0 <= y < y1)
            row = (sub_y // ss) * self.width
            winding = 0
            start = 0.0
            for x, w in crossings:
                before = winding
                winding += w
                if before == 0 and winding != 0:
                    start = x
                elif before != 0 and winding == 0:
                    a = max(0, math.ceil(start * ss - 0.5))
                    b = min(sub_width, math.ceil(x * ss - 0.5))
                    if b <= a:
                        continue
                    pa, pb = a // ss, (b - 1) // ss
                    if pa == pb:
                        cov[row + pa] = cov.get(row + pa, 0.0) + (b - a) * unit
                        continue
                    cov[row + pa] = cov.get(row + pa, 0.0) + (ss * (pa + 1) - a) * unit
                    for p in range(pa + 1, pb):
                        cov[row + p] = cov.get(row + p, 0.0) + ss * unit
                    cov[row + pb] = cov.get(row + pb, 0.0) + (b - ss * pb) * unit
        return cov

    def fill(self, polygons, paint):
        """paint: (r, g, b[, a]) in 0..255, or a function (x, y) -> such a tuple, x and y in pixels."""
        for index, amount in self.coverage(polygons).items():
            amount = min(1.0, amount)
            if callable(paint):
                colour = paint(index % self.width + 0.5 - self.dx, index // self.width + 0.5 - self.dy)
            else:
                colour = paint
            alpha = (colour[3] / 255.0 if len(colour) > 3 else 1.0) * amount
            dst = self.pixels[index]
            out_alpha = alpha + dst[3] * (1.0 - alpha)
            if out_alpha <= 0.0:
                continue
            for c in range(3):
                dst[c] = (colour[c] / 255.0 * alpha + dst[c] * dst[3] * (1.0 - alpha)) / out_alpha
            dst[3] = out_alpha

    def png(self, path, alpha, texts=()):
        channels = 4 if alpha else 3
        raw = bytearray()
        for y in range(self.height):
            raw.append(0)
            for x in range(self.width):
                p = self.pixels[y * self.width + x]
                raw.extend(max(0, min(255, round(v * 255.0))) for v in p[:channels])

        def chunk(kind, data):
            body = kind + data
            return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

        out = b"\x89PNG\r\n\x1a\n"
        out += chunk(b"IHDR", struct.pack(">IIBBBBB", self.width, self.height, 8, 6 if alpha else 2, 0, 0, 0))
        for key, value in texts:
            out += chunk(b"tEXt", key.encode("latin-1") + b"\0" + value.encode("latin-1"))
        out += chunk(b"IDAT", zlib.compress(bytes(raw), 9))
        out += chunk(b"IEND", b"")
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(out)


# ---------------------------------------------------------------------------------------------------------------
# Geometry: every solid piece is oriented the same way so pieces of one fill unite; holes run the other way.


def area(poly):
    return sum(poly[i][0] * poly[(i + 1) % len(poly)][1] - poly[(i + 1) % len(poly)][0] * poly[i][1]
               for i in range(len(poly))) / 2.0


def solid(poly):
    return poly if area(poly) > 0 else poly[::-1]


def hole(poly):
    return poly if area(poly) < 0 else poly[::-1]


def circle(cx, cy, r):
    n = max(16, int(r * 6))
    return solid([(cx + r * math.cos(2 * math.pi * i / n), cy + r * math.sin(2 * math.pi * i / n)) for i in range(n)])


def ring(cx, cy, r, width):
    return [circle(cx, cy, r + width / 2), hole(circle(cx, cy, r - width / 2))]


def arc(cx, cy, r, a0, a1):
    """Points of a circular arc, angles in degrees, y pointing down (positive angles turn clockwise on screen)."""
    n = max(8, int(abs(a1 - a0) / 4))
    return [(cx + r * math.cos(math.radians(a0 + (a1 - a0) * i / n)),
             cy + r * math.sin(math.radians(a0 + (a1 - a0) * i / n))) for i in range(n + 1)]


def rrect(x0, y0, x1, y1, r):
    if r <= 0:
        return solid([(x0, y0), (x1, y0), (x1, y1), (x0, y1)])
    pts = []
    pts += arc(x1 - r, y0 + r, r, -90, 0)
    pts += arc(x1 - r, y1 - r, r, 0, 90)
    pts += arc(x0 + r, y1 - r, r, 90, 180)
    pts += arc(x0 + r, y0 + r, r, 180, 270)
    return solid(pts)


def stroke(points, width, cap="round", closed=False):
    """A polyline of the given width: one quad per segment, round joins, round, butt or square ends."""
    hw = width / 2.0
    pts = list(points)
    if cap == "square" and not closed:
        def extend(p, q):
            d = math.hypot(p[0] - q[0], p[1] - q[1]) or 1.0
            return (p[0] + (p[0] - q[0]) / d * hw, p[1] + (p[1] - q[1]) / d * hw)
        pts[0] = extend(pts[0], pts[1])
        pts[-1] = extend(pts[-1], pts[-2])
    pieces = []
    segments = list(zip(pts, pts[1:])) + ([(pts[-1], pts[0])] if closed else [])
    for (x0, y0), (x1, y1) in segments:
        length = math.hypot(x1 - x0, y1 - y0)
        if length == 0:
            continue
        nx, ny = -(y1 - y0) / length * hw, (x1 - x0) / length * hw
        pieces.append(solid([(x0 + nx, y0 + ny), (x1 + nx, y1 + ny), (x1 - nx, y1 - ny), (x0 - nx, y0 - ny)]))
    joints = pts if (closed or cap == "round") else pts[1:-1]
    pieces += [circle(x, y, hw) for (x, y) in joints]
    return pieces


def vgradient(top, bottom, y0, y1):
    def paint(_x, y):
        t = min(1.0, max(0.0, (y - y0) / float(y1 - y0)))
        return tuple(round(a + (b - a) * t) for a, b in zip(top, bottom))
    return paint


# ---------------------------------------------------------------------------------------------------------------
# Button faces. One style for every control: a dark key with a bevelled rim and a light glyph; the pressed or
# checked face turns blue, the focused face gets an amber ring, the disabled face goes flat and dim.

STATES = {
    "U": dict(rim=((104, 112, 124), (22, 24, 28)), face=((62, 68, 78), (34, 37, 43)), ring=None,
              ink=(236, 240, 246), accent=(92, 186, 255), cut=(46, 50, 58), shift=0),
    "D": dict(rim=((20, 40, 64), (110, 180, 240)), face=((18, 70, 128), (30, 110, 190)), ring=None,
              ink=(255, 255, 255), accent=(255, 214, 92), cut=(24, 88, 156), shift=1),
    "F": dict(rim=((104, 112, 124), (22, 24, 28)), face=((62, 68, 78), (34, 37, 43)), ring=(255, 178, 36),
              ink=(236, 240, 246), accent=(92, 186, 255), cut=(46, 50, 58), shift=0),
    "X": dict(rim=((40, 42, 46), (30, 31, 34)), face=((30, 32, 36), (26, 27, 30)), ring=None,
              ink=(86, 90, 98), accent=(70, 78, 90), cut=(28, 30, 33), shift=0),
}


def button_face(glyph, state):
    s = STATES[state]
    c = Canvas(64, 64)
    c.fill([rrect(0, 0, 64, 64, 7)], vgradient(*s["rim"], 0, 64))
    if s["ring"]:
        c.fill([rrect(0, 0, 64, 64, 7), hole(rrect(3, 3, 61, 61, 5))], s["ring"])
        c.fill([rrect(3, 3, 61, 61, 5)], vgradient(*s["face"], 3, 61))
    else:
        c.fill([rrect(1.5, 1.5, 62.5, 62.5, 6)], vgradient(*s["face"], 1.5, 62.5))
    c.dx = c.dy = s["shift"]
    glyph(c, s)
    return c


def magnifier(c, s, plus):
    c.fill(ring(28, 28, 11.5, 4) + stroke([(36.5, 36.5), (47, 47)], 7), s["ink"])
    c.fill(stroke([(22.5, 28), (33.5, 28)], 3.5, cap="butt"), s["accent"])
    if plus:
        c.fill(stroke([(28, 22.5), (28, 33.5)], 3.5, cap="butt"), s["accent"])


def glyph_pan(c, s):
    c.fill(stroke([(32, 18), (32, 46)], 4, cap="butt") + stroke([(18, 32), (46, 32)], 4, cap="butt"), s["ink"])
    heads = [[(32, 10), (24.5, 19), (39.5, 19)], [(32, 54), (24.5, 45), (39.5, 45)],
             [(10, 32), (19, 24.5), (19, 39.5)], [(54, 32), (45, 24.5), (45, 39.5)]]
    c.fill([solid(h) for h in heads], s["ink"])
    c.fill([circle(32, 32, 4)], s["accent"])


def glyph_contrast(c, s):
    c.fill(ring(32, 32, 16, 3.5), s["ink"])
    c.fill([solid([(32, 32)] + arc(32, 32, 14.3, 90, 270))], s["ink"])
    c.fill([solid([(32, 32)] + arc(32, 32, 14.3, -90, 90))], s["cut"])
    c.fill([solid([(32, 32)] + arc(32, 32, 8, -90, 90))], s["accent"])


def glyph_select(c, s):
    c.fill(stroke([(22, 13), (22, 46), (30, 38.5), (35.5, 50), (41, 47.5), (35.5, 36.5), (46, 36.5)], 2.5,
                  closed=True) + [solid([(22, 13), (22, 46), (30, 38.5), (35.5, 50), (41, 47.5), (35.5, 36.5),
                                         (46, 36.5)])], s["ink"])


def glyph_info(c, s):
    c.fill(stroke([(13, 15), (51, 15), (51, 49), (13, 49)], 3, closed=True), s["ink"])
    c.fill(stroke([(19, 22), (31, 22)], 3, cap="butt") + stroke([(19, 27.5), (27, 27.5)], 3, cap="butt") +
           stroke([(33, 36.5), (45, 36.5)], 3, cap="butt") + stroke([(37, 42), (45, 42)], 3, cap="butt"),
           s["accent"])


def glyph_fit(c, s):
    arms = []
    for (x, y, dx, dy) in [(13, 13, 1, 1), (51, 13, -1, 1), (13, 51, 1, -1), (51, 51, -1, -1)]:
        arms += stroke([(x + 11 * dx, y), (x, y), (x, y + 11 * dy)], 4, cap="butt")
    c.fill(arms, s["ink"])
    c.fill([rrect(22, 24, 42, 40, 2)], s["accent"])


def glyph_reset(c, s):
    cx, cy, r = 32, 33, 14
    a0, a1 = -30.0, 240.0
    c.fill(stroke(arc(cx, cy, r, a0, a1), 4.5, cap="butt"), s["ink"])
    # arrowhead at the end of the sweep, pointing along it
    a = math.radians(a1)
    px, py = cx + r * math.cos(a), cy + r * math.sin(a)
    tx, ty = -math.sin(a), math.cos(a)
    nx, ny = math.cos(a), math.sin(a)
    c.fill([solid([(px + tx * 8, py + ty * 8), (px + nx * 7 - tx * 1, py + ny * 7 - ty * 1),
                   (px - nx * 7 - tx * 1, py - ny * 7 - ty * 1)])], s["ink"])
    c.fill([circle(cx, cy, 3.5)], s["accent"])


def triangles(c, s, direction, count):
    shapes = []
    width = 20 if count == 1 else 17
    total = width * count
    x = 32 - total / 2
    for _ in range(count):
        if direction < 0:
            shapes.append(solid([(x, 32), (x + width, 17), (x + width, 47)]))
        else:
            shapes.append(solid([(x + width, 32), (x, 17), (x, 47)]))
        x += width
    c.fill(shapes, s["ink"])
    bar = 32 - total / 2 - 5 if direction < 0 else 32 + total / 2 + 5
    if count == 1:
        c.fill(stroke([(bar, 18), (bar, 46)], 4, cap="butt"), s["accent"])


def glyph_save(c, s):
    c.fill([solid([(14, 14), (44, 14), (50, 20), (50, 50), (14, 50)])], s["ink"])
    c.fill([rrect(21, 14, 41, 26, 1)], s["cut"])
    c.fill([rrect(34, 16.5, 38, 23.5, 0.5)], s["ink"])
    c.fill([rrect(19, 32, 45, 46, 1.5)], s["accent"])


def glyph_pattern(c, s):
    for row in range(3):
        for col in range(3):
            x, y = 15 + col * 12, 15 + row * 12
            colour = s["accent"] if row < 2 and col < 2 else s["ink"]
            c.fill([rrect(x, y, x + 10, y + 10, 1.5)], colour)


def glyph_close(c, s):
    c.fill(stroke([(19, 19), (45, 45)], 6) + stroke([(45, 19), (19, 45)], 6), s["ink"])


def glyph_view(c, s):
    top = [(32 + x, 32 - 13 * (1 - (x / 21.0) ** 2)) for x in range(-21, 22)]
    bottom = [(32 + x, 32 + 13 * (1 - (x / 21.0) ** 2)) for x in range(21, -22, -1)]
    c.fill(stroke(top + bottom[1:-1], 3, closed=True), s["ink"])
    c.fill([circle(32, 32, 8.5)], s["accent"])
    c.fill([circle(32, 32, 3.5)], s["cut"])


def glyph_about(c, s):
    c.fill(ring(32, 32, 17, 3.5), s["ink"])
    c.fill([circle(32, 23.5, 3)], s["accent"])
    c.fill(stroke([(32, 30), (32, 42)], 5.5, cap="butt"), s["ink"])


def glyph_exit(c, s):
    c.fill(stroke(arc(32, 34, 14, -55, 235), 4.5), s["ink"])
    c.fill(stroke([(32, 14), (32, 32)], 4.5), s["accent"])


BUTTONS = {
    "ZOOMIN": lambda c, s: magnifier(c, s, True),
    "ZOOMOUT": lambda c, s: magnifier(c, s, False),
    "MODEPAN": glyph_pan,
    "MODECONT": glyph_contrast,
    "SELECT": glyph_select,
    "IMGINFO": glyph_info,
    "IMGFIT": glyph_fit,
    "RESET": glyph_reset,
    "BEFOREIMG": lambda c, s: triangles(c, s, -1, 1),
    "NEXTIMG": lambda c, s: triangles(c, s, 1, 1),
    "BEFOREPAGE": lambda c, s: triangles(c, s, -1, 2),
    "NEXTPAGE": lambda c, s: triangles(c, s, 1, 2),
    "SAVEIMG": glyph_save,
    "CHGIMGPTN": glyph_pattern,
    "VIEWEND": glyph_close,
    "VWSTART": glyph_view,
    "VERINFO": glyph_about,
    "EXIT": glyph_exit,
}

# ---------------------------------------------------------------------------------------------------------------
# Layout chooser cells: the pop-up's background (CHOOSER_BACKGROUND, also painted by the pop-up) around a small
# tile, so the centred 48 x 48 picture may be clipped by a smaller cell without showing a seam.

CHOOSER_BACKGROUND = (24, 26, 31)


def chooser_cell(inside):
    c = Canvas(48, 48, CHOOSER_BACKGROUND + (255,))
    if inside:
        c.fill([rrect(8, 11, 40, 37, 3)], (150, 210, 255))
        c.fill([rrect(9.5, 12.5, 38.5, 35.5, 2)], vgradient((70, 166, 250), (28, 110, 206), 12.5, 35.5))
    else:
        c.fill([rrect(8, 11, 40, 37, 3)], (84, 92, 104))
        c.fill([rrect(9.5, 12.5, 38.5, 35.5, 2)], vgradient((52, 57, 66), (40, 44, 51), 12.5, 35.5))
    return c


# ---------------------------------------------------------------------------------------------------------------
# Cursors: white shapes with a dark outline so they read on black images and on white ones.


class Pen:
    def __init__(self, canvas, colour, grow):
        self.canvas, self.colour, self.grow = canvas, colour, grow

    def stroke(self, pts, width, cap="round"):
        self.canvas.fill(stroke(pts, width + 2 * self.grow, cap=cap), self.colour)

    def ring(self, cx, cy, r, width):
        self.canvas.fill(ring(cx, cy, r, width + 2 * self.grow), self.colour)

    def shape(self, poly):
        pieces = [solid(poly)]
        if self.grow:
            pieces += stroke(poly, 2 * self.grow, closed=True)
        self.canvas.fill(pieces, self.colour)


def cursor(draw):
    c = Canvas(32, 32, (0, 0, 0, 0))
    draw(Pen(c, (16, 16, 20, 255), 1.3))
    draw(Pen(c, (255, 255, 255, 255), 0))
    return c


def cursor_magnifier(pen, plus):
    pen.ring(13, 13, 8, 2.5)
    pen.stroke([(19, 19), (27, 27)], 4)
    pen.stroke([(9.5, 13), (16.5, 13)], 2, cap="butt")
    if plus:
        pen.stroke([(13, 9.5), (13, 16.5)], 2, cap="butt")


def cursor_open_hand(pen):
    for x, top in [(10.5, 9.5), (14.2, 6.5), (17.9, 7), (21.5, 10)]:
        pen.stroke([(x, 18), (x, top)], 3.3)
    pen.stroke([(9, 22), (5.5, 17.5)], 3.3)
    pen.shape(rrect(8.8, 15, 23.2, 27, 4))


def cursor_closed_hand(pen):
    for x in (10.5, 14.2, 17.9, 21.5):
        pen.stroke([(x, 16), (x, 12.5)], 3.3)
    pen.stroke([(9, 20), (12.5, 17)], 3.3)
    pen.shape(rrect(8.8, 13, 23.2, 25, 4))


def cursor_contrast(pen):
    pen.ring(16, 16, 9, 2)
    pen.shape([(16, 16)] + arc(16, 16, 8.5, 90, 270))
    pen.stroke([(16, 2.5), (16, 5.5)], 1.6, cap="butt")
    pen.stroke([(16, 26.5), (16, 29.5)], 1.6, cap="butt")
    pen.stroke([(2.5, 16), (5.5, 16)], 1.6, cap="butt")
    pen.stroke([(26.5, 16), (29.5, 16)], 1.6, cap="butt")


CURSORS = {
    124: (lambda p: cursor_magnifier(p, False), (13, 13)),
    125: (cursor_contrast, (16, 16)),
    126: (lambda p: cursor_magnifier(p, True), (13, 13)),
    127: (cursor_closed_hand, (16, 18)),
    128: (cursor_open_hand, (16, 18)),
}

# ---------------------------------------------------------------------------------------------------------------
# Application icon: an orb crossed by a lane on a deep blue key, drawn on a 256 grid and scaled.


def app_icon(size):
    k = size / 256.0

    def sc(points):
        return [(x * k, y * k) for x, y in points]

    c = Canvas(size, size, (0, 0, 0, 0))
    c.fill([sc(rrect(8, 8, 248, 248, 52))], vgradient((30, 78, 138), (8, 24, 52), 8 * k, 248 * k))
    c.fill([sc(p) for p in ring(128, 128, 66, 22)], (236, 242, 250))
    c.fill([sc(p) for p in stroke([(52, 204), (204, 52)], 58)], (14, 38, 76))
    c.fill([sc(p) for p in stroke([(52, 204), (204, 52)], 26)], (92, 186, 255))
    c.fill([sc(circle(128, 128, 24))], (255, 214, 92))
    return c


def main():
    entries = []
    for name, glyph in BUTTONS.items():
        for state in "UDFX":
            file = f"bitmaps/{name}{state}.png"
            button_face(glyph, state).png(ROOT / file, alpha=False)
            entries.append((f"bitmaps/{name}{state}", file))
    for number, inside in ((109, False), (110, True)):
        file = f"bitmaps/{number}.png"
        chooser_cell(inside).png(ROOT / file, alpha=False)
        entries.append((f"bitmaps/{number}", file))
    for number, (draw, (hx, hy)) in CURSORS.items():
        file = f"cursors/{number}.png"
        cursor(draw).png(ROOT / file, alpha=True, texts=(("HotspotX", str(hx)), ("HotspotY", str(hy))))
        entries.append((f"cursors/{number}", file))
    for size in (16, 32, 48, 64, 256):
        file = f"icons/199-{size}.png"
        app_icon(size).png(ROOT / file, alpha=True)
        entries.append((f"icons/199-{size}", file))
    lines = ["<!-- Written by pictures/generate_pictures.py; edit that script, not this file. -->", "<RCC>",
             '    <qresource prefix="/">']
    lines += [f'        <file alias="{alias}">{file}</file>' for alias, file in entries]
    lines += ["    </qresource>", "</RCC>", ""]
    (ROOT / "orblane.qrc").write_text("\n".join(lines))


if __name__ == "__main__":
    main()
