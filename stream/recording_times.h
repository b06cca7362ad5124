// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Where a picture lies in time: the camera's clock at the moment it was recorded, and how far
// into its file it is. A camera stamps each file with its wall clock when the file is closed,
// and its last picture was recorded then; the pictures before it are as much earlier as their
// presentation times are smaller.
#pragma once

#include <cstdint>
#include <string>

namespace velmaro {

struct RecordingTimes {
    double firstPts = 0.0;  // the first video presentation time, seconds (the reader's base)
    double lastPts = 0.0;   // the last one, as the backward walk finds it
    int64_t endTime = 0;    // the file time: camera calendar seconds, 0 when unknown
    bool Known() const { return endTime > 0 && lastPts > 0.0; }
};

// Reads the file's head, tail and time stamp. Nothing known (Known() false) for a file that
// cannot be opened or holds no timed video.
RecordingTimes ReadRecordingTimes(const std::string& path);

struct PictureMoment {
    double cameraTime = 0.0;  // camera calendar seconds, with the fraction
    double position = 0.0;    // seconds from the file's first picture
    double length = 0.0;      // seconds from its first picture to its last
};

// The moment of the picture with presentation time `pts` in the file `times` describes. A time
// that wrapped (the 33-bit clock, read as the reader reads it) past the first one counts on.
PictureMoment LocatePicture(const RecordingTimes& times, double pts);

}  // namespace velmaro
