// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Mouse events go through the window system layer, as a user's do: enter and leave, the implicit
// grab of the pressed control and propagation to parents all take part.
#define QTEST_QPA_MOUSE_HANDLING

#include <gtest/gtest.h>

#include <QTest>

#include "controls/skin_dialog.h"
#include "controls/skin_label.h"
#include "tests/controls/skin_test_support.h"

namespace velmaro {
namespace {

using testing::Host;

constexpr QSize kSkin(200, 100);
constexpr int kStripLeft = 100;  // W / 2
constexpr int kStripWidth = 20;  // W / 10
const QColor kCentre(1, 2, 3);

// Every pixel of the skin tells where it came from: red = x, green = y, blue = 255, except
// the centre pixel, whose colour fills what the skin leaves uncovered.
QPixmap CoordinateSkin() {
    QImage image(kSkin, QImage::Format_RGB32);
    for (int y = 0; y < kSkin.height(); ++y) {
        for (int x = 0; x < kSkin.width(); ++x) {
            image.setPixelColor(x, y, QColor(x, y, 255));
        }
    }
    image.setPixelColor(kSkin.width() / 2, kSkin.height() / 2, kCentre);
    return QPixmap::fromImage(image);
}

// The skin pixel a client pixel was copied from, or (-1, -1) for the fill colour.
QPoint SourceOf(const QImage& client, QPoint at) {
    const QColor color = client.pixelColor(at);
    if (color == kCentre) {
        return QPoint(-1, -1);
    }
    EXPECT_EQ(color.blue(), 255) << at.x() << "," << at.y();
    return QPoint(color.red(), color.green());
}

class SkinDialogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dialog = new SkinDialog(&host, SkinDialog::Placement::kChild);
        dialog->SetSkin(CoordinateSkin());
        dialog->setGeometry(0, 0, 800, 600);
        ASSERT_TRUE(host.ShowAndWait());
    }

    Host host{QSize(900, 700)};
    SkinDialog* dialog = nullptr;
};

TEST_F(SkinDialogTest, EdgesStretchTenthWideStripsBetweenUnscaledCorners) {
    const QImage client = dialog->grab().toImage();
    // Top edge: the 20 columns from x = 100 spread over the 600 pixels between the corners.
    for (int block = 0; block < kStripWidth; ++block) {
        const int x = kStripLeft + block * 30 + 15;
        EXPECT_EQ(SourceOf(client, QPoint(x, 10)), QPoint(kStripLeft + block, 10)) << x;
        EXPECT_EQ(SourceOf(client, QPoint(x, 560)), QPoint(kStripLeft + block, 61)) << x;
    }
    // Left and right edges: the 10 rows from y = 50 spread over the 500 pixels.
    EXPECT_EQ(SourceOf(client, QPoint(3, 75)), QPoint(3, 50));
    EXPECT_EQ(SourceOf(client, QPoint(3, 525)), QPoint(3, 59));
    EXPECT_EQ(SourceOf(client, QPoint(750, 300)), QPoint(151, 55));

    // Corners unscaled; the right and bottom ones one pixel in from the client's edge.
    EXPECT_EQ(SourceOf(client, QPoint(0, 0)), QPoint(0, 0));
    EXPECT_EQ(SourceOf(client, QPoint(798, 0)), QPoint(199, 0));
    EXPECT_EQ(SourceOf(client, QPoint(0, 598)), QPoint(0, 99));
    EXPECT_EQ(SourceOf(client, QPoint(798, 598)), QPoint(199, 99));
    EXPECT_EQ(SourceOf(client, QPoint(799, 300)), QPoint(-1, -1));

    // The middle is left to the child controls.
    EXPECT_EQ(SourceOf(client, QPoint(400, 300)), QPoint(-1, -1));
}

TEST_F(SkinDialogTest, ResizeRecomposesTheFrame) {
    dialog->resize(300, 160);
    const QImage client = dialog->grab().toImage();
    EXPECT_EQ(SourceOf(client, QPoint(298, 158)), QPoint(199, 99));
    EXPECT_EQ(SourceOf(client, QPoint(150, 5)).y(), 5);
}

TEST_F(SkinDialogTest, WithoutASkinTheBackgroundIsPlain) {
    auto* plain = new SkinDialog(&host, SkinDialog::Placement::kChild);
    plain->SetSkin(-4711);
    plain->setGeometry(820, 10, 50, 50);
    plain->show();
    EXPECT_FALSE(plain->HasSkin());
    EXPECT_EQ(testing::PixelOf(*plain, QPoint(25, 25)), plain->palette().color(QPalette::Window));
}

TEST_F(SkinDialogTest, CornerEllipseRoundsTheRegionAtEverySize) {
    dialog->SetCornerEllipse(40, 40);
    EXPECT_FALSE(dialog->mask().contains(QPoint(1, 1)));
    EXPECT_TRUE(dialog->mask().contains(QPoint(400, 300)));
    EXPECT_TRUE(dialog->mask().contains(QPoint(30, 1)));
    dialog->resize(300, 200);
    EXPECT_FALSE(dialog->mask().contains(QPoint(298, 198)));
    EXPECT_TRUE(dialog->mask().contains(QPoint(290, 100)));
    dialog->SetCornerEllipse(0, 0);
    EXPECT_TRUE(dialog->mask().isEmpty());
}

// The pointer keeps its place on a dialog that follows it, so each release is given at the
// press point again.
TEST_F(SkinDialogTest, DraggedByItsBackgroundAndItsLabels) {
    dialog->resize(300, 200);
    dialog->move(50, 50);
    QTest::mousePress(dialog, Qt::LeftButton, {}, QPoint(150, 100));
    QTest::mouseMove(dialog, QPoint(180, 120));
    EXPECT_EQ(dialog->pos(), QPoint(80, 70));
    QTest::mouseRelease(dialog, Qt::LeftButton, {}, QPoint(150, 100));
    EXPECT_EQ(dialog->pos(), QPoint(80, 70));

    auto* label = new SkinLabel(dialog, QStringLiteral("Setup"));
    label->setGeometry(10, 10, 80, 20);
    label->show();
    QTest::mousePress(label, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseMove(label, QPoint(15, 5));
    QTest::mouseRelease(label, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(dialog->pos(), QPoint(90, 70));

    dialog->SetDraggable(false);
    QTest::mousePress(dialog, Qt::LeftButton, {}, QPoint(150, 100));
    QTest::mouseMove(dialog, QPoint(180, 120));
    QTest::mouseRelease(dialog, Qt::LeftButton, {}, QPoint(180, 120));
    EXPECT_EQ(dialog->pos(), QPoint(90, 70));
}

}  // namespace
}  // namespace velmaro
