#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 Velmaro developers
# SPDX-License-Identifier: GPL-3.0-or-later
# Sets everything up and runs the player. With a display it opens the main window: on the given
# recording, on the given card folder presented as a camera card, or, without an argument, on a
# generated sample card presented as a camera card. Headless it plays with velmaro-play, which
# reads commands from standard input (see its --help).
set -euo pipefail
root=$(cd "$(dirname "$0")" && pwd)
"$root/scripts/install-deps.sh" build
"$root/scripts/build.sh"
bin="${VELMARO_BUILD_DIR:-$root/build}/bin"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    exec "$bin/velmaro-play" "$@"
fi
if [ $# -gt 0 ] && [ -f "$1" ]; then
    exec "$bin/velmaro" "$1"
fi
if [ $# -gt 0 ] && [ -d "$1" ]; then
    VELMARO_DRIVE_ROOTS=$(cd "$1" && pwd) exec "$bin/velmaro"
fi
card="${TMPDIR:-/tmp}/velmaro-sample-card"
if [ ! -d "$card/DCIM" ]; then
    echo "generating a sample card in $card ..."
    rm -rf "$card.part"
    "$bin/make-recording" --out "$card.part" --files 4 --seconds 20 --footage --size 1280x720
    mv "$card.part" "$card"
fi
VELMARO_DRIVE_ROOTS="$card" exec "$bin/velmaro"
