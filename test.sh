#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 Velmaro developers
# SPDX-License-Identifier: GPL-3.0-or-later
# Sets everything up, builds, and runs every test.
set -euo pipefail
root=$(cd "$(dirname "$0")" && pwd)
build=${VELMARO_BUILD_DIR:-$root/build}
"$root/scripts/install-deps.sh" test
"$root/scripts/build.sh" -DVELMARO_TESTS=ON
# The Qt tests draw into a real X display when there is one; give them Xvfb otherwise.
if [ -z "${DISPLAY:-}" ] && command -v xvfb-run >/dev/null; then
    exec xvfb-run -a -s "-screen 0 1920x1080x24 -noreset" \
        ctest --test-dir "$build" --output-on-failure -j"$(nproc)"
fi
ctest --test-dir "$build" --output-on-failure -j"$(nproc)"
