#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing need. Idempotent: asks apt
# only for what is missing.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config git
    libavcodec-dev libavformat-dev libavutil-dev libswscale-dev libswresample-dev ffmpeg zlib1g-dev
    libsdl2-dev libturbojpeg0-dev libexif-dev libasound2-dev
    qt6-base-dev libqt6opengl6-dev libgl-dev xvfb xauth
    qt6-webengine-dev qt6-webchannel-dev libjs-leaflet
    libgtest-dev libgmock-dev libbenchmark-dev
    libcli11-dev
    clang libclang-rt-14-dev clang-format
    locales
    desktop-file-utils appstream
    help2man
    gpsbabel libxml2-dev libxml2-utils libimage-exiftool-perl
    dbus
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
    sudo_cmd=(sudo)
fi

if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    "${sudo_cmd[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends \
        "${missing[@]}" >/dev/null
fi

# A decimal-comma locale, so tests can prove that number parsing ignores the user's locale.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
    "${sudo_cmd[@]}" localedef -i de_DE -f UTF-8 de_DE.UTF-8 || echo "note: de_DE.UTF-8 not generated"
fi
