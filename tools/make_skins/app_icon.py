#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 Velmaro developers
# SPDX-License-Identifier: GPL-3.0-or-later
"""Draws the player's application icon into resources/icons/hicolor/<n>x<n>/apps/org.velmaro.Velmaro.png.

A camera lens on a dark rounded tile, in the skin's amber and blue, with a route line under it;
the small sizes drop the route so the lens stays legible. The same script always writes the same
bytes, so the checked-in files can be compared.

    tools/make_skins/app_icon.py            rewrite every size
    tools/make_skins/app_icon.py --check    exit 1 when a file is missing or differs
"""

import argparse
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

from raster import Canvas, sd_circle, sd_polyline, vertical_gradient  # noqa: E402

ICON_DIR = Path(__file__).resolve().parent.parent.parent / "resources" / "icons" / "hicolor"
SIZES = (16, 24, 32, 48, 64, 128, 256)
# Below this size the route line would be a smudge.
ROUTE_MIN_SIZE = 32

TILE_TOP = (46, 53, 64, 255)
TILE_BOTTOM = (16, 19, 24, 255)
RIM = (72, 82, 97, 255)
ACCENT = (255, 166, 43, 255)
LENS_DARK = (20, 23, 28, 255)
LENS_GLASS = (64, 140, 255, 255)
GLINT = (220, 236, 255, 255)
ROUTE = (236, 76, 76, 255)


def icon(size):
    s = size / 64.0  # designed on a 64 x 64 grid
    c = Canvas(size, size, (0, 0, 0, 0))
    full = (0, 0, size, size)
    c.round_rect(0.5, 0.5, size - 0.5, size - 0.5, 12 * s, RIM)
    c.round_rect(1.5 * s + 0.5, 1.5 * s + 0.5, size - 1.5 * s - 0.5, size - 1.5 * s - 0.5,
                 11 * s, vertical_gradient(0, size, TILE_TOP, TILE_BOTTOM))
    lens_y = 28 * s if size >= ROUTE_MIN_SIZE else 32 * s
    c.shape(sd_circle(32 * s, lens_y, 20 * s), full, ACCENT)
    c.shape(sd_circle(32 * s, lens_y, 14.5 * s), full, LENS_DARK)
    c.shape(sd_circle(32 * s, lens_y, 8.5 * s), full, LENS_GLASS)
    c.shape(sd_circle(29 * s, lens_y - 3 * s, 2.6 * s), full, GLINT)
    if size >= ROUTE_MIN_SIZE:
        route = [(10 * s, 57 * s), (22 * s, 51 * s), (36 * s, 55 * s), (54 * s, 49 * s)]
        c.shape(sd_polyline(route, 2.4 * s), full, ROUTE)
    return c


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--out", type=Path, default=ICON_DIR, help="hicolor folder")
    parser.add_argument("--check", action="store_true", help="compare instead of writing")
    args = parser.parse_args()
    stale = []
    for size in SIZES:
        path = args.out / ("%dx%d" % (size, size)) / "apps" / "org.velmaro.Velmaro.png"
        data = icon(size).png()
        if args.check:
            if not path.exists() or path.read_bytes() != data:
                stale.append(str(path))
            continue
        path.parent.mkdir(parents=True, exist_ok=True)
        if not path.exists() or path.read_bytes() != data:
            path.write_bytes(data)
    if stale:
        print("out of date: " + " ".join(stale), file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
