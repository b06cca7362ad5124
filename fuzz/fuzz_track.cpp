// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Arbitrary bytes as a recording file for the track export and as a telemetry text for the RMC
// time parser. Besides memory safety, checks what holds whatever the input:
// - every collected text lies within the bytes fed and is no longer than the player keeps;
// - a parsed UTC time lies between 1980-01-01 and the end of 2079, as two-digit years allow;
// - the track texts built from whatever was collected hold as many CSV rows as texts.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "export/telemetry_collector.h"
#include "export/track_source.h"
#include "export/track_writer.h"
#include "stream/rmc_time.h"
#include "stream/telemetry_handover.h"
#include "stream/ts_packet.h"

namespace {

constexpr int64_t kEarliestMs = 315532800000;  // 1980-01-01
constexpr int64_t kLatestMs = 3471292800000;   // 2080-01-01

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

void CheckTime(std::string_view text) {
    const std::optional<int64_t> ms = velmaro::ParseRmcUtcMs(text);
    Require(!ms || (*ms >= kEarliestMs && *ms < kLatestMs));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CheckTime(std::string_view(reinterpret_cast<const char*>(data), size));
    velmaro::TelemetryCollector collector;
    for (size_t at = 0; at + velmaro::kTsPacketSize <= size; at += velmaro::kTsPacketSize) {
        collector.Feed(data + at, static_cast<int64_t>(at));
    }
    collector.Finish();
    for (const velmaro::CollectedText& text : collector.Texts()) {
        Require(text.pos >= 0 && static_cast<size_t>(text.pos) < size);
        Require(text.text.size() <= velmaro::TelemetryHandOver::kMaxText);
        CheckTime(text.text);
    }
    velmaro::TrackPoints points;
    velmaro::GSensorRecord gsensor;
    velmaro::AppendPoints(collector, 0, INT64_MAX, 0.0, gsensor, points);
    const std::string csv = velmaro::CsvText(points);
    size_t rows = 0;
    for (const char c : csv) {
        rows += c == '\n' ? 1 : 0;
    }
    Require(rows == points.size() + 1);
    return 0;
}
