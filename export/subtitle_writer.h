// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The subtitle sidecar of an exported clip: a SubRip (.srt) file beside it with one cue per
// telemetry text, showing the camera's clock, the speed in the player's unit and the position,
// so any video player shows the dashboard's data over the clip.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "export/track_point.h"

namespace velmaro {

// The player's speed units ("UnitOfSpeed" in Config.ini).
enum SubtitleSpeedUnit : int { kSubtitleKmh = 0, kSubtitleMph = 1, kSubtitleKnot = 2 };

// One caption: shown from `startMs` to `endMs` of the clip's time, `text` in lines ended by '\n'.
struct SubtitleCue {
    int64_t startMs = 0;
    int64_t endMs = 0;
    std::string text;
};

// The captions of `points`, as the SubRip text below times and words them.
std::vector<SubtitleCue> SubtitleCues(const TrackPoints& points, double origin, int speedUnit);

// The SubRip text of `points`. A cue starts at the point's camera time less `origin` (the camera
// time at which the clip's first picture stands) and lasts until the next cue, one second at
// most. Cues never start before 0 or before the cue ahead of them. An unknown unit shows km/h.
std::string SrtText(const TrackPoints& points, double origin, int speedUnit);

// "dir/clip.srt" for "dir/clip.ts", "dir/clip.avi" or "dir/clip".
std::string SubtitlePathFor(const std::string& clipPath);

}  // namespace velmaro
