// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Incidents, damaged minutes and the camera clock in the main window, on a generated card: a
// knock at 08:30:00, the last file cut short, the camera's clock an hour behind GPS time.
#include <gtest/gtest.h>

#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include "app/day_scan.h"
#include "controls/grid_row.h"
#include "controls/month_calendar.h"
#include "controls/skin_slider_button.h"
#include "playback/playback_channel.h"
#include "tests/ui/main_window_support.h"
#include "ui/main/app_shared.h"
#include "ui/main/main_window.h"
#include "ui/navigator/clock_notice.h"
#include "ui/navigator/incident_list.h"
#include "ui/navigator/incident_navigator.h"
#include "ui/navigator/seek_marks.h"
#include "ui/panel/play_panel.h"
#include "ui/video/video_widget.h"
#include "ui/video/video_window.h"

namespace velmaro {
namespace {

using test::WaitGui;

// 08:29:54..58, 08:29:58..08:30:02 with the knock at 08:30:00, 08:30:02..06 cut short.
struct IncidentCard {
    explicit IncidentCard(const char* start = "2026-06-12 08:29:54") {
        RecordingOptions o;
        o.outRoot = dir.path();
        o.files = 3;
        o.secondsPerFile = 4;
        o.width = 320;
        o.height = 240;
        o.startTime = ParseLocalTime(start);
        o.gSpikes = {6};
        o.truncateLast = true;
        o.clockOffset = -3600;
        result = WriteRecording(o);
    }
    test::TempDir dir;
    RecordingResult result;
};

const IncidentCard& Card() {
    static const IncidentCard card;
    return card;
}

class IncidentWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        test::QuietSound();
        ASSERT_TRUE(Card().result.ok) << Card().result.error;
        window = std::make_unique<MainWindow>(shared, 1);
        window->show();
    }
    void TearDown() override { window.reset(); }

    MainWindow& w() { return *window; }
    IncidentNavigator& nav() { return *window->Incidents(); }
    const std::vector<std::string>& files() { return Card().result.files; }
    GridRow* minutes() { return w().Grid(MainWindow::kIdMinuteGridLow); }
    GridRow* minutesHigh() { return w().Grid(MainWindow::kIdMinuteGridHigh); }

    bool OpenAndScan(const std::string& file) {
        w().PlayCtrl()->OpenRecording(QString::fromStdString(file));
        return WaitGui([&] {
            return shared.session.Channel() != nullptr && nav().FindingsKnown() == 3 &&
                   !nav().Scanning();
        });
    }

    AppShared shared;
    std::unique_ptr<MainWindow> window;
};

TEST_F(IncidentWindow, TheKnockIsMarkedListedAndOnTheSeekBarAndTheCutMinuteShaded) {
    ASSERT_TRUE(OpenAndScan(files()[1]));
    ASSERT_EQ(w().SelectedHour(), 8);
    // Minute 29: recorded, clean, quiet. Minute 30: the knock and the cut file.
    EXPECT_FALSE(minutes()->CellMarked(29));
    EXPECT_FALSE(minutes()->CellShaded(29));
    EXPECT_TRUE(minutesHigh()->CellMarked(0));
    EXPECT_TRUE(minutesHigh()->CellShaded(0));
    EXPECT_FALSE(minutesHigh()->CellMarked(1));
    EXPECT_EQ(minutesHigh()->CellColor(0), QColor(0, 255, 0)) << "still green, still plays";

    IncidentList* list = nav().List();
    EXPECT_TRUE(list->isVisible());
    ASSERT_EQ(list->count(), 1);
    EXPECT_TRUE(list->item(0)->text().contains(QStringLiteral("08:30:00")))
        << list->item(0)->text().toStdString();
    EXPECT_GT(list->Incidents()[0].deltaG, 2.5);

    // The file playing holds the knock about half way: one mark on the seek bar.
    ASSERT_TRUE(
        WaitGui([&] { return nav().Marks() != nullptr && nav().Marks()->Marks().size() == 1; }));
    EXPECT_NEAR(nav().Marks()->Marks()[0], 500, 250);
    EXPECT_TRUE(nav().Marks()->isVisible());

    QTest::qWait(300);
    w().grab().save(QStringLiteral("/tmp/velmaro-incidents.png"));

    // Choosing the incident plays from five seconds before it: 08:29:55, in the first file.
    const QRect item = list->visualItemRect(list->item(0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, item.center());
    EXPECT_TRUE(
        WaitGui([&] { return shared.session.Channel()->reader.CurrentPath() == files()[0]; }));
    // A damaged minute still plays when clicked.
    QTest::mouseClick(minutesHigh(), Qt::LeftButton, {}, minutesHigh()->CellRect(0).center());
    EXPECT_TRUE(
        WaitGui([&] { return shared.session.Channel()->reader.CurrentPath() != files()[0]; }));
}

TEST_F(IncidentWindow, TheCameraClockIsToldOncePerCardAndTimesCanFollowGps) {
    ASSERT_TRUE(OpenAndScan(files()[0]));
    ClockNotice* notice = nav().Notice();
    ASSERT_TRUE(WaitGui([&] { return notice->isVisible(); }));
    EXPECT_EQ(notice->Text(), QStringLiteral("camera clock is 1 h 00 min behind GPS time"));

    // By GPS: the recordings move to 09:29..09:30, and the knock with them.
    QTest::mouseClick(notice->ChoiceButton(), Qt::LeftButton);
    EXPECT_TRUE(nav().ByGps());
    GridRow* hours = w().Grid(MainWindow::kIdHourGridLow);
    EXPECT_EQ(hours->CellColor(9), QColor(0, 255, 0));
    EXPECT_EQ(hours->CellColor(8), QColor(0x68, 0x68, 0x68));
    QTest::mouseClick(hours, Qt::LeftButton, {}, hours->CellRect(9).center());
    EXPECT_TRUE(minutesHigh()->CellMarked(0));
    EXPECT_TRUE(nav().List()->item(0)->text().contains(QStringLiteral("09:30:00")));
    // A GPS minute clicked plays the camera's moment: 09:29 by GPS is 08:29 on the card.
    QTest::mouseClick(minutes(), Qt::LeftButton, {}, minutes()->CellRect(29).center());
    EXPECT_TRUE(
        WaitGui([&] { return shared.session.Channel()->reader.CurrentPath() == files()[0]; }));

    // Back to the camera's times; closed, the notice stays away for this card.
    QTest::mouseClick(notice->ChoiceButton(), Qt::LeftButton);
    EXPECT_FALSE(nav().ByGps());
    EXPECT_EQ(hours->CellColor(8), QColor(0, 255, 0));
    notice->hide();
    ASSERT_TRUE(OpenAndScan(files()[2]));
    w().FillDay(w().SelectedDate());
    QTest::qWait(200);
    EXPECT_FALSE(notice->isVisible());
}

// Recorded at 23:29 by a camera an hour behind: by GPS the drive was on the next day, and the
// calendar, the rows and the day's track all say so.
TEST_F(IncidentWindow, TimesByGpsMoveTheCalendarMarksToTheGpsDay) {
    const IncidentCard lateCard("2026-06-12 23:29:54");
    ASSERT_TRUE(lateCard.result.ok) << lateCard.result.error;
    ASSERT_TRUE(OpenAndScan(lateCard.result.files[0]));
    ClockNotice* notice = nav().Notice();
    ASSERT_TRUE(WaitGui([&] { return notice->isVisible(); }));
    const QDate cameraDay(2026, 6, 12);
    const QDate gpsDay(2026, 6, 13);
    EXPECT_TRUE(w().Calendar()->IsMarked(cameraDay));

    QTest::mouseClick(notice->ChoiceButton(), Qt::LeftButton);
    ASSERT_TRUE(nav().ByGps());
    EXPECT_TRUE(w().Calendar()->IsMarked(gpsDay));
    EXPECT_FALSE(w().Calendar()->IsMarked(cameraDay));
    w().FillDay(gpsDay);
    EXPECT_EQ(w().Grid(MainWindow::kIdHourGridLow)->CellColor(0), QColor(0, 255, 0));
    ASSERT_TRUE(WaitGui([&] { return nav().List()->count() == 1; }));
    EXPECT_TRUE(nav().List()->item(0)->text().contains(QStringLiteral("00:30:00")));
}

TEST_F(IncidentWindow, StopClearsTheMarksAndTheList) {
    ASSERT_TRUE(OpenAndScan(files()[1]));
    ASSERT_TRUE(minutesHigh()->CellMarked(0));
    QTest::mouseClick(w().PlayCtrl()->Button(PlayPanel::kIdStop), Qt::LeftButton);
    EXPECT_FALSE(minutesHigh()->CellMarked(0));
    EXPECT_FALSE(minutesHigh()->CellShaded(0));
    EXPECT_FALSE(nav().List()->isVisible());
    EXPECT_TRUE(
        WaitGui([&] { return nav().Marks() == nullptr || nav().Marks()->Marks().empty(); }));
}

}  // namespace
}  // namespace velmaro
