#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 Velmaro developers
# SPDX-License-Identifier: GPL-3.0-or-later
"""Writes the language files resources/Language/<stem>.ini from their UTF-8 sources.

The sources are resources/Language/source/<stem>.txt: one entry per line, the English text
(the key the player looks up), a tab, the translation; lines starting with '#' are comments.
source/vocabulary.txt lists every English text the player passes, one per line.

The output is what cameras have always shipped: UTF-16 little endian with a byte-order mark,
CRLF line endings, one section "Language String", keys in vocabulary order. The same sources
always give the same bytes.

    tools/make_language_files.py          rewrite every file
    tools/make_language_files.py --check  exit 1 when a file is missing or out of date
"""

import argparse
import re
import sys
from pathlib import Path

LANGUAGE_DIR = Path(__file__).resolve().parent.parent / "resources" / "Language"
SOURCE_DIR = LANGUAGE_DIR / "source"
VOCABULARY_FILE = SOURCE_DIR / "vocabulary.txt"
SECTION = "Language String"
# Values are read into 260-unit buffers: longer translations would be cut.
MAX_VALUE_UNITS = 259
# Text the player relies on literally: resolutions such as 1280*800.
LITERAL_TOKEN = re.compile(r"\d+\*\d+|%[-+ #0]*\d*(?:\.\d+)?[a-zA-Z]")
QUOTES = "\"'"


def read_lines(path):
    with path.open(encoding="utf-8") as handle:
        for number, line in enumerate(handle, 1):
            line = line.rstrip("\n")
            if line and not line.startswith("#"):
                yield number, line


def read_vocabulary():
    keys = [line for _, line in read_lines(VOCABULARY_FILE)]
    duplicates = {key for key in keys if keys.count(key) > 1}
    if duplicates:
        sys.exit(f"{VOCABULARY_FILE}: duplicate keys {sorted(duplicates)}")
    return keys


def check_translation(where, key, value):
    problems = []
    if not value or value != value.strip():
        problems.append("empty or with blanks at its ends")
    if len(value) > 1 and value[0] in QUOTES and value[-1] == value[0]:
        problems.append("enclosed in quotes, which a read removes")
    if any(c in value for c in "\r\n\0\t"):
        problems.append("contains a control character")
    if len(value.encode("utf-16-le")) // 2 > MAX_VALUE_UNITS:
        problems.append(f"longer than {MAX_VALUE_UNITS} UTF-16 units")
    if key.endswith(":") and not value.endswith(":"):
        problems.append("a label must keep its colon")
    for token in LITERAL_TOKEN.findall(key):
        if token not in value:
            problems.append(f"must keep {token!r}")
    for problem in problems:
        print(f"{where}: {key!r}: translation {problem}", file=sys.stderr)
    return not problems


def read_translations(path, vocabulary):
    translations = {}
    valid = True
    for number, line in read_lines(path):
        where = f"{path.name}:{number}"
        key, tab, value = line.partition("\t")
        if not tab or key not in vocabulary or key in translations:
            print(f"{where}: unknown, duplicate or malformed entry {key!r}", file=sys.stderr)
            valid = False
            continue
        valid = check_translation(where, key, value) and valid
        translations[key] = value
    missing = [key for key in vocabulary if key not in translations]
    if missing:
        print(f"{path.name}: missing translations for {missing}", file=sys.stderr)
        valid = False
    return translations if valid else None


def render(stem, vocabulary, translations):
    lines = [
        f"; {stem}: texts of the player, generated from source/{stem}.txt",
        f"[{SECTION}]",
    ]
    lines += [f"{key}={translations[key]}" for key in vocabulary]
    text = "".join(line + "\r\n" for line in lines)
    return b"\xff\xfe" + text.encode("utf-16-le")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--check", action="store_true", help="only compare, write nothing")
    args = parser.parse_args()

    vocabulary = read_vocabulary()
    sources = sorted(p for p in SOURCE_DIR.glob("*.txt") if p != VOCABULARY_FILE)
    failed = False
    for source in sources:
        translations = read_translations(source, vocabulary)
        if translations is None:
            failed = True
            continue
        target = LANGUAGE_DIR / f"{source.stem}.ini"
        content = render(source.stem, vocabulary, translations)
        if args.check:
            if not target.exists() or target.read_bytes() != content:
                print(f"{target.name} is out of date", file=sys.stderr)
                failed = True
        elif not target.exists() or target.read_bytes() != content:
            target.write_bytes(content)
            print(f"wrote {target.relative_to(LANGUAGE_DIR.parent.parent)}")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
