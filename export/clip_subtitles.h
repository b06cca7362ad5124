// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The subtitle sidecar of a finished clip: the telemetry between the clip's marks, read again
// from the recordings, written as NAME.srt beside the clip.
#pragma once

#include <string>

#include "export/clip_export.h"
#include "export/track_source.h"

namespace velmaro {

// What stands where a clip's sidecar would go.
enum class SidecarPlace {
    kFree,
    kFile,      // a regular file: the user's own, or an earlier clip's
    kInTheWay,  // a folder, a FIFO, a link or anything else: never touched
};
SidecarPlace SidecarPlaceFor(const std::string& clipPath);

// Writes the sidecar of the clip saved at `clipPath`. A file already there is replaced only
// when `replace` says the user agreed; then a stretch without telemetry removes it (it would
// caption other pictures), otherwise such a stretch gets no sidecar and nothing is removed.
// False with `error` set when the telemetry cannot be read, the file cannot be written, or
// something is in the way.
bool WriteClipSubtitles(const ClipMarks& marks, const std::string& clipPath, int speedUnit,
                        bool replace, std::string& error, const Cancelled& cancelled = {});

}  // namespace velmaro
