// The subtitle sidecar of a finished clip: the telemetry between the clip's marks, read again
// from the recordings, written as NAME.srt beside the clip.
#pragma once

#include <string>

#include "export/clip_export.h"
#include "export/track_source.h"

namespace velmaro {

// Writes the sidecar of the clip saved at `clipPath`. A stretch without telemetry gets none, and
// a sidecar an earlier clip of that name left is removed, as it would caption other pictures.
// False with `error` set when the telemetry cannot be read or the file cannot be written.
bool WriteClipSubtitles(const ClipMarks& marks, const std::string& clipPath, int speedUnit,
                        std::string& error, const Cancelled& cancelled = {});

}  // namespace velmaro
