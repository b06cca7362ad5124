#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 Velmaro developers
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the libFuzzer targets with clang and runs each for the given seconds (default 60) on a
# seed corpus made from a generated recording, real GPS logs and the shipped INI files.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
build=$root/build-fuzz
main_build=${VELMARO_BUILD_DIR:-$root/build}
data=$root/../shared/data

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DVELMARO_FUZZ=ON -DVELMARO_TOOLS=OFF -DVELMARO_UI=OFF >/dev/null
cmake --build "$build" -j"$(nproc)"

corpus=$build/corpus
rm -rf "$corpus"
mkdir -p "$corpus/demux" "$corpus/telemetry" "$corpus/ini" "$corpus/card"

# Transport streams: pieces of a generated card (with garbage and a power cut) and small real files.
"$main_build/bin/make-recording" --out "$corpus/card" --files 2 --seconds 2 --size 320x240 \
    --garbage --truncate-last >/dev/null
for f in "$corpus"/card/DCIM/100MEDIA/*.ts; do
    split -b 32768 -a 3 "$f" "$corpus/demux/$(basename "$f" .ts)_"
done
for f in "$data"/ts/mpeg2ts-reader/0.ts "$data"/ts/mpeg2ts/test1.ts "$data"/ts/tsduck-test/test-041.ts; do
    [ -f "$f" ] && cp "$f" "$corpus/demux/"
done

# Telemetry: the camera's text shape and real receiver sentences.
printf 'X:0.012 Y:-0.980 Z:0.105\n$GPRMC,123519,A,4807.0380,N,01131.0000,E,022.4,084.4,230394,003.1,W,A*6A\r\n' \
    >"$corpus/telemetry/camera"
i=0
for log in "$data"/nmea/gpsd/*.log; do
    grep -a -m 3 'RMC' "$log" 2>/dev/null | while IFS= read -r line; do
        printf '%s' "$line" >"$corpus/telemetry/$(basename "$log").$RANDOM"
    done
    i=$((i + 1))
    [ $i -ge 40 ] && break
done

# INI files: the shipped language files and a settings file.
cp "$root"/resources/Language/*.ini "$corpus/ini/" 2>/dev/null || true
printf '[Config]\r\nm_default_lng=de_DE\r\nUI_Mode=1\r\n; comment\r\n[Other]\r\nKey = Value \r\n' \
    >"$corpus/ini/config"

# Camera settings: as the camera marks them, as the player writes them, every field high, short.
mkdir -p "$corpus/camera" "$corpus/grid"
printf '\xa1\x56\xf9\x00\x32\x05\x35\xfb\x0c\x50\x02\x05\x04\x02\x00\xfc' >"$corpus/camera/camera_marked"
printf '\xd6\x51\xc9\x96\x32\x05\x35\xfb\x0c\x50\x02\x05\x04\x02\x00\xfd' >"$corpus/camera/player_written"
printf '\x80\xc8\x34\x48\xcf\xfc\xfd\xfb\x9d\x54\x23\x29\x09\x44\x80\xfc' >"$corpus/camera/highest"
head -c 10 "$corpus/camera/camera_marked" >"$corpus/camera/short"
# Offset grids: a fine one with negative coordinates, a coarse 5x4 one.
printf '120.53,24.07,0.0051,-0.0029\n120.52,24.08,0.0050,-0.0030\n120.52,24.07,0.0049,-0.0031\n-70.64,-33.87,0.001,0.002\n' >"$corpus/grid.csv"
"$main_build/bin/make-offset-grid" "$corpus/grid.csv" "$corpus/grid/route.bin" >/dev/null
for i in 0 1 2 3 4; do for j in 0 1 2 3; do echo "$((i - 2)).5,$((10 - j)),0.00$i,-0.00$j"; done; done >"$corpus/coarse.csv"
"$main_build/bin/make-offset-grid" --cell-size 0.5 "$corpus/coarse.csv" "$corpus/grid/coarse.bin" >/dev/null

# Export: a header choosing the split into two files, the marks and the clip kind, then the
# start of a generated recording.
mkdir -p "$corpus/export"
for f in "$corpus"/card/DCIM/100MEDIA/*.ts; do
    { printf '\x80\x00\x10\x00\x80\x00\x02\x00'; head -c 60000 "$f"; } >"$corpus/export/$(basename "$f" .ts)_ts"
    { printf '\x80\x00\x10\x00\x80\x00\x03\x00'; head -c 60000 "$f"; } >"$corpus/export/$(basename "$f" .ts)_avi"
done

run() {
    local target=$1 dir=$2 log="$build/$1.log"
    echo "== fuzzing $target for ${seconds}s"
    # libFuzzer exits non-zero on a crash or a sanitizer report.
    if ! "$build/bin/$target" -max_total_time="$seconds" -rss_limit_mb=4096 -max_len=65536 \
        -print_final_stats=1 "$dir" >"$log" 2>&1; then
        tail -n 60 "$log"
        return 1
    fi
    grep -E '^(stat::number_of_executed_units|Done)' "$log" || true
}

run fuzz_demux "$corpus/demux"
run fuzz_reader "$corpus/demux"
run fuzz_telemetry "$corpus/telemetry"
run fuzz_ini "$corpus/ini"
run fuzz_camera_settings "$corpus/camera"
run fuzz_gps_offset "$corpus/grid"
run fuzz_export "$corpus/export"
mkdir -p "$corpus/mountinfo"
cp /proc/self/mountinfo "$corpus/mountinfo/self" 2>/dev/null || true
printf '36 35 98:0 /mnt1 /mnt2 rw,noatime master:1 - ext3 /dev/root rw,errors=continue\n' \
    >"$corpus/mountinfo/example"
run fuzz_mountinfo "$corpus/mountinfo"
# Track export: recording heads for their telemetry, telemetry texts for their RMC times.
mkdir -p "$corpus/track"
cp "$corpus"/demux/* "$corpus"/telemetry/* "$corpus/track/" 2>/dev/null || true
run fuzz_track "$corpus/track"
# The background reading of a day: whole recordings, damaged ones included.
run fuzz_recording_scan "$corpus/demux"
echo "fuzzing: no crash"
