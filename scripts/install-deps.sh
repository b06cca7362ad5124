#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 Velmaro developers
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian 12 packages a level of use needs, each level including the one before:
#   runtime  what the built player and tools load when they run
#   build    runtime, and the compiler, CMake and the headers to build them (./run.sh)
#   test     build, and the test, packaging and CI tools, and a decimal-comma locale (./test.sh)
# Without a level, test. Idempotent: asks apt only for what is missing.
set -euo pipefail
level=${1:-test}

runtime=(
    libavcodec59 libavformat59 libavutil57 libswscale6 libswresample4 zlib1g libxml2
    libsdl2-2.0-0 libturbojpeg0 libexif12 libasound2
    libqt6widgets6 libqt6opengl6 libqt6openglwidgets6 libqt6dbus6 qt6-qpa-plugins libgl1
    libqt6webenginewidgets6 libqt6webchannel6 libjs-leaflet
)
build=(
    build-essential cmake ninja-build pkg-config git
    libavcodec-dev libavformat-dev libavutil-dev libswscale-dev libswresample-dev zlib1g-dev
    libsdl2-dev libturbojpeg0-dev libexif-dev libasound2-dev libxml2-dev
    qt6-base-dev libqt6opengl6-dev libgl-dev qt6-webengine-dev qt6-webchannel-dev
    libcli11-dev help2man
)
test=(
    libgtest-dev libgmock-dev libbenchmark-dev
    clang libclang-rt-14-dev clang-format
    xvfb xauth dbus locales imagemagick
    ffmpeg gpsbabel libxml2-utils libimage-exiftool-perl
    desktop-file-utils appstream lintian reuse man-db
)

case $level in
    runtime) packages=("${runtime[@]}") ;;
    build) packages=("${runtime[@]}" "${build[@]}") ;;
    test) packages=("${runtime[@]}" "${build[@]}" "${test[@]}") ;;
    *)
        echo "usage: $0 [runtime|build|test]" >&2
        exit 2
        ;;
esac

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
if [ "$level" = test ] && ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
    "${sudo_cmd[@]}" localedef -i de_DE -f UTF-8 de_DE.UTF-8 || echo "note: de_DE.UTF-8 not generated"
fi
