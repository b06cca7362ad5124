// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// What the engine tells the windows, as typed calls on the user-interface thread. Each call
// ignores by default, so a window overrides only what it shows.
#pragma once

#include <cstdint>
#include <string>

#include "stream/telemetry_records.h"

namespace velmaro {

struct ExportOutcome;
struct TrackOutcome;
struct FileCopyResult;

class PlaybackListener {
  public:
    virtual ~PlaybackListener() = default;

    // A recording was opened (its channel starting) or the one playing was closed by the user.
    virtual void OnOpened(const std::string& /*path*/) {}
    virtual void OnClosed() {}
    // How far into its file the picture being read is, 0..1000.
    virtual void OnPosition(int32_t /*perMille*/) {}
    // The card's recording list is complete (or was replaced).
    virtual void OnListReady() {}
    // The telemetry of the picture on screen, parsed. `hasFix` is false when the sentence held
    // no valid position: `fix` is then the last one known (zero after a reset).
    virtual void OnTelemetry(const GpsRecord& /*fix*/, const GSensorRecord& /*g*/,
                             bool /*hasFix*/) {}
    // Reading starts somewhere else (a seek, another file, a change of direction): what was
    // drawn of the route so far belongs to a finished track.
    virtual void OnReadingReset() {}
    // The clip export in progress has done `done` of `toDo` bytes; it ended as `outcome` says.
    virtual void OnExportProgress(int64_t /*done*/, int64_t /*toDo*/) {}
    virtual void OnExportEnd(const ExportOutcome& /*outcome*/) {}
    // The track export ended; the copy of a recording to `target` ended.
    virtual void OnTrackEnd(const TrackOutcome& /*outcome*/) {}
    virtual void OnCopyEnd(const std::string& /*target*/, const FileCopyResult& /*result*/) {}
};

}  // namespace velmaro
