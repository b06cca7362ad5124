// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/presenter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <set>
#include <thread>
#include <utility>
#include <vector>

#include "media/codec_state.h"
#include "media/offscreen_output.h"
#include "stream/channel_state.h"

namespace velmaro {
namespace {

using namespace std::chrono_literals;

struct Rgb {
    int r, g, b;
};

struct Yuv {
    uint8_t y, u, v;
};

// Planar 4:2:0 source planes with strides wider than the picture, the padding filled with a
// value that must never show.
class TestPicture {
  public:
    TestPicture(int width, int height, Yuv colour) : width_(width), height_(height) {
        const uint8_t values[3] = {colour.y, colour.u, colour.v};
        for (int p = 0; p < 3; ++p) {
            const int rows = p == 0 ? height : ChromaSize(height);
            strides_[p] = (p == 0 ? width : ChromaSize(width)) + 5;
            planes_[p].assign(static_cast<size_t>(strides_[p]) * rows, kPadding);
            const int rowBytes = p == 0 ? width : ChromaSize(width);
            for (int row = 0; row < rows; ++row) {
                std::fill_n(planes_[p].begin() + row * strides_[p], rowBytes, values[p]);
            }
        }
    }
    // A distinct value per visible sample, to catch misplaced rows and columns.
    void Pattern() {
        for (int p = 0; p < 3; ++p) {
            const int rows = p == 0 ? height_ : ChromaSize(height_);
            const int rowBytes = p == 0 ? width_ : ChromaSize(width_);
            for (int row = 0; row < rows; ++row) {
                for (int x = 0; x < rowBytes; ++x) {
                    planes_[p][row * strides_[p] + x] =
                        static_cast<uint8_t>(16 + p * 40 + row * 7 + x);
                }
            }
        }
    }
    SourcePlanes Source(double pts = 0.0) const {
        SourcePlanes source;
        for (int p = 0; p < 3; ++p) {
            source.planes[p] = planes_[p].data();
            source.strides[p] = strides_[p];
        }
        source.width = width_;
        source.height = height_;
        source.pts = pts;
        return source;
    }
    uint8_t At(int plane, int row, int x) const {
        return planes_[plane][row * strides_[plane] + x];
    }

    static constexpr uint8_t kPadding = 0xEE;

  private:
    int width_;
    int height_;
    std::vector<uint8_t> planes_[3];
    int strides_[3] = {};
};

// BT.601 video levels: the colours as a camera's encoder writes them.
constexpr Yuv kRed{81, 90, 240};
constexpr Yuv kGreen{145, 54, 34};
constexpr Yuv kBlue{41, 240, 110};
constexpr Yuv kWhite{235, 128, 128};
constexpr Yuv kBlack{16, 128, 128};

Rgb PixelAt(const PresentedPicture& picture, int x, int y) {
    const uint8_t* bgrx = &picture.planes[0][y * picture.strides[0] + x * 4];
    return {bgrx[2], bgrx[1], bgrx[0]};
}

void ExpectEveryPixelNear(const PresentedPicture& picture, Rgb expected, int tolerance) {
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            const Rgb got = PixelAt(picture, x, y);
            ASSERT_NEAR(got.r, expected.r, tolerance) << x << "," << y;
            ASSERT_NEAR(got.g, expected.g, tolerance) << x << "," << y;
            ASSERT_NEAR(got.b, expected.b, tolerance) << x << "," << y;
        }
    }
}

TEST(Presenter, StatesFollowOpenAndReleaseAndAFailedOpenLeavesItReleased) {
    OffscreenOutput output;
    Presenter presenter;
    EXPECT_FALSE(presenter.IsOpen());
    EXPECT_FALSE(presenter.Present()) << "presenting a released presenter does nothing";
    EXPECT_FALSE(presenter.Open(nullptr, 16, 8, kDisplayYv12)) << "nowhere to present";

    ASSERT_TRUE(presenter.Open(&output, 7, 5, kDisplayYv12));
    EXPECT_TRUE(presenter.IsReady());
    EXPECT_EQ(presenter.OpenedWindow(), &output);
    EXPECT_EQ(presenter.BackBufferFormat(), PictureFormat::kYv12);
    ASSERT_NE(presenter.Surface(), nullptr);
    EXPECT_EQ(presenter.Surface()->planes[0].size(), 35u);
    EXPECT_EQ(presenter.Surface()->planes[1].size(), 12u) << "4x3 chroma covers 7x5";

    EXPECT_FALSE(presenter.Open(&output, 0, 5, kDisplayYv12));
    EXPECT_FALSE(presenter.IsOpen());
    EXPECT_EQ(presenter.Surface(), nullptr);

    ASSERT_TRUE(presenter.Open(&output, 1920, 1080, kDisplayRgb));
    EXPECT_EQ(presenter.BackBufferFormat(), PictureFormat::kRgb32);
    EXPECT_EQ(presenter.Width(), 1920) << "the picture's own size, whatever the window";
    Presenter moved(std::move(presenter));
    EXPECT_TRUE(moved.IsReady());
    EXPECT_FALSE(presenter.IsReady());  // NOLINT(bugprone-use-after-move): left released
    EXPECT_FALSE(presenter.Draw(TestPicture(1920, 1080, kBlack).Source(), nullptr));
    presenter = std::move(moved);
    presenter.Release();
    EXPECT_FALSE(presenter.IsReady());
    EXPECT_FALSE(presenter.Present());
    EXPECT_EQ(output.Count(), 0u);
}

TEST(Presenter, Yv12DrawCopiesOnlyTheVisibleSamplesOfOddSizedPictures) {
    OffscreenOutput output;
    Presenter presenter;
    ASSERT_TRUE(presenter.Open(&output, 7, 5, kDisplayYv12));
    TestPicture picture(7, 5, kBlack);
    picture.Pattern();
    ASSERT_TRUE(presenter.Draw(picture.Source(4.5), nullptr));
    const PresentedPicture& back = *presenter.Surface();
    EXPECT_EQ(back.pts, 4.5);
    for (int p = 0; p < 3; ++p) {
        const int rows = p == 0 ? 5 : 3;
        const int width = p == 0 ? 7 : 4;
        ASSERT_EQ(back.strides[p], width);
        for (int row = 0; row < rows; ++row) {
            for (int x = 0; x < width; ++x) {
                EXPECT_EQ(back.planes[p][row * width + x], picture.At(p, row, x))
                    << p << " " << row << " " << x;
            }
        }
        EXPECT_EQ(std::count(back.planes[p].begin(), back.planes[p].end(), TestPicture::kPadding),
                  0);
    }

    TestPicture other(8, 5, kBlack);
    EXPECT_FALSE(presenter.Draw(other.Source(), nullptr)) << "not the back buffer's size";
    SourcePlanes missing = picture.Source();
    missing.planes[2] = nullptr;
    EXPECT_FALSE(presenter.Draw(missing, nullptr));
    SourcePlanes narrow = picture.Source();
    narrow.strides[0] = 3;
    EXPECT_FALSE(presenter.Draw(narrow, nullptr)) << "rows would overlap";
    EXPECT_EQ(presenter.Surface()->pts, 4.5) << "a failed draw leaves the picture";
}

TEST(Presenter, RgbDrawConvertsVideoLevelsToFullRangeColoursAndNeedsAScaler) {
    // 22 is no multiple of the converters' vector width: the last columns must be right too.
    constexpr int kWidth = 22;
    constexpr int kHeight = 6;
    OffscreenOutput output;
    Presenter presenter;
    ASSERT_TRUE(presenter.Open(&output, kWidth, kHeight, kDisplayRgb));
    CodecState codec;
    ASSERT_TRUE(codec.OpenVideo(kWidth, kHeight, kOutputBitsRgb32));

    const std::pair<Yuv, Rgb> colours[] = {{kRed, {255, 0, 0}},
                                           {kGreen, {0, 255, 0}},
                                           {kBlue, {0, 0, 255}},
                                           {kWhite, {255, 255, 255}},
                                           {kBlack, {0, 0, 0}}};
    for (const auto& [yuv, rgb] : colours) {
        SCOPED_TRACE(rgb.r * 65536 + rgb.g * 256 + rgb.b);
        const TestPicture picture(kWidth, kHeight, yuv);
        ASSERT_TRUE(presenter.Draw(picture.Source(), codec.Scaler()));
        ExpectEveryPixelNear(*presenter.Surface(), rgb, 4);
    }
    EXPECT_FALSE(presenter.Draw(TestPicture(kWidth, kHeight, kRed).Source(), nullptr))
        << "no conversion runs without a scaler";
}

TEST(Presenter, ClearFillsBothBackBufferKindsWithTheColour) {
    OffscreenOutput output;
    Presenter presenter;
    ASSERT_TRUE(presenter.Open(&output, 10, 4, kDisplayRgb));
    presenter.Clear(kClearColour);
    ExpectEveryPixelNear(*presenter.Surface(), {0, 0, 0}, 0);
    presenter.Clear(0x00FF8000);
    ExpectEveryPixelNear(*presenter.Surface(), {255, 128, 0}, 0);
    EXPECT_EQ(presenter.Surface()->pts, kNoFramePts);

    ASSERT_TRUE(presenter.Open(&output, 10, 4, kDisplayYv12));
    presenter.Clear(kClearColour);
    const PresentedPicture& back = *presenter.Surface();
    EXPECT_TRUE(std::all_of(back.planes[0].begin(), back.planes[0].end(),
                            [](uint8_t v) { return v == 16; }));
    EXPECT_TRUE(std::all_of(back.planes[1].begin(), back.planes[1].end(),
                            [](uint8_t v) { return v == 128; }));
    presenter.Clear(0x00FFFFFF);
    EXPECT_EQ(back.planes[0][0], 235);
    EXPECT_EQ(back.planes[2][0], 128);
}

TEST(Presenter, AHeldPictureIsPresentedAgainAsTheSamePicture) {
    OffscreenOutput output(true);
    Presenter presenter;
    ASSERT_TRUE(presenter.Open(&output, 9, 7, kDisplayYv12));
    TestPicture picture(9, 7, kBlack);
    picture.Pattern();
    ASSERT_TRUE(presenter.Draw(picture.Source(2.0), nullptr));
    for (int i = 0; i < 4; ++i) {
        ASSERT_TRUE(presenter.Present());
    }
    const std::vector<PresentRecord> records = output.Records();
    ASSERT_EQ(records.size(), 4u);
    for (const PresentRecord& record : records) {
        EXPECT_EQ(record.digest, records[0].digest);
        EXPECT_EQ(record.pts, 2.0);
    }
    EXPECT_EQ(PictureDigest(*presenter.Surface()), records[0].digest);
    EXPECT_EQ(output.LastPicture().planes[0], presenter.Surface()->planes[0]);
}

// A window that keeps a picture (to paint it later) must see it unchanged whatever is drawn
// after it; and once the window lets go, drawing reuses the pooled buffers.
class KeepingOutput : public VideoOutput {
  public:
    void Present(PictureRef picture) override { kept.push_back(std::move(picture)); }
    std::vector<PictureRef> kept;
};

TEST(Presenter, APresentedPictureIsNeverWrittenAgain) {
    KeepingOutput output;
    Presenter presenter;
    ASSERT_TRUE(presenter.Open(&output, 16, 8, kDisplayYv12));
    TestPicture first(16, 8, kWhite);
    ASSERT_TRUE(presenter.Draw(first.Source(1.0), nullptr));
    ASSERT_TRUE(presenter.Present());
    const uint64_t firstDigest = PictureDigest(*output.kept[0]);

    TestPicture second(16, 8, kBlack);
    ASSERT_TRUE(presenter.Draw(second.Source(2.0), nullptr));
    presenter.Clear(kClearColour);
    ASSERT_TRUE(presenter.Draw(second.Source(3.0), nullptr));
    EXPECT_EQ(PictureDigest(*output.kept[0]), firstDigest);
    EXPECT_EQ(output.kept[0]->pts, 1.0);
    ASSERT_TRUE(presenter.Present());
    ASSERT_EQ(output.kept.size(), 2u);
    EXPECT_NE(output.kept[0].get(), output.kept[1].get());
    EXPECT_EQ(output.kept[1]->pts, 3.0);
    EXPECT_EQ(presenter.Surface(), output.kept[1].get()) << "the back buffer keeps the picture";

    // The window drops everything: from now on draw/present cycles through pooled pictures.
    output.kept.clear();
    std::set<const PresentedPicture*> seen;
    for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(presenter.Draw(second.Source(4.0 + i), nullptr));
        ASSERT_TRUE(presenter.Present());
        seen.insert(output.kept.back().get());
        output.kept.clear();
    }
    EXPECT_LE(seen.size(), 2u) << "a returned picture is reused, not a new one allocated";
}

TEST(Presenter, PicturesAWindowKeepsOutliveTheirPresenter) {
    KeepingOutput output;
    {
        Presenter presenter;
        ASSERT_TRUE(presenter.Open(&output, 16, 8, kDisplayRgb));
        presenter.Clear(0x00FF0000);
        ASSERT_TRUE(presenter.Present());
    }
    ASSERT_EQ(output.kept.size(), 1u);
    EXPECT_EQ(output.kept[0]->planes[0][2], 0xFF) << "red of B, G, R, X";
    output.kept.clear();  // goes back to a pool that only the picture kept alive
}

// ---------------------------------------------------------------------------------------------

TEST(PresenterOffscreenOutput, DigestCoversVisibleBytesOnly) {
    PresentedPicture a;
    a.width = 3;
    a.height = 2;
    a.strides[0] = 4;
    a.strides[1] = a.strides[2] = 3;
    a.planes[0] = {1, 2, 3, 99, 4, 5, 6, 99};
    a.planes[1] = {7, 8, 99};
    a.planes[2] = {9, 10, 99};
    PresentedPicture b = a;
    b.planes[0][3] = 55;  // padding only
    b.planes[1][2] = 55;
    EXPECT_EQ(PictureDigest(a), PictureDigest(b));
    b.planes[0][4] = 0;
    EXPECT_NE(PictureDigest(a), PictureDigest(b));
    b = a;
    b.planes[0].resize(5);  // planes shorter than they claim: no read beyond
    EXPECT_NE(PictureDigest(a), PictureDigest(b));
}

TEST(PresenterOffscreenOutput, RecordsAreCappedButCountedAndWaitersWake) {
    OffscreenOutput output(false, 2);
    std::thread presenter([&] {
        for (int i = 0; i < 5; ++i) {
            auto picture = std::make_shared<PresentedPicture>();
            picture->width = 4 + i;
            picture->pts = i;
            output.Present(picture);
        }
    });
    EXPECT_TRUE(output.WaitForCount(5, 30s));
    presenter.join();
    EXPECT_EQ(output.Count(), 5u);
    ASSERT_EQ(output.Records().size(), 2u);
    EXPECT_EQ(output.Records()[1].pts, 1.0);
    EXPECT_EQ(output.LastPicture().width, 8);
    EXPECT_FALSE(output.WaitForCount(6, 1ms));
}

}  // namespace
}  // namespace velmaro
