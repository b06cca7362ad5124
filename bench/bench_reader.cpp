// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Reader throughput: forward and backward delivery of a 60-second 1920x1080 30 fps recording
// into queues drained by a consumer that only takes, against ffmpeg's demuxer (stream copy to
// the null muxer) and a plain sequential read, all measured in this run on a warm cache.
// The reader and the plain read go through a card of the recording linked several times over,
// so that each run lasts long enough for a shared machine's hiccups to even out.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_support.h"
#include "stream/standalone_reader.h"
#include "tools/make_recording/recording_writer.h"

namespace {

using namespace velmaro;
using bench::BestOf;
using bench::Clock;
using bench::TimeCommand;

constexpr int kRuns = 5;
constexpr int kCardFiles = 16;

// A card holding `recording` under kCardFiles names (links, not copies, so the page cache
// holds it once); returns the card's recordings in order, or nothing when it cannot be made.
std::vector<std::string> LinkCard(const std::filesystem::path& card, const std::string& recording) {
    const std::filesystem::path media = card / "DCIM" / "100MEDIA";
    std::error_code error;
    std::filesystem::create_directories(media, error);
    std::vector<std::string> files;
    for (int i = 1; i <= kCardFiles && !error; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "REC_%04d.ts", i);
        std::filesystem::create_symlink(std::filesystem::absolute(recording), media / name, error);
        files.push_back((media / name).string());
    }
    return error ? std::vector<std::string>{} : files;
}

// One reader run through the card from its first recording (or backward from the end of its
// last); returns seconds from its start to the last frame its consumer took.
double TimeReader(const std::vector<std::string>& card, bool backward) {
    const std::string& path = backward ? card.back() : card.front();
    StandaloneReader r(kQueueBlocking);
    TsReader& reader = r.reader;
    VideoFrameQueue& video = r.video;
    AudioFrameQueue& audio = r.audio;

    std::atomic<bool> consuming{true};
    std::atomic<int64_t> frames{0};
    std::atomic<int64_t> lastTake{0};
    std::thread consumer([&] {
        FrameItem item;
        while (consuming) {
            const bool any = video.Take(item) | audio.Take(item);
            if (any) {
                ++frames;
                lastTake = Clock::now().time_since_epoch().count();
            } else {
                std::this_thread::yield();
            }
        }
    });
    reader.SetPath(path);
    auto start = Clock::now();
    reader.Start();
    if (backward) {
        while (!reader.PidsKnown()) {
            std::this_thread::yield();
        }
        reader.seeks.Post(SeekRequest::To(reader.FileSize() - 1));  // from the end of the file
        reader.Wake();
        while (reader.seeks.Pending()) {
            std::this_thread::yield();
        }
        start = Clock::now();
        reader.SetDirection(true);
    }
    // Done when nothing has arrived for half a second.
    int64_t seen = -1;
    while (seen != frames.load()) {
        seen = frames.load();
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
    r.Stop();
    consuming = false;
    consumer.join();
    const Clock::time_point end{Clock::duration(lastTake.load())};
    return bench::Seconds(end - start);
}

constexpr const char* kAbout = R"(Usage: bench_reader [RECORDING.ts]

Reader throughput: forward and backward delivery of a recording into queues drained by a
consumer that only takes, against ffmpeg's demuxer and a plain sequential read, on a warm cache.

  RECORDING.ts  the recording to read (default: a generated 60 s 1920x1080 30 fps one)
  -h, --help    show this text and exit
)";

}  // namespace

int main(int argc, char** argv) {
    if (velmaro::bench::AnsweredHelp(argc, argv, kAbout)) {
        return 0;
    }
    std::optional<test::TempDir> scratch;
    const std::string path = bench::RecordingToMeasure(argc, argv, "velmaro-bench-reader", scratch);
    if (path.empty()) {
        return 1;
    }
    const test::TempDir cardDir("velmaro-bench-reader-card");
    const std::vector<std::string> card = LinkCard(cardDir.path(), path);
    if (card.empty()) {
        std::fprintf(stderr, "cannot link a card to %s\n", path.c_str());
        return 1;
    }
    std::string catCommand = "cat";
    for (const std::string& file : card) {
        catCommand += " '" + file + "'";
    }
    catCommand += " > /dev/null";
    const double megabytes = std::filesystem::file_size(path) / 1e6;
    const double cardMegabytes = megabytes * kCardFiles;
    TimeCommand(catCommand);  // warm the cache

    // The plain read and the reader take turns, so that a spell of load on a shared machine
    // falls on both rather than on one of them.
    double cat = 1e30;
    double forward = 1e30;
    for (int i = 0; i < kRuns; ++i) {
        cat = std::min(cat, TimeCommand(catCommand));
        forward = std::min(forward, TimeReader(card, false));
    }
    const double ffmpeg = BestOf(kRuns, [&] {
        return TimeCommand("ffmpeg -v error -copy_unknown -i '" + path +
                           "' -map 0 -c copy -f null - 2>/dev/null");
    });
    const double backward = BestOf(kRuns, [&] { return TimeReader(card, true); });

    std::printf("file: %s (%.1f MB, read %d times over)\n", path.c_str(), megabytes, kCardFiles);
    const double catRate = cardMegabytes / cat;
    const double ffmpegRate = megabytes / ffmpeg;
    const double forwardRate = cardMegabytes / forward;
    const double backwardRate = cardMegabytes / backward;
    std::printf("plain read (cat)        %8.1f MB/s\n", catRate);
    std::printf("ffmpeg -c copy -f null  %8.1f MB/s\n", ffmpegRate);
    std::printf("reader forward          %8.1f MB/s\n", forwardRate);
    std::printf("reader backward         %8.1f MB/s\n", backwardRate);
    std::printf("forward / ffmpeg        %8.2fx  (goal >= 2)\n", forwardRate / ffmpegRate);
    std::printf("forward / plain read    %8.2f   (goal >= 0.5)\n", forwardRate / catRate);
    std::printf("backward / forward      %8.2f   (goal >= 0.4)\n", backwardRate / forwardRate);
    return 0;
}
