// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// One playback session of velmaro-play: a channel on a recording, the commands a user types,
// and a status line per second. The output (off-screen or a window) is given by the caller.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "export/clip_export.h"
#include "platform/message_sink.h"
#include "playback/playback_channel.h"
#include "stream/telemetry.h"
#include "stream/telemetry_handover.h"

namespace velmaro {

// Receives the reader's and the finder's messages on their threads; the session drains them.
class QueuedSink : public MessageSink {
  public:
    void Post(uint32_t msg, intptr_t wParam, intptr_t lParam) override;
    bool Send(uint32_t msg, intptr_t wParam, intptr_t lParam, std::stop_token stop) override;
    std::vector<uint32_t> Drain();

  private:
    std::mutex mutex_;
    std::vector<uint32_t> messages_;  // guarded by mutex_
};

// How the engine decodes and presents.
struct EngineOptions {
    int32_t displayMode = kDisplayYv12;
    int32_t decoderThreads = 0;  // 0: chosen while playing; more: forced
    TelemetryOptions telemetry;  // which GPS sentences give the status line's fix
};

class PlaySession {
  public:
    PlaySession(VideoOutput* output, std::string snapshotFolder, EngineOptions engine = {});
    ~PlaySession();

    bool Open(const std::string& recording, const std::vector<RecordingEntry>& list);
    // Applies one command line; false for "quit".
    bool Command(const std::string& line);
    // Handles pending messages; call often from the owning thread.
    void Poll();
    std::string StatusLine();
    // The last recording has been played to its end and nothing moves any more.
    bool AtEnd();

  private:
    void StartExport(const std::string& path);
    void ReportExport();
    // Prints each snapshot's outcome: the file written, or why there is none.
    void ReportSnapshots();
    // Waits a little for snapshots still being written, then reports them.
    void FinishSnapshots();

    QueuedSink panel_;
    QueuedSink mainWindow_;
    TelemetryHandOver telemetry_;
    VideoOutput* output_;
    std::string snapshotFolder_;
    EngineOptions engine_;
    std::unique_ptr<PlaybackChannel> channel_;
    GSensorRecord gsensor_;
    GpsRecord lastFix_;
    bool haveFix_ = false;
    int32_t positionPerMille_ = 0;
    int32_t framesAtLastStatus_ = 0;
    int stillTicks_ = 0;
    std::unique_ptr<ClipExport> export_;  // the clip being written, if any
    std::mutex exportMutex_;
    std::vector<std::string> exportEvents_;  // guarded by exportMutex_; from the export thread
};

}  // namespace velmaro
