#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 Velmaro developers
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the .deb from a finished build and checks it as a distribution would: lintian (any
# error or warning fails; the package's own overrides say why each is there), the AppStream and
# desktop validators on the files it installs, and REUSE compliance of the source tree. Then
# installs it with apt (which pulls its dependencies) and checks the installed player: its
# version, and that it opens a generated camera card and shows pictures under a private X
# server. Removes the package again, so the machine is left as it was. Needs root (or sudo) for
# apt.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VELMARO_BUILD_DIR:-$root/build}
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
    sudo_cmd=(sudo)
fi

rm -rf "$build/package"
(cd "$build" && cpack -B "$build/package" >/dev/null)
deb=$(ls "$build"/package/velmaro_*.deb)
echo "built $(basename "$deb")"
dpkg-deb --field "$deb" Depends

lintian --fail-on error,warning --display-info "$deb" || { echo "lintian rejects the package" >&2; exit 1; }
echo "lintian: no errors or warnings"
unpacked=$(mktemp -d)
dpkg-deb -x "$deb" "$unpacked"
appstreamcli validate --pedantic --no-net "$unpacked"/usr/share/metainfo/*.metainfo.xml
desktop-file-validate "$unpacked"/usr/share/applications/*.desktop
rm -rf "$unpacked"
echo "the metainfo and the launcher validate"
(cd "$root" && reuse lint >/dev/null) || { (cd "$root" && reuse lint | tail -20); exit 1; }
echo "reuse: every file has its copyright and licence"

cleanup() {
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get remove -y -qq velmaro >/dev/null || true
    rm -rf "$scratch"
}
scratch=$(mktemp -d)
trap cleanup EXIT
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "$deb" >/dev/null

version=$(/usr/bin/velmaro --version)
echo "installed: $version"
[[ "$version" == "velmaro "* ]]
# Each installed program's manual page is found by man as a user would ask for it.
for page in velmaro velmaro-export velmaro-track velmaro-probe velmaro-play velmaro-usrset; do
    text=$(man -P cat "$page" 2>/dev/null) && [[ "$text" == *NAME* ]] ||
        { echo "man $page shows no page" >&2; exit 1; }
done
echo "man shows the page of every installed program"

# The installed player, started as a user would on a card, must show pictures and quit by itself.
"$build/bin/make-recording" --out "$scratch/card" --files 1 --seconds 4 >/dev/null
HOME="$scratch/home" XDG_CONFIG_HOME="$scratch/home/.config" VELMARO_DRIVE_ROOTS="$scratch/card" \
    VELMARO_QUIT_AFTER_PICTURES=30 timeout 120 \
    xvfb-run -a -s "-screen 0 1920x1080x24 -noreset" /usr/bin/velmaro >"$scratch/player.log" 2>&1 ||
    { cat "$scratch/player.log"; echo "the installed player failed on a generated card" >&2; exit 1; }
echo "the installed player opened the card and showed 30 pictures"
