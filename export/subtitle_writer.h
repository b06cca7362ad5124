// The subtitle sidecar of an exported clip: a SubRip (.srt) file beside it with one cue per
// telemetry text, showing the camera's clock, the speed in the player's unit and the position,
// so any video player shows the dashboard's data over the clip.
#pragma once

#include <string>

#include "export/track_point.h"

namespace velmaro {

// The player's speed units ("UnitOfSpeed" in Config.ini).
enum SubtitleSpeedUnit : int { kSubtitleKmh = 0, kSubtitleMph = 1, kSubtitleKnot = 2 };

// The SubRip text of `points`. A cue starts at the point's camera time less `origin` (the camera
// time at which the clip's first picture stands) and lasts until the next cue, one second at
// most. Cues never start before 0 or before the cue ahead of them. An unknown unit shows km/h.
std::string SrtText(const TrackPoints& points, double origin, int speedUnit);

// "dir/clip.srt" for "dir/clip.ts", "dir/clip.avi" or "dir/clip".
std::string SubtitlePathFor(const std::string& clipPath);

}  // namespace velmaro
