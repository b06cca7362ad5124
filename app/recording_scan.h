// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// One pass over a whole recording file, for the navigator's background indexing: the G-sensor
// samples of its telemetry with their times, its first GPS time, and what the reader would meet
// on the way (bytes off the packet grid, lost or damaged packets, an end cut off mid-packet).
// Packets are found on the reader's sync grid and routed through the real demultiplexer.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/incident_detect.h"
#include "stream/demux.h"
#include "stream/telemetry_handover.h"

namespace velmaro {

struct GpsTimeFix {
    double seconds = 0.0;  // since the file's first picture
    int64_t utcMs = 0;
};

struct RecordingScan {
    int64_t size = 0;  // bytes fed
    uint64_t packets = 0;
    uint64_t resyncs = 0;       // runs of bytes skipped off the packet grid
    uint64_t errorPackets = 0;  // transport error indicator set
    uint64_t lostPackets = 0;   // continuity counter gaps on the video, audio and data streams
    uint64_t tailBytes = 0;     // bytes after the last whole packet: the end was cut
    uint64_t holeBytes = 0;     // of a sparse file's holes, stepped over unread
    DemuxDropCounts drops;
    std::vector<GSample> samples;
    std::optional<GpsTimeFix> firstFix;  // the first text with an accepted fix and a UTC time

    bool CutEnd() const { return tailBytes > 0; }
    bool Damaged() const {
        return resyncs > 0 || errorPackets > 0 || lostPackets > 0 || holeBytes > 0 || CutEnd();
    }
};

// Passive: fed the file's bytes in order, in pieces of any size.
class RecordingScanner {
  public:
    RecordingScanner();
    RecordingScanner(const RecordingScanner&) = delete;
    RecordingScanner& operator=(const RecordingScanner&) = delete;

    void Feed(const uint8_t* bytes, size_t size);
    // The file's next `size` bytes are a hole: they are not read, a packet cut by it is lost.
    void SkipHole(int64_t size);
    // The end of the file: the last packet and the last texts are taken, the times settled.
    const RecordingScan& Finish();

  private:
    void FindPackets();
    void Route(const uint8_t* packet, int64_t position);
    void TrackContinuity(const uint8_t* packet);
    void NoteTimes(const uint8_t* packet);
    void TakeText();
    void SettleTimes();

    RecordingScan scan_;
    DemuxState demux_;
    TelemetryHandOver telemetry_;
    DemuxOutputs outputs_;
    DemuxControls controls_;
    std::vector<uint8_t> window_;
    int64_t windowStart_ = 0;  // file position of window_[0]
    bool skipping_ = false;
    int continuity_[3] = {-1, -1, -1};  // video, audio, data
    std::optional<double> firstVideoPts_;
    std::optional<double> textPts_;  // of the telemetry PES being gathered
    int64_t textPos_ = 0;
    std::optional<double> pendingPts_;  // of the PES whose text the demultiplexer may hand over
    int64_t pendingPos_ = 0;
    // Until the times are settled: per sample, and for the first fix.
    struct PendingTime {
        std::optional<double> pts;
        uint64_t textIndex = 0;
    };
    std::vector<PendingTime> sampleTimes_;
    PendingTime fixTime_;
    uint64_t texts_ = 0;
    std::string text_;
    bool finished_ = false;
};

// Scans the file at `path`. False with `error` when it cannot be opened or read, or when `stop`
// was set (checked between blocks); a damaged file is never an error.
bool ScanRecordingFile(const std::string& path, const std::atomic<bool>& stop, RecordingScan& scan,
                       std::string& error);

}  // namespace velmaro
