// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// A reader with everything it delivers into, wired in one place for whoever reads recordings
// without playing them: the probe, the benches, the fuzz targets and the tests. Video is taken
// from the first key frame on. With kQueueStopped queues the reader is never held up (a caller
// that drives the passes itself takes the frames between them); kQueueBlocking queues wait for
// a consumer, as in playback.
#pragma once

#include <cstdint>

#include "platform/recording_sink.h"
#include "stream/channel_controls.h"
#include "stream/frame_queue.h"
#include "stream/telemetry_handover.h"
#include "stream/ts_reader.h"

namespace velmaro {

class StandaloneReader {
  public:
    explicit StandaloneReader(int32_t queueMode);
    StandaloneReader(const StandaloneReader&) = delete;
    StandaloneReader& operator=(const StandaloneReader&) = delete;

    // False when the queues' storage could not be had.
    bool Ready() const { return ready_; }
    // Releases a reader waiting in a full queue, then joins it.
    void Stop();

    ChannelControls controls;
    VideoFrameQueue video;
    AudioFrameQueue audio;
    TelemetryHandOver telemetry;
    RecordingSink panel;       // positions and list notices
    RecordingSink mainWindow;  // telemetry notices and resets

  private:
    bool ready_ = false;

  public:
    TsReader reader;  // last: it is built on the members above
};

}  // namespace velmaro
