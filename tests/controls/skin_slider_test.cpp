// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Mouse events go through the window system layer, as a user's do: enter and leave, the implicit
// grab of the pressed control and propagation to parents all take part.
#define QTEST_QPA_MOUSE_HANDLING

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>

#include "controls/bitmap_slider.h"
#include "controls/skin_slider_button.h"
#include "platform/message_sink.h"
#include "tests/controls/skin_test_support.h"

namespace velmaro {
namespace {

using testing::Host;
using testing::PixelOf;
using testing::SolidStrip;

struct Message {
    quint32 code;
    int id;
    int position;
    bool operator==(const Message&) const = default;
};

std::vector<Message> Messages(const QSignalSpy& spy) {
    std::vector<Message> messages;
    for (const QList<QVariant>& args : spy) {
        messages.push_back({args.at(0).toUInt(), args.at(1).toInt(), args.at(2).toInt()});
    }
    return messages;
}

void PrintTo(const Message& m, std::ostream* out) {
    *out << "{" << m.code << ", " << m.id << ", " << m.position << "}";
}

// ---------------------------------------------------------------------------------------------

constexpr QSize kTrackFrame(200, 20);
constexpr QSize kThumb(10, 10);
constexpr int kSliderId = 7;
const QColor kThumbColor(0, 0, 64);

class SkinSldButtonTest : public ::testing::Test {
  protected:
    void SetUp() override {
        bar = new SkinSliderButton(&host);
        bar->SetSkin(SolidStrip(kTrackFrame));
        QPixmap thumb(kThumb);
        thumb.fill(kThumbColor);
        bar->SetThumb(thumb);
        bar->SetRange(0, 100);
        bar->SetIdentifier(kSliderId);
        bar->move(20, 20);
        ASSERT_TRUE(host.ShowAndWait());
    }

    static QPoint At(int x) { return QPoint(x, kTrackFrame.height() / 2); }

    Host host;
    SkinSliderButton* bar = nullptr;
};

TEST_F(SkinSldButtonTest, PressMoveAndReleaseReportIdentifierAndPosition) {
    QSignalSpy spy(bar, &SkinSliderButton::Notify);
    QTest::mousePress(bar, Qt::LeftButton, {}, At(51));  // 25.5 rounds up
    EXPECT_TRUE(bar->IsDragging());
    QTest::mouseMove(bar, At(100));
    QTest::mouseMove(bar, At(99));  // 49.5 rounds to 50 again: no message
    QTest::mouseMove(bar, At(150));
    QTest::mouseRelease(bar, Qt::LeftButton, {}, At(150));
    EXPECT_FALSE(bar->IsDragging());

    const std::vector<Message> expected = {{kMsgThumbPressed, kSliderId, 26},
                                           {kMsgThumbMoved, kSliderId, 50},
                                           {kMsgThumbMoved, kSliderId, 75},
                                           {kMsgThumbReleased, kSliderId, 75}};
    EXPECT_EQ(Messages(spy), expected);
    EXPECT_EQ(bar->GetPos(), 75);
    EXPECT_DOUBLE_EQ(bar->Fraction(), 0.75);
}

TEST_F(SkinSldButtonTest, DraggingPastTheEndsReleasesInsideTheRange) {
    QSignalSpy spy(bar, &SkinSliderButton::Notify);
    QTest::mousePress(bar, Qt::LeftButton, {}, At(190));
    QTest::mouseMove(bar, At(300));
    QTest::mouseRelease(bar, Qt::LeftButton, {}, At(300));
    std::vector<Message> expected = {{kMsgThumbPressed, kSliderId, 95},
                                     {kMsgThumbMoved, kSliderId, 150},
                                     {kMsgThumbReleased, kSliderId, 100}};
    EXPECT_EQ(Messages(spy), expected);
    EXPECT_EQ(bar->ThumbRect().right(), kTrackFrame.width() - 1);

    // Beyond the start the moves go negative, but the release never does: owners treat
    // negative seek positions as requests of their own.
    spy.clear();
    QTest::mousePress(bar, Qt::LeftButton, {}, At(10));
    QTest::mouseMove(bar, At(-100));
    QTest::mouseRelease(bar, Qt::LeftButton, {}, At(-100));
    expected = {{kMsgThumbPressed, kSliderId, 5},
                {kMsgThumbMoved, kSliderId, -50},
                {kMsgThumbReleased, kSliderId, 0}};
    EXPECT_EQ(Messages(spy), expected);
    EXPECT_EQ(bar->ThumbRect().left(), 0);
}

TEST_F(SkinSldButtonTest, ThumbSitsAtTheFractionAndIsCombinedByOr) {
    bar->SetPos(50);
    EXPECT_EQ(bar->ThumbRect(), QRect(QPoint(95, 5), kThumb));
    bar->SetPos(-20);
    EXPECT_EQ(bar->ThumbRect().topLeft(), QPoint(0, 5));
    bar->SetPos(100);
    EXPECT_EQ(bar->ThumbRect().topLeft(), QPoint(190, 5));

    // Track frame 0 is (200, 30, 30); ORed with the thumb's (0, 0, 64) it gives (200, 30, 94).
    const QPoint thumbCentre = bar->pos() + bar->ThumbRect().center();
    EXPECT_EQ(PixelOf(host, thumbCentre), QColor(200, 30, 30 | 64));

    // Black in the thumb bitmap leaves the bar as it is.
    QPixmap black(kThumb);
    black.fill(Qt::black);
    bar->SetThumb(black);
    EXPECT_EQ(PixelOf(host, thumbCentre), QColor(200, 30, 30));

    // An empty range keeps the thumb at the start instead of dividing by zero.
    bar->SetRange(5, 5);
    bar->SetPos(5);
    EXPECT_EQ(bar->Fraction(), 0.0);
}

TEST_F(SkinSldButtonTest, SpeedRangeRoundsToTheNearestStep) {
    bar->SetSkin(SolidStrip(QSize(199, 10)));
    bar->SetRange(0, 8);
    QSignalSpy spy(bar, &SkinSliderButton::Notify);
    QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(100, 5));  // 4.02
    QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(112, 5));  // 4.50 rounds up
    ASSERT_EQ(spy.count(), 4);
    EXPECT_EQ(spy.at(1).at(2).toInt(), 4);
    EXPECT_EQ(spy.at(3).at(2).toInt(), 5);
}

// ---------------------------------------------------------------------------------------------

constexpr QSize kChannel(120, 20);
constexpr int kThumbSide = 20;
constexpr int kControlId = 1234;
const QColor kChannelColor(40, 40, 40);
const QColor kActiveChannelColor(250, 150, 0);
const QColor kThumbNormal(0, 200, 0);
const QColor kThumbActive(0, 0, 220);
const QColor kKey(255, 0, 255);

QPixmap Filled(QSize size, const QColor& color) {
    QPixmap pixmap(size);
    pixmap.fill(color);
    return pixmap;
}

// A square thumb with corners in the key colour.
QPixmap KeyedThumb(const QColor& color) {
    QPixmap thumb = Filled(QSize(kThumbSide, kThumbSide), color);
    QPainter painter(&thumb);
    painter.fillRect(0, 0, 4, 4, kKey);
    return thumb;
}

class BitmapSliderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        slider = new BitmapSlider(&host, kControlId);
        slider->SetBitmapChannel(Filled(kChannel, kChannelColor),
                                 Filled(kChannel, kActiveChannelColor));
        slider->SetBitmapThumb(KeyedThumb(kThumbNormal), KeyedThumb(kThumbActive), kKey);
        slider->setGeometry(QRect(QPoint(20, 20), kChannel));
        ASSERT_TRUE(host.ShowAndWait());
    }

    QColor At(int x, int y = 10) { return PixelOf(host, slider->pos() + QPoint(x, y)); }

    Host host;
    BitmapSlider* slider = nullptr;
};

TEST_F(BitmapSliderTest, PositionsMapOntoTheFreeTrack) {
    // Free track: 120 - 20 = 100 pixels; the thumb centre runs from 10 to 110.
    slider->SetPos(0);
    EXPECT_EQ(slider->ThumbCentre(), 10);
    slider->SetPos(50);
    EXPECT_EQ(slider->ThumbCentre(), 60);
    slider->SetPos(100);
    EXPECT_EQ(slider->ThumbCentre(), 110);
    slider->SetMargin(10, 0, 10, 0);
    slider->SetPos(50);
    EXPECT_EQ(slider->ThumbCentre(), 60);
    slider->SetPos(100);
    EXPECT_EQ(slider->ThumbCentre(), 100);
}

TEST_F(BitmapSliderTest, DragReportsMovingPositionsAndTheReleasedOne) {
    slider->SetPos(50);
    QSignalSpy spy(slider, &BitmapSlider::Notify);
    // Grabbed 3 pixels right of the centre: the thumb does not jump.
    QTest::mousePress(slider, Qt::LeftButton, {}, QPoint(63, 10));
    EXPECT_TRUE(slider->IsThumbActive());
    EXPECT_EQ(spy.count(), 0);
    QTest::mouseMove(slider, QPoint(83, 10));
    QTest::mouseMove(slider, QPoint(500, 10));  // held at the end of the track
    QTest::mouseRelease(slider, Qt::LeftButton, {}, QPoint(500, 10));
    EXPECT_FALSE(slider->IsThumbActive());
    const std::vector<Message> expected = {{kMsgBitmapSliderMoving, kControlId, 70},
                                           {kMsgBitmapSliderMoving, kControlId, 100},
                                           {kMsgBitmapSliderReleased, kControlId, 100}};
    EXPECT_EQ(Messages(spy), expected);
}

TEST_F(BitmapSliderTest, PressAwayFromTheThumbJumpsItThere) {
    QSignalSpy spy(slider, &BitmapSlider::Notify);
    QTest::mousePress(slider, Qt::LeftButton, {}, QPoint(90, 10));
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.at(0).at(2).toInt(), 80);
    QTest::mouseMove(slider, QPoint(-50, 10));
    EXPECT_EQ(slider->GetPos(), 0);
    QTest::mouseRelease(slider, Qt::LeftButton, {}, QPoint(-50, 10));
}

TEST_F(BitmapSliderTest, DisabledSliderIgnoresTheMouse) {
    slider->setEnabled(false);
    QSignalSpy spy(slider, &BitmapSlider::Notify);
    QTest::mouseClick(slider, Qt::LeftButton, {}, QPoint(90, 10));
    EXPECT_EQ(spy.count(), 0);
    EXPECT_EQ(slider->GetPos(), 0);
}

TEST_F(BitmapSliderTest, KeysStepWithinTheRange) {
    QSignalSpy spy(slider, &BitmapSlider::Notify);
    QTest::keyClick(slider, Qt::Key_End);
    QTest::keyClick(slider, Qt::Key_PageUp);
    QTest::keyClick(slider, Qt::Key_Left);
    QTest::keyClick(slider, Qt::Key_Home);
    QTest::keyClick(slider, Qt::Key_Left);  // already at the minimum: nothing to report
    const std::vector<Message> expected = {{kMsgBitmapSliderReleased, kControlId, 100},
                                           {kMsgBitmapSliderReleased, kControlId, 80},
                                           {kMsgBitmapSliderReleased, kControlId, 79},
                                           {kMsgBitmapSliderReleased, kControlId, 0}};
    EXPECT_EQ(Messages(spy), expected);
}

TEST_F(BitmapSliderTest, ActiveChannelUpToTheThumbAndActiveThumbWhileDragging) {
    slider->SetDrawFocusRect(false);
    slider->SetPos(50);
    EXPECT_EQ(At(30), kActiveChannelColor);
    EXPECT_EQ(At(90), kChannelColor);
    EXPECT_EQ(At(60), kThumbNormal);
    // The keyed corner of the thumb shows the channel beneath.
    EXPECT_EQ(At(51, 1), kActiveChannelColor);

    QTest::mousePress(slider, Qt::LeftButton, {}, QPoint(60, 10));
    EXPECT_EQ(At(60), kThumbActive);
    QTest::mouseRelease(slider, Qt::LeftButton, {}, QPoint(60, 10));
    EXPECT_EQ(At(60), kThumbNormal);
}

}  // namespace
}  // namespace velmaro
