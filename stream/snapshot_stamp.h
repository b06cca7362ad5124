// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// What a snapshot says about its picture besides the pixels: the moment the picture shows, and
// where the car was then. The user interface works it out when the user asks; the video worker
// writes it into the file, so it travels with the request.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "stream/telemetry_records.h"

namespace velmaro {

// The telemetry fix of the picture's second.
struct SnapshotFix {
    GpsRecord fix;
    std::optional<int64_t> utcMs;  // the receiver's date and time, when its sentence gave them
};

struct SnapshotStamp {
    // Calendar seconds (see CameraClock) of the picture: what localtime_r shows as its time on
    // the clock the player shows times by. Empty when the picture's moment is unknown.
    std::optional<int64_t> time;
    // That time minus UTC, when the fix's UTC tells it.
    std::optional<int32_t> zoneOffsetMinutes;
    std::optional<SnapshotFix> fix;  // empty when the second had no accepted fix
};

struct SnapshotRequest {
    std::string path;  // the file to write, or its first free " (n)" variant
    SnapshotStamp stamp;
};

}  // namespace velmaro
