// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The video window end to end: a recording of 75 % colour bars made by make-recording, split by
// the real demultiplexer, decoded by the video worker and presented into a shown VideoWidget in
// both display modes, on both drawing paths (OpenGL, software). The screen must show every bar
// in its own colour wherever the widget stretches it to, and the last picture of the recording.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <QTest>
#include <chrono>
#include <cmath>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "media/video_decoder.h"
#include "stream/channel_state.h"
#include "stream/demux.h"
#include "tests/media/colour_bars.h"
#include "tests/media/demuxed_frames.h"
#include "tests/media/video_rig.h"
#include "tests/test_support.h"
#include "tests/ui/video_surface_support.h"
#include "tools/make_recording/recording_writer.h"
#include "ui/video/video_widget.h"

namespace velmaro {
namespace {

using namespace std::chrono_literals;
using test::kBars;

constexpr int kWidth = 640;
constexpr int kHeight = 360;
constexpr int kFrames = 30;  // one second at 30 frames per second
// Decoding, the converter or the shader, and the texture filter or the scaler between them.
constexpr int kTolerance = 6;

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

// The screen pixel showing picture pixel (x, y) of the stretched picture.
QColor PixelOfPicture(const QImage& image, double x, double y) {
    const int fx = static_cast<int>((x + 0.5) * image.width() / kWidth);
    const int fy = static_cast<int>((y + 0.5) * image.height() / kHeight);
    return image.pixelColor(fx, fy);
}

bool BarsShown(const QImage& image) {
    for (int bar = 0; bar < kColourBarCount; ++bar) {
        for (const test::Spot& spot : test::BarSpots(bar, kWidth, kHeight)) {
            if (!test::Near(PixelOfPicture(image, spot.x, spot.y), kBars[bar].r, kBars[bar].g,
                            kBars[bar].b, kTolerance)) {
                return false;
            }
        }
    }
    return true;
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

using Setup = std::tuple<int32_t, VideoPath>;  // display mode, drawing path

class VideoWidgetDecodedBars : public ::testing::TestWithParam<Setup> {};

TEST_P(VideoWidgetDecodedBars, ScreenShowsEachBarInItsColourAtAnyWidgetSize) {
    const auto [mode, path] = GetParam();
    if (!test::PathAvailable(path)) {
        GTEST_SKIP() << "no OpenGL on this platform";
    }
    const BarsRecording& recording = Recording();
    ASSERT_EQ(recording.frames.size(), static_cast<size_t>(kFrames)) << recording.log;

    VideoWidget widget(nullptr, path);
    widget.resize(480, 270);  // smaller than the picture
    widget.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&widget));
    test::VideoRig rig(&widget, mode);
    ASSERT_TRUE(rig.worker->Start());
    rig.Feed(recording.frames);
    ASSERT_TRUE(WaitPresented(rig, widget, kFrames));

    const auto lastShown = [](const QImage& i) {
        return BarsShown(i) && ShownPictureNumber(i) == kFrames - 1;
    };
    QImage image = test::WaitForScreen(widget, lastShown);
    {
        SCOPED_TRACE("480x270");
        ExpectBarsShown(image);
        EXPECT_EQ(ShownPictureNumber(image), kFrames - 1) << "the last picture is shown";
    }

    // Larger than the picture and of another shape: the same picture stretched.
    widget.resize(900, 300);
    image = test::WaitForScreen(widget, [&](const QImage& i) {
        return i.width() == qRound(900 * widget.devicePixelRatioF()) && lastShown(i);
    });
    EXPECT_EQ(image.width(), qRound(900 * widget.devicePixelRatioF()));
    {
        SCOPED_TRACE("900x300");
        ExpectBarsShown(image);
        EXPECT_EQ(ShownPictureNumber(image), kFrames - 1);
    }
    EXPECT_TRUE(rig.worker->Stop(kWorkerStopTimeoutMs));
}

std::string SetupName(const ::testing::TestParamInfo<Setup>& setup) {
    return std::string(std::get<0>(setup.param) == kDisplayRgb ? "Rgb" : "Yv12") +
           test::PathName(std::get<1>(setup.param));
}

INSTANTIATE_TEST_SUITE_P(BothModesBothPaths, VideoWidgetDecodedBars,
                         ::testing::Combine(::testing::Values(kDisplayYv12, kDisplayRgb),
                                            ::testing::Values(VideoPath::kOpenGl,
                                                              VideoPath::kSoftware)),
                         SetupName);

}  // namespace
}  // namespace velmaro
