// The video window end to end: a recording of 75 % colour bars made by make-recording, split by
// the real demultiplexer, decoded by the video worker and presented into a shown VideoWidget in
// both display modes. The widget's framebuffer must show every bar in its own colour wherever
// the widget stretches it to, and the last picture of the recording.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <QTest>
#include <chrono>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "media/video_decoder.h"
#include "stream/channel_state.h"
#include "stream/demux.h"
#include "tests/media/colour_bars.h"
#include "tests/media/demuxed_frames.h"
#include "tests/media/video_rig.h"
#include "tests/test_support.h"
#include "tools/make_recording/recording_writer.h"
#include "ui/video_widget.h"

namespace velmaro {
namespace {

using namespace std::chrono_literals;
using test::kBars;

constexpr int kWidth = 640;
constexpr int kHeight = 360;
constexpr int kFrames = 30;  // one second at 30 frames per second
// Decoding, the converter or the shader, and the texture filter between them.
constexpr int kTolerance = 6;

// The surface needs OpenGL; the offscreen platform has none (CI runs these under Xvfb).
bool HaveOpenGl() {
    return QGuiApplication::platformName() != QStringLiteral("offscreen");
}

// The bars recording, written once by the command-line generator; its output on failure.
struct BarsRecording {
    BarsRecording() {
        const std::string tool = std::string(VELMARO_BIN_DIR) + "/make-recording";
        const std::string command =
            test::ShellQuote(tool) + " --out " + test::ShellQuote(dir.path()) +
            " --files 1 --seconds 1 --bars --size " + std::to_string(kWidth) + "x" +
            std::to_string(kHeight) + " 2>&1";
        const test::CommandResult run = test::RunCommand(command);
        if (run.status != 0) {
            log = command + ":\n" + run.out;
            return;
        }
        log = run.out;
        frames = test::DemuxVideoFrames(dir.File("DCIM/100MEDIA/REC_0001.ts"));
    }

    test::TempDir dir;
    std::string log;
    std::vector<test::TestFrame> frames;
};

const BarsRecording& Recording() {
    static const BarsRecording recording;
    return recording;
}

// Keeps the GUI thread serving repaints while the worker presents.
bool WaitPresented(const test::VideoRig& rig, const VideoWidget& widget, int count) {
    const auto end = std::chrono::steady_clock::now() + test::kPatience;
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
    for (int bar = 0; bar < kColourBarCount; ++bar) {
        for (const test::Spot& spot : test::BarSpots(bar, kWidth, kHeight)) {
            const QColor got = PixelOfPicture(image, spot.x, spot.y);
            SCOPED_TRACE(std::string(kBars[bar].name) + " at " + std::to_string(spot.x) + "," +
                         std::to_string(spot.y) + " of the picture");
            EXPECT_NEAR(got.red(), kBars[bar].r, kTolerance);
            EXPECT_NEAR(got.green(), kBars[bar].g, kTolerance);
            EXPECT_NEAR(got.blue(), kBars[bar].b, kTolerance);
        }
    }
}

// The number the generator wrote along the top edge of the picture shown.
int ShownPictureNumber(const QImage& image) {
    return test::ReadPictureNumber(
        kWidth, kHeight, [&](int x, int y) { return PixelOfPicture(image, x, y).green() > 128; });
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
    test::VideoRig rig(&widget, GetParam());
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
