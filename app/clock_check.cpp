#include "app/clock_check.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/language_table.h"

namespace velmaro {
namespace {

constexpr int64_t kMsPerSecond = 1000;
constexpr int64_t kSecondsPerMinute = 60;
constexpr int64_t kSecondsPerHour = 3600;
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
