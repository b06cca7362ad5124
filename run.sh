#!/usr/bin/env bash
# Sets everything up and plays a recording (a .ts file or a card folder) with picture and sound:
# in a window when there is a display, off-screen otherwise. Without an argument it generates a
# sample card and plays that. Commands are read from standard input (see --help).
set -euo pipefail
root=$(cd "$(dirname "$0")" && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
bin="${VELMARO_BUILD_DIR:-$root/build}/bin"
if [ -n "${DISPLAY:-}" ]; then
    exec "$bin/velmaro-play" --window "$@"
fi
exec "$bin/velmaro-play" "$@"
