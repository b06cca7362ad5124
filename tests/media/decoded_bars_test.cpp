// Picture correctness end to end: a recording of 75 % colour bars, written by libx264, split by
// the real demultiplexer, decoded by the video worker and drawn by its presenter in both display
// modes. Each bar must come out in its own colour, checked against a table worked out by hand.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "media/offscreen_output.h"
#include "media/video_decoder.h"
#include "stream/channel_state.h"
#include "stream/demux.h"
#include "tools/make_recording/recording_writer.h"

namespace velmaro {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Only guards against a hang; no outcome depends on it.
constexpr auto kPatience = 30s;

// The eight 75 % bars (191 of 255), left to right, and their BT.601 limited-range codes:
//   Y  =  16 + 65.481 R' + 128.553 G' +  24.966 B'
//   Cb = 128 - 37.797 R' -  74.203 G' + 112.000 B'
//   Cr = 128 + 112.000 R' - 93.786 G' -  18.214 B'      with R', G', B' = value / 255,
// rounded to the nearest code (191 / 255 = 0.749; yellow: Y = 16 + 194.034 * 0.749 = 161.3).
struct Bar {
    const char* name;
    int r, g, b;
    int y, u, v;
};
constexpr Bar kBars[kColourBarCount] = {
    {"grey", 191, 191, 191, 180, 128, 128}, {"yellow", 191, 191, 0, 161, 44, 142},
    {"cyan", 0, 191, 191, 131, 156, 44},    {"green", 0, 191, 0, 112, 72, 58},
    {"magenta", 191, 0, 191, 84, 184, 198}, {"red", 191, 0, 0, 65, 100, 212},
    {"blue", 0, 0, 191, 35, 212, 114},      {"black", 0, 0, 0, 16, 128, 128},
};

// Decoded and converted colours may drift this far from the table (coding, rounding, the
// converter's fixed-point arithmetic).
constexpr int kRgbTolerance = 6;
constexpr int kYuvTolerance = 3;

struct Rgb {
    int r, g, b;
};

// The inverse of the formulas above: limited-range BT.601 codes back to 8-bit R'G'B'.
Rgb FromBt601LimitedRange(int y, int u, int v) {
    const double luma = (y - 16) * 255.0 / 219.0;
    const double cb = (u - 128) * 255.0 / 224.0;
    const double cr = (v - 128) * 255.0 / 224.0;
    const auto code = [](double value) {
        return static_cast<int>(std::lround(std::clamp(value, 0.0, 255.0)));
    };
    return {code(luma + 1.402 * cr),
            code(luma - 1.772 * 0.114 / 0.587 * cb - 1.402 * 0.299 / 0.587 * cr),
            code(luma + 1.772 * cb)};
}

class TempDir {
  public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "velmaro-bars-XXXXXX").string();
        path_ = mkdtemp(pattern.data()) != nullptr ? pattern : "";
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

// One compressed video frame as the reader queues it.
struct TestFrame {
    std::vector<uint8_t> bytes;
    int32_t kind = kKindNone;
    int32_t frameRate = 0;
    double pts = 0.0;
};

void TakeAll(CVBuffer2& queue, std::vector<TestFrame>& into) {
    FrameItem item;
    while (queue.Take(item)) {
        into.push_back({std::vector<uint8_t>(item.data, item.data + item.size), item.kind,
                        item.frameRate, item.pts});
    }
}

// The video frames of a recording file, split by the real demultiplexer, in file order.
std::vector<TestFrame> ReadVideoFrames(const std::string& path) {
    std::vector<TestFrame> frames;
    DemuxState state;
    if (!state.PrepareBuffers()) {
        return frames;
    }
    CVBuffer2 video;
    video.SetKeyCount(0);
    video.Init(kVideoQueueStorage, kVideoQueueMaxItem, kQueueStopped);
    FrameItem videoItem;
    video.Trim(&videoItem);
    DemuxOutputs out;
    out.videoQueue = &video;
    out.videoItem = &videoItem;
    const DemuxControls controls;
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
    for (size_t at = 0; at + kTsPacketSize <= bytes.size(); at += kTsPacketSize) {
        RoutePacket(state, bytes.data() + at, out, controls, PacketFlow::kForward);
        TakeAll(video, frames);
    }
    FlushPendingPes(state, out, controls);
    TakeAll(video, frames);
    return frames;
}

// Bar recordings of one second, made once for the whole file, by picture size.
class BarRecordings : public ::testing::Environment {
  public:
    void TearDown() override {
        frames_.clear();
        dir_.reset();
    }

    static const std::vector<TestFrame>& Frames(int width, int height) {
        const auto key = std::make_pair(width, height);
        if (frames_.count(key) == 0) {
            if (!dir_) {
                dir_ = std::make_unique<TempDir>();
            }
            RecordingOptions options;
            options.outRoot = dir_->path();
            options.files = 1;
            options.secondsPerFile = 1;
            options.width = width;
            options.height = height;
            options.pattern = PicturePattern::kColourBars;
            options.prefix = "BARS" + std::to_string(width) + "x" + std::to_string(height);
            const RecordingResult result = WriteRecording(options);
            frames_[key] =
                result.ok ? ReadVideoFrames(result.files.at(0)) : std::vector<TestFrame>{};
        }
        return frames_[key];
    }

  private:
    static inline std::unique_ptr<TempDir> dir_;
    static inline std::map<std::pair<int, int>, std::vector<TestFrame>> frames_;
};

const auto* const kBarRecordings = ::testing::AddGlobalTestEnvironment(new BarRecordings);

// A channel with an off-screen window, the video worker, and a producer that fills the video
// queue as the reader would, blocking while it is full.
class BarsRig {
  public:
    explicit BarsRig(int32_t displayMode) {
        channel.videoWindow = &output;
        channel.displayMode = displayMode;
        channel.videoQueue.SetKeyCount(0);
        channel.videoQueue.Init(kVideoQueueStorage, kVideoQueueMaxItem, kQueueBlocking);
        channel.videoQueue.Trim(&writer_);
        worker = std::make_unique<CVideoCtx>(&channel);
    }
    ~BarsRig() {
        worker.reset();
        channel.videoQueue.Stop();
        if (producer_.joinable()) {
            producer_.join();
        }
    }
    BarsRig(const BarsRig&) = delete;
    BarsRig& operator=(const BarsRig&) = delete;

    void Feed(const std::vector<TestFrame>& frames) {
        producer_ = std::thread([this, &frames] {
            for (const TestFrame& frame : frames) {
                std::memcpy(writer_.data, frame.bytes.data(), frame.bytes.size());
                writer_.size = static_cast<int32_t>(frame.bytes.size());
                writer_.kind = frame.kind;
                writer_.frameRate = frame.frameRate;
                writer_.order = kPlayNormal;
                writer_.pts = frame.pts;
                if (!channel.videoQueue.Push(writer_)) {
                    return;
                }
            }
        });
    }

    bool WaitShown(int32_t count) {
        const auto end = std::chrono::steady_clock::now() + kPatience;
        while (channel.framesShown.load() < count) {
            if (std::chrono::steady_clock::now() > end) {
                return false;
            }
            std::this_thread::sleep_for(2ms);
        }
        return output.WaitForCount(static_cast<size_t>(count), kPatience);
    }

    OffscreenOutput output;
    ChannelState channel;
    std::unique_ptr<CVideoCtx> worker;

  private:
    FrameItem writer_;  // producer thread
    std::thread producer_;
};

// Where each bar is looked at: around its centre (a quarter bar either side, so that a shifted
// chroma plane shows), at three heights below the picture-number blocks along the top.
struct Spot {
    int x, y;
};
std::vector<Spot> BarSpots(int bar, int width, int height) {
    const int barWidth = ColourBarWidth(width);
    const int left = bar * barWidth;
    const int right = bar + 1 == kColourBarCount ? width : left + barWidth;
    const int centre = (left + right) / 2;
    std::vector<Spot> spots;
    for (const int y : {height / 4, height / 2, height * 3 / 4}) {
        for (const int x : {centre - barWidth / 4, centre, centre + barWidth / 4}) {
            spots.push_back({x, y});
        }
    }
    return spots;
}

struct Sample {
    int y = 0, u = 0, v = 0;  // YV12 pictures only
    Rgb rgb{};
};

Sample SampleAt(const PresentedPicture& picture, int x, int y) {
    Sample s;
    if (picture.format == PictureFormat::kRgb32) {
        const uint8_t* bgrx =
            &picture.Plane(0)[static_cast<size_t>(y) * picture.strides[0] + x * 4];
        s.rgb = {bgrx[2], bgrx[1], bgrx[0]};
        return s;
    }
    s.y = picture.Plane(0)[static_cast<size_t>(y) * picture.strides[0] + x];
    s.u = picture.Plane(1)[static_cast<size_t>(y / 2) * picture.strides[1] + x / 2];
    s.v = picture.Plane(2)[static_cast<size_t>(y / 2) * picture.strides[2] + x / 2];
    s.rgb = FromBt601LimitedRange(s.y, s.u, s.v);
    return s;
}

// The number the generator wrote along the top edge of the picture.
int PictureNumber(const PresentedPicture& picture) {
    const int size = PictureNumberBlockSize(picture.width, picture.height);
    int number = 0;
    for (int bit = 0; bit < kPictureNumberBits; ++bit) {
        const Sample s = SampleAt(picture, (bit + 1) * size, size);
        number = number * 2 + (s.rgb.g > 128 ? 1 : 0);
    }
    return number;
}

void ExpectBarColour(const PresentedPicture& picture, const Bar& bar, int x, int y) {
    SCOPED_TRACE(std::string(bar.name) + " at " + std::to_string(x) + "," + std::to_string(y));
    const Sample s = SampleAt(picture, x, y);
    if (picture.format == PictureFormat::kYv12) {
        EXPECT_NEAR(s.y, bar.y, kYuvTolerance);
        EXPECT_NEAR(s.u, bar.u, kYuvTolerance);
        EXPECT_NEAR(s.v, bar.v, kYuvTolerance);
    }
    EXPECT_NEAR(s.rgb.r, bar.r, kRgbTolerance);
    EXPECT_NEAR(s.rgb.g, bar.g, kRgbTolerance);
    EXPECT_NEAR(s.rgb.b, bar.b, kRgbTolerance);
}

// ---------------------------------------------------------------------------------------------

TEST(ColourBarTable, CodesConvertBackToTheirColours) {
    for (const Bar& bar : kBars) {
        SCOPED_TRACE(bar.name);
        const Rgb rgb = FromBt601LimitedRange(bar.y, bar.u, bar.v);
        EXPECT_NEAR(rgb.r, bar.r, 2);
        EXPECT_NEAR(rgb.g, bar.g, 2);
        EXPECT_NEAR(rgb.b, bar.b, 2);
    }
}

struct BarsCase {
    int32_t displayMode;
    int width;
    int height;
};

class DecodedColourBars : public ::testing::TestWithParam<BarsCase> {};

TEST_P(DecodedColourBars, LastPresentedPictureShowsEveryBarInItsColour) {
    const BarsCase c = GetParam();
    const std::vector<TestFrame>& frames = BarRecordings::Frames(c.width, c.height);
    ASSERT_EQ(frames.size(), 30u) << "the bars recording was not made or not read";
    BarsRig rig(c.displayMode);
    ASSERT_TRUE(rig.worker->Start());
    rig.Feed(frames);
    ASSERT_TRUE(rig.WaitShown(static_cast<int32_t>(frames.size())));
    const PresentedPicture picture = rig.output.LastPicture();
    EXPECT_TRUE(rig.worker->Stop(kWorkerStopTimeoutMs));

    ASSERT_EQ(picture.format,
              c.displayMode == kDisplayRgb ? PictureFormat::kRgb32 : PictureFormat::kYv12);
    ASSERT_EQ(picture.width, c.width);
    ASSERT_EQ(picture.height, c.height);
    const bool rgb = picture.format == PictureFormat::kRgb32;
    for (int plane = 0; plane < (rgb ? 1 : 3); ++plane) {
        const int rowBytes = rgb ? c.width * 4 : plane == 0 ? c.width : (c.width + 1) / 2;
        const int rows = plane == 0 ? c.height : (c.height + 1) / 2;
        ASSERT_GE(picture.strides[plane], rowBytes) << "plane " << plane;
        ASSERT_GE(picture.Plane(plane).size(),
                  static_cast<size_t>(picture.strides[plane]) * (rows - 1) + rowBytes)
            << "plane " << plane;
    }
    EXPECT_EQ(picture.pts, frames.back().pts);
    EXPECT_EQ(PictureNumber(picture), static_cast<int>(frames.size()) - 1) << "the last picture";
    for (int bar = 0; bar < kColourBarCount; ++bar) {
        for (const Spot& spot : BarSpots(bar, c.width, c.height)) {
            ExpectBarColour(picture, kBars[bar], spot.x, spot.y);
        }
    }
    // The last bar reaches the bottom right corner: the decoder's cropping of the partial
    // macroblocks and the last chroma column and row of odd-sized chroma planes.
    ExpectBarColour(picture, kBars[kColourBarCount - 1], c.width - 1, c.height - 1);
}

std::string CaseName(const ::testing::TestParamInfo<BarsCase>& info) {
    return std::string(info.param.displayMode == kDisplayRgb ? "Rgb" : "Yv12") + "_" +
           std::to_string(info.param.width) + "x" + std::to_string(info.param.height);
}

// 642x362 is not a whole number of macroblocks, its chroma planes are 321x181 and its RGB rows
// need padding; x264 codes 4:2:0 only at even sizes, so odd picture sizes cannot be made.
INSTANTIATE_TEST_SUITE_P(BothDisplayModes, DecodedColourBars,
                         ::testing::Values(BarsCase{kDisplayYv12, 640, 360},
                                           BarsCase{kDisplayRgb, 640, 360},
                                           BarsCase{kDisplayYv12, 642, 362},
                                           BarsCase{kDisplayRgb, 642, 362}),
                         CaseName);

}  // namespace
}  // namespace velmaro
