// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Incidents of a recording: sudden jumps of the G-sensor reading, as a knock, a hard brake or a
// pothole leaves them. A jump is measured as the length of the change of the (x, y, z) vector
// between two samples at most a second apart, in the camera's own units, so one threshold works
// whatever rate the camera samples at.
#pragma once

#include <cstdint>
#include <vector>

#include "stream/telemetry.h"

namespace velmaro {

// The G-sensor threshold when Config.ini names none (the generated and the usual cameras' unit
// is g: braking hard is about 1 g, a knock several).
inline constexpr double kDefaultIncidentThreshold = 1.5;
// How far apart two samples may be for their difference to count as one jump.
inline constexpr double kIncidentWindowSeconds = 1.0;

struct GSample {
    double seconds = 0.0;  // since the file's first picture
    GSensorRecord g;
    int64_t filePos = 0;  // byte position of the text in its file
};

struct Incident {
    double seconds = 0.0;  // the first sample that jumped
    double deltaG = 0.0;   // the largest jump of the event
    int64_t filePos = 0;   // of that first sample
};

// The change between two samples, |a - b| as a vector.
double GDelta(const GSensorRecord& a, const GSensorRecord& b);

// One incident per event: a sample whose jump from any sample of the second before it exceeds
// `threshold` starts an event, and further jumping samples within a second of the last one
// belong to it (a single-sample spike jumps in and back out). Samples must come in time order;
// a sample not later than the one before (a clock reset inside a file) compares with none.
std::vector<Incident> FindIncidents(const std::vector<GSample>& samples, double threshold);

// The threshold to use for a configured value: a value that is not a positive finite number
// would mark every sample or none, so it gives the default.
double UsableIncidentThreshold(double configured);

}  // namespace velmaro
