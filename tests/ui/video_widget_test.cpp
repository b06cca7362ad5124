// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The video widget on both drawing paths, read back from the screen: colours, stretching, a held
// picture surviving a move to another top-level window, and which path a renderer gets.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <QTest>
#include <cstdlib>
#include <memory>

#include "tests/ui/video_surface_support.h"
#include "ui/video/video_path.h"
#include "ui/video/video_widget.h"

namespace velmaro {
namespace {

using test::Near;
using test::WaitForScreen;

// Conversion, and on the OpenGL path the texture filter.
constexpr int kTolerance = 4;

PresentedPicture Yv12(int w, int h, uint8_t y, uint8_t u, uint8_t v) {
    PresentedPicture p;
    p.format = PictureFormat::kYv12;
    p.width = w;
    p.height = h;
    p.planes[0].assign(static_cast<size_t>(w) * h, y);
    p.planes[1].assign(static_cast<size_t>(w / 2) * (h / 2), u);
    p.planes[2].assign(static_cast<size_t>(w / 2) * (h / 2), v);
    p.strides[0] = w;
    p.strides[1] = p.strides[2] = w / 2;
    return p;
}

QColor Centre(const QImage& image) {
    return image.pixelColor(image.width() / 2, image.height() / 2);
}

bool CentreIs(const QImage& image, int r, int g, int b) {
    return Near(Centre(image), r, g, b, kTolerance);
}

class VideoWidgetPaths : public ::testing::TestWithParam<VideoPath> {
  protected:
    void SetUp() override {
        if (!test::PathAvailable(GetParam())) {
            GTEST_SKIP() << "no OpenGL on this platform";
        }
    }
};

// Known BT.601 limited-range colours must come out as their RGB values.
TEST_P(VideoWidgetPaths, Yv12PlanesAreConvertedWithBt601LimitedRange) {
    VideoWidget widget(nullptr, GetParam());
    ASSERT_EQ(widget.Path(), GetParam());
    widget.resize(320, 180);
    widget.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&widget));
    struct Case {
        uint8_t y, u, v;
        int r, g, b;
    } cases[] = {
        {235, 128, 128, 255, 255, 255},  // white
        {16, 128, 128, 0, 0, 0},         // black
        {81, 90, 240, 255, 0, 0},        // red
        {145, 54, 34, 0, 255, 0},        // green
        {41, 240, 110, 0, 0, 255},       // blue
    };
    for (const Case& c : cases) {
        widget.Present(std::make_shared<const PresentedPicture>(Yv12(64, 36, c.y, c.u, c.v)));
        const QColor got = Centre(
            WaitForScreen(widget, [&](const QImage& i) { return CentreIs(i, c.r, c.g, c.b); }));
        EXPECT_NEAR(got.red(), c.r, kTolerance) << int(c.y);
        EXPECT_NEAR(got.green(), c.g, kTolerance) << int(c.y);
        EXPECT_NEAR(got.blue(), c.b, kTolerance) << int(c.y);
    }
    EXPECT_EQ(widget.PicturesPresented(), 5);
}

TEST_P(VideoWidgetPaths, RgbPicturesAreShownAndStretchedOverTheWidget) {
    VideoWidget widget(nullptr, GetParam());
    widget.resize(400, 200);
    widget.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&widget));
    PresentedPicture p;
    p.format = PictureFormat::kRgb32;
    p.width = 4;
    p.height = 2;
    p.strides[0] = 16;
    // Left half orange (B=0, G=128, R=255), right half teal.
    for (int row = 0; row < 2; ++row) {
        for (int x = 0; x < 4; ++x) {
            const bool left = x < 2;
            p.planes[0].insert(p.planes[0].end(), {uint8_t(left ? 0 : 128), uint8_t(128),
                                                   uint8_t(left ? 255 : 0), uint8_t(255)});
        }
    }
    widget.Present(std::make_shared<const PresentedPicture>(std::move(p)));
    const QImage image = WaitForScreen(widget, [](const QImage& i) {
        return Near(i.pixelColor(20, 100), 255, 128, 0, 3) &&
               Near(i.pixelColor(380, 100), 0, 128, 128, 3);
    });
    const QColor left = image.pixelColor(20, 100);
    const QColor right = image.pixelColor(380, 100);
    EXPECT_NEAR(left.red(), 255, 3);
    EXPECT_NEAR(left.green(), 128, 3);
    EXPECT_NEAR(left.blue(), 0, 3);
    EXPECT_NEAR(right.red(), 0, 3);
    EXPECT_NEAR(right.blue(), 128, 3);
}

// Docking the video out (floating) or going full screen puts the surface into another top-level
// window; on the OpenGL path that means a new context with empty textures. A paused player
// presents nothing new, or only the same picture again: it must still be seen.
TEST_P(VideoWidgetPaths, HeldPictureIsDrawnAgainAfterMovingToAnotherTopLevelWindow) {
    QWidget docked;
    QWidget floating;
    QWidget fullScreen(nullptr, Qt::Window);
    // Declared after its windows, so it is gone before them; then it has no parent to leave.
    auto widget = std::make_unique<VideoWidget>(&docked, GetParam());
    docked.resize(320, 180);
    widget->setGeometry(0, 0, 320, 180);
    docked.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&docked));
    const PictureRef red = std::make_shared<const PresentedPicture>(Yv12(64, 36, 81, 90, 240));
    widget->Present(red);
    const auto showsRed = [](const QImage& i) { return CentreIs(i, 255, 0, 0); };
    ASSERT_TRUE(showsRed(WaitForScreen(*widget, showsRed))) << "before the move";

    floating.resize(400, 240);
    widget->setParent(&floating);
    widget->setGeometry(0, 0, 400, 240);
    widget->show();
    floating.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&floating));
    EXPECT_TRUE(showsRed(WaitForScreen(*widget, showsRed))) << "floating, nothing presented";
    widget->Present(red);  // the held picture again, as the paused worker does
    QTest::qWait(50);
    EXPECT_TRUE(showsRed(WaitForScreen(*widget, showsRed))) << "floating, presented again";

    widget->setParent(&fullScreen);
    widget->setGeometry(0, 0, 1920, 1080);
    widget->show();
    fullScreen.showFullScreen();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&fullScreen));
    EXPECT_TRUE(showsRed(WaitForScreen(*widget, showsRed))) << "full screen";
    widget->Present(red);
    QTest::qWait(50);
    EXPECT_TRUE(showsRed(WaitForScreen(*widget, showsRed))) << "full screen, presented again";
}

std::string ParamName(const ::testing::TestParamInfo<VideoPath>& path) {
    return test::PathName(path.param);
}

INSTANTIATE_TEST_SUITE_P(BothPaths, VideoWidgetPaths,
                         ::testing::Values(VideoPath::kOpenGl, VideoPath::kSoftware), ParamName);

// The software path scales a picture once per size it is shown at, however often it comes.
TEST(VideoWidgetSoftware, HeldPictureIsScaledOncePerSize) {
    VideoWidget widget(nullptr, VideoPath::kSoftware);
    widget.resize(320, 180);
    widget.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&widget));
    const PictureRef green = std::make_shared<const PresentedPicture>(Yv12(64, 36, 145, 54, 34));
    const auto showsGreen = [](const QImage& i) { return CentreIs(i, 0, 255, 0); };
    widget.Present(green);
    ASSERT_TRUE(showsGreen(WaitForScreen(widget, showsGreen)));
    for (int again = 0; again < 5; ++again) {
        widget.Present(green);
    }
    QTest::qWait(100);
    EXPECT_EQ(widget.PicturesScaled(), 1);

    widget.resize(500, 300);
    const QImage larger = WaitForScreen(widget, [&](const QImage& i) {
        return widget.PicturesScaled() == 2 && Near(i.pixelColor(490, 290), 0, 255, 0, kTolerance);
    });
    EXPECT_EQ(widget.PicturesScaled(), 2);
    EXPECT_TRUE(Near(larger.pixelColor(490, 290), 0, 255, 0, kTolerance)) << "bottom right";

    widget.Present(std::make_shared<const PresentedPicture>(Yv12(64, 36, 41, 240, 110)));
    EXPECT_TRUE(CentreIs(
        WaitForScreen(widget, [](const QImage& i) { return CentreIs(i, 0, 0, 255); }), 0, 0, 255));
    EXPECT_EQ(widget.PicturesScaled(), 3);
}

TEST(VideoPathChoice, SoftwareRenderersAreRecognisedByTheirNames) {
    for (const char* name : {"llvmpipe (LLVM 15.0.6, 256 bits)", "softpipe", "SwiftShader Device",
                             "Software Rasterizer", "Mesa OffScreen llvmpipe"}) {
        EXPECT_TRUE(IsSoftwareRenderer(QString::fromLatin1(name))) << name;
    }
    for (const char* name :
         {"Mesa Intel(R) UHD Graphics 620 (KBL GT2)", "NVIDIA GeForce RTX 3060/PCIe/SSE2",
          "AMD Radeon RX 6600 (navi23, LLVM 15.0.6, DRM 3.49, 6.1.0)"}) {
        EXPECT_FALSE(IsSoftwareRenderer(QString::fromLatin1(name))) << name;
    }
}

TEST(VideoPathChoice, EnvironmentForcesAPathUnlessOneIsAskedFor) {
    const QByteArray saved = qgetenv(kVideoPathVariable);
    qputenv(kVideoPathVariable, "software");
    EXPECT_EQ(ChooseVideoPath(VideoPath::kAuto), VideoPath::kSoftware);
    EXPECT_EQ(ChooseVideoPath(VideoPath::kOpenGl), VideoPath::kOpenGl);
    qputenv(kVideoPathVariable, "gl");
    EXPECT_EQ(ChooseVideoPath(VideoPath::kAuto), VideoPath::kOpenGl);
    EXPECT_EQ(ChooseVideoPath(VideoPath::kSoftware), VideoPath::kSoftware);
    // Anything else leaves the choice to the renderer.
    qputenv(kVideoPathVariable, "vulkan");
    const QString renderer = OpenGlRenderer();
    EXPECT_EQ(ChooseVideoPath(VideoPath::kAuto), renderer.isEmpty() || IsSoftwareRenderer(renderer)
                                                     ? VideoPath::kSoftware
                                                     : VideoPath::kOpenGl)
        << renderer.toStdString();
    if (saved.isNull()) {
        qunsetenv(kVideoPathVariable);
    } else {
        qputenv(kVideoPathVariable, saved);
    }
}

}  // namespace
}  // namespace velmaro
