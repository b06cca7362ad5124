// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The texts of the strip under the video: when the picture on screen was recorded, which file
// it is, where in it, and how it plays. Made here, without the window, so that they can be
// checked against known recordings.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "stream/recording_times.h"

namespace velmaro {

struct PlayState {
    int32_t playMode = 1;  // the channel's PlayMode
    bool paused = false;
    bool backward = false;
    bool looping = false;  // the A-B loop is on
};

struct TimeStripInput {
    std::string path;                     // the file of the picture on screen
    std::optional<PictureMoment> moment;  // nothing while the file's times are not known
    int64_t clockShift = 0;               // added to camera times: GPS time when chosen
    PlayState play;
};

struct TimeStripText {
    std::string clock;     // "2026-12-09 14:05:33"
    std::string file;      // the file name without its folder
    std::string position;  // "1:05 / 3:00"
    std::string state;     // "Playing", "Paused", "2x", "Backward 1/2x"
};

// "m:ss", or "h:mm:ss" from an hour on; whole seconds, rounded down.
std::string MinutesAndSeconds(double seconds);
// "2x", "1/4x"; empty for normal speed.
std::string SpeedText(double factor);
TimeStripText MakeTimeStripText(const TimeStripInput& input);

}  // namespace velmaro
