#!/usr/bin/env bash
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

run() {
    local target=$1 dir=$2
    echo "== fuzzing $target for ${seconds}s"
    "$build/bin/$target" -max_total_time="$seconds" -rss_limit_mb=4096 -max_len=65536 \
        -print_final_stats=1 "$dir" 2>&1 | grep -E '^(stat::number_of_executed_units|==|SUMMARY|Done)' || true
    # libFuzzer exits non-zero on a crash or sanitizer report; pipefail carries it.
    [ "${PIPESTATUS[0]}" -eq 0 ]
}

run fuzz_demux "$corpus/demux"
run fuzz_reader "$corpus/demux"
run fuzz_telemetry "$corpus/telemetry"
[ -x "$build/bin/fuzz_ini" ] && run fuzz_ini "$corpus/ini"
echo "fuzzing: no crash"
