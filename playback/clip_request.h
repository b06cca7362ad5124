// The clip export of what a channel plays: the request the player hands to CTSBackup, taken
// from the channel when the user asks for the clip.
#pragma once

#include <string>

#include "export/ts_backup.h"

namespace velmaro {

class CTSChn;

// The channel's marks and picture size, and the rate its clock paces at: the measured rate of
// the recording (29.97 stays 29.97), so that an AVI clip runs as long as its sound.
ExportRequest ChannelExportRequest(const CTSChn& channel, const std::string& outputPath);

}  // namespace velmaro
