// Video decode-and-draw throughput of CVideoCtx (pacing off, off-screen presenter) on a
// 60-second 1920x1080 30 fps recording against ffmpeg's decoder in the same run; backward
// play's cost per shown picture against forward; and seek latency through a whole channel.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <thread>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

#include "media/offscreen_output.h"
#include "media/video_decoder.h"
#include "platform/recording_sink.h"
#include "stream/channel_state.h"
#include "stream/demux.h"
#include "stream/telemetry_handover.h"
#include "stream/ts_channel.h"
#include "tools/make_recording/recording_writer.h"

namespace {

using namespace velmaro;
using Clock = std::chrono::steady_clock;

constexpr int kRuns = 3;
constexpr double kSeekSlackSeconds = 4.0;
constexpr int32_t kDecoderThreads = 2;
constexpr int32_t kUnpaced = 1000000;  // frames per second: every pacing wait is skipped

struct Frame {
    std::vector<uint8_t> bytes;
    int32_t kind;
    double pts;
};

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

// Every video access unit of the file, as the reader would queue it.
std::vector<Frame> LoadFrames(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> file{std::istreambuf_iterator<char>(in), {}};
    DemuxState state;
    state.PrepareBuffers();
    CVBuffer2 queue;
    queue.SetKeyCount(0);
    queue.Init(kVideoQueueStorage, kVideoQueueMaxItem, kQueueStopped);
    FrameItem item;
    queue.Trim(&item);
    DemuxOutputs out;
    out.videoQueue = &queue;
    out.videoItem = &item;
    std::vector<Frame> frames;
    const DemuxControls controls;
    for (size_t at = 0; at + kTsPacketSize <= file.size(); at += kTsPacketSize) {
        RoutePacket(state, file.data() + at, out, controls, PacketFlow::kForward);
        FrameItem taken;
        while (queue.Take(taken)) {
            frames.push_back({{taken.data, taken.data + taken.size}, taken.kind, taken.pts});
        }
    }
    return frames;
}

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
    CVideoCtx video(&state);
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
    CTSChn channel({&panel, &mainWindow, &telemetry, &output, kDisplayYv12, 1.0});
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

}  // namespace

int main(int argc, char** argv) {
    av_log_set_level(AV_LOG_FATAL);
    std::string path = argc > 1 ? argv[1] : "";
    std::string folder;
    if (path.empty()) {
        char name[] = "/tmp/velmaro-bench-video-XXXXXX";
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
    const std::vector<Frame> frames = LoadFrames(path);
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
        ffmpeg1 = std::min(ffmpeg1, TimeCommand("ffmpeg -v error -threads 1 -i '" + path +
                                                "' -an -f null - 2>/dev/null"));
        ours = std::min(ours, TimeWorker(forward, kPlayNormal, forward.size()));
        ffmpeg2 = std::min(ffmpeg2, TimeCommand("ffmpeg -v error -threads 2 -i '" + path +
                                                "' -an -f null - 2>/dev/null"));
        // Frame threads hold the last picture back until the queue has run dry for a while;
        // the pictures before it are what is timed.
        ours2 =
            std::min(ours2, TimeWorker(forward, kPlayNormal, forward.size() - 1, kDecoderThreads));
    }
    const double back = BestOf([&] { return TimeWorker(backward, -kPlayBackward, backwardShown); });
    const double seek =
        frames.empty() ? -1 : SeekLatency(path, frames.front().pts, frames.back().pts);
    const double gopDecode = ours / frames.size() * (groups.empty() ? 0 : groups[0].size());

    const double n = static_cast<double>(frames.size());
    std::printf("file: %s, %zu frames in %zu groups\n", path.c_str(), frames.size(), groups.size());
    std::printf("ffmpeg -threads 1 decode          %8.1f fps\n", n / ffmpeg1);
    std::printf("ffmpeg -threads 2 decode          %8.1f fps\n", n / ffmpeg2);
    std::printf("CVideoCtx decode+draw, unpaced    %8.1f fps\n", n / ours);
    std::printf("CVideoCtx / ffmpeg -threads 1     %8.2fx  (goal >= 0.95)\n", ffmpeg1 / ours);
    std::printf("CVideoCtx 2 threads, unpaced      %8.1f fps\n", (n - 1) / ours2);
    std::printf("CVideoCtx 2 threads / ffmpeg -threads 2 %5.2fx  (goal >= 0.95)\n",
                ffmpeg2 / (ours2 * n / (n - 1)));
    std::printf("backward cost per shown picture   %8.2fx forward  (goal <= 2.5)\n",
                (back / backwardShown) / (ours / n));
    std::printf(
        "seek latency                      %8.1f ms  (goal < one group's decode %.1f ms "
        "+ 20 ms)\n",
        seek * 1000, gopDecode * 1000);
    if (!folder.empty()) {
        std::filesystem::remove_all(folder);
    }
    return 0;
}
