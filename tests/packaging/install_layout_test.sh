#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 Velmaro developers
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the build into a scratch prefix and checks what a desktop and a packager rely on: the
# programs, the data an installed player looks for in share/velmaro/, a launcher and metainfo
# that the freedesktop validators accept, and icons in every size the launcher may ask for.
set -euo pipefail
build=$1
source=$2
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

cmake --install "$build" --prefix "$prefix" >/dev/null

for program in velmaro velmaro-play velmaro-export velmaro-probe velmaro-usrset velmaro-track; do
    [ -x "$prefix/bin/$program" ] || fail "bin/$program is not installed"
done
for program in make-recording make-offset-grid controls-gallery digi-calendar-demo; do
    [ ! -e "$prefix/bin/$program" ] || fail "the build-only tool $program was installed"
done
if [ -n "$(find "$prefix/bin" -name '*_tests' -o -name 'bench_*')" ]; then
    fail "tests or benchmarks were installed"
fi

version=$("$prefix/bin/velmaro" --version)
[[ "$version" =~ ^velmaro\ [0-9]+\.[0-9]+\.[0-9]+$ ]] || fail "velmaro --version printed '$version'"

# Debian's documentation folder: the machine-readable copyright file and a native package's
# changelog, both naming the release the programs print.
doc="$prefix/share/doc/velmaro"
head -1 "$doc/copyright" 2>/dev/null |
    grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
    fail "share/doc/velmaro/copyright is missing or not in the copyright format"
gzip -t "$doc/changelog.gz" 2>/dev/null || fail "share/doc/velmaro/changelog.gz is missing or broken"
release=${version#velmaro }
metainfo="$prefix/share/metainfo/org.velmaro.Velmaro.metainfo.xml"
while read -r where number; do
    [ "$number" = "$release" ] || fail "$where names release '$number', --version '$release'"
done <<EOF
changelog $(zcat "$doc/changelog.gz" | sed -n '1s/^velmaro (\([^)]*\)).*/\1/p')
metainfo $(grep -o '<release version="[^"]*"' "$metainfo" | head -1 | cut -d'"' -f2)
EOF
empty=$(find "$prefix" -type d -empty)
[ -z "$empty" ] || fail "empty folders installed: $empty"

for language in "$source"/resources/Language/*.ini; do
    cmp -s "$language" "$prefix/share/velmaro/Language/$(basename "$language")" ||
        fail "share/velmaro/Language/$(basename "$language") differs from the source"
done

# Leaflet is the system's, so its security fixes reach the player: a link, not a copy.
leaflet="$prefix/share/velmaro/map/leaflet"
[ -L "$leaflet" ] || fail "share/velmaro/map/leaflet is not a link to the system's Leaflet"
[[ "$(readlink "$leaflet")" != /* ]] || fail "the Leaflet link is absolute"
[ -f "$leaflet/leaflet.js" ] || fail "the Leaflet link leads nowhere"

desktop="$prefix/share/applications/org.velmaro.Velmaro.desktop"
[ -f "$desktop" ] || fail "no launcher"
[ -f "$metainfo" ] || fail "no metainfo"
grep -qx 'MimeType=video/mp2t;' "$desktop" || fail "the launcher does not offer to open .ts files"
grep -q '^Exec=velmaro %f$' "$desktop" || fail "the launcher does not pass the file on"
# Desktops match the running window (its desktop file name), launcher and icon by the id.
grep -qx 'Icon=org.velmaro.Velmaro' "$desktop" || fail "the launcher's icon is not named by the id"
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$desktop" || fail "desktop-file-validate rejects the launcher"
fi
if command -v appstreamcli >/dev/null; then
    appstreamcli validate --no-net "$metainfo" || fail "appstreamcli rejects the metainfo"
fi

# Every screenshot the metainfo shows is installed, as a PNG, under the name it is published as.
shots=$(grep -o '<image[^>]*>[^<]*' "$metainfo" | sed 's/.*>//')
[ -n "$shots" ] || fail "the metainfo shows no screenshot"
for url in $shots; do
    shot="$prefix/share/velmaro/screenshots/$(basename "$url")"
    [ "$(head -c 8 "$shot" 2>/dev/null | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] ||
        fail "the screenshot $(basename "$url") is not installed as a PNG"
done

for size in 16 24 32 48 64 128 256; do
    icon="$prefix/share/icons/hicolor/${size}x${size}/apps/org.velmaro.Velmaro.png"
    [ -f "$icon" ] || fail "no ${size}x${size} icon"
    # The PNG header's width and height (big-endian at bytes 16 and 20) must match the folder.
    read -r width height < <(od -An -tu1 -j16 -N8 "$icon" |
        awk '{print $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8}')
    [ "$width" = "$size" ] && [ "$height" = "$size" ] ||
        fail "the ${size}x${size} icon is ${width}x${height}"
done
python3 "$source/tools/make_skins/app_icon.py" --check || fail "the icons are not what app_icon.py draws"
echo "installed tree is complete"
