// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Mouse events go through the window system layer, as a user's do: enter and leave, the implicit
// grab of the pressed control and propagation to parents all take part.
#define QTEST_QPA_MOUSE_HANDLING

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>

#include "controls/color_static.h"
#include "controls/picture_static.h"
#include "controls/skin_label.h"
#include "tests/controls/skin_test_support.h"

namespace velmaro {
namespace {

using testing::Host;

const QColor kBlack(0, 0, 0);
const QColor kRed(255, 0, 0);
const QColor kBlue(0, 0, 255);

QColor Column(const QImage& image, int x) {
    return image.pixelColor(x, image.height() / 2);
}

TEST(ColorStatic, PaintsTheMarkedStretchOrAMarkerOverBlack) {
    ColorStatic bar;
    bar.resize(200, 4);
    EXPECT_EQ(Column(bar.grab().toImage(), 100), kBlack);  // total 0: all black

    bar.SetRange(100, 20, 60);
    QImage image = bar.grab().toImage();
    EXPECT_EQ(Column(image, 39), kBlack);
    EXPECT_EQ(Column(image, 40), kRed);
    EXPECT_EQ(Column(image, 119), kRed);
    EXPECT_EQ(Column(image, 120), kBlack);

    bar.SetRange(100, 50, 50);  // an empty stretch: a 5-pixel marker at its start
    image = bar.grab().toImage();
    EXPECT_EQ(Column(image, 99), kBlack);
    EXPECT_EQ(Column(image, 100), kBlue);
    EXPECT_EQ(Column(image, 104), kBlue);
    EXPECT_EQ(Column(image, 105), kBlack);

    bar.SetRange(100, 99, 0);  // the marker is cut at the right edge
    image = bar.grab().toImage();
    EXPECT_EQ(Column(image, 197), kBlack);
    EXPECT_EQ(Column(image, 198), kBlue);
    EXPECT_EQ(Column(image, 199), kBlue);

    bar.SetRange(100, 250, 300);  // beyond the total: nothing to mark
    image = bar.grab().toImage();
    EXPECT_EQ(Column(image, 199), kBlack);
}

TEST(PictureStatic, DrawsThePictureOverTheWholeControl) {
    Host host;
    auto* picture = new PictureStatic(&host);
    picture->setGeometry(10, 10, 40, 40);
    QPixmap quadrants(4, 4);
    {
        QPainter painter(&quadrants);
        painter.fillRect(0, 0, 4, 4, kRed);
        painter.fillRect(2, 2, 2, 2, kBlue);
    }
    picture->SetPicture(quadrants);
    ASSERT_TRUE(host.ShowAndWait());
    EXPECT_EQ(testing::PixelOf(host, QPoint(20, 20)), kRed);
    EXPECT_EQ(testing::PixelOf(host, QPoint(40, 40)), kBlue);

    EXPECT_FALSE(picture->SetPicture(-4711));
    EXPECT_EQ(testing::PixelOf(host, QPoint(40, 40)), Host::kBackground);
}

TEST(Label, SettersChainAndShapeTheText) {
    Host host;
    auto* label = new SkinLabel(&host);
    label->setGeometry(10, 10, 200, 40);
    const QColor text(250, 250, 250);
    label->SetText(QStringLiteral("SD Card"))
        .SetFontName(QStringLiteral("DejaVu Sans"))
        .SetFontSize(20)
        .SetFontBold(true)
        .SetTextColor(text)
        .SetTransparent(true);
    ASSERT_TRUE(host.ShowAndWait());
    EXPECT_EQ(label->Font().weight(), QFont::Bold);
    EXPECT_EQ(label->Font().pointSize(), 20);

    const QImage image = host.grab(label->geometry()).toImage();
    int textPixels = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            textPixels += image.pixelColor(x, y) == text ? 1 : 0;
        }
    }
    EXPECT_GT(textPixels, 50);
    // Transparent: the parent shows where there is no text.
    EXPECT_EQ(image.pixelColor(195, 2), Host::kBackground);

    label->SetBkColor(QColor(30, 30, 30));
    EXPECT_FALSE(label->IsTransparent());
    EXPECT_EQ(testing::PixelOf(host, QPoint(205, 12)), QColor(30, 30, 30));

    label->SetFontName(QString(40, QLatin1Char('a')));
    EXPECT_EQ(label->Font().family().size(), SkinLabel::kMaxFaceLength);
}

TEST(Label, LinkNotifiesTheParentWhenAsked) {
    Host host;
    auto* label = new SkinLabel(&host, QStringLiteral("details"));
    label->setGeometry(10, 10, 100, 20);
    ASSERT_TRUE(host.ShowAndWait());
    QSignalSpy clicked(label, &SkinLabel::Clicked);
    QTest::mouseClick(label, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(clicked.count(), 0);
    label->SetLink(true, true);
    QTest::mouseClick(label, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(clicked.count(), 1);
}

}  // namespace
}  // namespace velmaro
