#!/usr/bin/env python3
"""Draws Orblane.bmp, the launch bitmap shown by the splash window and the version dialog.

Standard library only, deterministic: the lettering is a small stroke font defined below and rendered with
analytic anti-aliasing (coverage from the distance to each stroke), so the picture is the same on every machine.
Run from anywhere: python3 resources/medium/draw_launch_bitmap.py
"""
import math
import os
import struct

WIDTH, HEIGHT = 640, 400


def arc(cx, cy, rx, ry, a0, a1, steps=28):
    """Points of an elliptic arc, angles in degrees, counter-clockwise from +x (y grows upwards)."""
    return [(cx + rx * math.cos(math.radians(a0 + (a1 - a0) * i / steps)),
             cy + ry * math.sin(math.radians(a0 + (a1 - a0) * i / steps))) for i in range(steps + 1)]


# Glyphs in units of the cap height (baseline y = 0, cap line y = 1, x-height 0.68): (advance, [polylines]).
X = 0.68
GLYPHS = {
    'T': (0.8, [[(0, 1), (0.8, 1)], [(0.4, 1), (0.4, 0)]]),
    'A': (0.8, [[(0, 0), (0.4, 1), (0.8, 0)], [(0.15, 0.36), (0.65, 0.36)]]),
    'L': (0.6, [[(0, 1), (0, 0), (0.6, 0)]]),
    'V': (0.8, [[(0, 1), (0.4, 0), (0.8, 1)]]),
    'I': (0.0, [[(0, 0), (0, 1)]]),
    'R': (0.65, [[(0, 0), (0, 1), (0.4, 1)] + arc(0.4, 0.75, 0.25, 0.25, 90, -90) + [(0, 0.5)],
                 [(0.33, 0.5), (0.65, 0)]]),
    'E': (0.6, [[(0.6, 1), (0, 1), (0, 0), (0.6, 0)], [(0, 0.5), (0.5, 0.5)]]),
    'N': (0.7, [[(0, 0), (0, 1), (0.7, 0), (0.7, 1)]]),
    'D': (0.8, [[(0, 0), (0, 1), (0.3, 1)] + arc(0.3, 0.5, 0.5, 0.5, 90, -90) + [(0, 0)]]),
    'C': (0.85, [arc(0.45, 0.5, 0.45, 0.5, 40, 320, 40)]),
    'O': (0.9, [arc(0.45, 0.5, 0.45, 0.5, 0, 360, 48)]),
    'M': (0.9, [[(0, 0), (0, 1), (0.45, 0.32), (0.9, 1), (0.9, 0)]]),
    'r': (0.45, [[(0, 0), (0, X)], arc(0.34, 0.36, 0.34, 0.32, 180, 80)]),
    'b': (0.6, [[(0, 1), (0, 0)], arc(0.3, X / 2, 0.3, X / 2, 0, 360, 40)]),
    'l': (0.0, [[(0, 1), (0, 0)]]),
    'a': (0.6, [arc(0.3, X / 2, 0.3, X / 2, 0, 360, 40), [(0.6, X), (0.6, 0)]]),
    'n': (0.56, [[(0, 0), (0, X)], arc(0.28, 0.38, 0.28, 0.3, 180, 0) + [(0.56, 0)]]),
    'e': (0.6, [[(0, X / 2), (0.6, X / 2)] + arc(0.3, X / 2, 0.3, X / 2, 0, 320, 40)]),
    'i': (0.0, [[(0, 0), (0, X)], [(0, 0.92), (0, 0.92)]]),
    'w': (0.8, [[(0, X), (0.2, 0), (0.4, 0.55), (0.6, 0), (0.8, X)]]),
    ' ': (0.35, []),
}
LETTER_GAP = 0.24


def text_width(text):
    advances = [GLYPHS[c][0] for c in text]
    return sum(advances) + LETTER_GAP * (len(text) - 1)


def text_segments(text, left, baseline, size):
    """Pixel-space line segments of a text line."""
    segments = []
    x = 0.0
    for c in text:
        advance, strokes = GLYPHS[c]
        for stroke in strokes:
            points = [(left + (x + px) * size, baseline - py * size) for px, py in stroke]
            for a, b in zip(points, points[1:]):
                segments.append((a, b))
        x += advance + LETTER_GAP
    return segments


def distance_to_segment(px, py, a, b):
    ax, ay = a
    bx, by = b
    dx, dy = bx - ax, by - ay
    length2 = dx * dx + dy * dy
    t = 0.0 if length2 == 0 else max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / length2))
    qx, qy = ax + t * dx - px, ay + t * dy - py
    return math.sqrt(qx * qx + qy * qy)


def stroke_coverage(segments, half_width):
    """Coverage per pixel (dict) of round-capped strokes."""
    coverage = {}
    reach = half_width + 1.5
    for a, b in segments:
        x0 = int(math.floor(min(a[0], b[0]) - reach))
        x1 = int(math.ceil(max(a[0], b[0]) + reach))
        y0 = int(math.floor(min(a[1], b[1]) - reach))
        y1 = int(math.ceil(max(a[1], b[1]) + reach))
        for y in range(max(0, y0), min(HEIGHT, y1 + 1)):
            for x in range(max(0, x0), min(WIDTH, x1 + 1)):
                d = distance_to_segment(x + 0.5, y + 0.5, a, b)
                c = max(0.0, min(1.0, half_width + 0.5 - d))
                if c > coverage.get((x, y), 0.0):
                    coverage[(x, y)] = c
    return coverage


def mix(c0, c1, t):
    return tuple(c0[i] + (c1[i] - c0[i]) * t for i in range(3))


def hex_colour(text):
    return tuple(int(text[i:i + 2], 16) for i in (1, 3, 5))


def paint(image, coverage, colour):
    for (x, y), c in coverage.items():
        image[y][x] = mix(image[y][x], colour, c)


def draw():
    top, bottom = hex_colour('#13294b'), hex_colour('#060f1c')
    glow = hex_colour('#1d5687')
    orb_cx, orb_cy, orb_r = 320.0, 128.0, 66.0
    image = []
    for y in range(HEIGHT):
        row = []
        base = mix(top, bottom, y / (HEIGHT - 1))
        for x in range(WIDTH):
            d = math.hypot(x + 0.5 - orb_cx, (y + 0.5 - orb_cy) * 1.3) / 260.0
            row.append(mix(base, glow, max(0.0, 1.0 - d) ** 2 * 0.55))
        image.append(row)

    # The orb with its lane: an inclined ellipse, the far half behind the orb and the near half in front.
    tilt = math.radians(-16)
    lane = []
    for i in range(121):
        t = 2 * math.pi * i / 120
        ex, ey = 1.62 * orb_r * math.cos(t), 0.36 * orb_r * math.sin(t)
        lane.append((orb_cx + ex * math.cos(tilt) - ey * math.sin(tilt),
                     orb_cy + ex * math.sin(tilt) + ey * math.cos(tilt), math.sin(t)))
    far = [(a[:2], b[:2]) for a, b in zip(lane, lane[1:]) if a[2] < 0 and b[2] <= 0]
    near = [(a[:2], b[:2]) for a, b in zip(lane, lane[1:]) if a[2] >= 0 and b[2] >= 0]
    lane_colour = hex_colour('#9fe4f4')
    paint(image, stroke_coverage(far, 2.2), mix(lane_colour, hex_colour('#13294b'), 0.45))

    light, dark, rim = hex_colour('#7fdcef'), hex_colour('#0d3f63'), hex_colour('#2a8fb8')
    hx, hy = orb_cx - 0.38 * orb_r, orb_cy - 0.42 * orb_r
    for y in range(int(orb_cy - orb_r - 2), int(orb_cy + orb_r + 3)):
        for x in range(int(orb_cx - orb_r - 2), int(orb_cx + orb_r + 3)):
            px, py = x + 0.5, y + 0.5
            dist = math.hypot(px - orb_cx, py - orb_cy)
            c = max(0.0, min(1.0, orb_r - dist + 0.5))
            if c == 0.0:
                continue
            shade = min(1.0, math.hypot(px - hx, py - hy) / (1.55 * orb_r))
            colour = mix(light, dark, shade ** 0.9)
            edge = max(0.0, (dist / orb_r - 0.82) / 0.18)
            colour = mix(colour, rim, edge * 0.6)
            image[y][x] = mix(image[y][x], colour, c)
    paint(image, stroke_coverage(near, 2.4), lane_colour)

    title, title_size = 'Orblane', 58.0
    left = (WIDTH - text_width(title) * title_size) / 2
    paint(image, stroke_coverage(text_segments(title, left, 284.0, title_size), 3.6), hex_colour('#f4f8fc'))

    accent = hex_colour('#2fa4c8')
    paint(image, stroke_coverage([((WIDTH / 2 - 110, 306.0), (WIDTH / 2 + 110, 306.0))], 0.9), accent)

    subtitle, subtitle_size = 'TALVIREN DICOM MEDIA Viewer', 15.0
    left = (WIDTH - text_width(subtitle) * subtitle_size) / 2
    paint(image, stroke_coverage(text_segments(subtitle, left, 338.0, subtitle_size), 0.95), hex_colour('#b4cce2'))
    return image


def write_bmp(path, image):
    row_size = (WIDTH * 3 + 3) // 4 * 4
    pixels = bytearray()
    for row in reversed(image):  # bottom-up rows
        line = bytearray()
        for r, g, b in row:
            line += bytes((int(round(b)), int(round(g)), int(round(r))))
        line += b'\0' * (row_size - len(line))
        pixels += line
    header = struct.pack('<2sIHHI', b'BM', 14 + 40 + len(pixels), 0, 0, 14 + 40)
    info = struct.pack('<IiiHHIIiiII', 40, WIDTH, HEIGHT, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    with open(path, 'wb') as out:
        out.write(header + info + pixels)


if __name__ == '__main__':
    write_bmp(os.path.join(os.path.dirname(os.path.abspath(__file__)), 'Orblane.bmp'), draw())
