// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// What the export tests share: the small generated cards they export from, hand-made
// recordings, a request for a clip of them, an export run to its end with everything it
// reported, ffprobe's and ffmpeg's view of a clip, and the names left in an output folder.
// Nothing here knows about gtest.
#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "export/clip_export.h"
#include "stream/ts_builder.h"
#include "tests/test_support.h"
#include "tools/make_recording/recording_writer.h"

namespace velmaro::test {

// The packet identifiers the card generator writes, and the units the export's range rules
// work in.
inline constexpr int kVideoPid = 0x1011;
inline constexpr int kAudioPid = 0x1100;
inline constexpr int kPmtPid = 0x0100;
inline constexpr int64_t kPacket = 188;
inline constexpr int64_t kBlock = kExportBlockSize;

inline constexpr int kGop = 15;  // of the hand-made recordings
inline constexpr int64_t kTicksPerPicture = 3000;

// Only guards against a hang; no test depends on how long an export takes.
inline constexpr std::chrono::seconds kExportPatience{120};

// The packet identifier of the transport packet at `p`.
inline int Pid(const uint8_t* p) {
    return ((p[1] & 0x1F) << 8) | p[2];
}

// A card of `files` recordings of `secondsPerFile` seconds each, at a picture size small enough
// to generate in a moment. The caller adds any damage or other options.
inline RecordingOptions SmallCard(const TempDir& card, int files, int secondsPerFile) {
    RecordingOptions options;
    options.outRoot = card.path();
    options.files = files;
    options.secondsPerFile = secondsPerFile;
    options.width = 320;
    options.height = 240;
    return options;
}

// A clip of a small card from mark-in to mark-out, at the card's rate and picture size.
inline ExportRequest ClipRequest(const std::string& output, const std::string& inPath,
                                 int64_t inPos, const std::string& outPath, int64_t outPos,
                                 bool sync = true) {
    ExportRequest r;
    r.outputPath = output;
    r.frameRate = 30;
    r.width = 320;
    r.height = 240;
    r.marks = {inPath, inPos, outPath, outPos};
    r.syncBeforeRename = sync;
    return r;
}

// Everything one export reported, from Begin to its end.
struct ExportRun {
    ExportOutcome outcome;
    std::vector<std::pair<int64_t, int64_t>> progress;  // done, to do
    int64_t bytesDone = 0;
    int64_t bytesToDo = 0;
    ExportCounters counters;
};

// Runs an export to its end report and stops the worker. A refused Begin, or no end report
// within the patience, ends as kFailed with the reason.
inline ExportRun RunExport(const ExportRequest& request) {
    ExportRun run;
    std::mutex mutex;
    std::condition_variable cv;
    std::optional<ExportOutcome> outcome;
    ClipExport backup(
        [&](const ExportOutcome& o) {
            std::lock_guard lock(mutex);
            outcome = o;
            cv.notify_all();
        },
        [&](int64_t done, int64_t toDo) { run.progress.emplace_back(done, toDo); });
    if (!backup.Begin(request)) {
        run.outcome = {ExportEnd::kFailed, request.outputPath, "begin: " + backup.LastError()};
        return run;
    }
    bool ended = false;
    {
        std::unique_lock lock(mutex);
        ended = cv.wait_for(lock, kExportPatience, [&] { return outcome.has_value(); });
    }
    // Joins the worker, so that nothing writes to `run` any more.
    backup.Stop();
    if (!ended) {
        run.outcome = {ExportEnd::kFailed, request.outputPath, "no outcome"};
        return run;
    }
    run.outcome = *outcome;
    run.bytesDone = backup.BytesDone();
    run.bytesToDo = backup.BytesToDo();
    run.counters = backup.Counters();
    return run;
}

// The names in a folder, sorted, so that a test sees that no temporary file was left behind.
inline std::vector<std::string> NamesIn(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// A hand-made recording whose packets count on per PID, as a muxer's do; built with
// the packet builder of the stream tests.
class Muxed {
  public:
    void Add(Bytes packet) {
        const int pid = Pid(packet.data());
        packet[3] = static_cast<uint8_t>((packet[3] & 0xF0) | (counters_[pid]++ & 0x0F));
        bytes.insert(bytes.end(), packet.begin(), packet.end());
    }
    // Pictures `first` to `last`, a key picture every kGop, each with a sound frame; pictures
    // at 30 a second.
    void Pictures(int first, int last, int videoPid = kVideoPid, size_t sliceBytes = 1500) {
        for (int i = first; i <= last; ++i) {
            const int64_t t = (i + 1) * kTicksPerPicture;
            const Bytes au = AccessUnit(i % kGop == 0, sliceBytes + 13 * (i % 7));
            for (const Bytes& p : PesPackets(videoPid, Pes(0xE0, au, t, t))) {
                Add(p);
            }
            for (const Bytes& p : PesPackets(kAudioPid, Pes(0xC0, Bytes(200, 1), t))) {
                Add(p);
            }
        }
    }
    Bytes bytes;

  private:
    std::map<int, int> counters_;
};

using StreamFields = std::map<std::string, std::string>;

// ffprobe's streams of a clip in index order, with their packets counted.
inline std::vector<StreamFields> ProbeStreams(const std::string& file) {
    const CommandResult run = RunCommand(
        "ffprobe -v error -count_packets -show_entries stream=index,codec_type,codec_name,"
        "r_frame_rate,sample_rate,channels,nb_read_packets,duration,nb_frames,width,height "
        "-of compact=p=0 " +
        ShellQuote(file) + " 2>/dev/null");
    std::vector<StreamFields> streams;
    std::istringstream lines(run.out);
    for (std::string line; std::getline(lines, line);) {
        StreamFields fields;
        std::istringstream parts(line);
        for (std::string part; std::getline(parts, part, '|');) {
            if (const size_t eq = part.find('='); eq != std::string::npos) {
                fields[part.substr(0, eq)] = part.substr(eq + 1);
            }
        }
        // ffprobe lists a transport stream's streams again under their program.
        if (fields.count("index") && std::stoul(fields["index"]) == streams.size()) {
            streams.push_back(fields);
        }
    }
    return streams;
}

// Whatever ffmpeg reports at error level while decoding the whole file; `before` goes ahead of
// the input, to seek for instance.
inline std::string DecodeErrors(const std::string& file, const std::string& before = "") {
    return RunCommand("ffmpeg -nostdin -v error " + before + " -i " + ShellQuote(file) +
                      " -f null - 2>&1")
        .out;
}

}  // namespace velmaro::test
