// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The recording as the player sees it: the folder's recording list (numbers, start and end
// times, durations) and what the real reader delivers when it plays the folder from its first
// recording to the end of its last.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "stream/recording_index.h"

namespace velmaro {

struct PlaybackCounts {
    uint64_t keyFrames = 0;
    uint64_t interFrames = 0;
    uint64_t audioFrames = 0;
    uint64_t telemetryTexts = 0;
    uint64_t resets = 0;
    int files = 0;  // recordings the reader went through
};

// Plays the recording that starts at `firstFile` through the real reader (on this thread) and
// counts what reaches the queues and the telemetry hand-over.
PlaybackCounts PlayThrough(const std::string& firstFile);

// For each folder of `files`: the recording list and the reader's playback counts.
void PrintRecordingSummary(std::FILE* out, const std::vector<std::string>& files);

}  // namespace velmaro
