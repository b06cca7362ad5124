// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/time_strip_text.h"

#include <cmath>
#include <cstdio>
#include <ctime>

#include "app/language_table.h"
#include "stream/channel_controls.h"
#include "stream/play_mode_rates.h"

namespace velmaro {
namespace {

constexpr int64_t kSecondsPerMinute = 60;
constexpr int64_t kSecondsPerHour = 3600;
// Speeds within this of a whole number (or of one over it) are that number.
constexpr double kSpeedTolerance = 1e-6;

std::string FileName(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ClockText(double cameraTime) {
    // Calendar seconds read back as local time, as the navigator shows the recordings.
    const auto seconds = static_cast<std::time_t>(std::floor(cameraTime));
    std::tm t{};
    localtime_r(&seconds, &t);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.tm_year + 1900,
                  t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
    return text;
}

std::string MotionText(const PlayState& play) {
    const bool held = play.playMode == kPlayHeld || play.playMode == kPlayStep;
    if (play.paused || held) {
        return GetLanguageString("Paused");
    }
    const std::string speed = SpeedText(RateFactor(play.playMode) / GroupShare(play.playMode));
    if (play.backward) {
        const std::string word = GetLanguageString("Backward");
        return speed.empty() ? word : word + " " + speed;
    }
    return speed.empty() ? GetLanguageString("Playing") : speed;
}

std::string StateText(const PlayState& play) {
    const std::string motion = MotionText(play);
    return play.looping ? motion + ", " + GetLanguageString("A-B loop") : motion;
}

}  // namespace

std::string MinutesAndSeconds(double seconds) {
    const int64_t whole = seconds > 0.0 ? static_cast<int64_t>(seconds) : 0;
    char text[32];
    if (whole >= kSecondsPerHour) {
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld",
                      static_cast<long long>(whole / kSecondsPerHour),
                      static_cast<long long>(whole % kSecondsPerHour / kSecondsPerMinute),
                      static_cast<long long>(whole % kSecondsPerMinute));
    } else {
        std::snprintf(text, sizeof text, "%lld:%02lld",
                      static_cast<long long>(whole / kSecondsPerMinute),
                      static_cast<long long>(whole % kSecondsPerMinute));
    }
    return text;
}

std::string SpeedText(double factor) {
    if (!(factor > 0.0) || std::fabs(factor - 1.0) < kSpeedTolerance) {
        return {};
    }
    if (factor > 1.0) {
        return std::to_string(std::lround(factor)) + "x";
    }
    return "1/" + std::to_string(std::lround(1.0 / factor)) + "x";
}

TimeStripText MakeTimeStripText(const TimeStripInput& input) {
    TimeStripText text;
    text.file = FileName(input.path);
    if (input.moment) {
        text.clock = ClockText(input.moment->cameraTime + static_cast<double>(input.clockShift));
        // The last picture lasts a frame too: a 3 s file ends at 2.97 s and is 0:03 long.
        text.position = MinutesAndSeconds(input.moment->position) + " / " +
                        MinutesAndSeconds(std::round(input.moment->length));
    }
    if (!input.path.empty()) {
        text.state = StateText(input.play);
    }
    return text;
}

}  // namespace velmaro
