// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/subtitle_writer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

#include "export/track_text.h"

namespace velmaro {
namespace {

constexpr double kCueSeconds = 1.0;
constexpr double kKmPerMile = 1.609344;
constexpr double kKmPerNauticalMile = 1.852;
constexpr int64_t kMsPerSecond = 1000;

// "hh:mm:ss,mmm" of a non-negative number of milliseconds.
std::string CueTime(int64_t ms) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%02lld:%02lld:%02lld,%03lld",
                  static_cast<long long>(ms / 3600000), static_cast<long long>(ms / 60000 % 60),
                  static_cast<long long>(ms / 1000 % 60), static_cast<long long>(ms % 1000));
    return buffer;
}

std::string SpeedText(double kmh, int unit) {
    switch (unit) {
        case kSubtitleMph:
            return FixedText(kmh / kKmPerMile, 0) + " mph";
        case kSubtitleKnot:
            return FixedText(kmh / kKmPerNauticalMile, 0) + " kn";
        default:
            return FixedText(kmh, 0) + " km/h";
    }
}

int64_t ClipMs(double cameraTime, double origin) {
    const double seconds = cameraTime - origin;
    return std::isfinite(seconds) && seconds > 0.0 ? std::llround(seconds * kMsPerSecond) : 0;
}

}  // namespace

std::vector<SubtitleCue> SubtitleCues(const TrackPoints& points, double origin, int speedUnit) {
    std::vector<SubtitleCue> cues;
    cues.reserve(points.size());
    int64_t floor = 0;  // a cue never starts before the one ahead of it
    for (size_t i = 0; i < points.size(); ++i) {
        const TrackPoint& p = points[i];
        SubtitleCue cue;
        cue.startMs = std::max(floor, ClipMs(p.cameraTime, origin));
        cue.endMs = cue.startMs + static_cast<int64_t>(kCueSeconds * kMsPerSecond);
        if (i + 1 < points.size()) {
            const int64_t next = ClipMs(points[i + 1].cameraTime, origin);
            if (next > cue.startMs) {
                cue.endMs = std::min(cue.endMs, next);
            }
        }
        floor = cue.startMs;
        cue.text = CalendarText(p.cameraTime) + '\n';
        if (p.valid) {
            cue.text += SpeedText(p.fix.speed, speedUnit) + "  " + LatitudeText(p.fix.latitude) +
                        ' ' + LongitudeText(p.fix.longitude) + '\n';
        } else {
            cue.text += "No GPS fix\n";
        }
        cues.push_back(std::move(cue));
    }
    return cues;
}

std::string SrtText(const TrackPoints& points, double origin, int speedUnit) {
    std::string out;
    int number = 0;
    for (const SubtitleCue& cue : SubtitleCues(points, origin, speedUnit)) {
        out += std::to_string(++number) + '\n' + CueTime(cue.startMs) + " --> " +
               CueTime(cue.endMs) + '\n' + cue.text + '\n';
    }
    return out;
}

std::string SubtitlePathFor(const std::string& clipPath) {
    const size_t slash = clipPath.find_last_of('/');
    const size_t dot = clipPath.find_last_of('.');
    const bool hasSuffix =
        dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
    return (hasSuffix ? clipPath.substr(0, dot) : clipPath) + ".srt";
}

}  // namespace velmaro
