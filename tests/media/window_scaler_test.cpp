// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The software path's parts without a window: PictureScaler's colours, geometry and bounds, and
// WindowScaler's hand-over between its thread and the painting one.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <memory>
#include <vector>

#include "media/picture_scaler.h"
#include "media/window_scaler.h"
#include "tests/test_support.h"

namespace velmaro {
namespace {

constexpr int kTolerance = 4;

struct Rgb {
    int r, g, b;
};

// BT.601 limited-range codes and the full-range colour they stand for.
struct Colour {
    uint8_t y, u, v;
    Rgb rgb;
};
constexpr Colour kRed = {81, 90, 240, {255, 0, 0}};
constexpr Colour kBlue = {41, 240, 110, {0, 0, 255}};
constexpr Colour kGrey = {126, 128, 128, {128, 128, 128}};

// A YV12 picture whose planes are exactly as large as its size calls for (no row padding, no
// slack after the last row), left part one colour, right part another, split at `split`.
PresentedPicture Split(int w, int h, int split, const Colour& left, const Colour& right) {
    PresentedPicture p;
    p.width = w;
    p.height = h;
    const int cw = (w + 1) / 2;
    const int ch = (h + 1) / 2;
    p.strides[0] = w;
    p.strides[1] = p.strides[2] = cw;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            p.planes[0].push_back(x < split ? left.y : right.y);
        }
    }
    for (int y = 0; y < ch; ++y) {
        for (int x = 0; x < cw; ++x) {
            p.planes[1].push_back(2 * x < split ? left.u : right.u);
            p.planes[2].push_back(2 * x < split ? left.v : right.v);
        }
    }
    return p;
}

PresentedPicture Solid(int w, int h, const Colour& colour) {
    return Split(w, h, w, colour, colour);
}

struct Scaled {
    int width = 0;
    int height = 0;
    int stride = 0;
    std::vector<uint8_t> bytes;
    Rgb At(int x, int y) const {
        const uint8_t* p = &bytes[static_cast<size_t>(y) * stride + x * 4];
        return {p[2], p[1], p[0]};
    }
};

Scaled ScaleTo(PictureScaler& scaler, const PresentedPicture& picture, int w, int h,
               bool* ok = nullptr) {
    Scaled out{w, h, ScaledStride(w), {}};
    out.bytes.assign(static_cast<size_t>(out.stride) * h, 0xAB);
    const bool scaled = scaler.Scale(picture, w, h, out.bytes.data(), out.stride);
    if (ok != nullptr) {
        *ok = scaled;
    }
    return out;
}

void ExpectColour(const Rgb& got, const Rgb& want) {
    EXPECT_NEAR(got.r, want.r, kTolerance);
    EXPECT_NEAR(got.g, want.g, kTolerance);
    EXPECT_NEAR(got.b, want.b, kTolerance);
}

// Odd sizes, shrinking, enlarging and 1:1 (libswscale's unscaled converters), from planes with no
// slack after them: every pixel of the result has the colour, and nothing is read or written out
// of bounds (the sanitizer builds run this too).
TEST(PictureScaler, EveryTargetPixelOfASolidPictureHasItsColour) {
    PictureScaler scaler;
    for (const auto& [w, h] : std::array<std::pair<int, int>, 3>{{{35, 19}, {64, 36}, {2, 1}}}) {
        const PresentedPicture picture = Solid(w, h, kRed);
        for (const auto& [tw, th] :
             std::array<std::pair<int, int>, 4>{{{w, h}, {w * 3, h * 2 + 1}, {17, 9}, {1, 1}}}) {
            bool ok = false;
            const Scaled out = ScaleTo(scaler, picture, tw, th, &ok);
            ASSERT_TRUE(ok) << w << "x" << h << " to " << tw << "x" << th;
            for (int y = 0; y < th; ++y) {
                for (int x = 0; x < tw; ++x) {
                    SCOPED_TRACE(testing::Message() << w << "x" << h << " to " << tw << "x" << th
                                                    << " at " << x << "," << y);
                    ExpectColour(out.At(x, y), kRed.rgb);
                }
            }
        }
    }
}

TEST(PictureScaler, PictureIsStretchedOverTheWholeTarget) {
    PictureScaler scaler;
    // Left quarter blue, the rest grey: shrunk to half width and enlarged to three times.
    const PresentedPicture picture = Split(128, 72, 32, kBlue, kGrey);
    const Scaled half = ScaleTo(scaler, picture, 64, 36);
    ExpectColour(half.At(4, 18), kBlue.rgb);
    ExpectColour(half.At(12, 18), kBlue.rgb);
    ExpectColour(half.At(20, 18), kGrey.rgb);
    ExpectColour(half.At(63, 35), kGrey.rgb);
    const Scaled large = ScaleTo(scaler, picture, 384, 100);
    ExpectColour(large.At(80, 50), kBlue.rgb);
    ExpectColour(large.At(110, 50), kGrey.rgb);
    ExpectColour(large.At(383, 99), kGrey.rgb);
}

TEST(PictureScaler, RgbPicturesAreScaledToo) {
    PresentedPicture p;
    p.format = PictureFormat::kRgb32;
    p.width = 4;
    p.height = 2;
    p.strides[0] = 16;  // no slack after the last row
    for (int row = 0; row < 2; ++row) {
        for (int x = 0; x < 4; ++x) {
            const bool left = x < 2;  // orange, then teal; bytes B, G, R, X
            p.planes[0].insert(p.planes[0].end(), {uint8_t(left ? 0 : 128), uint8_t(128),
                                                   uint8_t(left ? 255 : 0), uint8_t(255)});
        }
    }
    PictureScaler scaler;
    const Scaled out = ScaleTo(scaler, p, 400, 200);
    ExpectColour(out.At(20, 100), {255, 128, 0});
    ExpectColour(out.At(380, 100), {0, 128, 128});
}

TEST(PictureScaler, PlanesTooSmallForTheSizeAreRefusedAndTheTargetLeftAlone) {
    PictureScaler scaler;
    PresentedPicture picture = Solid(64, 36, kRed);
    picture.planes[2].resize(picture.planes[2].size() - 1);
    bool ok = true;
    Scaled out = ScaleTo(scaler, picture, 32, 18, &ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(out.bytes[0], 0xAB);

    picture = Solid(64, 36, kRed);
    picture.strides[0] = 63;  // rows narrower than the picture
    ScaleTo(scaler, picture, 32, 18, &ok);
    EXPECT_FALSE(ok);
    PresentedPicture empty;
    ScaleTo(scaler, empty, 32, 18, &ok);
    EXPECT_FALSE(ok);
    ScaleTo(scaler, Solid(64, 36, kRed), 0, 18, &ok);
    EXPECT_FALSE(ok);
}

// A scaler thread and a "painting" test thread: what Newest gives stays put until the next call,
// repeats of a picture are not scaled again, a size change is.
class WindowScalerTest : public ::testing::Test {
  protected:
    WindowScalerTest() : scaler_([this] { ++ready_; }) {}

    // Waits for `count` ready calls, then takes the newest image.
    const ScaledImage* NewestAfter(int count) {
        EXPECT_TRUE(test::WaitUntil([&] { return ready_.load() >= count; }));
        return scaler_.Newest();
    }

    std::atomic<int> ready_{0};
    WindowScaler scaler_;
};

TEST_F(WindowScalerTest, ScalesEachNewPictureOrSizeOnceAndHandsOverTheNewest) {
    ASSERT_TRUE(scaler_.Start());
    EXPECT_EQ(scaler_.Newest(), nullptr);
    const PictureRef red = std::make_shared<const PresentedPicture>(Solid(64, 36, kRed));
    scaler_.Present(red);  // no size yet: nothing to scale to
    scaler_.SetSize(32, 18);
    const ScaledImage* image = NewestAfter(1);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->width, 32);
    EXPECT_EQ(image->height, 18);
    EXPECT_EQ(image->stride, ScaledStride(32));
    EXPECT_NEAR(image->bytes[2], 255, kTolerance);  // red of the first pixel

    for (int again = 0; again < 3; ++again) {
        scaler_.Present(red);
    }
    scaler_.SetSize(32, 18);
    EXPECT_FALSE(
        test::WaitUntil([&] { return ready_.load() > 1; }, std::chrono::milliseconds(100)));
    EXPECT_EQ(scaler_.ScaledCount(), 1);
    EXPECT_EQ(scaler_.Newest(), image) << "nothing new: the same image";

    scaler_.SetSize(50, 20);
    image = NewestAfter(2);
    EXPECT_EQ(image->width, 50);
    const std::vector<uint8_t> shown = image->bytes;

    scaler_.Present(std::make_shared<const PresentedPicture>(Solid(64, 36, kBlue)));
    EXPECT_TRUE(test::WaitUntil([&] { return ready_.load() >= 3; }));
    EXPECT_EQ(image->bytes, shown) << "the image taken is not written while it is on screen";
    image = scaler_.Newest();
    EXPECT_NEAR(image->bytes[0], 255, kTolerance);  // blue
    EXPECT_EQ(scaler_.ScaledCount(), 3);
    scaler_.Stop();
}

TEST_F(WindowScalerTest, StopsWithWorkPendingAndDropsPicturesItCannotScale) {
    ASSERT_TRUE(scaler_.Start());
    scaler_.SetSize(16, 16);
    PresentedPicture broken = Solid(64, 36, kRed);
    broken.planes[0].clear();
    scaler_.Present(std::make_shared<const PresentedPicture>(std::move(broken)));
    EXPECT_FALSE(
        test::WaitUntil([&] { return ready_.load() > 0; }, std::chrono::milliseconds(100)));
    EXPECT_EQ(scaler_.Newest(), nullptr);
    for (int i = 0; i < 20; ++i) {
        scaler_.Present(std::make_shared<const PresentedPicture>(Solid(640, 360, kGrey)));
    }
    scaler_.Stop();
    EXPECT_LE(scaler_.ScaledCount(), 20);
}

}  // namespace
}  // namespace velmaro
