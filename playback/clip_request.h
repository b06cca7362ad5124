// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The clip export of what a channel plays: the request the player hands to ClipExport, taken
// from the channel when the user asks for the clip.
#pragma once

#include <string>

#include "export/clip_export.h"

namespace velmaro {

class PlaybackChannel;

// The channel's marks and picture size, and the rate its clock paces at: the measured rate of
// the recording (29.97 stays 29.97), so that an AVI clip runs as long as its sound.
ExportRequest ChannelExportRequest(const PlaybackChannel& channel, const std::string& outputPath);

}  // namespace velmaro
