// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/clock_check.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "app/language_table.h"

namespace velmaro {
namespace {

constexpr int64_t kMsPerSecond = 1000;
constexpr int64_t kSecondsPerMinute = 60;
constexpr int64_t kSecondsPerHour = 3600;
constexpr int64_t kZoneStepSeconds = 15 * kSecondsPerMinute;
constexpr int64_t kWidestZoneSeconds = 14 * kSecondsPerHour;  // UTC+14, the Line Islands
// Language keys; "%s" stands for the amount.
constexpr const char* kBehindKey = "camera clock is %s behind GPS time";
constexpr const char* kAheadKey = "camera clock is %s ahead of GPS time";

// Rounded to the nearest second, halves away from zero.
int64_t RoundedSeconds(int64_t ms) {
    return ms >= 0 ? (ms + kMsPerSecond / 2) / kMsPerSecond
                   : -((-ms + kMsPerSecond / 2) / kMsPerSecond);
}

}  // namespace

int64_t CameraClockOffset(int64_t cameraSeconds, int64_t gpsUtcMs) {
    return RoundedSeconds(cameraSeconds * kMsPerSecond - gpsUtcMs);
}

// The wall clock the camera seconds stand for is read back as if it were UTC: what remains
// against the GPS time is the camera's offset from UTC.
std::optional<int32_t> CameraZoneOffset(int64_t cameraSeconds, int64_t gpsUtcMs) {
    const std::time_t camera = static_cast<std::time_t>(cameraSeconds);
    std::tm wall{};
    if (localtime_r(&camera, &wall) == nullptr) {
        return std::nullopt;
    }
    const int64_t offset = CameraClockOffset(static_cast<int64_t>(timegm(&wall)), gpsUtcMs);
    const int64_t zone =
        (offset >= 0 ? offset + kZoneStepSeconds / 2 : offset - kZoneStepSeconds / 2) /
        kZoneStepSeconds * kZoneStepSeconds;
    if (std::llabs(offset - zone) > kClockToleranceSeconds ||
        std::llabs(zone) > kWidestZoneSeconds) {
        return std::nullopt;
    }
    return static_cast<int32_t>(zone / kSecondsPerMinute);
}

std::optional<int64_t> NoticeableClockOffset(int64_t offsetSeconds) {
    if (std::llabs(offsetSeconds) > kClockToleranceSeconds) {
        return offsetSeconds;
    }
    return std::nullopt;
}

std::string DescribeClockOffset(int64_t offsetSeconds) {
    const long long size = std::llabs(offsetSeconds);
    char amount[64];
    if (size >= kSecondsPerHour) {
        const long long minutes = (size + kSecondsPerMinute / 2) / kSecondsPerMinute;
        std::snprintf(amount, sizeof amount, "%lld h %02lld min", minutes / 60, minutes % 60);
    } else {
        std::snprintf(amount, sizeof amount, "%lld min %02lld s", size / kSecondsPerMinute,
                      size % kSecondsPerMinute);
    }
    std::string text = GetLanguageString(offsetSeconds < 0 ? kBehindKey : kAheadKey);
    const size_t slot = text.find("%s");
    if (slot != std::string::npos) {
        text.replace(slot, 2, amount);
    }
    return text;
}

}  // namespace velmaro
