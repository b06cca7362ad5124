# SPDX-FileCopyrightText: 2026 Velmaro developers
# SPDX-License-Identifier: GPL-3.0-or-later
"""A tiny deterministic rasteriser for the skin bitmaps: RGBA canvases, anti-aliased shapes from
signed distance functions, a stroke font, and a PNG writer. Only the standard library, so the
same input always gives the same bytes on every machine.
"""

import math
import struct
import zlib

# ---------------------------------------------------------------------------------------------
# Colours are (r, g, b, a) tuples of 0..255.


def rgba(r, g, b, a=255):
    return (r, g, b, a)


def mix(c0, c1, t):
    """Linear blend of two colours, t in 0..1."""
    return tuple(int(round(c0[i] + (c1[i] - c0[i]) * t)) for i in range(4))


def with_alpha(c, a):
    return (c[0], c[1], c[2], a)


# ---------------------------------------------------------------------------------------------
# Signed distance functions: f(x, y) -> distance to the outline, negative inside.


def sd_circle(cx, cy, r):
    return lambda x, y: math.hypot(x - cx, y - cy) - r


def sd_box(cx, cy, hw, hh, r=0.0):
    """Rounded box centred at (cx, cy) with half sizes hw, hh and corner radius r."""

    def f(x, y):
        qx = abs(x - cx) - hw + r
        qy = abs(y - cy) - hh + r
        outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
        return outside + min(max(qx, qy), 0.0) - r

    return f


def sd_rotated_box(cx, cy, hw, hh, angle_deg, r=0.0):
    box = sd_box(0.0, 0.0, hw, hh, r)
    ca = math.cos(math.radians(angle_deg))
    sa = math.sin(math.radians(angle_deg))

    def f(x, y):
        dx, dy = x - cx, y - cy
        return box(dx * ca + dy * sa, -dx * sa + dy * ca)

    return f


def _segment_distance(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    length2 = dx * dx + dy * dy
    t = 0.0 if length2 == 0 else max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / length2))
    return math.hypot(px - ax - dx * t, py - ay - dy * t)


def sd_polyline(points, width):
    """A stroke of the given width along the points, with round caps and joins."""
    segments = list(zip(points, points[1:])) or [(points[0], points[0])]
    half = width / 2.0

    def f(x, y):
        return min(_segment_distance(x, y, a[0], a[1], b[0], b[1]) for a, b in segments) - half

    return f


def sd_polygon(points):
    """Exact distance to a closed polygon (even-odd inside test)."""
    n = len(points)

    def f(x, y):
        best = float("inf")
        inside = False
        for i in range(n):
            ax, ay = points[i]
            bx, by = points[i - 1]
            best = min(best, _segment_distance(x, y, ax, ay, bx, by))
            if (ay > y) != (by > y) and x < (bx - ax) * (y - ay) / (by - ay) + ax:
                inside = not inside
        return -best if inside else best

    return f


def sd_ring(cx, cy, r, width):
    return lambda x, y: abs(math.hypot(x - cx, y - cy) - r) - width / 2.0


def sd_arc(cx, cy, r, width, start_deg, end_deg):
    """Part of a ring between two angles (0 = right, clockwise, as y grows downwards)."""
    a0, a1 = math.radians(start_deg), math.radians(end_deg)
    ends = [(cx + r * math.cos(a), cy + r * math.sin(a)) for a in (a0, a1)]

    def f(x, y):
        a = math.atan2(y - cy, x - cx)
        while a < a0:
            a += 2 * math.pi
        if a <= a1:
            return abs(math.hypot(x - cx, y - cy) - r) - width / 2.0
        return min(math.hypot(x - ex, y - ey) for ex, ey in ends) - width / 2.0

    return f


def union(*fs):
    return lambda x, y: min(f(x, y) for f in fs)


def subtract(f, g):
    return lambda x, y: max(f(x, y), -g(x, y))


def intersect(f, g):
    return lambda x, y: max(f(x, y), g(x, y))


def grow(f, r):
    """Rounds the outline of a shape by r pixels outwards."""
    return lambda x, y: f(x, y) - r


def transform(f, dx, dy, scale=1.0, angle_deg=0.0, mirror=False):
    """The shape f, designed around (0, 0), scaled, rotated, mirrored and moved to (dx, dy)."""
    ca = math.cos(math.radians(angle_deg))
    sa = math.sin(math.radians(angle_deg))

    def g(x, y):
        ux, uy = (x - dx) / scale, (y - dy) / scale
        rx, ry = ux * ca + uy * sa, -ux * sa + uy * ca
        if mirror:
            rx = -rx
        return f(rx, ry) * scale

    return g


# ---------------------------------------------------------------------------------------------


# Device pixels per drawing unit of the canvases made from now on: 2 draws the same picture
# at twice the pixels (the @2x bitmaps a high-density screen takes), sharp, not enlarged.
SCALE = 1


class Canvas:
    """Straight (not premultiplied) RGBA pixels, row by row. Drawing calls take units; the
    canvas holds `scale` pixels per unit each way."""

    def __init__(self, width, height, fill=(0, 0, 0, 0)):
        self.scale = SCALE
        self.width = width * self.scale
        self.height = height * self.scale
        self.pixels = bytearray(bytes(fill) * (self.width * self.height))

    def _unit(self, device):
        """The unit coordinate of a device pixel index, such that scale 1 gives it back."""
        return (device + 0.5) / self.scale - 0.5

    def get(self, x, y):
        i = (y * self.width + x) * 4
        return tuple(self.pixels[i:i + 4])

    def put(self, x, y, c):
        i = (y * self.width + x) * 4
        self.pixels[i:i + 4] = bytes(c)

    def blend(self, x, y, c, coverage=1.0):
        if not (0 <= x < self.width and 0 <= y < self.height):
            return
        sa = c[3] / 255.0 * coverage
        if sa <= 0.0:
            return
        i = (y * self.width + x) * 4
        if sa >= 1.0:
            self.pixels[i:i + 4] = bytes(c[:3]) + b"\xff"
            return
        p = self.pixels
        da = p[i + 3] / 255.0
        oa = sa + da * (1.0 - sa)
        for k in range(3):
            p[i + k] = int(round((c[k] * sa + p[i + k] * da * (1.0 - sa)) / oa))
        p[i + 3] = int(round(oa * 255.0))

    def fill_rect(self, x0, y0, x1, y1, paint):
        """Fills whole units [x0, x1) x [y0, y1); paint is a colour or a function of y."""
        s = self.scale
        x0, y0, x1, y1 = x0 * s, y0 * s, x1 * s, y1 * s
        if callable(paint) and s != 1:
            unit_paint = paint
            paint = lambda y: unit_paint(self._unit(y))  # noqa: E731
        x0, x1 = max(0, x0), min(self.width, x1)
        y0, y1 = max(0, y0), min(self.height, y1)
        if x0 >= x1:
            return
        for y in range(y0, y1):
            c = paint(y) if callable(paint) else paint
            self._span(x0, x1, y, c, 1.0)

    def _span(self, x0, x1, y, c, coverage):
        if c[3] == 255 and coverage >= 1.0:
            i = (y * self.width + x0) * 4
            self.pixels[i:i + (x1 - x0) * 4] = bytes(c) * (x1 - x0)
            return
        for x in range(x0, x1):
            self.blend(x, y, c, coverage)

    def shape(self, sdf, bbox, paint):
        """Anti-aliased fill of the shape within bbox; paint is a colour or a function (x, y)."""
        s = self.scale
        if s != 1:
            unit_sdf = sdf
            sdf = lambda x, y: unit_sdf(x / s, y / s) * s  # noqa: E731
            bbox = [v * s for v in bbox]
            if callable(paint):
                unit_paint = paint
                paint = lambda x, y: unit_paint(self._unit(x), self._unit(y))  # noqa: E731
        x0 = max(0, int(math.floor(bbox[0])) - 1)
        y0 = max(0, int(math.floor(bbox[1])) - 1)
        x1 = min(self.width, int(math.ceil(bbox[2])) + 1)
        y1 = min(self.height, int(math.ceil(bbox[3])) + 1)
        for y in range(y0, y1):
            for x in range(x0, x1):
                d = sdf(x + 0.5, y + 0.5)
                if d >= 0.5:
                    continue
                coverage = 1.0 if d <= -0.5 else 0.5 - d
                c = paint(x, y) if callable(paint) else paint
                self.blend(x, y, c, coverage)

    def round_rect(self, x0, y0, x1, y1, r, paint):
        """Fast anti-aliased rounded rectangle; paint is a colour or a function of y only."""
        s = self.scale
        if s != 1:
            x0, y0, x1, y1, r = x0 * s, y0 * s, x1 * s, y1 * s, r * s
            if callable(paint):
                unit_paint = paint
                paint = lambda y: unit_paint(self._unit(y))  # noqa: E731
        box = sd_box((x0 + x1) / 2.0, (y0 + y1) / 2.0, (x1 - x0) / 2.0, (y1 - y0) / 2.0, r)
        for y in range(max(0, int(math.floor(y0))), min(self.height, int(math.ceil(y1)))):
            c = paint(y) if callable(paint) else paint
            py = y + 0.5
            straight = y0 + r <= py <= y1 - r
            row_cover = max(0.0, min(1.0, min(py - y0, y1 - py) + 0.5))
            inner0 = int(math.ceil(x0 + (0 if straight else r)))
            inner1 = int(math.floor(x1 - (0 if straight else r)))
            for x in list(range(max(0, int(math.floor(x0))), max(0, inner0))) + list(
                range(min(self.width, inner1), min(self.width, int(math.ceil(x1))))
            ):
                d = box(x + 0.5, py)
                if d < 0.5:
                    self.blend(x, y, c, 1.0 if d <= -0.5 else 0.5 - d)
            if inner0 < inner1 and row_cover > 0.0:
                self._span(max(0, inner0), min(self.width, inner1), y, c, row_cover)

    def paste(self, other, dx, dy):
        dx, dy = dx * self.scale, dy * self.scale
        for y in range(other.height):
            for x in range(other.width):
                c = other.get(x, y)
                if c[3]:
                    self.blend(dx + x, dy + y, c)

    def png(self):
        return encode_png(self.width, self.height, self.pixels)


def vertical_gradient(y0, y1, c0, c1):
    """Paint for fills (called with y) and shapes (called with x, y)."""
    span = max(1.0, float(y1 - y0))
    return lambda *xy: mix(c0, c1, max(0.0, min(1.0, (xy[-1] - y0) / span)))


# ---------------------------------------------------------------------------------------------
# Stroke font: upper-case letters, digits and a few signs on a 4 x 6 grid, y downwards.

_O = [(0.9, 0), (3.1, 0), (4, 0.9), (4, 5.1), (3.1, 6), (0.9, 6), (0, 5.1), (0, 0.9), (0.9, 0)]
GLYPHS = {
    "A": [[(0, 6), (0, 1.6), (1.2, 0), (2.8, 0), (4, 1.6), (4, 6)], [(0, 3.6), (4, 3.6)]],
    "B": [[(0, 3), (3, 3), (4, 3.9), (4, 5.1), (3.1, 6), (0, 6), (0, 0), (2.9, 0), (3.8, 0.8),
           (3.8, 2.2), (3, 3)]],
    "C": [[(4, 0.9), (3.1, 0), (0.9, 0), (0, 0.9), (0, 5.1), (0.9, 6), (3.1, 6), (4, 5.1)]],
    "D": [[(0, 0), (0, 6), (2.5, 6), (4, 4.5), (4, 1.5), (2.5, 0), (0, 0)]],
    "E": [[(4, 0), (0, 0), (0, 6), (4, 6)], [(0, 3), (3.2, 3)]],
    "F": [[(4, 0), (0, 0), (0, 6)], [(0, 3), (3.2, 3)]],
    "G": [[(4, 0.9), (3.1, 0), (0.9, 0), (0, 0.9), (0, 5.1), (0.9, 6), (3.1, 6), (4, 5.1),
           (4, 3.3), (2.2, 3.3)]],
    "H": [[(0, 0), (0, 6)], [(4, 0), (4, 6)], [(0, 3), (4, 3)]],
    "I": [[(1, 0), (3, 0)], [(2, 0), (2, 6)], [(1, 6), (3, 6)]],
    "K": [[(0, 0), (0, 6)], [(4, 0), (0.2, 3.8)], [(1.5, 2.6), (4, 6)]],
    "L": [[(0, 0), (0, 6), (4, 6)]],
    "M": [[(0, 6), (0, 0), (2, 3.2), (4, 0), (4, 6)]],
    "N": [[(0, 6), (0, 0), (4, 6), (4, 0)]],
    "O": [_O],
    "P": [[(0, 6), (0, 0), (3.1, 0), (4, 0.9), (4, 2.3), (3.1, 3.2), (0, 3.2)]],
    "R": [[(0, 6), (0, 0), (3.1, 0), (4, 0.9), (4, 2.3), (3.1, 3.2), (0, 3.2)],
          [(2.2, 3.2), (4, 6)]],
    "S": [[(4, 0.9), (3.1, 0), (0.9, 0), (0, 0.9), (0, 2.1), (0.9, 3), (3.1, 3), (4, 3.9),
           (4, 5.1), (3.1, 6), (0.9, 6), (0, 5.1)]],
    "T": [[(0, 0), (4, 0)], [(2, 0), (2, 6)]],
    "U": [[(0, 0), (0, 5.1), (0.9, 6), (3.1, 6), (4, 5.1), (4, 0)]],
    "V": [[(0, 0), (2, 6), (4, 0)]],
    "W": [[(0, 0), (0.9, 6), (2, 2.4), (3.1, 6), (4, 0)]],
    "X": [[(0, 0), (4, 6)], [(4, 0), (0, 6)]],
    "Y": [[(0, 0), (2, 3), (4, 0)], [(2, 3), (2, 6)]],
    "Z": [[(0, 0), (4, 0), (0, 6), (4, 6)]],
    "0": [_O],
    "1": [[(0.8, 1.2), (2.2, 0), (2.2, 6)], [(0.8, 6), (3.6, 6)]],
    "2": [[(0, 0.9), (0.9, 0), (3.1, 0), (4, 0.9), (4, 2.2), (0, 6), (4, 6)]],
    "3": [[(0, 0), (4, 0), (1.8, 2.6), (3.1, 2.6), (4, 3.5), (4, 5.1), (3.1, 6), (0.9, 6),
           (0, 5.1)]],
    "4": [[(3, 6), (3, 0), (0, 4.2), (4, 4.2)]],
    "5": [[(4, 0), (0.2, 0), (0, 2.7), (3.1, 2.7), (4, 3.6), (4, 5.1), (3.1, 6), (0.9, 6),
           (0, 5.1)]],
    "6": [[(3.6, 0.3), (2.8, 0), (1.2, 0), (0, 1.2), (0, 5.1), (0.9, 6), (3.1, 6), (4, 5.1),
           (4, 3.6), (3.1, 2.7), (0.9, 2.7), (0, 3.6)]],
    "7": [[(0, 0), (4, 0), (1.4, 6)]],
    "8": [[(0.9, 2.8), (0.3, 2.2), (0.3, 0.8), (1.1, 0), (2.9, 0), (3.7, 0.8), (3.7, 2.2),
           (3.1, 2.8), (0.9, 2.8), (0, 3.7), (0, 5.1), (0.9, 6), (3.1, 6), (4, 5.1), (4, 3.7),
           (3.1, 2.8)]],
    "9": [[(0.4, 5.7), (1.2, 6), (2.8, 6), (4, 4.8), (4, 0.9), (3.1, 0), (0.9, 0), (0, 0.9),
           (0, 2.4), (0.9, 3.3), (3.1, 3.3), (4, 2.4)]],
    "+": [[(0.4, 3), (3.6, 3)], [(2, 1.4), (2, 4.6)]],
    "-": [[(0.6, 3), (3.4, 3)]],
    "/": [[(0.6, 6), (3.4, 0)]],
    ".": [[(2, 6), (2, 6)]],
    ":": [[(2, 1.8), (2, 1.8)], [(2, 4.6), (2, 4.6)]],
    " ": [],
}
GLYPH_ADVANCE = 5.6  # grid units from one letter to the next


def text_width(text, cap_height, spacing=1.0):
    unit = cap_height / 6.0
    return (len(text) * GLYPH_ADVANCE * spacing - (GLYPH_ADVANCE * spacing - 4)) * unit


def draw_text(canvas, x, y, cap_height, text, paint, weight=None, spacing=1.0, align="left"):
    """Draws text with its cap line at y; x is the left edge, the centre or the right edge."""
    unit = cap_height / 6.0
    stroke = weight if weight is not None else max(1.0, cap_height * 0.17)
    width = text_width(text, cap_height, spacing)
    if align == "center":
        x -= width / 2.0
    elif align == "right":
        x -= width
    for i, ch in enumerate(text):
        if ch not in GLYPHS:
            raise KeyError("no glyph for %r" % ch)
        gx = x + i * GLYPH_ADVANCE * spacing * unit
        strokes = GLYPHS[ch]
        if not strokes:
            continue
        parts = [sd_polyline([(gx + px * unit, y + py * unit) for px, py in s], stroke)
                 for s in strokes]
        pad = stroke
        canvas.shape(union(*parts), (gx - pad, y - pad, gx + 4 * unit + pad, y + cap_height + pad),
                     paint)


# ---------------------------------------------------------------------------------------------


def _filter_rows(raw_rows, bpp):
    """Per row the PNG filter (None, Sub or Up) with the smallest sum of absolute values."""
    out = bytearray()
    previous = bytes(len(raw_rows[0]))
    for row in raw_rows:
        if row == previous:
            out += b"\x02" + bytes(len(row))
        else:
            sub = bytes((row[i] - (row[i - bpp] if i >= bpp else 0)) & 0xFF
                        for i in range(len(row)))
            up = bytes((row[i] - previous[i]) & 0xFF for i in range(len(row)))
            candidates = [(0, row), (1, sub), (2, up)]
            best = min(candidates,
                       key=lambda kc: sum(v if v < 128 else 256 - v for v in kc[1]))
            out += bytes([best[0]]) + best[1]
        previous = row
    return bytes(out)


def encode_png(width, height, pixels):
    opaque = all(pixels[i] == 255 for i in range(3, len(pixels), 4))
    bpp = 3 if opaque else 4
    rows = []
    for y in range(height):
        row = pixels[y * width * 4:(y + 1) * width * 4]
        if opaque:
            row = bytes(b for i, b in enumerate(row) if i % 4 != 3)
        rows.append(bytes(row))
    data = zlib.compress(_filter_rows(rows, bpp), 9)

    def chunk(tag, body):
        return (struct.pack(">I", len(body)) + tag + body +
                struct.pack(">I", zlib.crc32(tag + body) & 0xFFFFFFFF))

    header = struct.pack(">IIBBBBB", width, height, 8, 2 if opaque else 6, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", data) + chunk(
        b"IEND", b"")
