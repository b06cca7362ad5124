// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Arbitrary bytes as a telemetry text. Besides memory safety (the sanitizers watch every read),
// checks what the parsing rules guarantee whatever the input:
// - the same text gives the same result, bit for bit, and only the text before the first NUL
//   counts;
// - the record overload and the pointer overload agree, and absent outputs change nothing;
// - fix outputs are written in field order (latitude, longitude, speed, course), and only for a
//   text holding `$GPRMC` (or, with other receivers allowed, `$GNRMC`) followed by a checksum
//   mark;
// - an accepted sentence really has that mark, without the mode indicator N before it, and
//   always wrote a latitude and a longitude;
// - a written latitude lies within [-90, 90] and a written longitude within [-180, 180]; a
//   written speed lies within [0, 1000] knots, a written course within [0, 360] degrees.
// The G-sensor values may be anything a number text can say, NaN included. Every check runs with
// the camera's sentences only and with other receivers' sentences allowed.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "stream/telemetry.h"

namespace {

using velmaro::GpsRecord;
using velmaro::GSensorRecord;
using velmaro::ParseTelemetry;
using velmaro::TelemetryOptions;

constexpr std::string_view kTag = "$GPRMC";
constexpr std::string_view kReceiverTag = "$GNRMC";
constexpr double kMaxLatitude = 90.0;
constexpr double kMaxLongitude = 180.0;
constexpr double kMaxKmh = 1000.0 * 1.852;
constexpr double kFullCircle = 360.0;

// Two runs with different fill values tell which outputs the parser wrote.
constexpr double kFillA = 1.25e300;
constexpr double kFillB = -3.5e-300;

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

bool SameBits(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

struct Outcome {
    bool accepted = false;
    GSensorRecord gsensor;
    GpsRecord fix;
};

Outcome Parse(std::string_view text, double fill, const TelemetryOptions& options) {
    Outcome outcome;
    outcome.gsensor = {fill, fill, fill};
    outcome.fix = {fill, fill, fill, fill};
    outcome.accepted = ParseTelemetry(text, outcome.gsensor, outcome.fix, options);
    return outcome;
}

// The runs with each fill value, and which of the four fix outputs were written.
struct Observed {
    Outcome a;
    Outcome b;
    std::array<bool, 4> written{};
};

std::array<double, 4> FixValues(const GpsRecord& fix) {
    return {fix.latitude, fix.longitude, fix.speed, fix.course};
}

Observed Observe(std::string_view text, const TelemetryOptions& options) {
    Observed seen{Parse(text, kFillA, options), Parse(text, kFillB, options)};
    Require(seen.a.accepted == seen.b.accepted);
    for (int i = 0; i < 4; ++i) {
        const double a = FixValues(seen.a.fix)[i];
        const double b = FixValues(seen.b.fix)[i];
        seen.written[i] = !SameBits(a, kFillA) || !SameBits(b, kFillB);
        Require(!seen.written[i] || SameBits(a, b));
    }
    return seen;
}

void RequireSameOutcome(const Outcome& x, const Outcome& y) {
    Require(x.accepted == y.accepted);
    Require(SameBits(x.gsensor.x, y.gsensor.x) && SameBits(x.gsensor.y, y.gsensor.y) &&
            SameBits(x.gsensor.z, y.gsensor.z));
    for (int i = 0; i < 4; ++i) {
        Require(SameBits(FixValues(x.fix)[i], FixValues(y.fix)[i]));
    }
}

// NaN fails every comparison, so it never passes as within range.
bool Within(double value, double limit) {
    return value >= -limit && value <= limit;
}

bool WithinPositive(double value, double limit) {
    return value >= 0.0 && value <= limit;
}

// The first sentence tag the parser may take.
size_t FirstTag(std::string_view text, const TelemetryOptions& options) {
    const size_t camera = text.find(kTag);
    return options.otherReceivers ? std::min(camera, text.find(kReceiverTag)) : camera;
}

void CheckFix(std::string_view text, const Observed& seen, const TelemetryOptions& options) {
    for (int i = 1; i < 4; ++i) {
        Require(!seen.written[i] || seen.written[i - 1]);
    }
    const size_t tag = FirstTag(text, options);
    const size_t mark = tag == std::string_view::npos ? tag : text.find('*', tag);
    if (mark == std::string_view::npos) {
        Require(!seen.a.accepted && !seen.written[0]);
        return;
    }
    if (seen.a.accepted && !options.otherReceivers) {
        Require(text[mark - 1] != 'N');
    }
    Require(!seen.a.accepted || (seen.written[0] && seen.written[1]));
    const GpsRecord& fix = seen.a.fix;
    Require(!seen.written[0] || Within(fix.latitude, kMaxLatitude));
    Require(!seen.written[1] || Within(fix.longitude, kMaxLongitude));
    Require(!seen.written[2] || WithinPositive(fix.speed, kMaxKmh));
    Require(!seen.written[3] || WithinPositive(fix.course, kFullCircle));
}

void CheckOverloads(std::string_view text, const Outcome& record, const TelemetryOptions& options) {
    Outcome viaPointers;
    viaPointers.gsensor = {kFillA, kFillA, kFillA};
    viaPointers.fix = {kFillA, kFillA, kFillA, kFillA};
    GpsRecord& fix = viaPointers.fix;
    viaPointers.accepted = ParseTelemetry(text, viaPointers.gsensor, &fix.latitude, &fix.longitude,
                                          &fix.speed, &fix.course, options);
    RequireSameOutcome(record, viaPointers);

    GSensorRecord gsensor{kFillA, kFillA, kFillA};
    const bool accepted =
        ParseTelemetry(text, gsensor, nullptr, nullptr, nullptr, nullptr, options);
    Require(accepted == record.accepted);
    Require(SameBits(gsensor.x, record.gsensor.x));
}

void CheckMode(std::string_view text, const TelemetryOptions& options) {
    const Observed seen = Observe(text, options);
    const std::string_view terminated = text.substr(0, text.find('\0'));
    RequireSameOutcome(seen.a, Parse(terminated, kFillA, options));
    CheckFix(terminated, seen, options);
    CheckOverloads(text, seen.a, options);
    if (terminated.find("X:") == std::string_view::npos) {
        Require(SameBits(seen.a.gsensor.x, kFillA));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    CheckMode(text, TelemetryOptions{});
    CheckMode(text, TelemetryOptions{.otherReceivers = true});
    return 0;
}
