// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/play/play_session.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <sstream>
#include <thread>

#include "export/clip_subtitles.h"
#include "export/subtitle_writer.h"
#include "playback/clip_request.h"
#include "playback/snapshot_request.h"

namespace velmaro {
namespace {

// At quit, how long snapshots still waiting may take to be written before they are given up.
constexpr std::chrono::milliseconds kSnapshotPatience{3000};
constexpr std::chrono::milliseconds kSnapshotPoll{10};

}  // namespace

void QueuedSink::Post(uint32_t msg, intptr_t wParam, intptr_t) {
    std::lock_guard lock(mutex_);
    // A position carries its per-mille in the upper bits so one queue serves all messages.
    messages_.push_back(msg == kMsgPosition ? static_cast<uint32_t>(wParam) << 16 | msg : msg);
}

bool QueuedSink::Send(uint32_t msg, intptr_t wParam, intptr_t lParam, std::stop_token) {
    Post(msg, wParam, lParam);  // nothing here needs the reader to wait
    return true;
}

std::vector<uint32_t> QueuedSink::Drain() {
    std::lock_guard lock(mutex_);
    std::vector<uint32_t> out;
    out.swap(messages_);
    return out;
}

PlaySession::PlaySession(VideoOutput* output, std::string snapshotFolder, EngineOptions engine)
    : output_(output), snapshotFolder_(std::move(snapshotFolder)), engine_(engine) {}

PlaySession::~PlaySession() {
    export_.reset();
    channel_.reset();
}

void PlaySession::StartExport(const std::string& path) {
    ExportRequest request = ChannelExportRequest(*channel_, path);
    if (!MarksInOrder(request.marks)) {
        std::printf("export: set mark-in, then a later mark-out first\n");
        return;
    }
    // The clip's telemetry goes beside it as the other exports put it; whatever already has
    // that name is the user's and stays.
    request.writeSubtitles = SidecarPlaceFor(path) == SidecarPlace::kFree;
    if (!request.writeSubtitles) {
        std::printf("export: %s is there already and is kept; the clip gets no sidecar\n",
                    SubtitlePathFor(path).c_str());
    }
    export_.reset();  // a running export is stopped; it removes its own output
    export_ = std::make_unique<ClipExport>(
        [this](const ExportOutcome& o) {
            std::lock_guard lock(exportMutex_);
            exportEvents_.push_back(o.end == ExportEnd::kFinished
                                        ? "export: finished " + o.outputPath +
                                              (o.reason.empty() ? "" : " (" + o.reason + ")")
                                        : "export: nothing saved: " + o.reason);
        },
        [this](int64_t done, int64_t toDo) {
            std::lock_guard lock(exportMutex_);
            exportEvents_.push_back("export: " + std::to_string(toDo > 0 ? done * 100 / toDo : 0) +
                                    "% (" + std::to_string(done) + " of " + std::to_string(toDo) +
                                    " bytes)");
        });
    if (!export_->Begin(request)) {
        std::printf("export: cannot write %s: %s\n", path.c_str(), export_->LastError().c_str());
        export_.reset();
    }
}

void PlaySession::ReportExport() {
    std::vector<std::string> events;
    {
        std::lock_guard lock(exportMutex_);
        events.swap(exportEvents_);
    }
    // Progress comes often; one line per status tick is enough, the end always shows.
    std::string lastProgress;
    for (const std::string& e : events) {
        if (e.find('%') != std::string::npos) {
            lastProgress = e;
        } else {
            if (!lastProgress.empty()) {
                std::printf("%s\n", lastProgress.c_str());
                lastProgress.clear();
            }
            std::printf("%s\n", e.c_str());
        }
    }
    if (!lastProgress.empty()) {
        std::printf("%s\n", lastProgress.c_str());
    }
}

bool PlaySession::Open(const std::string& recording, const std::vector<RecordingEntry>& list) {
    ChannelLinks links{&panel_, &mainWindow_,          &telemetry_, output_, engine_.displayMode,
                       1.0,     engine_.decoderThreads};
    channel_ = std::make_unique<PlaybackChannel>(links);
    channel_->filePath = recording;
    telemetry_.ClearReady();
    return channel_->Open(list.empty() ? nullptr : &list);
}

bool PlaySession::Command(const std::string& line) {
    std::istringstream in(line);
    std::string word;
    in >> word;
    int value = -1;
    in >> value;
    PlaybackChannel& c = *channel_;
    if (word == "quit" || word == "q") {
        FinishSnapshots();
        return false;
    } else if (word == "play") {
        c.Play();
    } else if (word == "back") {
        c.PlayBackward();
    } else if (word == "pause") {
        c.Pause();
    } else if (word == "step") {
        c.Step(false);
    } else if (word == "prev-frame") {
        c.Step(true);
    } else if (word == "speed" && value >= 0 && value < kSpeedPositions) {
        c.SetSpeed(value);
    } else if (word == "seek" && value >= 0 && value <= 1000) {
        c.Seek(value);
    } else if (word == "next") {
        c.NextRecording();
    } else if (word == "prev") {
        c.PreviousRecording();
    } else if (word == "snap") {
        // The outcome is printed once the video worker has written the file (or failed to).
        c.RequestSnapshot(ChannelSnapshotRequest(c, snapshotFolder_, 0, std::time(nullptr)));
        ReportSnapshots();
    } else if (word == "mark-in") {
        c.MarkIn();
    } else if (word == "mark-out") {
        c.MarkOut();
    } else if (word == "export") {
        std::string path;
        std::istringstream again(line);
        again >> word >> path;
        if (path.empty()) {
            std::printf("export PATH.ts|PATH.avi|PATH.mp4 (after mark-in and mark-out)\n");
        } else {
            StartExport(path);
        }
    } else if (!word.empty()) {
        std::printf(
            "commands: play back pause step prev-frame speed 0-8 seek 0-1000 next prev "
            "snap mark-in mark-out export PATH quit\n");
    }
    std::fflush(stdout);
    return true;
}

void PlaySession::ReportSnapshots() {
    for (const SnapshotResult& result : channel_->state.TakeSnapshotResults()) {
        std::printf("%s\n", DescribeSnapshot(result).c_str());
    }
    std::fflush(stdout);
}

void PlaySession::FinishSnapshots() {
    const auto end = std::chrono::steady_clock::now() + kSnapshotPatience;
    while (channel_->state.snapshotRequested.load() > 0 && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(kSnapshotPoll);
    }
    ReportSnapshots();
    if (const int32_t waiting = channel_->state.snapshotRequested.load(); waiting > 0) {
        std::printf("snapshot not saved: %d still waiting for a picture at quit\n", waiting);
    }
}

void PlaySession::Poll() {
    ReportSnapshots();
    for (uint32_t m : panel_.Drain()) {
        if ((m & 0xFFFF) == kMsgPosition) {
            positionPerMille_ = static_cast<int32_t>(m >> 16);
        }
    }
    for (uint32_t m : mainWindow_.Drain()) {
        std::string text;
        if (m == kMsgTelemetry && telemetry_.Take(text)) {
            GpsRecord fix;
            if (ParseTelemetry(text, gsensor_, fix, engine_.telemetry)) {
                lastFix_ = fix;
                haveFix_ = true;
            }
        }
    }
}

std::string PlaySession::StatusLine() {
    ReportExport();
    const ChannelState& s = channel_->state;
    std::string file = channel_->reader.CurrentPath();
    file = file.substr(file.rfind('/') + 1);
    char line[256];
    std::snprintf(line, sizeof line, "%s  %4d/1000  frames %6d  dropped %d  threads %d  mode %2d%s",
                  file.c_str(), positionPerMille_, s.framesShown.load(), s.framesDropped.load(),
                  s.decoderThreadsRunning.load(), s.playMode.load(),
                  s.paused.load() ? " paused" : "");
    std::string out = line;
    // Pictures too large to queue are said, not silently lost.
    if (const uint64_t oversize = s.videoQueue.OversizeDrops(); oversize > 0) {
        std::snprintf(line, sizeof line, "  oversize pictures %llu",
                      static_cast<unsigned long long>(oversize));
        out += line;
    }
    if (haveFix_) {
        std::snprintf(line, sizeof line, "  fix %.6f,%.6f %.1f km/h %.0f deg", lastFix_.latitude,
                      lastFix_.longitude, lastFix_.speed, lastFix_.course);
        out += line;
    }
    const int32_t frames = s.framesShown.load();
    stillTicks_ = frames == framesAtLastStatus_ ? stillTicks_ + 1 : 0;
    framesAtLastStatus_ = frames;
    return out;
}

bool PlaySession::AtEnd() {
    const TsReader& r = channel_->reader;
    return stillTicks_ >= 2 && !channel_->state.paused.load() && r.Position() >= r.FileSize() &&
           channel_->state.playMode.load() != kPlayHeld;
}

}  // namespace velmaro
