// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Picture correctness end to end: a recording of 75 % colour bars, written by libx264, split by
// the real demultiplexer, decoded by the video worker and drawn by its presenter in both display
// modes. Each bar must come out in its own colour, checked against a table worked out by hand.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "media/offscreen_output.h"
#include "media/video_decoder.h"
#include "stream/channel_state.h"
#include "stream/demux.h"
#include "tests/media/colour_bars.h"
#include "tests/media/demuxed_frames.h"
#include "tests/media/video_rig.h"
#include "tests/test_support.h"
#include "tools/make_recording/recording_writer.h"

namespace velmaro {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::kBars;
using test::TestFrame;

// Decoded and converted colours may drift this far from the table (coding, rounding, the
// converter's fixed-point arithmetic).
constexpr int kRgbTolerance = 6;
constexpr int kYuvTolerance = 3;

struct Rgb {
    int r, g, b;
};

// The inverse of the formulas by which the bar table was worked out: limited-range BT.601 codes
// back to 8-bit R'G'B'.
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
                dir_ = std::make_unique<test::TempDir>();
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
                result.ok ? test::DemuxVideoFrames(result.files.at(0)) : std::vector<TestFrame>{};
        }
        return frames_[key];
    }

  private:
    static inline std::unique_ptr<test::TempDir> dir_;
    static inline std::map<std::pair<int, int>, std::vector<TestFrame>> frames_;
};

const auto* const kBarRecordings = ::testing::AddGlobalTestEnvironment(new BarRecordings);

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
    return test::ReadPictureNumber(picture.width, picture.height, [&](int x, int y) {
        return SampleAt(picture, x, y).rgb.g > 128;
    });
}

void ExpectBarColour(const PresentedPicture& picture, const test::Bar& bar, int x, int y) {
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
    for (const test::Bar& bar : kBars) {
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
    test::VideoRig rig(c.displayMode);
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
        for (const test::Spot& spot : test::BarSpots(bar, c.width, c.height)) {
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
