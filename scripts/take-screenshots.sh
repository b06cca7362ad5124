#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 Velmaro developers
# SPDX-License-Identifier: GPL-3.0-or-later
# Takes the screenshots the AppStream metainfo shows (resources/screenshots/), from a finished
# build: the player on a generated camera card under a private X server, captured while it plays.
# Rerun after a visible change to the main window and commit the result.
#   scripts/take-screenshots.sh [OUT-DIR]     default: resources/screenshots
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VELMARO_BUILD_DIR:-$root/build}
out=${1:-$root/resources/screenshots}
# Enough pictures for the card to be found, its day shown and playing under way (about ten
# seconds under Xvfb), so the last captures show playback rather than start-up.
pictures=400
capture_interval=0.5

for tool in xvfb-run import; do
    command -v "$tool" >/dev/null || { echo "$tool is missing: scripts/install-deps.sh test" >&2; exit 1; }
done
[ -x "$build/bin/velmaro" ] || { echo "no player in $build/bin: build first" >&2; exit 1; }

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
"$build/bin/make-recording" --out "$scratch/card" --files 2 --seconds 8 --footage \
    --size 1280x720 >/dev/null

# Inside the X server: the player in the background, the whole screen captured twice a second
# while it runs. The capture before the last is kept, since the last may catch the window
# closing.
cat >"$scratch/capture.sh" <<'INNER'
#!/usr/bin/env bash
set -uo pipefail
"$@" &
player=$!
while kill -0 "$player" 2>/dev/null; do
    sleep "$CAPTURE_INTERVAL"
    if import -window root "$SCRATCH/next.png" 2>/dev/null; then
        [ -f "$SCRATCH/last.png" ] && mv "$SCRATCH/last.png" "$SCRATCH/kept.png"
        mv "$SCRATCH/next.png" "$SCRATCH/last.png"
    fi
done
wait "$player"
INNER
HOME="$scratch/home" XDG_CONFIG_HOME="$scratch/home/.config" VELMARO_DRIVE_ROOTS="$scratch/card" \
    VELMARO_QUIT_AFTER_PICTURES=$pictures SCRATCH="$scratch" CAPTURE_INTERVAL=$capture_interval \
    timeout 180 xvfb-run -a -s "-screen 0 1920x1080x24 -noreset" \
    bash "$scratch/capture.sh" "$build/bin/velmaro" >"$scratch/player.log" 2>&1 ||
    { cat "$scratch/player.log"; echo "the player failed on the generated card" >&2; exit 1; }
[ -f "$scratch/kept.png" ] || { echo "no capture was taken while the player ran" >&2; exit 1; }

mkdir -p "$out"
# Only the window, without the empty screen around it; -strip leaves out the capture time, so
# an unchanged window gives an unchanged file.
convert "$scratch/kept.png" -trim +repage -strip "$out/main-window.png"
echo "wrote $out/main-window.png ($(identify -format '%wx%h' "$out/main-window.png"))"
