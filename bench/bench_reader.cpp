// Reader throughput: forward and backward delivery of a 60-second 1920x1080 30 fps recording
// into queues drained by a consumer that only takes, against ffmpeg's demuxer (stream copy to
// the null muxer) and a plain sequential read, all measured in this run on a warm cache.
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include "platform/recording_sink.h"
#include "stream/channel_controls.h"
#include "stream/frame_queue.h"
#include "stream/telemetry_handover.h"
#include "stream/ts_reader.h"
#include "tools/make_recording/recording_writer.h"

namespace {

using namespace velmaro;
using Clock = std::chrono::steady_clock;

constexpr int kRuns = 3;

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

double BestOf(const std::function<double()>& run) {
    double best = 1e30;
    for (int i = 0; i < kRuns; ++i) {
        best = std::min(best, run());
    }
    return best;
}

double TimeCommand(const std::string& command) {
    const auto start = Clock::now();
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "failed: %s\n", command.c_str());
        std::exit(1);
    }
    return Seconds(Clock::now() - start);
}

// One reader run; returns seconds from its start to the last frame its consumer took.
double TimeReader(const std::string& path, bool backward) {
    ChannelControls controls;
    CVBuffer2 video;
    CABuffer2 audio;
    video.SetKeyCount(0);
    video.Init(kVideoQueueStorage, kVideoQueueMaxItem, kQueueBlocking);
    audio.Init(kAudioQueueStorage, kAudioQueueMaxItem, kQueueBlocking);
    TelemetryHandOver telemetry;
    RecordingSink panel;
    RecordingSink mainWindow;
    CTSAnalyse reader({&controls, &video, &audio, &telemetry, &panel, &mainWindow});

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
        reader.seekRequest = reader.FileSize() - 1;  // from the end of the file
        reader.Wake();
        while (reader.seekRequest != kSeekNone) {
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
    video.Stop();
    audio.Stop();
    reader.Stop();
    consuming = false;
    consumer.join();
    const Clock::time_point end{Clock::duration(lastTake.load())};
    return Seconds(end - start);
}

}  // namespace

int main(int argc, char** argv) {
    std::string path = argc > 1 ? argv[1] : "";
    std::string folder;
    if (path.empty()) {
        char name[] = "/tmp/velmaro-bench-reader-XXXXXX";
        folder = mkdtemp(name);
        RecordingOptions o;
        o.outRoot = folder;
        o.files = 1;
        o.secondsPerFile = 60;
        o.width = 1920;
        o.height = 1080;
        std::printf("generating a 60 s 1920x1080 30 fps recording...\n");
        const RecordingResult r = WriteRecording(o);
        if (!r.ok) {
            std::fprintf(stderr, "%s\n", r.error.c_str());
            return 1;
        }
        path = r.files[0];
    }
    const double megabytes = std::filesystem::file_size(path) / 1e6;
    TimeCommand("cat '" + path + "' > /dev/null");  // warm the cache

    const double cat = BestOf([&] { return TimeCommand("cat '" + path + "' > /dev/null"); });
    const double ffmpeg = BestOf([&] {
        return TimeCommand("ffmpeg -v error -copy_unknown -i '" + path +
                           "' -map 0 -c copy -f null - 2>/dev/null");
    });
    const double forward = BestOf([&] { return TimeReader(path, false); });
    const double backward = BestOf([&] { return TimeReader(path, true); });

    std::printf("file: %s (%.1f MB)\n", path.c_str(), megabytes);
    std::printf("plain read (cat)        %8.1f MB/s\n", megabytes / cat);
    std::printf("ffmpeg -c copy -f null  %8.1f MB/s\n", megabytes / ffmpeg);
    std::printf("reader forward          %8.1f MB/s\n", megabytes / forward);
    std::printf("reader backward         %8.1f MB/s\n", megabytes / backward);
    std::printf("forward / ffmpeg        %8.2fx  (goal >= 2)\n", ffmpeg / forward);
    std::printf("forward / plain read    %8.2f   (goal >= 0.5)\n", cat / forward);
    std::printf("backward / forward      %8.2f   (goal >= 0.4)\n", forward / backward);
    if (!folder.empty()) {
        std::filesystem::remove_all(folder);
    }
    return 0;
}
