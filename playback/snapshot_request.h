// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The snapshot the user asks for of the picture a channel shows: named after the moment the
// picture was recorded, not the moment of the click, and stamped with that moment and the GPS fix
// of its second, both read from the picture's recording file.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

#include "stream/snapshot_stamp.h"

namespace velmaro {

class PlaybackChannel;

// The request for the picture on screen, in `folder`: its time on the camera's clock moved by
// `clockShift` seconds (where the user chose to see times by GPS), whole seconds as the navigator
// shows them, and the fix of the text in force. Named after `clickTime` only when the picture's
// time cannot be told (no picture yet, its file gone or without a usable time).
SnapshotRequest ChannelSnapshotRequest(const PlaybackChannel& channel, const std::string& folder,
                                       int64_t clockShift, std::time_t clickTime);

}  // namespace velmaro
