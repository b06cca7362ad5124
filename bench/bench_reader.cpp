// Reader throughput: forward and backward delivery of a 60-second 1920x1080 30 fps recording
// into queues drained by a consumer that only takes, against ffmpeg's demuxer (stream copy to
// the null muxer) and a plain sequential read, all measured in this run on a warm cache.
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>

#include "bench/bench_support.h"
#include "stream/standalone_reader.h"
#include "tools/make_recording/recording_writer.h"

namespace {

using namespace velmaro;
using bench::BestOf;
using bench::Clock;
using bench::TimeCommand;

constexpr int kRuns = 3;

// One reader run; returns seconds from its start to the last frame its consumer took.
double TimeReader(const std::string& path, bool backward) {
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

}  // namespace

int main(int argc, char** argv) {
    std::optional<test::TempDir> scratch;
    const std::string path = bench::RecordingToMeasure(argc, argv, "velmaro-bench-reader", scratch);
    if (path.empty()) {
        return 1;
    }
    const double megabytes = std::filesystem::file_size(path) / 1e6;
    TimeCommand("cat '" + path + "' > /dev/null");  // warm the cache

    const double cat = BestOf(kRuns, [&] { return TimeCommand("cat '" + path + "' > /dev/null"); });
    const double ffmpeg = BestOf(kRuns, [&] {
        return TimeCommand("ffmpeg -v error -copy_unknown -i '" + path +
                           "' -map 0 -c copy -f null - 2>/dev/null");
    });
    const double forward = BestOf(kRuns, [&] { return TimeReader(path, false); });
    const double backward = BestOf(kRuns, [&] { return TimeReader(path, true); });

    std::printf("file: %s (%.1f MB)\n", path.c_str(), megabytes);
    std::printf("plain read (cat)        %8.1f MB/s\n", megabytes / cat);
    std::printf("ffmpeg -c copy -f null  %8.1f MB/s\n", megabytes / ffmpeg);
    std::printf("reader forward          %8.1f MB/s\n", megabytes / forward);
    std::printf("reader backward         %8.1f MB/s\n", megabytes / backward);
    std::printf("forward / ffmpeg        %8.2fx  (goal >= 2)\n", ffmpeg / forward);
    std::printf("forward / plain read    %8.2f   (goal >= 0.5)\n", cat / forward);
    std::printf("backward / forward      %8.2f   (goal >= 0.4)\n", forward / backward);
    return 0;
}
