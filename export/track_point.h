// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// One telemetry text of a recording as the track export and the subtitle sidecar see it: the fix
// (when the text held an accepted one), the G-sensor values, the UTC instant the receiver gave
// and the camera's own wall-clock time of the text.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "stream/telemetry.h"

namespace velmaro {

struct TrackPoint {
    bool valid = false;  // the text held an accepted $GPRMC fix; `fix` is meaningful only then
    GpsRecord fix;
    // As the player keeps them: an axis whose tag a text lacks keeps the previous text's value.
    GSensorRecord gsensor;
    std::optional<int64_t> utcMs;  // the sentence's date and time, milliseconds since 1970 UTC
    // Calendar seconds (see CameraClock) of the camera's clock at this text, with fractions:
    // what the navigator would show for this moment of the recording.
    double cameraTime = 0.0;
};

using TrackPoints = std::vector<TrackPoint>;

}  // namespace velmaro
