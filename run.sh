#!/usr/bin/env bash
# Sets everything up and runs Velmaro's main job on a recording (a .ts file or a card folder).
# Without an argument it generates a sample card and uses that.
set -euo pipefail
root=$(cd "$(dirname "$0")" && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
exec "${VELMARO_BUILD_DIR:-$root/build}/bin/velmaro-probe" "$@"
