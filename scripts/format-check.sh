#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 Velmaro developers
# SPDX-License-Identifier: GPL-3.0-or-later
# Fails when a C++ file of ours deviates from the checked-in .clang-format. With a revision,
# only the files changed since it are looked at; without, every tracked C++ file.
#   scripts/format-check.sh [BASE-REVISION]
set -euo pipefail
cd "$(dirname "$0")/.."

if ! command -v clang-format >/dev/null; then
    echo "format-check: clang-format is not installed (apt-get install clang-format)" >&2
    exit 1
fi
if [ $# -gt 0 ]; then
    mapfile -t files < <(git diff --name-only --diff-filter=d "$1" -- '*.cpp' '*.h')
else
    mapfile -t files < <(git ls-files -- '*.cpp' '*.h')
fi
if [ ${#files[@]} -eq 0 ]; then
    exit 0
fi
if ! clang-format --dry-run --Werror "${files[@]}"; then
    echo "format-check: run clang-format -i on the files above" >&2
    exit 1
fi
echo "format-check: ${#files[@]} files as .clang-format says"
