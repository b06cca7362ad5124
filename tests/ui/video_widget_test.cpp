#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <QTest>

#include "ui/video_widget.h"

namespace velmaro {
namespace {

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

// The surface needs OpenGL; the offscreen platform has none (CI runs these under Xvfb).
bool HaveOpenGl() { return QGuiApplication::platformName() != QStringLiteral("offscreen"); }

QColor CentreAfterPresent(VideoWidget& widget, PresentedPicture picture) {
    widget.Present(std::make_shared<const PresentedPicture>(std::move(picture)));
    QTest::qWait(50);  // the queued repaint
    const QImage image = widget.grabFramebuffer();
    return image.pixelColor(image.width() / 2, image.height() / 2);
}

// Known BT.601 limited-range colours must come out of the shader as their RGB values.
TEST(VideoWidget, Yv12PlanesAreConvertedWithBt601LimitedRange) {
    if (!HaveOpenGl()) {
        GTEST_SKIP() << "no OpenGL on this platform";
    }
    VideoWidget widget;
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
        const QColor got = CentreAfterPresent(widget, Yv12(64, 36, c.y, c.u, c.v));
        EXPECT_NEAR(got.red(), c.r, 4) << int(c.y);
        EXPECT_NEAR(got.green(), c.g, 4) << int(c.y);
        EXPECT_NEAR(got.blue(), c.b, 4) << int(c.y);
    }
    EXPECT_EQ(widget.PicturesPresented(), 5);
}

TEST(VideoWidget, RgbPicturesAreShownAndStretchedOverTheWidget) {
    if (!HaveOpenGl()) {
        GTEST_SKIP() << "no OpenGL on this platform";
    }
    VideoWidget widget;
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
    QTest::qWait(50);
    const QImage image = widget.grabFramebuffer();
    const QColor left = image.pixelColor(20, 100);
    const QColor right = image.pixelColor(380, 100);
    EXPECT_NEAR(left.red(), 255, 3);
    EXPECT_NEAR(left.green(), 128, 3);
    EXPECT_NEAR(left.blue(), 0, 3);
    EXPECT_NEAR(right.red(), 0, 3);
    EXPECT_NEAR(right.blue(), 128, 3);
}

}  // namespace
}  // namespace velmaro
