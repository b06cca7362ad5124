// The video window end to end: a recording of 75 % colour bars made by make-recording, split by
// the real demultiplexer, decoded by the video worker and presented into a shown VideoWidget in
// both display modes. The widget's framebuffer must show every bar in its own colour wherever
// the widget stretches it to, and the last picture of the recording.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <QGuiApplication>
#include <QImage>
#include <QTest>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "media/video_decoder.h"
#include "stream/channel_state.h"
#include "stream/demux.h"
#include "tools/make_recording/recording_writer.h"
#include "ui/video_widget.h"

namespace velmaro {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Only guards against a hang; no outcome depends on it.
constexpr auto kPatience = 30s;
constexpr int kWidth = 640;
constexpr int kHeight = 360;
constexpr int kFrames = 30;  // one second at 30 frames per second
// Decoding, the converter or the shader, and the texture filter between them.
constexpr int kTolerance = 6;

// The 75 % bars left to right as the generator codes them (BT.601, limited range) and as they
// must come out: 191 of 255 for each primary present.
struct Bar {
    const char* name;
    int r, g, b;
};
constexpr Bar kBars[kColourBarCount] = {
    {"grey", 191, 191, 191},  {"yellow", 191, 191, 0}, {"cyan", 0, 191, 191}, {"green", 0, 191, 0},
    {"magenta", 191, 0, 191}, {"red", 191, 0, 0},      {"blue", 0, 0, 191},   {"black", 0, 0, 0},
};

// The surface needs OpenGL; the offscreen platform has none (CI runs these under Xvfb).
bool HaveOpenGl() {
    return QGuiApplication::platformName() != QStringLiteral("offscreen");
}

class TempDir {
  public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "velmaro-ui-bars-XXXXXX").string();
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

// The bars recording, written once by the command-line generator; its output on failure.
struct BarsRecording {
    BarsRecording() {
        const std::string tool = std::string(VELMARO_BIN_DIR) + "/make-recording";
        const std::string command =
            "'" + tool + "' --out '" + dir.path() + "' --files 1 --seconds 1 --bars --size " +
            std::to_string(kWidth) + "x" + std::to_string(kHeight) + " 2>&1";
        std::FILE* pipe = popen(command.c_str(), "r");
        if (pipe == nullptr) {
            log = "cannot run " + tool;
            return;
        }
        char buffer[512];
        for (size_t n = 0; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
            log.append(buffer, n);
        }
        const int status = pclose(pipe);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            log = command + ":\n" + log;
            return;
        }
        frames = ReadVideoFrames(dir.path() + "/DCIM/100MEDIA/REC_0001.ts");
    }

    TempDir dir;
    std::string log;
    std::vector<TestFrame> frames;
};

const BarsRecording& Recording() {
    static const BarsRecording recording;
    return recording;
}

// A channel presenting into the widget, its video worker, and a producer that fills the video
// queue as the reader would, blocking while it is full.
class WidgetRig {
  public:
    WidgetRig(VideoWidget* widget, int32_t displayMode) {
        channel.videoWindow = widget;
        channel.displayMode = displayMode;
        channel.videoQueue.SetKeyCount(0);
        channel.videoQueue.Init(kVideoQueueStorage, kVideoQueueMaxItem, kQueueBlocking);
        channel.videoQueue.Trim(&writer_);
        worker = std::make_unique<CVideoCtx>(&channel);
    }
    ~WidgetRig() {
        worker.reset();
        channel.videoQueue.Stop();
        if (producer_.joinable()) {
            producer_.join();
        }
    }
    WidgetRig(const WidgetRig&) = delete;
    WidgetRig& operator=(const WidgetRig&) = delete;

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

    ChannelState channel;
    std::unique_ptr<CVideoCtx> worker;

  private:
    FrameItem writer_;  // producer thread
    std::thread producer_;
};

// Keeps the GUI thread serving repaints while the worker presents.
bool WaitPresented(const WidgetRig& rig, const VideoWidget& widget, int count) {
    const auto end = std::chrono::steady_clock::now() + kPatience;
    while (rig.channel.framesShown.load() < count || widget.PicturesPresented() < count) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        QTest::qWait(5);
    }
    QTest::qWait(50);  // the queued repaint of the last picture
    return true;
}

// The framebuffer pixel showing picture pixel (x, y) of the stretched picture.
QColor PixelOfPicture(const QImage& image, double x, double y) {
    const int fx = static_cast<int>((x + 0.5) * image.width() / kWidth);
    const int fy = static_cast<int>((y + 0.5) * image.height() / kHeight);
    return image.pixelColor(fx, fy);
}

void ExpectBarsShown(const QImage& image) {
    ASSERT_FALSE(image.isNull());
    const int barWidth = ColourBarWidth(kWidth);
    for (int bar = 0; bar < kColourBarCount; ++bar) {
        const int left = bar * barWidth;
        const int right = bar + 1 == kColourBarCount ? kWidth : left + barWidth;
        const int centre = (left + right) / 2;
        // Around the centre and below the picture-number blocks along the top.
        for (const int y : {kHeight / 4, kHeight / 2, kHeight * 3 / 4}) {
            for (const int x : {centre - barWidth / 4, centre, centre + barWidth / 4}) {
                const QColor got = PixelOfPicture(image, x, y);
                SCOPED_TRACE(std::string(kBars[bar].name) + " at " + std::to_string(x) + "," +
                             std::to_string(y) + " of the picture");
                EXPECT_NEAR(got.red(), kBars[bar].r, kTolerance);
                EXPECT_NEAR(got.green(), kBars[bar].g, kTolerance);
                EXPECT_NEAR(got.blue(), kBars[bar].b, kTolerance);
            }
        }
    }
}

// The number the generator wrote along the top edge of the picture shown.
int ShownPictureNumber(const QImage& image) {
    const int size = PictureNumberBlockSize(kWidth, kHeight);
    int number = 0;
    for (int bit = 0; bit < kPictureNumberBits; ++bit) {
        number = number * 2 + (PixelOfPicture(image, (bit + 1) * size, size).green() > 128);
    }
    return number;
}

class VideoWidgetDecodedBars : public ::testing::TestWithParam<int32_t> {};

TEST_P(VideoWidgetDecodedBars, FramebufferShowsEachBarInItsColourAtAnyWidgetSize) {
    if (!HaveOpenGl()) {
        GTEST_SKIP() << "no OpenGL on this platform";
    }
    const BarsRecording& recording = Recording();
    ASSERT_EQ(recording.frames.size(), static_cast<size_t>(kFrames)) << recording.log;

    VideoWidget widget;
    widget.resize(480, 270);  // smaller than the picture
    widget.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&widget));
    WidgetRig rig(&widget, GetParam());
    ASSERT_TRUE(rig.worker->Start());
    rig.Feed(recording.frames);
    ASSERT_TRUE(WaitPresented(rig, widget, kFrames));

    QImage image = widget.grabFramebuffer();
    {
        SCOPED_TRACE("480x270");
        ExpectBarsShown(image);
        EXPECT_EQ(ShownPictureNumber(image), kFrames - 1) << "the last picture is shown";
    }

    // Larger than the picture and of another shape: the same picture stretched.
    widget.resize(900, 300);
    QTest::qWait(50);
    image = widget.grabFramebuffer();
    EXPECT_EQ(image.width(), qRound(900 * widget.devicePixelRatioF()));
    {
        SCOPED_TRACE("900x300");
        ExpectBarsShown(image);
        EXPECT_EQ(ShownPictureNumber(image), kFrames - 1);
    }
    EXPECT_TRUE(rig.worker->Stop(kWorkerStopTimeoutMs));
}

std::string ModeName(const ::testing::TestParamInfo<int32_t>& mode) {
    return mode.param == kDisplayRgb ? "Rgb" : "Yv12";
}

INSTANTIATE_TEST_SUITE_P(BothDisplayModes, VideoWidgetDecodedBars,
                         ::testing::Values(kDisplayYv12, kDisplayRgb), ModeName);

}  // namespace
}  // namespace velmaro
