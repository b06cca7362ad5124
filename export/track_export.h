// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The track export: the telemetry of a recording, of the marked stretch or of one local day of
// the card, saved as GPX, KML or CSV by the output name's suffix. RunTrackExport does it on the
// calling thread; TrackExport runs it on a worker of its own, so the player's window stays
// responsive while a day of recordings is read.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <string>
#include <thread>

#include "app/recording_day.h"
#include "export/clip_export.h"
#include "export/track_source.h"

namespace velmaro {

enum class TrackScope { kRecording, kStretch, kDay };

struct TrackRequest {
    TrackScope scope = TrackScope::kRecording;
    std::string outputPath;     // ".gpx", ".kml" or ".csv"
    std::string recordingPath;  // kRecording; kDay: any recording of the card's folder
    ClipMarks marks;            // kStretch
    CivilDate day;              // kDay, on the camera's clock moved by `dayShift`
    // Seconds added to the camera's times before the day is chosen: the navigator's move to
    // GPS time when the user chose it, so the day exported is the day the calendar showed.
    int64_t dayShift = 0;
};

struct TrackOutcome {
    bool ok = false;
    std::string outputPath;
    std::string error;  // why nothing was saved
    size_t texts = 0;   // telemetry texts read
    size_t fixes = 0;   // of them with an accepted fix
};

TrackOutcome RunTrackExport(const TrackRequest& request, const Cancelled& cancelled = {});

class TrackExport {
  public:
    // Called once on the worker thread when it ends. It must not stop or destroy this object.
    using EndCallback = std::function<void(const TrackOutcome&)>;

    explicit TrackExport(EndCallback onEnd);
    ~TrackExport();  // stops a running export
    TrackExport(const TrackExport&) = delete;
    TrackExport& operator=(const TrackExport&) = delete;

    // Stops a running export, then starts this one. False when the thread cannot start.
    bool Start(const TrackRequest& request);
    // Ends the worker and waits for it; an unfinished export saves nothing.
    void Stop();
    bool IsRunning() const { return running_.load(); }

  private:
    const EndCallback onEnd_;
    std::thread thread_;  // owner thread only
    // Set by Start; cleared by the worker as it ends and by Stop once it has joined it.
    std::atomic<bool> running_{false};
    // Set by Stop; read by the worker between reads.
    std::atomic<bool> stopAsked_{false};
};

}  // namespace velmaro
