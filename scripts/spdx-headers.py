#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 Velmaro developers
# SPDX-License-Identifier: GPL-3.0-or-later
"""Puts the SPDX copyright and licence lines at the top of every file of the project.

    scripts/spdx-headers.py [ROOT]            add the lines where they are missing
    scripts/spdx-headers.py --check [ROOT]    list the files without them; exit 1 if any

The files are the ones git tracks under ROOT (default: this checkout). Each gets the lines in
its own comment syntax, after a '#!' line, an XML declaration or an HTML doctype, which must
stay first. Files that cannot carry a comment (images, the language .ini files, the Debian
changelog, copyright and lintian overrides files, the licence texts) are left alone:
.reuse/dep5 names their licence. A file that already has a licence tag near its top is not
touched, so the script can be run again at any time.
"""
import argparse
import fnmatch
import subprocess
import sys
from pathlib import Path

COPYRIGHT = "2026 Velmaro developers"
LICENSE = "GPL-3.0-or-later"
# AppStream metadata is CC0 so that software catalogues may take it over.
LICENSE_BY_PATH = {"resources/desktop/*.metainfo.xml": "CC0-1.0"}
# Looked for in the first lines only: the tag must be a header, not text inside the file.
HEADER_SEARCH_LINES = 5
# Spelled in two pieces so that REUSE tools reading this script do not take them for its own tags.
SPDX = "SPDX-"
TAG = SPDX + "License-Identifier:"
COPYRIGHT_TAG = SPDX + "FileCopyrightText:"

# (comment start, comment end) by file name pattern; the first match wins.
STYLES = [
    ("*.cpp", ("// ", "")),
    ("*.h", ("// ", "")),
    ("*.py", ("# ", "")),
    ("*.sh", ("# ", "")),
    ("*.cmake", ("# ", "")),
    ("CMakeLists.txt", ("# ", "")),
    ("*.supp", ("# ", "")),
    ("*.desktop", ("# ", "")),
    (".clang-format", ("# ", "")),
    (".gitignore", ("# ", "")),
    ("*.xml", ("<!-- ", " -->")),
    ("*.xsd", ("<!-- ", " -->")),
    ("*.htm", ("<!-- ", " -->")),
    ("*.html", ("<!-- ", " -->")),
    ("*.md", ("<!-- ", " -->")),
    ("*.css", ("/* ", " */")),
    ("*.js", ("/* ", " */")),
]
# Licensed through .reuse/dep5 instead.
NO_COMMENT = [
    "*.png",
    "*.ini",
    "resources/Language/source/*.txt",
    "resources/package/changelog",
    "resources/package/copyright",
    "resources/package/lintian-overrides",
    "LICENSE",
    "LICENSES/*",
    ".reuse/*",
    # Published schemas written out for the tests: not ours to license.
    "tests/data/gpx.xsd",
    "tests/data/track_point_extension_v2.xsd",
]
# Lines that must stay above the header.
LEADING_LINES = ("#!", "<?xml", "<!DOCTYPE", "<!doctype")


def matches(path, patterns):
    return any(fnmatch.fnmatch(path, p) or fnmatch.fnmatch(Path(path).name, p) for p in patterns)


def style_of(path, text):
    for pattern, style in STYLES:
        if matches(path, [pattern]):
            return style
    if text.startswith("#!"):
        return ("# ", "")
    return None


def license_of(path):
    for pattern, license_id in LICENSE_BY_PATH.items():
        if fnmatch.fnmatch(path, pattern):
            return license_id
    return LICENSE


def has_header(text):
    return any(TAG in line for line in text.splitlines()[:HEADER_SEARCH_LINES])


def with_header(path, text):
    """The text with the header lines added, or None when the file's kind is unknown."""
    style = style_of(path, text)
    if style is None:
        return None
    if has_header(text):
        return text
    start, end = style
    header = (
        f"{start}{COPYRIGHT_TAG} {COPYRIGHT}{end}\n"
        f"{start}{TAG} {license_of(path)}{end}\n"
    )
    lines = text.splitlines(keepends=True)
    keep = 1 if lines and lines[0].startswith(LEADING_LINES) else 0
    if keep and not lines[0].endswith("\n"):
        lines[0] += "\n"
    return "".join(lines[:keep]) + header + "".join(lines[keep:])


def tracked_files(root):
    listed = subprocess.run(
        ["git", "-C", str(root), "ls-files", "-z"], check=True, capture_output=True
    ).stdout.decode()
    return [p for p in listed.split("\0") if p and (root / p).is_file()]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("root", nargs="?", type=Path, default=Path(__file__).resolve().parent.parent)
    parser.add_argument("--check", action="store_true", help="list, do not change")
    args = parser.parse_args()
    missing, unknown = [], []
    for path in tracked_files(args.root):
        if matches(path, NO_COMMENT):
            continue
        file = args.root / path
        text = file.read_text(encoding="utf-8")
        new = with_header(path, text)
        if new is None:
            unknown.append(path)
        elif new != text:
            missing.append(path)
            if not args.check:
                file.write_text(new, encoding="utf-8")
    for path in unknown:
        print(f"{path}: no comment syntax known; add it here or to .reuse/dep5", file=sys.stderr)
    if args.check:
        for path in missing:
            print(f"{path}: no SPDX header", file=sys.stderr)
    return 1 if unknown or (args.check and missing) else 0


if __name__ == "__main__":
    sys.exit(main())
