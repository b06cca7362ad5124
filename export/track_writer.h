// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Writes track points as GPX 1.1, KML 2.2 or CSV. Passive: the texts are built in memory from
// the points given; SaveTrack puts one in place under the user's name.
//
// GPX and KML hold only points with an accepted fix and carry their UTC time from the sentence,
// in the shapes other tools read: GPX 1.1 with speed (m/s) and course in Garmin's
// TrackPointExtension v2, KML 2.2 with each segment both as a line and as a gx:Track with a time
// for every place. Both are written through libxml2, so any name gives a well-formed UTF-8 file.
// Points further apart on the camera's clock than kSegmentGapSeconds (another recording of the
// day, a stretch without a fix) start a new track segment, so no line is drawn across the gap.
// CSV holds every telemetry text; a text without an accepted fix is marked "invalid" in the
// `fix` column and leaves the position, speed and course columns empty.
#pragma once

#include <string>

#include "export/track_point.h"

namespace velmaro {

enum class TrackFormat { kNone, kGpx, kKml, kCsv };

// Speed in metres per second and course in degrees inside each GPX point's <extensions>.
inline constexpr const char* kTrackPointExtensionNamespace =
    "http://www.garmin.com/xmlschemas/TrackPointExtension/v2";
inline constexpr double kSegmentGapSeconds = 5.0;

// By the name's suffix in any letter case: ".gpx", ".kml", ".csv"; kNone for anything else.
TrackFormat TrackFormatForPath(const std::string& path);

// Empty only when memory runs out while the text is built.
std::string GpxText(const TrackPoints& points, const std::string& name);
std::string KmlText(const TrackPoints& points, const std::string& name);
std::string CsvText(const TrackPoints& points);
// The text of `format`; empty for kNone.
std::string TrackText(TrackFormat format, const TrackPoints& points, const std::string& name);

// Writes `text` to `path`, replacing an existing file only once the new one is complete. False
// with `error` set otherwise; the old file is then left as it was.
bool SaveTextFile(const std::string& path, const std::string& text, std::string& error);

}  // namespace velmaro
