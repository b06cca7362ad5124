// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Mouse events go through the window system layer, as a user's do: enter and leave, the implicit
// grab of the pressed control and propagation to parents all take part.
#define QTEST_QPA_MOUSE_HANDLING

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>

#include "controls/skin_button.h"
#include "controls/skin_button_group.h"
#include "platform/message_sink.h"
#include "tests/controls/skin_test_support.h"

namespace velmaro {
namespace {

using testing::FrameColor;
using testing::Host;
using testing::PixelOf;
using testing::SolidStrip;

constexpr QSize kFrame(40, 20);
const QPoint kInside(20, 10);

class SkinButtonTest : public ::testing::Test {
  protected:
    void SetUp() override {
        button = MakeButton(QPoint(10, 10));
        ASSERT_TRUE(host.ShowAndWait());
    }

    SkinButton* MakeButton(QPoint at, SkinButton::Mode mode = SkinButton::Mode::kPush) {
        auto* made = new SkinButton(&host, mode);
        made->move(at);
        made->SetSkin(SolidStrip(kFrame));
        made->show();
        return made;
    }

    // The frame the control shows, read back from its pixels.
    int DrawnFrame(SkinButton* control) {
        const QColor drawn = PixelOf(host, control->geometry().center());
        for (int frame = 0; frame < SkinButton::kFrameCount; ++frame) {
            if (drawn == FrameColor(frame)) {
                return frame;
            }
        }
        return -1;
    }

    // Leaves the pointer on the host away from the buttons; two steps, because a move to where
    // the pointer already is (after an earlier test) is no move at all.
    void MoveOutside() {
        QTest::mouseMove(&host, QPoint(299, 249));
        QTest::mouseMove(&host, QPoint(300, 250));
    }

    Host host;
    SkinButton* button = nullptr;
};

TEST_F(SkinButtonTest, StripOfFourFramesSizesTheButtonWithoutMovingIt) {
    auto* wide = MakeButton(QPoint(30, 40));
    wide->SetSkin(SolidStrip(QSize(100, 30)));
    EXPECT_EQ(wide->size(), QSize(100, 30));
    EXPECT_EQ(wide->FrameSize(), QSize(100, 30));
    EXPECT_EQ(wide->pos(), QPoint(30, 40));
    EXPECT_EQ(DrawnFrame(wide), SkinButton::kFrameNormal);

    // An id the skin set lacks leaves the control without a skin: nothing of a strip is drawn.
    wide->SetSkin(-4711);
    EXPECT_FALSE(wide->HasSkin());
    EXPECT_EQ(wide->size(), QSize(100, 30));
    EXPECT_EQ(PixelOf(host, wide->geometry().center()), Host::kBackground);
}

TEST_F(SkinButtonTest, HoverAndPressedFramesFollowTheMouse) {
    MoveOutside();
    EXPECT_EQ(DrawnFrame(button), SkinButton::kFrameNormal);
    QTest::mouseMove(button, kInside);
    EXPECT_TRUE(button->IsHovered());
    EXPECT_EQ(DrawnFrame(button), SkinButton::kFrameHover);

    QSignalSpy clicked(button, &QAbstractButton::clicked);
    QTest::mousePress(button, Qt::LeftButton, {}, kInside);
    EXPECT_TRUE(button->IsPressed());
    EXPECT_EQ(DrawnFrame(button), SkinButton::kFramePressed);

    // Held down, the button looks pushed exactly while the pointer is over it.
    QTest::mouseMove(button, QPoint(200, 100));
    EXPECT_EQ(DrawnFrame(button), SkinButton::kFrameNormal);
    QTest::mouseMove(button, kInside);
    EXPECT_EQ(DrawnFrame(button), SkinButton::kFramePressed);

    QTest::mouseRelease(button, Qt::LeftButton, {}, kInside);
    EXPECT_FALSE(button->IsPressed());
    EXPECT_EQ(clicked.count(), 1);
    QTest::mouseMove(button, kInside + QPoint(1, 0));
    EXPECT_EQ(DrawnFrame(button), SkinButton::kFrameHover);

    MoveOutside();
    EXPECT_FALSE(button->IsHovered());
    EXPECT_EQ(DrawnFrame(button), SkinButton::kFrameNormal);
}

TEST_F(SkinButtonTest, CheckBoxTogglesOnClickAndSpaceOnlyWhenReleasedOverIt) {
    auto* check = MakeButton(QPoint(100, 10), SkinButton::Mode::kCheck);
    QSignalSpy changed(check, &SkinButton::CheckChanged);

    QTest::mouseClick(check, Qt::LeftButton, {}, kInside);
    EXPECT_TRUE(check->GetCheck());
    MoveOutside();
    EXPECT_EQ(DrawnFrame(check), SkinButton::kFramePressed);

    QTest::mouseClick(check, Qt::LeftButton, {}, kInside);
    EXPECT_FALSE(check->GetCheck());

    QTest::mousePress(check, Qt::LeftButton, {}, kInside);
    QTest::mouseRelease(check, Qt::LeftButton, {}, QPoint(-30, 50));
    EXPECT_FALSE(check->GetCheck());

    check->setFocus();
    QTest::keyClick(check, Qt::Key_Space);
    EXPECT_TRUE(check->GetCheck());
    EXPECT_EQ(changed.count(), 3);
}

TEST_F(SkinButtonTest, PushButtonStaysUnchecked) {
    button->SetCheck(true);
    EXPECT_FALSE(button->GetCheck());
    QTest::mouseClick(button, Qt::LeftButton, {}, kInside);
    EXPECT_FALSE(button->GetCheck());
}

TEST_F(SkinButtonTest, CheckingARadioButtonUnchecksTheRestOfItsGroupOnly) {
    SkinButtonGroup group;
    SkinButtonGroup otherGroup;
    std::vector<SkinButton*> radios;
    for (int i = 0; i < 3; ++i) {
        radios.push_back(MakeButton(QPoint(10 + 50 * i, 60), SkinButton::Mode::kRadio));
        group.Add(radios.back());
    }
    auto* memberCheck = MakeButton(QPoint(160, 60), SkinButton::Mode::kCheck);
    group.Add(memberCheck);
    auto* outsider = MakeButton(QPoint(10, 120), SkinButton::Mode::kRadio);
    otherGroup.Add(outsider);

    radios[0]->SetCheck(true);
    memberCheck->SetCheck(true);
    outsider->SetCheck(true);
    QSignalSpy sent(radios[1], &SkinButton::GroupMessage);

    QTest::mouseClick(radios[1], Qt::LeftButton, {}, kInside);
    ASSERT_EQ(sent.count(), 1);
    EXPECT_EQ(sent.at(0).at(0).toUInt(), kMsgRadioUncheck);
    EXPECT_EQ(sent.at(0).at(1).toInt(), 0);
    EXPECT_EQ(sent.at(0).at(2).toInt(), 0);
    EXPECT_FALSE(radios[0]->GetCheck());
    EXPECT_TRUE(radios[1]->GetCheck());
    EXPECT_FALSE(radios[2]->GetCheck());
    EXPECT_FALSE(memberCheck->GetCheck());
    EXPECT_TRUE(outsider->GetCheck());
    MoveOutside();
    EXPECT_EQ(DrawnFrame(radios[0]), SkinButton::kFrameNormal);
    EXPECT_EQ(DrawnFrame(radios[1]), SkinButton::kFramePressed);

    // Clicking a checked radio button keeps it checked and tells nobody again.
    QTest::mouseClick(radios[1], Qt::LeftButton, {}, kInside);
    EXPECT_TRUE(radios[1]->GetCheck());
    EXPECT_EQ(sent.count(), 1);
}

TEST_F(SkinButtonTest, DisabledButtonIgnoresClicksAndShowsItsDisabledFrame) {
    auto* check = MakeButton(QPoint(100, 10), SkinButton::Mode::kCheck);
    QSignalSpy clicked(check, &QAbstractButton::clicked);
    check->setEnabled(false);
    MoveOutside();
    QTest::mouseMove(check, kInside);
    QTest::mouseClick(check, Qt::LeftButton, {}, kInside);
    QTest::keyClick(check, Qt::Key_Space);
    EXPECT_EQ(clicked.count(), 0);
    EXPECT_FALSE(check->GetCheck());
    EXPECT_EQ(DrawnFrame(check), SkinButton::kFrameDisabled);
}

TEST_F(SkinButtonTest, LosingFocusWhilePressedReleasesTheButton) {
    auto* other = MakeButton(QPoint(100, 10));
    host.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&host));
    QTest::mousePress(button, Qt::LeftButton, {}, kInside);
    ASSERT_TRUE(button->hasFocus());
    other->setFocus();
    EXPECT_FALSE(button->IsPressed());
    EXPECT_FALSE(button->isDown());
    QTest::mouseRelease(button, Qt::LeftButton, {}, kInside);
}

TEST_F(SkinButtonTest, MaskModeShowsTheBackgroundWhereTheMaskIsWhite) {
    QPixmap strip = SolidStrip(kFrame, 5);
    {
        QPainter painter(&strip);
        const QRect mask(4 * kFrame.width(), 0, kFrame.width(), kFrame.height());
        painter.fillRect(mask, Qt::white);
        painter.fillRect(mask.adjusted(0, 0, -kFrame.width() / 2, 0), Qt::black);
    }
    auto* masked = MakeButton(QPoint(10, 200));
    masked->SetSkin(strip);
    masked->SetMaskMode(true);
    EXPECT_EQ(masked->size(), kFrame);
    const QPoint origin = masked->pos();
    EXPECT_EQ(PixelOf(host, origin + QPoint(5, 10)), FrameColor(SkinButton::kFrameNormal));
    EXPECT_EQ(PixelOf(host, origin + QPoint(35, 10)), Host::kBackground);
}

TEST_F(SkinButtonTest, StretchScalesTheFrameToTheControl) {
    button->resize(kFrame * 2);
    EXPECT_EQ(PixelOf(host, button->pos() + QPoint(70, 30)), Host::kBackground);
    button->SetStretch(true);
    EXPECT_EQ(PixelOf(host, button->pos() + QPoint(70, 30)), FrameColor(SkinButton::kFrameNormal));
}

}  // namespace
}  // namespace velmaro
