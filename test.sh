#!/usr/bin/env bash
# Sets everything up, builds, and runs every test.
set -euo pipefail
root=$(cd "$(dirname "$0")" && pwd)
build=${VELMARO_BUILD_DIR:-$root/build}
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
ctest --test-dir "$build" --output-on-failure -j"$(nproc)"
