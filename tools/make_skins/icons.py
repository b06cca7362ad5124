# SPDX-FileCopyrightText: 2026 Velmaro developers
# SPDX-License-Identifier: GPL-3.0-or-later
"""Button glyphs, designed in a 16 x 16 box centred on (0, 0), y downwards.

Each glyph is a list of layers (role, shape): the role picks the colour from the button state
("fg" the normal glyph colour, "accent" the highlight, "alert" red), the shape is a signed
distance function in box units.
"""

from raster import (grow, sd_arc, sd_box, sd_circle, sd_polygon, sd_polyline,
                    sd_ring, sd_rotated_box, subtract, union)


def _mirror(shape):
    return lambda x, y: shape(-x, y)


def _triangle_right(x0, half_height, x1):
    return grow(sd_polygon([(x0, -half_height), (x1, 0), (x0, half_height)]), 0.6)


def play():
    return [("fg", _triangle_right(-4.6, 7.0, 7.0))]


def pause():
    return [("fg", union(sd_box(-3.6, 0, 2.1, 7, 0.8), sd_box(3.6, 0, 2.1, 7, 0.8)))]


def stop():
    return [("fg", sd_box(0, 0, 6.2, 6.2, 1.6))]


def backward_play():
    return [("fg", _mirror(_triangle_right(-4.6, 7.0, 7.0)))]


def next_frame():
    return [("fg", union(_triangle_right(-6.4, 6.8, 3.6), sd_box(6.0, 0, 1.3, 7, 0.5)))]


def prev_frame():
    return [("fg", _mirror(next_frame()[0][1]))]


def next_file():
    return [("fg", union(_triangle_right(-7.6, 6.2, -0.6), _triangle_right(-0.8, 6.2, 5.4),
                         sd_box(6.8, 0, 1.2, 6.8, 0.5)))]


def prev_file():
    return [("fg", _mirror(next_file()[0][1]))]


def mark_in():
    bracket = sd_polyline([(-2.2, -7), (-6.6, -7), (-6.6, 7), (-2.2, 7)], 2.0)
    return [("fg", bracket), ("accent", _triangle_right(-0.8, 4.6, 6.4))]


def mark_out():
    return [(role, _mirror(shape)) for role, shape in mark_in()]


def scissors():
    rings = union(sd_ring(-4.2, 4.4, 2.6, 1.7), sd_ring(4.2, 4.4, 2.6, 1.7))
    blades = union(sd_polyline([(-2.6, 2.2), (4.6, -7.4)], 2.0),
                   sd_polyline([(2.6, 2.2), (-4.6, -7.4)], 2.0))
    return [("fg", union(rings, blades))]


def hourglass():
    glass = sd_polyline([(-4.6, -6.4), (4.6, -6.4), (0.9, -0.6), (0.9, 0.6), (4.6, 6.4),
                         (-4.6, 6.4), (-0.9, 0.6), (-0.9, -0.6), (-4.6, -6.4)], 1.5)
    caps = union(sd_polyline([(-6.2, -7.6), (6.2, -7.6)], 1.8),
                 sd_polyline([(-6.2, 7.6), (6.2, 7.6)], 1.8))
    sand = union(sd_polygon([(-3.0, 5.4), (3.0, 5.4), (0, 2.2)]),
                 sd_polygon([(-2.0, -4.4), (2.0, -4.4), (0, -1.6)]))
    return [("fg", union(glass, caps)), ("accent", sand)]


def folder():
    body = union(sd_box(0, 1.4, 7.6, 5.4, 1.2), sd_box(-4.0, -4.4, 3.6, 1.6, 1.0))
    flap = sd_polyline([(-7.6, -1.8), (7.6, -1.8)], 1.0)
    return [("fg", subtract(body, flap))]


def download():
    shaft = sd_polyline([(0, -7.6), (0, 0.6)], 2.2)
    head = grow(sd_polygon([(-4.4, -1.6), (4.4, -1.6), (0, 3.4)]), 0.5)
    tray = sd_polyline([(-6.8, 2.6), (-6.8, 6.8), (6.8, 6.8), (6.8, 2.6)], 2.0)
    return [("accent", union(shaft, head)), ("fg", tray)]


def camera():
    body = union(sd_box(0, 1.4, 7.6, 5.4, 1.6), sd_box(-2.4, -4.6, 2.8, 1.4, 0.6))
    lens = sd_circle(0, 1.6, 3.9)
    return [("fg", union(subtract(body, lens), sd_circle(0, 1.6, 2.2))),
            ("accent", sd_circle(5.0, -1.6, 0.9))]


def map_pin():
    head = sd_circle(0, -2.6, 5.4)
    tip = grow(sd_polygon([(-4.2, 0.6), (4.2, 0.6), (0, 7.6)]), 0.4)
    return [("accent", subtract(union(head, tip), sd_circle(0, -2.6, 2.2)))]


def gear():
    teeth = union(*[sd_rotated_box(0, 0, 1.6, 7.6, angle, 0.5) for angle in (0, 45, 90, 135)])
    return [("fg", subtract(union(sd_circle(0, 0, 5.4), teeth), sd_circle(0, 0, 2.4)))]


def sd_card():
    card = grow(sd_polygon([(-5.2, -7.2), (2.6, -7.2), (5.6, -4.2), (5.6, 7.2), (-5.2, 7.2)]),
                0.6)
    slots = union(*[sd_box(x, -4.6, 0.7, 1.9, 0.3) for x in (-2.8, -0.4, 2.0)])
    return [("fg", subtract(card, slots))]


def _speaker():
    return grow(sd_polygon([(-7.4, -2.6), (-4.2, -2.6), (-0.4, -6.4), (-0.4, 6.4), (-4.2, 2.6),
                            (-7.4, 2.6)]), 0.5)


def speaker_on():
    waves = union(sd_arc(-0.4, 0, 3.8, 1.7, -48, 48), sd_arc(-0.4, 0, 7.0, 1.7, -52, 52))
    return [("fg", _speaker()), ("accent", waves)]


def speaker_muted():
    cross = union(sd_polyline([(2.6, -3.2), (7.4, 3.2)], 1.9),
                  sd_polyline([(2.6, 3.2), (7.4, -3.2)], 1.9))
    return [("fg", _speaker()), ("alert", cross)]


# Title-bar glyphs: thin strokes, drawn in a 16-unit box as well.


def close_glyph():
    return [("fg", union(sd_polyline([(-4.2, -4.2), (4.2, 4.2)], 1.5),
                         sd_polyline([(-4.2, 4.2), (4.2, -4.2)], 1.5)))]


def minimise_glyph():
    return [("fg", sd_polyline([(-4.6, 0.8), (4.6, 0.8)], 1.5))]


def _outline(cx, cy, hw, hh, width):
    return lambda x, y: abs(sd_box(cx, cy, hw, hh, 0.8)(x, y)) - width / 2.0


def maximise_glyph():
    return [("fg", _outline(0, 0, 4.6, 4.0, 1.4))]


def restore_glyph():
    front = sd_box(-1.2, 1.2, 3.6, 3.2, 0.8)
    back = subtract(_outline(1.4, -1.4, 3.6, 3.2, 1.4), grow(front, 1.0))
    return [("fg", union(back, _outline(-1.2, 1.2, 3.6, 3.2, 1.4)))]


# Heading arrow of the car on the map: a chevron pointing up (north) before it is rotated.


def car_chevron():
    outline = [(0, -13), (9.5, 11), (0, 5.5), (-9.5, 11)]
    return sd_polygon(outline)


def speedometer():
    arc = sd_arc(0, 2.2, 6.6, 1.7, 180, 360)
    needle = sd_polyline([(0, 2.2), (3.8, -2.6)], 1.7)
    return union(arc, needle, sd_circle(0, 2.2, 1.6))
