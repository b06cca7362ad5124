// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/track_text.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <system_error>

namespace velmaro {
namespace {

constexpr int64_t kMsPerSecond = 1000;
constexpr int kCoordinateDecimals = 5;

int64_t FloorDiv(int64_t a, int64_t b) {
    return a / b - ((a % b != 0 && ((a < 0) != (b < 0))) ? 1 : 0);
}

std::string Hemisphere(double value, char positive, char negative) {
    return FixedText(std::fabs(value), kCoordinateDecimals) + (value < 0.0 ? negative : positive);
}

}  // namespace

std::string FixedText(double value, int decimals) {
    if (!std::isfinite(value)) {
        value = 0.0;
    }
    char buffer[64];
    const auto [end, error] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    if (error != std::errc()) {
        return "0";
    }
    std::string text(buffer, end);
    // -0.00000 reads as a place south of the equator that is not there.
    if (text.front() == '-' && text.find_first_not_of("-0.") == std::string::npos) {
        text.erase(0, 1);
    }
    return text;
}

std::string UtcText(int64_t utcMs) {
    const int64_t seconds = FloorDiv(utcMs, kMsPerSecond);
    const int ms = static_cast<int>(utcMs - seconds * kMsPerSecond);
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm utc{};
    gmtime_r(&t, &utc);
    char buffer[48];
    const int n =
        std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02d", utc.tm_year + 1900,
                      utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec);
    std::string text(buffer, static_cast<size_t>(n));
    if (ms != 0) {
        std::snprintf(buffer, sizeof buffer, ".%03d", ms);
        text += buffer;
    }
    return text + 'Z';
}

std::string CalendarText(double calendarSeconds) {
    const std::time_t t = static_cast<std::time_t>(std::floor(calendarSeconds));
    std::tm local{};
    localtime_r(&t, &local);
    char buffer[40];
    const int n =
        std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", local.tm_year + 1900,
                      local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return std::string(buffer, static_cast<size_t>(n));
}

std::string LatitudeText(double latitude) {
    return Hemisphere(latitude, 'N', 'S');
}

std::string LongitudeText(double longitude) {
    return Hemisphere(longitude, 'E', 'W');
}

}  // namespace velmaro
