#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 Velmaro developers
# SPDX-License-Identifier: GPL-3.0-or-later
"""Draws the player's skin bitmaps into resources/skin/<id>.png.

Every bitmap the windows load by id is listed in SKINS below with its size and purpose, and
drawn here from shapes and a stroke font: one dark look with an amber accent, flat colours and
gentle gradients so the files stay small. The same script always writes the same bytes.

    tools/make_skins/make_skins.py                   rewrite every bitmap, at 1x and 2x
    tools/make_skins/make_skins.py --check           exit 1 when a file is missing or differs
    tools/make_skins/make_skins.py --list            print id, size and purpose
    tools/make_skins/make_skins.py --heading-icons DIR
                                                     write the map page's 32 x 32 car heading
                                                     icons (n.png, nne.png, ...) to DIR instead
                                                     of resources/map/heading
"""

import argparse
import math
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

import icons  # noqa: E402
import raster  # noqa: E402
from raster import (Canvas, draw_text, mix, sd_circle, sd_polygon, sd_polyline,  # noqa: E402
                    text_width, transform, vertical_gradient, with_alpha)

SKIN_DIR = Path(__file__).resolve().parent.parent.parent / "resources" / "skin"
HEADING_DIR = SKIN_DIR.parent / "map" / "heading"

# ---------------------------------------------------------------------------------------------
# Palette.

BASE = (13, 16, 20, 255)
TITLE_TOP = (31, 36, 44, 255)
TITLE_BOTTOM = (22, 26, 32, 255)
PANEL = (21, 25, 31, 255)
CARD = (26, 31, 38, 255)
TRAY = (16, 19, 24, 255)
RECESS = (7, 9, 12, 255)
LINE = (44, 51, 62, 255)
LINE_SOFT = (33, 39, 48, 255)
TEXT = (226, 232, 238, 255)
MUTED = (122, 134, 149, 255)
FAINT = (58, 67, 80, 255)
ACCENT = (255, 166, 43, 255)
ACCENT_SOFT = (255, 204, 128, 255)
ACCENT_DEEP = (72, 48, 14, 255)
RED = (236, 76, 76, 255)
GREEN = (64, 214, 120, 255)
BLUE = (70, 140, 255, 255)
BLACK = (0, 0, 0, 255)
CLEAR = (0, 0, 0, 0)

NORMAL, HOVER, PRESSED, DISABLED = range(4)
FRAMES = 4

BUTTON_STYLES = {
    NORMAL: dict(border=(62, 71, 85, 255), top=(46, 53, 64, 255), bottom=(35, 41, 50, 255),
                 fg=TEXT, accent=ACCENT, alert=RED, shine=(255, 255, 255, 22)),
    HOVER: dict(border=(104, 118, 138, 255), top=(58, 67, 81, 255), bottom=(45, 52, 63, 255),
                fg=(255, 255, 255, 255), accent=ACCENT_SOFT, alert=(255, 120, 120, 255),
                shine=(255, 255, 255, 34)),
    PRESSED: dict(border=ACCENT, top=(60, 41, 13, 255), bottom=(82, 55, 16, 255),
                  fg=ACCENT_SOFT, accent=ACCENT, alert=RED, shine=(0, 0, 0, 0)),
    DISABLED: dict(border=(38, 43, 51, 255), top=(27, 31, 37, 255), bottom=(25, 29, 35, 255),
                   fg=(70, 78, 90, 255), accent=(94, 74, 44, 255), alert=(96, 56, 56, 255),
                   shine=(0, 0, 0, 0)),
}

# ---------------------------------------------------------------------------------------------
# Where the windows put things, per UI mode (pixels): the skins line up their artwork with it.
# Rectangles are (left, top, right, bottom).

PANEL_LAYOUT = {
    1: dict(scale=1.0, seek=(12, 440, 256, 458), speed=(55, 489, 254, 499),
            volume=(56, 537, 255, 553), dial=(25, 20, 216, 209), graph=(9, 281, 251, 73),
            digits=(10, 371, 160, 50), unit=(185, 381, 52, 20), volume_bar=(54, 554, 202, 46),
            rows=[((16, 633, 48, 655), 40, 6), ((32, 665, 64, 687), 40, 5),
                  ((10, 717, 47, 751), 53, 5)]),
    0: dict(scale=0.75, seek=(9, 330, 192, 348), speed=(42, 366, 191, 374),
            volume=(42, 402, 191, 418), dial=(18, 15, 162, 156), graph=(7, 211, 188, 55),
            digits=(7, 278, 120, 37), unit=(138, 285, 39, 15), volume_bar=(41, 416, 152, 35),
            rows=[((6, 474, 38, 496), 32, 6), ((18, 500, 50, 522), 32, 5),
                  ((8, 537, 45, 571), 37, 5)]),
}

# (x, y, width, height) of the children of the main window, per UI mode.
MAIN_LAYOUT = {
    0: dict(size=(960, 600), video=(205, 31, 751, 414), map=(695, 448, 261, 148),
            calendar=(496, 462, 191, 124), panel=(0, 0, 203, 600),
            minutes=[(236, 476, 247, 12), (236, 499, 247, 12)],
            hours=[(249, 535, 233, 12), (249, 569, 233, 12)], hour_labels=("AM", "PM")),
    1: dict(size=(1280, 800), video=(273, 31, 1002, 563), map=(924, 596, 350, 198),
            calendar=(664, 626, 247, 147), panel=(0, 0, 271, 800),
            minutes=[(314, 634, 328, 14), (314, 663, 328, 14)],
            hours=[(331, 713, 311, 16), (331, 758, 311, 16)], hour_labels=("AM", "PM")),
    2: dict(size=(1920, 1080), video=(315, 31, 1598, 898), map=(1322, 933, 593, 143),
            calendar=(1059, 941, 253, 129), panel=(21, 280, 271, 800),
            minutes=[(373, 976, 658, 12)], hours=[(392, 1025, 622, 16)],
            hour_labels=("HOUR",)),
}

TITLE_HEIGHT = 31
SPEED_THUMB_WIDTH = 8
SPEED_STEPS = 8

# ---------------------------------------------------------------------------------------------
# Buttons.


def draw_glyph(c, layers, cx, cy, box, colours):
    unit = box / 16.0
    bbox = (cx - box / 2 - 2, cy - box / 2 - 2, cx + box / 2 + 2, cy + box / 2 + 2)
    for role, shape in layers:
        c.shape(transform(shape, cx, cy, unit), bbox, colours[role])


def button_frame(c, ox, fw, fh, state, layers, box, radius):
    style = BUTTON_STYLES[state]
    c.round_rect(ox + 0.5, 0.5, ox + fw - 0.5, fh - 0.5, radius, style["border"])
    c.round_rect(ox + 1.5, 1.5, ox + fw - 1.5, fh - 1.5, radius - 1,
                 vertical_gradient(1, fh - 1, style["top"], style["bottom"]))
    c.round_rect(ox + 3, 1.5, ox + fw - 3, 2.5, 0.5, style["shine"])
    shift = 0.8 if state == PRESSED else 0.0
    draw_glyph(c, layers, ox + fw / 2.0, fh / 2.0 + shift, box, style)


def button_strip(fw, fh, glyph):
    """Four frames side by side: normal, hover, pressed or checked, disabled."""
    c = Canvas(fw * FRAMES, fh, CLEAR)
    box = min(fw, fh) * (0.62 if fh < 30 else 0.56)
    for state in range(FRAMES):
        button_frame(c, state * fw, fw, fh, state, glyph(), box, 5)
    return c


def row_button(glyph):
    return lambda: button_strip(32, 22, glyph)


def tool_button(glyph):
    return lambda: button_strip(37, 34, glyph)


def title_button(glyph, danger=False):
    def paint():
        fw, fh = 28, 24
        c = Canvas(fw * FRAMES, fh, CLEAR)
        hover_fill = RED if danger else (54, 62, 75, 255)
        pressed_fill = (178, 52, 52, 255) if danger else (40, 46, 56, 255)
        looks = {NORMAL: (None, MUTED), HOVER: (hover_fill, (255, 255, 255, 255)),
                 PRESSED: (pressed_fill, ACCENT_SOFT if not danger else TEXT),
                 DISABLED: (None, FAINT)}
        for state in range(FRAMES):
            fill, ink = looks[state]
            ox = state * fw
            if fill:
                c.round_rect(ox + 1.5, 2.5, ox + fw - 1.5, fh - 2.5, 4, fill)
            draw_glyph(c, glyph(), ox + fw / 2.0, fh / 2.0, 14, dict(fg=ink))
        return c

    return paint


# ---------------------------------------------------------------------------------------------
# Slider tracks (four frames, opaque over the panel) and thumbs (black is see-through).


def track_strip(fw, fh, groove):
    c = Canvas(fw * FRAMES, fh, PANEL)
    looks = {NORMAL: ((52, 60, 72, 255), RECESS), HOVER: ((96, 110, 128, 255), RECESS),
             PRESSED: (ACCENT, (36, 25, 8, 255)), DISABLED: ((34, 39, 46, 255), TRAY)}
    top = (fh - groove) / 2.0
    for state in range(FRAMES):
        border, fill = looks[state]
        ox = state * fw
        c.round_rect(ox + 1, top, ox + fw - 1, top + groove, groove / 2.0, border)
        c.round_rect(ox + 2, top + 1, ox + fw - 2, top + groove - 1, groove / 2.0 - 1, fill)
    return c


def thumb(size, radius, core):
    def paint():
        c = Canvas(size[0], size[1], BLACK)
        cx, cy = size[0] / 2.0, size[1] / 2.0
        c.shape(sd_circle(cx, cy, radius), (0, 0, size[0], size[1]), (236, 240, 245, 255))
        c.shape(sd_circle(cx, cy, core), (0, 0, size[0], size[1]), ACCENT)
        return c

    return paint


# ---------------------------------------------------------------------------------------------
# Dashboard pieces.


def dial(scale):
    """Compass dial; the needle turns about (108, 87) scaled, lat/lon texts go below it."""

    def paint():
        w, h = int(216 * scale), int(209 * scale)
        c = Canvas(w, h, PANEL)
        cx, cy = 108 * scale, 87 * scale
        c.round_rect(0.5, 0.5, w - 0.5, h - 0.5, 10 * scale, LINE_SOFT)
        c.round_rect(1.5, 1.5, w - 1.5, h - 1.5, 10 * scale - 1, CARD)
        bezel = 80 * scale
        full = (cx - bezel - 2, cy - bezel - 2, cx + bezel + 2, cy + bezel + 2)
        c.shape(sd_circle(cx, cy, bezel), full,
                vertical_gradient(cy - bezel, cy + bezel, (58, 66, 79, 255), (26, 30, 37, 255)))
        c.shape(sd_circle(cx, cy, bezel - 3 * scale), full,
                vertical_gradient(cy - bezel, cy + bezel, (9, 11, 14, 255), (17, 20, 25, 255)))
        draw_ticks(c, cx, cy, scale)
        draw_cardinals(c, cx, cy, scale)
        c.shape(sd_circle(cx, cy, 10 * scale), full, with_alpha(ACCENT, 28))
        draw_position_plate(c, w, scale)
        return c

    return paint


def draw_ticks(c, cx, cy, scale):
    outer = 72 * scale
    for degree in range(0, 360, 10):
        major = degree % 30 == 0
        length = (9 if major else 5) * scale
        width = (2.0 if major else 1.2) * max(scale, 0.85)
        colour = ACCENT if degree == 0 else (TEXT if major else (88, 99, 114, 255))
        a = math.radians(degree - 90)
        x0, y0 = cx + outer * math.cos(a), cy + outer * math.sin(a)
        x1, y1 = cx + (outer - length) * math.cos(a), cy + (outer - length) * math.sin(a)
        box = (min(x0, x1) - 2, min(y0, y1) - 2, max(x0, x1) + 2, max(y0, y1) + 2)
        c.shape(sd_polyline([(x0, y0), (x1, y1)], width), box, colour)


def draw_cardinals(c, cx, cy, scale):
    radius = 52 * scale
    cap = 10 * scale
    for letter, degree in (("N", 0), ("E", 90), ("S", 180), ("W", 270)):
        a = math.radians(degree - 90)
        x, y = cx + radius * math.cos(a), cy + radius * math.sin(a)
        colour = ACCENT if letter == "N" else TEXT
        draw_text(c, x, y - cap / 2, cap, letter, colour, weight=1.7 * max(scale, 0.85),
                  align="center")


def draw_position_plate(c, w, scale):
    top, bottom = int(172 * scale), int(205 * scale)
    c.round_rect(6 * scale, top, w - 6 * scale, bottom, 5 * scale, RECESS)
    cap = 6 * scale
    label_x = (56 if scale == 1.0 else 33) - 8 * scale
    for label, y in (("LAT", int(178 * scale)), ("LON", int(191 * scale))):
        draw_text(c, label_x, y + 3 * scale, cap, label, MUTED, weight=1.1, align="right")


def needle(colour):
    """Heading needle, 14 x 56 with its pivot at (7, 43); black pixels are not drawn."""

    def paint():
        c = Canvas(14, 56, BLACK)
        full = (0, 0, 14, 56)
        tip = sd_polygon([(7, 1), (12.2, 43), (1.8, 43)])
        c.shape(tip, full, colour)
        c.shape(sd_polygon([(7, 1), (7, 43), (1.8, 43)]), full, mix(colour, TEXT, 0.35))
        c.shape(sd_polygon([(4.2, 43), (9.8, 43), (7, 54)]), full, (110, 120, 134, 255))
        c.shape(sd_circle(7, 43, 5.2), full, (220, 226, 233, 255))
        c.shape(sd_circle(7, 43, 2.2), full, (30, 34, 40, 255))
        return c

    return paint


def graph_panel(scale):
    """G-sensor graph: base line at 38 scaled, +-5 units over 33 pixels, samples from x = 30."""

    def paint():
        w, h = round(251 * scale), round(73 * scale)
        c = Canvas(w, h, PANEL)
        left = int(30 * scale)
        base = int(38 * scale)
        span = int(33 * scale)
        c.round_rect(left - 3, 0.5, w - 0.5, h - 0.5, 4, LINE_SOFT)
        c.round_rect(left - 2, 1.5, w - 1.5, h - 1.5, 3, RECESS)
        for x in range(left + 20, w - 2, 20):
            c.fill_rect(x, 2, x + 1, h - 2, (20, 24, 30, 255))
        for value in (-5, -2.5, 2.5, 5):
            y = base - int(value / 5 * span)
            c.fill_rect(left - 1, y, w - 2, y + 1, (24, 29, 36, 255))
        c.fill_rect(left - 1, base, w - 2, base + 1, (52, 60, 72, 255))
        cap = 5 * max(scale, 0.8)
        for label, value in (("+5", 5), ("0", 0), ("-5", -5)):
            y = base - int(value / 5 * span)
            y = min(max(y - cap / 2, 1), h - cap - 1)
            draw_text(c, left - 6, y, cap, label, MUTED, weight=1.0, align="right")
        return c

    return paint


def volume_bar(width, height, lit):
    """Level bars, tallest on the left: the loud end of the volume slider is on the left."""

    def paint():
        c = Canvas(width, height, PANEL)
        count = 28
        bottom = height - 4 * height / 46.0
        for i in range(count):
            x0 = round(i * width / count) + 1
            x1 = round((i + 1) * width / count) - 1
            bar = (height - 10 * height / 46.0) * (1.0 - i / count * 0.82)
            if lit:
                paint_ = vertical_gradient(bottom - bar, bottom, ACCENT_SOFT, (214, 118, 18, 255))
            else:
                paint_ = (38, 44, 53, 255)
            c.round_rect(x0, bottom - bar, x1, bottom, 1.2, paint_)
        return c

    return paint


def unit_badge(text):
    def paint():
        w, h = 52, 20
        c = Canvas(w, h, PANEL)
        c.round_rect(1, 1, w - 1, h - 1, 9, ACCENT)
        c.round_rect(2.3, 2.3, w - 2.3, h - 2.3, 7.7, ACCENT_DEEP)
        draw_text(c, w / 2.0, 6, 8, text, ACCENT_SOFT, weight=1.5, align="center")
        return c

    return paint


def logo():
    w, h = 150, 28
    c = Canvas(w, h, CLEAR)
    full = (0, 0, w, h)
    c.shape(sd_circle(14, 14, 10.5), full, ACCENT)
    c.shape(sd_circle(14, 14, 7.5), full, (20, 23, 28, 255))
    c.shape(sd_circle(14, 14, 4.2), full, (64, 140, 255, 255))
    c.shape(sd_circle(12.6, 12.4, 1.4), full, (220, 236, 255, 255))
    draw_text(c, 32, 9, 10, "VELMARO", TEXT, weight=1.9, spacing=1.12)
    return c


# ---------------------------------------------------------------------------------------------
# Window backgrounds.


def panel_background(mode, floating=False):
    """Play control panel: flat where bitmaps are copied onto it, trays behind the buttons."""

    def paint():
        lay = PANEL_LAYOUT[mode]
        s = lay["scale"]
        w, h = (203, 600) if mode == 0 else (271, 800)
        c = Canvas(w, h, BASE if floating else PANEL)
        if floating:
            c.round_rect(0.5, 0.5, w - 0.5, h - 0.5, 10, LINE)
            c.round_rect(1.5, 1.5, w - 1.5, h - 1.5, 9, PANEL)
        else:
            c.fill_rect(w - 2, 0, w, h, LINE_SOFT)
        draw_text(c, lay["dial"][0] + 2, 7 * s, 6 * s, "VELMARO", FAINT, weight=1.2,
                  spacing=1.15)
        draw_graph_header(c, lay, s)
        draw_unit_placeholder(c, lay, s)
        draw_speed_scale(c, lay, s)
        draw_button_trays(c, lay, w)
        return c

    return paint


def draw_graph_header(c, lay, s):
    gx, gy, gw, _ = lay["graph"]
    cap = 6 * max(s, 0.84)
    y = gy - cap - 6 * s
    draw_text(c, gx + 2, y, cap, "G-SENSOR", MUTED, weight=1.1)
    right = gx + gw - 2
    for letter, colour in (("Z", BLUE), ("Y", GREEN), ("X", RED)):
        right -= text_width(letter, cap)
        draw_text(c, right, y, cap, letter, colour, weight=1.2)
        right -= 4 * s
        c.shape(sd_circle(right - 2, y + cap / 2, 2.2 * max(s, 0.8)), (right - 6, y - 2, right + 2,
                                                                        y + cap + 2), colour)
        right -= 12 * s


def draw_unit_placeholder(c, lay, s):
    ux, uy, uw, uh = lay["unit"]
    cap = 8 * s
    draw_text(c, ux + uw / 2.0, uy + (uh - cap) / 2.0, cap, "KM/H", MUTED, weight=1.4 * s,
              align="center")


def draw_speed_scale(c, lay, s):
    x0, y0, x1, y1 = lay["speed"]
    width = x1 - x0
    for step in range(SPEED_STEPS + 1):
        thumb_x = (width - SPEED_THUMB_WIDTH) * step // SPEED_STEPS
        x = x0 + thumb_x + SPEED_THUMB_WIDTH / 2.0
        centre = step == SPEED_STEPS // 2
        length = (6 if centre else 3) * s
        c.shape(sd_polyline([(x, y1 + 3 * s), (x, y1 + 3 * s + length)], 1.4),
                (x - 2, y1, x + 2, y1 + 12 * s), ACCENT if centre else FAINT)
    cap = 5 * max(s, 0.84)
    label_y = y1 + 12 * s
    draw_text(c, x0 + SPEED_THUMB_WIDTH / 2.0, label_y, cap, "SLOW", MUTED, weight=1.0,
              align="center")
    draw_text(c, x0 + width / 2.0, label_y, cap, "1X", ACCENT, weight=1.1, align="center")
    draw_text(c, x1 - SPEED_THUMB_WIDTH / 2.0, label_y, cap, "FAST", MUTED, weight=1.0,
              align="center")
    icon_x = (lay["seek"][0] + x0) / 2.0
    icon_y = (y0 + y1) / 2.0
    c.shape(transform(icons.speedometer(), icon_x, icon_y, 1.3 * s), (icon_x - 14, icon_y - 14,
                                                                      icon_x + 14, icon_y + 14),
            MUTED)


def draw_button_trays(c, lay, w):
    """Recessed trays behind the two rows of small buttons and the row of large ones."""
    margin = 8 * lay["scale"]
    extents = []
    for first, step, count in lay["rows"]:
        extents.append((first[0], first[1], first[2] + step * (count - 1), first[3]))
    small, large = extents[:2], extents[2:]
    for group in (small, large):
        left = max(2, min(e[0] for e in group) - 4)
        right = min(w - 3, max(e[2] for e in group) + 4)
        top = min(e[1] for e in group) - margin
        bottom = max(e[3] for e in group) + margin
        c.round_rect(left, top, right, bottom, 8, LINE_SOFT)
        c.round_rect(left + 1, top + 1, right - 1, bottom - 1, 7, TRAY)


def main_background(mode):
    """Main window: title bar, black video well, timeline and calendar cards, map well."""

    def paint():
        lay = MAIN_LAYOUT[mode]
        w, h = lay["size"]
        c = Canvas(w, h, BASE)
        c.fill_rect(0, 0, w, TITLE_HEIGHT - 1,
                    vertical_gradient(0, TITLE_HEIGHT, TITLE_TOP, TITLE_BOTTOM))
        c.fill_rect(0, TITLE_HEIGHT - 1, w, TITLE_HEIGHT, LINE_SOFT)
        panel_x, _, panel_w, _ = lay["panel"]
        if mode == 2:
            draw_brand_card(c, panel_x, panel_w, lay["panel"][1])
        else:
            draw_text(c, panel_x + panel_w + 14, 11, 9, "VELMARO", MUTED, weight=1.6,
                      spacing=1.12)
        draw_video_well(c, lay["video"])
        draw_timeline_card(c, lay)
        draw_calendar_card(c, lay)
        draw_map_well(c, lay["map"])
        return c

    return paint


def draw_brand_card(c, panel_x, panel_w, panel_top):
    top, bottom = TITLE_HEIGHT + 8, panel_top - 8
    c.round_rect(panel_x + 0.5, top + 0.5, panel_x + panel_w - 0.5, bottom - 0.5, 10, LINE_SOFT)
    c.round_rect(panel_x + 1.5, top + 1.5, panel_x + panel_w - 1.5, bottom - 1.5, 9, PANEL)
    cx, cy = panel_x + panel_w / 2.0, top + (bottom - top) * 0.42
    box = (cx - 60, cy - 60, cx + 60, cy + 60)
    c.shape(sd_circle(cx, cy, 52), box, ACCENT)
    c.shape(sd_circle(cx, cy, 40), box, (20, 23, 28, 255))
    c.shape(sd_circle(cx, cy, 22), box, (40, 90, 170, 255))
    c.shape(sd_circle(cx - 7, cy - 8, 6), box, (200, 224, 255, 255))
    draw_text(c, cx, bottom - 52, 16, "VELMARO", TEXT, weight=2.6, spacing=1.12, align="center")


def draw_video_well(c, rect):
    x, y, w, h = rect
    c.fill_rect(x - 1, y, x + w + 1, y + h + 1, LINE_SOFT)
    c.fill_rect(x, y, x + w, y + h, (0, 0, 0, 255))
    cx, cy = x + w / 2.0, y + h / 2.0
    r = min(w, h) * 0.12
    box = (cx - r - 2, cy - r - 2, cx + r + 2, cy + r + 2)
    c.shape(sd_circle(cx, cy, r), box, (16, 19, 23, 255))
    c.shape(sd_polygon([(cx - r * 0.35, cy - r * 0.5), (cx + r * 0.55, cy),
                        (cx - r * 0.35, cy + r * 0.5)]), box, (38, 44, 53, 255))


def card(c, x0, y0, x1, y1):
    c.round_rect(x0 + 0.5, y0 + 0.5, x1 - 0.5, y1 - 0.5, 8, LINE_SOFT)
    c.round_rect(x0 + 1.5, y0 + 1.5, x1 - 1.5, y1 - 1.5, 7, CARD)


def draw_timeline_card(c, lay):
    video_x = lay["video"][0]
    calendar_x = lay["calendar"][0]
    rows = lay["minutes"] + lay["hours"]
    top = min(r[1] for r in rows) - 20
    bottom = max(r[1] + r[3] for r in rows) + 14
    card(c, video_x + 4, top, calendar_x - 8, min(bottom, lay["size"][1] - 4))
    cap = 6 if lay["size"][0] < 1000 else 7
    label_x = video_x + (8 if lay["size"][0] < 1000 else 12)
    minute_rows = lay["minutes"]
    mid = (minute_rows[0][1] + minute_rows[-1][1] + minute_rows[-1][3]) / 2.0
    draw_text(c, label_x, mid - cap / 2.0, cap, "MIN", MUTED, weight=1.2)
    for label, row in zip(lay["hour_labels"], lay["hours"]):
        draw_text(c, label_x, row[1] + (row[3] - cap) / 2.0, cap, label, MUTED, weight=1.2)
    for row in rows:
        x, y, w, h = row
        c.fill_rect(x - 1, y - 1, x + w + 1, y + h + 1, LINE)


def draw_calendar_card(c, lay):
    x, y, w, h = lay["calendar"]
    map_x = lay["map"][0]
    rows = lay["minutes"] + lay["hours"]
    top = min(r[1] for r in rows) - 20
    bottom = max(r[1] + r[3] for r in rows) + 14
    card(c, x - 6, min(top, y - 6), map_x - 6, min(max(bottom, y + h + 6), lay["size"][1] - 4))


def draw_map_well(c, rect):
    x, y, w, h = rect
    c.round_rect(x - 1, y - 1, x + w + 1, y + h + 1, 4, LINE_SOFT)
    c.round_rect(x, y, x + w, y + h, 3, RECESS)
    cx, cy = x + w / 2.0, y + h / 2.0
    unit = min(w, h) / 60.0
    for role, shape in icons.map_pin():
        c.shape(transform(shape, cx, cy, unit), (cx - 9 * unit, cy - 9 * unit, cx + 9 * unit,
                                                 cy + 9 * unit), (34, 40, 49, 255))


# ---------------------------------------------------------------------------------------------
# Map page heading icons (not skin ids): a chevron per compass point, 32 x 32.

HEADINGS = [("n", 0), ("nne", 22.5), ("ne", 45), ("nee", 67.5), ("e", 90), ("see", 112.5),
            ("se", 135), ("sse", 157.5), ("s", 180), ("ssw", 202.5), ("sw", 225),
            ("wsw", 247.5), ("w", 270), ("nww", 292.5), ("nw", 315), ("nnw", 337.5)]


def heading_icon(angle):
    c = Canvas(32, 32, CLEAR)
    chevron = icons.car_chevron()
    c.shape(transform(lambda x, y: chevron(x, y) - 2.0, 16, 16, 1.0, angle), (0, 0, 32, 32),
            (255, 255, 255, 255))
    c.shape(transform(chevron, 16, 16, 1.0, angle), (0, 0, 32, 32), ACCENT)
    return c


# ---------------------------------------------------------------------------------------------
# Every skin bitmap: id, width, height, purpose, painter.

SKINS = [
    (130, 271, 800, "play control panel background, UI mode 1", panel_background(1)),
    (131, 1280, 800, "main window background, UI mode 1", main_background(1)),
    (132, 251, 73, "G-sensor graph panel, UI modes 1 and 2", graph_panel(1.0)),
    (133, 976, 18, "seek slider track, four frames of 244 x 18, UI modes 1 and 2",
     lambda: track_strip(244, 18, 8)),
    (134, 112, 24, "close button, four frames of 28 x 24", title_button(icons.close_glyph, True)),
    (135, 112, 24, "maximise button", title_button(icons.maximise_glyph)),
    (136, 112, 24, "minimise button", title_button(icons.minimise_glyph)),
    (137, 112, 24, "restore button (window maximised)", title_button(icons.restore_glyph)),
    (138, 128, 22, "mute button, sound on", row_button(icons.speaker_on)),
    (139, 148, 34, "open button (card or file), four frames of 37 x 34",
     tool_button(icons.folder)),
    (140, 128, 22, "play button, four frames of 32 x 22", row_button(icons.play)),
    (141, 128, 22, "pause button", row_button(icons.pause)),
    (142, 128, 22, "stop button", row_button(icons.stop)),
    (145, 128, 22, "next frame button", row_button(icons.next_frame)),
    (146, 128, 22, "previous frame button", row_button(icons.prev_frame)),
    (147, 148, 34, "snapshot button", tool_button(icons.camera)),
    (148, 128, 22, "mute button, sound off", row_button(icons.speaker_muted)),
    (150, 150, 28, "logo at the top-left corner of the main window", logo),
    (151, 16, 16, "seek slider thumb (black is see-through)", thumb((16, 16), 7.0, 3.2)),
    (152, 796, 16, "volume slider track, four frames of 199 x 16, UI modes 1 and 2",
     lambda: track_strip(199, 16, 6)),
    (153, 796, 10, "speed slider track, four frames of 199 x 10, UI modes 1 and 2",
     lambda: track_strip(199, 10, 6)),
    (154, SPEED_THUMB_WIDTH, 8, "speed slider thumb", thumb((SPEED_THUMB_WIDTH, 8), 3.7, 1.6)),
    (155, 14, 14, "volume slider thumb", thumb((14, 14), 6.0, 2.6)),
    (156, 216, 209, "heading dial with position plate, UI modes 1 and 2", dial(1.0)),
    (157, 14, 56, "spare heading needle (pivot at 7, 43)", needle((84, 196, 255, 255))),
    (158, 14, 56, "heading needle (pivot at 7, 43, black is see-through)", needle(ACCENT)),
    (159, 202, 46, "volume level bars, lit, UI modes 1 and 2", volume_bar(202, 46, True)),
    (160, 202, 46, "volume level bars, dark, UI modes 1 and 2", volume_bar(202, 46, False)),
    (161, 128, 22, "previous file button", row_button(icons.prev_file)),
    (162, 128, 22, "next file button", row_button(icons.next_file)),
    (163, 148, 34, "preferences button", tool_button(icons.gear)),
    (166, 52, 20, "speed unit badge: knots", unit_badge("KNOT")),
    (167, 52, 20, "speed unit badge: miles per hour", unit_badge("MPH")),
    (437, 148, 34, "map button", tool_button(icons.map_pin)),
    (438, 960, 600, "main window background, UI mode 0", main_background(0)),
    (439, 203, 600, "play control panel background, UI mode 0", panel_background(0)),
    (440, 162, 156, "heading dial with position plate, UI mode 0", dial(0.75)),
    (441, 188, 55, "G-sensor graph panel, UI mode 0", graph_panel(0.75)),
    (442, 596, 16, "volume slider track, four frames of 149 x 16, UI mode 0",
     lambda: track_strip(149, 16, 6)),
    (443, 152, 35, "volume level bars, dark, UI mode 0", volume_bar(152, 35, False)),
    (444, 152, 35, "volume level bars, lit, UI mode 0", volume_bar(152, 35, True)),
    (445, 596, 8, "speed slider track, four frames of 149 x 8, UI mode 0",
     lambda: track_strip(149, 8, 6)),
    (446, 732, 18, "seek slider track, four frames of 183 x 18, UI mode 0",
     lambda: track_strip(183, 18, 8)),
    (447, 128, 22, "backward play button", row_button(icons.backward_play)),
    (448, 1920, 1080, "main window background, UI mode 2", main_background(2)),
    (449, 148, 34, "save the playing file button", tool_button(icons.download)),
    (450, 128, 22, "mark in button", row_button(icons.mark_in)),
    (451, 128, 22, "mark out button", row_button(icons.mark_out)),
    (452, 128, 22, "clip export button", row_button(icons.scissors)),
    (454, 271, 800, "play control panel background, UI mode 2", panel_background(1, True)),
    (456, 128, 22, "clip export button while an export runs", row_button(icons.hourglass)),
    (457, 148, 34, "card setup button", tool_button(icons.sd_card)),
]


# Each bitmap at 1x (<id>.png) and 2x (<id>@2x.png): Qt's high-density screens take the
# second, drawn sharp at twice the pixels instead of the first enlarged.
SCALES = ((1, "%d.png"), (2, "%d@2x.png"))


def render(entry, scale=1):
    bitmap_id, width, height, _, painter = entry
    raster.SCALE = scale
    try:
        canvas = painter()
    finally:
        raster.SCALE = 1
    if (canvas.width, canvas.height) != (width * scale, height * scale):
        raise ValueError("bitmap %d drew %dx%d, listed as %dx%d at %dx" %
                         (bitmap_id, canvas.width, canvas.height, width, height, scale))
    return canvas.png()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--out", type=Path, default=SKIN_DIR, help="output folder")
    parser.add_argument("--check", action="store_true", help="compare instead of writing")
    parser.add_argument("--list", action="store_true", help="print the bitmap table")
    parser.add_argument("--only", type=int, nargs="*", help="ids to draw (default: all)")
    parser.add_argument("--heading-icons", type=Path, default=HEADING_DIR,
                        help="folder of the map heading icons")
    args = parser.parse_args()
    if args.list:
        for bitmap_id, width, height, purpose, _ in SKINS:
            print("%4d  %4d x %-4d  %s" % (bitmap_id, width, height, purpose))
        return 0
    stale = []
    args.out.mkdir(parents=True, exist_ok=True)
    for entry in SKINS:
        if args.only and entry[0] not in args.only:
            continue
        for scale, name in SCALES:
            path = args.out / (name % entry[0])
            data = render(entry, scale)
            if args.check:
                if not path.exists() or path.read_bytes() != data:
                    stale.append(path.name)
            elif not path.exists() or path.read_bytes() != data:
                path.write_bytes(data)
    if not args.only:
        args.heading_icons.mkdir(parents=True, exist_ok=True)
        for name, angle in HEADINGS:
            path = args.heading_icons / (name + ".png")
            data = heading_icon(angle).png()
            if args.check:
                if not path.exists() or path.read_bytes() != data:
                    stale.append("heading/" + path.name)
            elif not path.exists() or path.read_bytes() != data:
                path.write_bytes(data)
    if stale:
        print("out of date: " + " ".join(stale), file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
