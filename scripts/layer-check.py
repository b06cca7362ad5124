#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 Velmaro developers
# SPDX-License-Identifier: GPL-3.0-or-later
"""Fails when a file includes a folder of a layer above its own, or when the Qt-free core
includes Qt: the layers then point one way and the core builds and runs without a display.

usage: layer-check.py [SOURCE_ROOT]
"""
import pathlib
import re
import sys

# Lower numbers sit lower; a folder may include its own files and those of lower layers.
LAYERS = {
    "platform": 0,
    "camera": 1,
    "stream": 1,
    "media": 2,
    "app": 2,
    "export": 3,
    "map": 4,
    "playback": 5,
    "controls": 6,
    "ui": 7,
    "tools": 8,
    "tests": 9,  # its test support is shared with the benches
    "bench": 10,
    "fuzz": 10,
}
QT_FREE = {folder for folder, layer in LAYERS.items() if layer <= LAYERS["playback"]}
OWN_INCLUDE = re.compile(r'^\s*#\s*include\s+"([a-z_]+)/')
QT_INCLUDE = re.compile(r"^\s*#\s*include\s+<(Q[A-Za-z]+|qt[a-z]*)[/>.]")


def problems_in(path: pathlib.Path, folder: str):
    for number, line in enumerate(path.read_text(errors="replace").splitlines(), 1):
        own = OWN_INCLUDE.match(line)
        if own and own.group(1) in LAYERS:
            target = own.group(1)
            if target != folder and LAYERS[target] >= LAYERS[folder]:
                yield f"{path}:{number}: {folder}/ includes {target}/, a layer not below it"
        if folder in QT_FREE and QT_INCLUDE.match(line):
            yield f"{path}:{number}: {folder}/ is Qt-free but includes Qt"


def main() -> int:
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else ".")
    found = []
    for folder in LAYERS:
        for path in sorted((root / folder).rglob("*")):
            if path.suffix in (".h", ".cpp") and path.is_file():
                found.extend(problems_in(path, folder))
    for problem in found:
        print(problem)
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
