// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Video decode-and-draw throughput of VideoDecoder (pacing off, off-screen presenter) on a
// 60-second 1920x1080 30 fps recording of camera-like footage (make-recording --footage: it
// decodes as slowly as real recordings) against ffmpeg's decoder in the same run; backward
// play's cost per shown picture against forward; and seek latency through a whole channel.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <thread>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

#include "bench/bench_support.h"
#include "media/offscreen_output.h"
#include "media/video_decoder.h"
#include "platform/recording_sink.h"
#include "playback/playback_channel.h"
#include "stream/channel_state.h"
#include "stream/demux.h"
#include "stream/telemetry_handover.h"
#include "tests/media/demuxed_frames.h"
#include "tools/make_recording/recording_writer.h"

namespace {

using namespace velmaro;
using bench::Clock;
using bench::Seconds;
// A video access unit as the reader would queue it.
using Frame = test::TestFrame;

constexpr int kRuns = 3;
constexpr double kSeekSlackSeconds = 4.0;
constexpr int32_t kDecoderThreads = 2;
constexpr int32_t kUnpaced = 1000000;  // frames per second: every pacing wait is skipped

// Feeds `frames` (with the given order sign) to a video worker and times until `shown`
// pictures were presented.
double TimeWorker(const std::vector<const Frame*>& frames, int32_t order, size_t shown,
                  int32_t threads = 1) {
    ChannelState state;
    state.decoderThreads = threads;
    OffscreenOutput output(false, 16);
    state.videoWindow = &output;
    state.playMode = order < 0 ? kPlayBackward : kPlayNormal;
    state.videoQueue.SetKeyCount(0);
    state.videoQueue.Init(kVideoQueueStorage, kVideoQueueMaxItem, kQueueBlocking);
    VideoDecoder video(&state);
    video.Start();
    const auto start = Clock::now();
    FrameItem w;
    state.videoQueue.Trim(&w);
    for (const Frame* f : frames) {
        std::memcpy(w.data, f->bytes.data(), f->bytes.size());
        w.size = static_cast<int32_t>(f->bytes.size());
        w.kind = f->kind;
        w.frameRate = kUnpaced;
        w.order = order;
        w.pts = f->pts;
        state.videoQueue.Push(w);
    }
    output.WaitForCount(shown, std::chrono::minutes(5));
    const double seconds = Seconds(Clock::now() - start);
    state.videoQueue.Stop();
    video.Stop(kWorkerStopTimeoutMs);
    return seconds;
}

std::vector<std::vector<const Frame*>> Groups(const std::vector<Frame>& frames) {
    std::vector<std::vector<const Frame*>> groups;
    for (const Frame& f : frames) {
        if (f.kind == kKindVideoKey || groups.empty()) {
            groups.emplace_back();
        }
        groups.back().push_back(&f);
    }
    return groups;
}

// From a seek request to the first picture of the new place on screen, through a channel that
// plays paced as a user sees it; the median of several seeks back and forth.
double SeekLatency(const std::string& path, double firstPts, double lastPts) {
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    OffscreenOutput output(false, 16);
    RecordingSink panel;
    RecordingSink mainWindow;
    TelemetryHandOver telemetry;
    PlaybackChannel channel({&panel, &mainWindow, &telemetry, &output, kDisplayYv12, 1.0});
    channel.filePath = path;
    channel.Open(nullptr);
    std::vector<double> latencies;
    for (const int perMille : {500, 200, 800, 350, 650, 100, 900}) {
        std::this_thread::sleep_for(std::chrono::milliseconds(700));  // queues full again
        // Byte positions map to times only roughly: anything within a few seconds of the
        // place asked for and far from where it played before counts as the new place.
        const double target = firstPts + (lastPts - firstPts) * perMille / 1000.0;
        const auto start = Clock::now();
        channel.Seek(perMille);
        while (Seconds(Clock::now() - start) < 10) {
            if (std::abs(output.LastPts() - target) < kSeekSlackSeconds) {
                latencies.push_back(Seconds(Clock::now() - start));
                break;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    }
    channel.StopAll();
    if (latencies.empty()) {
        return -1;
    }
    std::sort(latencies.begin(), latencies.end());
    return latencies[latencies.size() / 2];
}

constexpr const char* kAbout = R"(Usage: bench_video [RECORDING.ts]

Video decode-and-draw throughput of the player's video worker (pacing off, off-screen) against
ffmpeg's decoder, backward play's cost per shown picture against forward, and seek latency.

  RECORDING.ts  the recording to decode (default: a generated 60 s 1920x1080 30 fps one)
  -h, --help    show this text and exit
)";

}  // namespace

int main(int argc, char** argv) {
    if (velmaro::bench::AnsweredHelp(argc, argv, kAbout)) {
        return 0;
    }
    av_log_set_level(AV_LOG_FATAL);
    std::optional<test::TempDir> scratch;
    const std::string path = bench::RecordingToMeasure(argc, argv, "velmaro-bench-video", scratch,
                                                       PicturePattern::kFootage);
    if (path.empty()) {
        return 1;
    }
    const std::vector<Frame> frames = test::DemuxVideoFrames(path);
    const auto groups = Groups(frames);
    std::vector<const Frame*> forward;
    for (const Frame& f : frames) {
        forward.push_back(&f);
    }
    std::vector<const Frame*> backward;
    for (auto g = groups.rbegin(); g != groups.rend(); ++g) {
        backward.insert(backward.end(), g->begin(), g->end());
    }
    // Backward, each picture decoded shows one of the group decoded before it.
    size_t backwardShown = 0;
    for (size_t i = 1; i < groups.size(); ++i) {
        backwardShown +=
            std::min(groups[groups.size() - 1 - i].size(), groups[groups.size() - i].size());
    }

    // Rounds interleave the peers, so a change in the machine's load touches all of them alike.
    double ffmpeg1 = 1e30;
    double ffmpeg2 = 1e30;
    double ours = 1e30;
    double ours2 = 1e30;
    for (int round = 0; round < kRuns; ++round) {
        ffmpeg1 = std::min(ffmpeg1, bench::TimeCommand("ffmpeg -v error -threads 1 -i '" + path +
                                                       "' -an -f null - 2>/dev/null"));
        ours = std::min(ours, TimeWorker(forward, kPlayNormal, forward.size()));
        ffmpeg2 = std::min(ffmpeg2, bench::TimeCommand("ffmpeg -v error -threads 2 -i '" + path +
                                                       "' -an -f null - 2>/dev/null"));
        // Frame threads hold the last picture back until the queue has run dry for a while;
        // the pictures before it are what is timed.
        ours2 =
            std::min(ours2, TimeWorker(forward, kPlayNormal, forward.size() - 1, kDecoderThreads));
    }
    const double back =
        bench::BestOf(kRuns, [&] { return TimeWorker(backward, -kPlayBackward, backwardShown); });
    const double seek =
        frames.empty() ? -1 : SeekLatency(path, frames.front().pts, frames.back().pts);
    const double gopDecode = ours / frames.size() * (groups.empty() ? 0 : groups[0].size());

    const double n = static_cast<double>(frames.size());
    std::printf("file: %s, %zu frames in %zu groups\n", path.c_str(), frames.size(), groups.size());
    std::printf("ffmpeg -threads 1 decode          %8.1f fps\n", n / ffmpeg1);
    std::printf("ffmpeg -threads 2 decode          %8.1f fps\n", n / ffmpeg2);
    std::printf("VideoDecoder decode+draw, unpaced    %8.1f fps\n", n / ours);
    std::printf("VideoDecoder / ffmpeg -threads 1     %8.2fx  (goal >= 0.95)\n", ffmpeg1 / ours);
    std::printf("VideoDecoder 2 threads, unpaced      %8.1f fps\n", (n - 1) / ours2);
    std::printf("VideoDecoder 2 threads / ffmpeg -threads 2 %5.2fx  (goal >= 0.95)\n",
                ffmpeg2 / (ours2 * n / (n - 1)));
    std::printf("backward cost per shown picture   %8.2fx forward  (goal <= 2.5)\n",
                (back / backwardShown) / (ours / n));
    std::printf(
        "seek latency                      %8.1f ms  (goal < one group's decode %.1f ms "
        "+ 20 ms)\n",
        seek * 1000, gopDecode * 1000);
    return 0;
}
