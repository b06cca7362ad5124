// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Probes one recording file the way the player's reader sees it: packets found on the reader's
// 188-byte sync grid, routed through the real demultiplexer into real frame queues and the
// telemetry hand-over, and counted as they come out. Only the first picture is decoded, for the
// picture size.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "stream/demux.h"
#include "stream/psi.h"
#include "stream/telemetry.h"

namespace velmaro {

// Outputs per stream: video frames, audio frames, telemetry texts.
struct StreamTally {
    uint64_t video = 0;
    uint64_t audio = 0;
    uint64_t telemetry = 0;
};

struct ProbeReport {
    std::string path;
    int64_t size = 0;

    // Tables, as the demultiplexer took them (only the first program counts).
    int programNumber = 0;
    int pmtPid = kNoPid;
    std::vector<StreamEntry> streams;
    bool pidsKnown = false;
    int videoPid = kNoPid;
    int audioPid = kNoPid;
    int dataPid = kNoPid;

    // packets * 188 + garbageBytes + tailBytes is the file size.
    uint64_t packets = 0;
    uint64_t garbageBytes = 0;  // skipped one at a time, off the sync grid
    uint64_t tailBytes = 0;     // left at the end: less than a packet, or not starting with a sync
    uint64_t errorPackets = 0;  // transport_error_indicator set; never routed

    StreamTally pesStarted;  // routed packets with PUSI on each stream's PID
    uint64_t keyFrames = 0;
    uint64_t interFrames = 0;
    uint64_t audioFrames = 0;
    uint64_t telemetryTexts = 0;  // 1131 posts
    uint64_t gpsFixes = 0;        // texts with an accepted $GPRMC sentence
    // Outputs that only the end-of-file flush produced: the last PES of each stream, which no
    // later PUSI completes.
    StreamTally completedAtEnd;
    DemuxDropCounts drops;

    double frameRate = 0.0;
    bool rateMeasured = false;
    // Of the first picture the player's decoder makes of the video; 0 when none came.
    int pictureWidth = 0;
    int pictureHeight = 0;
    std::optional<double> firstPts;  // seconds, of the first and last queued video frame
    std::optional<double> lastPts;
    std::optional<GpsRecord> firstFix;
    std::optional<GpsRecord> lastFix;

    uint64_t VideoFrames() const { return keyFrames + interFrames; }
};

// Fills `report` for the file at `path`. False with a message in `error` when the file cannot
// be opened or read; damaged or foreign content is never an error, it just yields fewer outputs.
bool ProbeRecording(const std::string& path, ProbeReport& report, std::string& error);

}  // namespace velmaro
