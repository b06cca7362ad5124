// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/probe/recording_summary.h"

#include <ctime>
#include <set>

#include "stream/recording_files.h"
#include "stream/standalone_reader.h"

namespace velmaro {
namespace {

constexpr int kMaxPasses = 10'000'000;  // a pass reads a block; bounds any recording we probe

std::string LocalTime(int64_t seconds) {
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm tm{};
    localtime_r(&t, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &tm);
    return text;
}

template <typename Queue>
void Drain(Queue& queue, PlaybackCounts& counts) {
    FrameItem item;
    while (queue.Take(item)) {
        counts.keyFrames += item.kind == kKindVideoKey ? 1 : 0;
        counts.interFrames += item.kind == kKindVideoInter ? 1 : 0;
        counts.audioFrames += item.kind == kKindAudio ? 1 : 0;
    }
}

void PrintList(std::FILE* out, const std::vector<RecordingEntry>& entries) {
    std::fprintf(out, "  %6s  %-19s  %-19s  %8s  %s\n", "number", "start", "end", "duration",
                 "file");
    for (const RecordingEntry& e : entries) {
        const std::string name = e.path.substr(e.path.rfind('/') + 1);
        std::fprintf(out, "  %6d  %s  %s  %7llds  %s%s\n", e.number, LocalTime(e.startTime).c_str(),
                     LocalTime(e.endTime).c_str(), static_cast<long long>(e.endTime - e.startTime),
                     name.c_str(), e.readOnly ? " (read-only)" : "");
    }
}

}  // namespace

PlaybackCounts PlayThrough(const std::string& firstFile) {
    PlaybackCounts counts;
    StandaloneReader r(kQueueStopped);
    TsReader& reader = r.reader;
    reader.SetPath(firstFile);
    if (!reader.StartWithoutThread()) {
        return counts;
    }
    std::set<std::string> seen{firstFile};
    for (int i = 0; i < kMaxPasses && reader.PassWithoutThread(); ++i) {
        Drain(r.video, counts);
        Drain(r.audio, counts);
        seen.insert(reader.CurrentPath());
    }
    Drain(r.video, counts);
    Drain(r.audio, counts);
    reader.Stop();
    counts.telemetryTexts = r.mainWindow.Count(kMsgTelemetry);
    counts.resets = r.mainWindow.Count(kMsgReset);
    counts.files = static_cast<int>(seen.size());
    return counts;
}

void PrintRecordingSummary(std::FILE* out, const std::vector<std::string>& files) {
    std::set<std::string> folders;
    for (const std::string& file : files) {
        if (!folders.insert(FolderOf(file)).second) {
            continue;
        }
        RecordingIndex finder;
        finder.ScanNow(file);
        const std::vector<RecordingEntry> entries = finder.Entries();
        std::fprintf(out, "\nRecordings in %s\n", FolderOf(file).c_str());
        PrintList(out, entries);
        if (entries.empty()) {
            continue;
        }
        // Numberless names sort first; playback starts at the first numbered recording.
        std::string first = entries.front().path;
        for (const RecordingEntry& e : entries) {
            if (e.number >= 0) {
                first = e.path;
                break;
            }
        }
        const PlaybackCounts c = PlayThrough(first);
        std::fprintf(out,
                     "  played through the reader from %s: %d file(s), %llu key and %llu inter "
                     "frames, %llu audio frames, %llu telemetry texts\n"
                     "  (a live reader completes a PES with the next one, so the last PES of "
                     "each stream of the last file is not delivered)\n",
                     first.substr(first.rfind('/') + 1).c_str(), c.files,
                     static_cast<unsigned long long>(c.keyFrames),
                     static_cast<unsigned long long>(c.interFrames),
                     static_cast<unsigned long long>(c.audioFrames),
                     static_cast<unsigned long long>(c.telemetryTexts));
    }
}

}  // namespace velmaro
