// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The main window as a driver meets it: its layout in the three UI sizes, the recording
// navigator over a card, every button and slider of the panel against the channel it drives,
// the video window's moves, dropped files and cards that appear.
#include <gtest/gtest.h>

#include <QDateTime>
#include <QDropEvent>
#include <QLabel>
#include <QMimeData>
#include <QProgressBar>
#include <QScreen>
#include <QShortcut>
#include <QTest>
#include <QUrl>
#include <QWheelEvent>
#include <filesystem>
#include <fstream>
#include <set>

#include "app/app_settings.h"
#include "app/recording_day.h"
#include "controls/grid_row.h"
#include "controls/month_calendar.h"
#include "controls/segment_display.h"
#include "controls/skin.h"
#include "controls/skin_button.h"
#include "controls/skin_slider_button.h"
#include "media/snapshot_writer.h"
#include "playback/playback_channel.h"
#include "stream/recording_index.h"
#include "tests/ui/main_window_support.h"
#include "ui/main/app_shared.h"
#include "ui/main/empty_hint.h"
#include "ui/main/main_window.h"
#include "ui/main/shortcut_overlay.h"
#include "ui/main/time_strip.h"
#include "ui/main/time_strip_feed.h"
#include "ui/map/map_port.h"
#include "ui/panel/dashboard.h"
#include "ui/panel/play_panel.h"
#include "ui/video/video_widget.h"
#include "ui/video/video_window.h"

namespace velmaro {
namespace {

namespace fs = std::filesystem;
using test::Card;
using test::WaitGui;
using Element = MainWindow::Element;
using P = PlayPanel;

const QColor kGreen(0, 255, 0);
const QColor kGrey(0x68, 0x68, 0x68);

// --- Layout ----------------------------------------------------------------------------------

struct ModeLayout {
    QSize size;
    QRect close, minimize, video, panel, map, minuteLow, minuteHigh, hourLow, hourHigh, calendar,
        strip;
    int minuteColumns, hourColumns;
};

const ModeLayout kModes[] = {
    {{960, 600},
     {919, 2, 28, 24},
     {891, 2, 28, 24},
     {205, 31, 751, 394},
     {0, 0, 203, 600},
     {695, 448, 261, 148},
     {236, 476, 247, 12},
     {236, 499, 247, 12},
     {249, 535, 233, 12},
     {249, 569, 233, 12},
     {496, 462, 191, 124},
     {205, 425, 751, 20},
     30,
     12},
    {{1280, 800},
     {1239, 2, 28, 24},
     {1211, 2, 28, 24},
     {273, 31, 1002, 539},
     {0, 0, 271, 800},
     {924, 596, 350, 198},
     {314, 634, 328, 14},
     {314, 663, 328, 14},
     {331, 713, 311, 16},
     {331, 758, 311, 16},
     {664, 626, 247, 147},
     {273, 570, 1002, 24},
     30,
     12},
    {{1920, 1080},
     {1879, 2, 28, 24},
     {1851, 2, 28, 24},
     {315, 31, 1598, 872},
     {21, 280, 271, 800},
     {1322, 933, 593, 143},
     {373, 976, 658, 12},
     {},
     {392, 1025, 622, 16},
     {},
     {1059, 941, 253, 129},
     {315, 903, 1598, 26},
     60,
     24},
};

void ExpectGrid(const GridRow* grid, const QRect& place, int columns, int firstLabel,
                int labelEvery) {
    if (place.isEmpty()) {
        EXPECT_TRUE(grid->isHidden());
        return;
    }
    EXPECT_EQ(grid->geometry(), place);
    ASSERT_EQ(grid->ColumnCount(), columns);
    int sum = 0;
    for (int i = 0; i < columns; ++i) {
        const int w = grid->ColumnWidth(i);
        EXPECT_EQ(w, (i + 1) * place.width() / columns - i * place.width() / columns);
        sum += w;
        const int value = firstLabel + i;
        const QString want =
            value % labelEvery == 0 ? QString("%1").arg(value, 2, 10, QChar('0')) : QString();
        EXPECT_EQ(grid->CellText(i), want) << "column " << i;
    }
    EXPECT_EQ(sum, place.width());
}

TEST(MainWindowLayout, EveryElementSitsWhereTheModeSaysInAllThreeModes) {
    for (int mode = 0; mode < 3; ++mode) {
        SCOPED_TRACE(mode);
        const ModeLayout& m = kModes[mode];
        AppShared shared;
        MainWindow w(shared, mode);
        EXPECT_EQ(w.size(), m.size);
        EXPECT_EQ(w.TitleButton(MainWindow::kIdClose)->geometry(), m.close);
        EXPECT_EQ(w.TitleButton(MainWindow::kIdMinimize)->geometry(), m.minimize);
        EXPECT_TRUE(w.TitleButton(MainWindow::kIdMaximize)->isHidden());
        EXPECT_EQ(w.Video()->geometry(), m.video);
        EXPECT_EQ(w.Video()->DockedRect(), m.video);
        EXPECT_EQ(w.PlayCtrl()->geometry(), m.panel);
        EXPECT_EQ(w.Map()->DockedRect(), m.map);
        EXPECT_EQ(w.Map()->Widget()->geometry(), m.map);
        EXPECT_EQ(w.Calendar()->geometry(), m.calendar);
        EXPECT_EQ(w.Strip()->geometry(), m.strip);
        EXPECT_GT(m.strip.top(), m.video.bottom());  // under the video, in every mode
        // Minutes numbered every 5, hours every 3.
        ExpectGrid(w.Grid(MainWindow::kIdMinuteGridLow), m.minuteLow, m.minuteColumns, 0, 5);
        ExpectGrid(w.Grid(MainWindow::kIdMinuteGridHigh), m.minuteHigh, 30, 30, 5);
        ExpectGrid(w.Grid(MainWindow::kIdHourGridLow), m.hourLow, m.hourColumns, 0, 3);
        ExpectGrid(w.Grid(MainWindow::kIdHourGridHigh), m.hourHigh, 12, 12, 3);
        // Hidden until a recording opens.
        EXPECT_TRUE(w.Video()->isHidden());
        EXPECT_TRUE(w.Map()->Widget()->isHidden());

        // The panel's rows of buttons and its sliders.
        const PlayPanel& p = *w.PlayCtrl();
        const bool small = mode == 0;
        const struct {
            std::vector<int> ids;
            QRect first;
            int step;
        } rows[] = {
            {{P::kIdPrevFile, P::kIdPrevFrame, P::kIdBackward, P::kIdPause, P::kIdStop, P::kIdPlay},
             small ? QRect(6, 474, 32, 22) : QRect(16, 633, 32, 22),
             small ? 32 : 40},
            {{P::kIdNextFrame, P::kIdNextFile, P::kIdMarkIn, P::kIdMarkOut, P::kIdBackup},
             small ? QRect(18, 500, 32, 22) : QRect(32, 665, 32, 22),
             small ? 32 : 40},
            {{P::kIdOpen, P::kIdSave, P::kIdSnapshot, P::kIdMap, P::kIdConfig},
             small ? QRect(8, 537, 37, 34) : QRect(10, 717, 37, 34),
             small ? 37 : 53},
        };
        for (const auto& row : rows) {
            QRect place = row.first;
            for (const int id : row.ids) {
                EXPECT_EQ(p.Button(id)->geometry(), place) << "button " << id;
                place.translate(row.step, 0);
            }
        }
        const auto ltrb = [](int l, int t, int r, int b) {
            return QRect(QPoint(l, t), QPoint(r - 1, b - 1));
        };
        EXPECT_EQ(p.Slider(P::kIdSeek)->geometry(),
                  small ? ltrb(9, 330, 192, 348) : ltrb(12, 440, 256, 458));
        EXPECT_EQ(p.Slider(P::kIdSpeed)->geometry(),
                  small ? ltrb(42, 366, 191, 374) : ltrb(55, 489, 254, 499));
        EXPECT_EQ(p.Slider(P::kIdVolume)->geometry(),
                  small ? ltrb(42, 402, 191, 418) : ltrb(56, 537, 255, 553));
        EXPECT_EQ(p.Slider(P::kIdSeek)->Maximum(), 1000);
        EXPECT_EQ(p.Slider(P::kIdSpeed)->GetPos(), 4);
        EXPECT_EQ(p.Slider(P::kIdVolume)->Maximum(), 27);
        // Every button inside the panel, none over another.
        for (const int a : {220, 221, 216, 217, 225, 226, 229, 230, 231, 232, 233, 234, 235, 236,
                            237, 238, 239, 1013}) {
            ASSERT_NE(p.Button(a), nullptr) << a;
            EXPECT_TRUE(p.rect().contains(p.Button(a)->geometry())) << a;
            EXPECT_FALSE(p.Button(a)->toolTip().isEmpty() && a != 1013) << a;
            for (const int b : {220, 221, 231, 1013}) {
                if (a != b) {
                    EXPECT_FALSE(p.Button(a)->geometry().intersects(p.Button(b)->geometry()))
                        << a << " over " << b;
                }
            }
        }
    }
}

// --- Playing a card --------------------------------------------------------------------------

class MainWindowOnCard : public ::testing::Test {
  protected:
    void SetUp() override { Begin(1); }
    void Begin(int uiMode) {
        test::QuietSound();
        ASSERT_TRUE(Card().result.ok) << Card().result.error;
        Settings().snapshotPath = shots.path().string() + "/";
        window = std::make_unique<MainWindow>(shared, uiMode);
        window->show();
    }
    void TearDown() override { window.reset(); }

    MainWindow& w() { return *window; }
    PlayPanel& panel() { return *window->PlayCtrl(); }
    PlaybackChannel& channel() { return *shared.session.Channel(); }
    const std::vector<std::string>& files() { return Card().result.files; }

    bool OpenAndShow(const std::string& file) {
        panel().OpenRecording(QString::fromStdString(file));
        return WaitGui([&] {
            return shared.session.Channel() != nullptr &&
                   w().Video()->VideoSurface()->PicturesPresented() > 3 &&
                   !w().Calendar()->Marks().empty();
        });
    }
    void Click(int id) { QTest::mouseClick(panel().Button(id), Qt::LeftButton); }
    void ReleaseSlider(int id, int position) {
        panel().Slider(id)->SetPos(position);
        emit panel().Slider(id)->Notify(kMsgThumbReleased, panel().Slider(id)->Identifier(),
                                        position);
    }

    test::TempDir shots;
    AppShared shared;
    std::unique_ptr<MainWindow> window;
};

TEST_F(MainWindowOnCard, OpeningShowsTheDayOfTheRecordingAndPlaysFromAClickedMinute) {
    // Nothing open: the video's place says how to get a recording.
    EXPECT_TRUE(w().Hint()->isVisible());
    EXPECT_TRUE(w().Hint()->Hint().contains("Ctrl+O"));
    ASSERT_TRUE(OpenAndShow(files()[0]));
    EXPECT_FALSE(w().Hint()->isVisible());
    EXPECT_TRUE(w().Video()->isVisible());
    EXPECT_EQ(w().windowTitle(), "REC_0001.ts - Velmaro");
    EXPECT_TRUE(w().Map()->Widget()->isVisible());
    // Made at 08:30 on 12 June 2026 (the camera's clock): that day marked and chosen, hour 8
    // and minute 30 green.
    EXPECT_TRUE(w().Calendar()->IsMarked(QDate(2026, 6, 12)));
    EXPECT_EQ(w().SelectedDate(), QDate(2026, 6, 12));
    EXPECT_EQ(w().SelectedHour(), 8);
    GridRow* hours = w().Grid(MainWindow::kIdHourGridLow);
    GridRow* minutes = w().Grid(MainWindow::kIdMinuteGridHigh);
    EXPECT_EQ(hours->CellColor(8), kGreen);
    EXPECT_EQ(hours->CellColor(9), kGrey);
    EXPECT_EQ(minutes->CellColor(0), kGreen);  // minute 30
    EXPECT_EQ(minutes->CellColor(5), kGrey);   // minute 35
    EXPECT_EQ(w().Grid(MainWindow::kIdMinuteGridLow)->CellColor(29), kGrey);

    // A grey minute is remembered and starts nothing.
    const std::string playing = channel().reader.CurrentPath();
    QTest::mouseClick(minutes, Qt::LeftButton, {}, minutes->CellRect(5).center());
    EXPECT_EQ(w().SelectedMinute(), 35);
    QTest::qWait(200);
    EXPECT_EQ(channel().reader.CurrentPath(), playing);

    // A green minute plays from that minute: from the second file back to the first.
    Click(P::kIdNextFile);
    ASSERT_TRUE(WaitGui([&] { return channel().reader.CurrentPath() == files()[1]; }));
    QTest::mouseClick(minutes, Qt::LeftButton, {}, minutes->CellRect(0).center());
    EXPECT_EQ(w().SelectedMinute(), 30);
    EXPECT_TRUE(WaitGui([&] { return channel().reader.CurrentPath() == files()[0]; }));

    // The dashboard shows the telemetry the map took: the same fix, its speed on the display,
    // the sentence's G-sensor values as the newest sample.
    const Dashboard& dash = *panel().GetDashboard();
    // The reader may be in the new file before its reset notice reached the map: wait until
    // both show the new file's first fix.
    ASSERT_TRUE(WaitGui([&] {
        return dash.Fix().latitude != 0.0 && !dash.GHistory().empty() &&
               dash.Fix().latitude == w().Map()->LatestFix().latitude;
    }));
    const GpsRecord fix = w().Map()->LatestFix();
    EXPECT_EQ(dash.Fix().latitude, fix.latitude);
    EXPECT_EQ(dash.Fix().longitude, fix.longitude);
    EXPECT_NEAR(fix.latitude, 48.137, 0.05);  // the generated route's start
    EXPECT_EQ(dash.SpeedDisplay()->Text(), FormatSpeed(fix.speed, Settings().unitOfSpeed));
    EXPECT_EQ(dash.GHistory().back().x, shared.session.LatestGSensor().x);
    EXPECT_EQ(dash.GHistory().back().z, shared.session.LatestGSensor().z);

    // Another day in the calendar: nothing recorded there.
    w().FillDay(QDate(2026, 6, 13));
    EXPECT_EQ(hours->CellColor(8), kGrey);
}

class MainWindowInEveryMode : public MainWindowOnCard, public ::testing::WithParamInterface<int> {
  protected:
    void SetUp() override { Begin(GetParam()); }
};

INSTANTIATE_TEST_SUITE_P(UiModes, MainWindowInEveryMode, ::testing::Values(0, 1, 2));

TEST_P(MainWindowInEveryMode, TheButtonsAndSlidersDriveTheChannel) {
    ASSERT_TRUE(OpenAndShow(files()[0]));
    ChannelState& s = channel().state;

    Click(P::kIdPause);
    EXPECT_EQ(s.paused.load(), 1);
    Click(P::kIdPlay);
    EXPECT_EQ(s.paused.load(), 0);
    EXPECT_EQ(s.playMode.load(), kPlayNormal);
    EXPECT_TRUE(s.audioEnabled.load());

    // Speed: slowest, fastest, normal again.
    ReleaseSlider(P::kIdSpeed, 0);
    EXPECT_EQ(s.playMode.load(), 10);
    EXPECT_FALSE(s.audioEnabled.load());
    ReleaseSlider(P::kIdSpeed, 8);
    EXPECT_EQ(s.playMode.load(), 5);
    ReleaseSlider(P::kIdSpeed, 4);
    EXPECT_EQ(s.playMode.load(), kPlayNormal);
    EXPECT_TRUE(s.audioEnabled.load());

    // Backward, then Play puts the direction and the speed slider back.
    ReleaseSlider(P::kIdSpeed, 6);
    Click(P::kIdBackward);
    EXPECT_EQ(s.playMode.load(), kPlayBackward);
    EXPECT_TRUE(channel().reader.DirectionAskedFor());
    EXPECT_EQ(panel().Slider(P::kIdSpeed)->GetPos(), 4);
    Click(P::kIdPlay);
    EXPECT_FALSE(channel().reader.DirectionAskedFor());

    Click(P::kIdPrevFrame);
    EXPECT_EQ(s.playMode.load(), kPlayStep);
    EXPECT_TRUE(channel().reader.DirectionAskedFor());
    Click(P::kIdNextFrame);
    EXPECT_EQ(s.playMode.load(), kPlayStep);
    EXPECT_FALSE(channel().reader.DirectionAskedFor());
    Click(P::kIdPlay);

    // Next and previous file.
    Click(P::kIdNextFile);
    EXPECT_TRUE(WaitGui([&] { return channel().reader.CurrentPath() == files()[1]; }));
    Click(P::kIdPrevFile);
    EXPECT_TRUE(WaitGui([&] { return channel().reader.CurrentPath() == files()[0]; }));

    // Mute silences the channel and shows it; again gives the sound back.
    Click(P::kIdMute);
    EXPECT_TRUE(panel().Muted());
    EXPECT_EQ(s.soundAmplification.load(), 0.0);
    EXPECT_EQ(panel().Button(P::kIdMute)->Skin().toImage(), SkinBitmap(148).toImage());
    Click(P::kIdMute);
    EXPECT_GT(s.soundAmplification.load(), 0.0);
    EXPECT_EQ(panel().Button(P::kIdMute)->Skin().toImage(), SkinBitmap(138).toImage());

    // Seeking into the middle of the reader's file while held, then a step: the picture comes
    // from there (the first key frame at or after half the file, which has later groups).
    Click(P::kIdPause);
    // The file requests above served, the picture and the reader in the same file.
    ASSERT_TRUE(WaitGui([&] {
        const ShownPicture shown = s.Shown();
        return !channel().reader.seeks.Pending() && shown.valid &&
               channel().reader.PathOfSerial(shown.fileSerial) == channel().reader.CurrentPath();
    }));
    const std::string file = channel().reader.CurrentPath();
    const int64_t size = channel().reader.FileSize();
    ReleaseSlider(P::kIdSeek, 500);
    Click(P::kIdNextFrame);
    EXPECT_TRUE(WaitGui([&] {
        const ShownPicture shown = s.Shown();
        return shown.valid && channel().reader.PathOfSerial(shown.fileSerial) == file &&
               shown.filePos >= size * 4 / 10;
    })) << s.Shown().filePos
        << " of " << size << " in " << channel().reader.PathOfSerial(s.Shown().fileSerial)
        << ", seek in " << file << "; the reader at " << channel().reader.Position();
    Click(P::kIdPlay);

    // Stop: no channel, video and map hidden, the calendar's marks gone.
    Click(P::kIdStop);
    EXPECT_EQ(shared.session.Channel(), nullptr);
    EXPECT_TRUE(w().Video()->isHidden());
    EXPECT_TRUE(w().Map()->Widget()->isHidden());
    EXPECT_TRUE(w().Calendar()->Marks().empty());
    EXPECT_EQ(w().Grid(MainWindow::kIdHourGridLow)->CellColor(8), kGrey);
    // Commands without a channel do nothing.
    for (const int id : {P::kIdPlay, P::kIdPause, P::kIdBackward, P::kIdNextFrame, P::kIdMarkIn,
                         P::kIdBackup, P::kIdSave, P::kIdSnapshot}) {
        Click(id);
    }
    EXPECT_EQ(shared.session.Channel(), nullptr);
}

TEST_F(MainWindowOnCard, KeysDoWhatThePlayerUserExpects) {
    ASSERT_TRUE(OpenAndShow(files()[0]));
    ChannelState& s = channel().state;
    // The player's keys work in whichever of its windows is active.
    w().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w()));
    QTest::keyClick(&w(), Qt::Key_Space);
    EXPECT_EQ(s.paused.load(), 1);
    QTest::keyClick(&w(), Qt::Key_Space);
    EXPECT_EQ(s.paused.load(), 0);
    QTest::keyClick(&w(), Qt::Key_Up);
    EXPECT_EQ(panel().Slider(P::kIdSpeed)->GetPos(), 5);
    EXPECT_EQ(s.playMode.load(), 2);
    QTest::keyClick(&w(), Qt::Key_Down);
    EXPECT_EQ(s.playMode.load(), kPlayNormal);
    QTest::keyClick(&w(), Qt::Key_Right);
    EXPECT_EQ(s.playMode.load(), kPlayStep);
    QTest::keyClick(&w(), Qt::Key_Space);  // held after a step: plays on
    EXPECT_EQ(s.playMode.load(), kPlayNormal);
    QTest::keyClick(&w(), Qt::Key_PageDown);
    EXPECT_TRUE(WaitGui([&] { return channel().reader.CurrentPath() == files()[1]; }));
    QTest::keyClick(&w(), Qt::Key_M);
    EXPECT_TRUE(panel().Muted());
    QTest::keyClick(&w(), Qt::Key_Space);
    EXPECT_EQ(s.paused.load(), 1);
    panel().Slider(P::kIdSeek)->SetPos(300);
    QTest::keyClick(&w(), Qt::Key_Right, Qt::ShiftModifier);
    EXPECT_EQ(panel().Slider(P::kIdSeek)->GetPos(), 350);
    QTest::keyClick(&w(), Qt::Key_Left, Qt::ShiftModifier);
    QTest::keyClick(&w(), Qt::Key_Left, Qt::ShiftModifier);
    EXPECT_EQ(panel().Slider(P::kIdSeek)->GetPos(), 250);

    // The usual keys for open, save and preferences.
    QStringList asked;
    const auto note = [&](const char* what) {
        return [&asked, what](const QString&) {
            asked << what;
            return QString();
        };
    };
    panel().chooseOpenName = note("open");
    panel().chooseSaveName = note("save");
    panel().runPreferences = [&] { asked << "preferences"; };
    QTest::keyClick(&w(), Qt::Key_O, Qt::ControlModifier);
    QTest::keyClick(&w(), Qt::Key_S, Qt::ControlModifier);
    QTest::keyClick(&w(), Qt::Key_Comma, Qt::ControlModifier);
    EXPECT_EQ(asked, QStringList({"open", "save", "preferences"}));
}

TEST_F(MainWindowOnCard, MarksExportAndSaveReportWhatReallyHappened) {
    ASSERT_TRUE(OpenAndShow(files()[0]));
    test::TempDir out;
    int asked = 0;
    panel().chooseExportName = [&](const QString&) {
        ++asked;
        return QString::fromStdString(out.File("clip.ts"));
    };
    // No marks: Backup asks nothing.
    Click(P::kIdBackup);
    EXPECT_EQ(asked, 0);

    Click(P::kIdMarkIn);
    QTest::qWait(1200);
    Click(P::kIdMarkOut);
    Click(P::kIdBackup);
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(panel().BackupRunning());
    EXPECT_EQ(panel().Button(P::kIdBackup)->Skin().toImage(), SkinBitmap(456).toImage());
    EXPECT_TRUE(panel().ExportProgress()->isVisible());
    ASSERT_TRUE(WaitGui([&] { return !panel().BackupRunning(); }));
    EXPECT_EQ(panel().Button(P::kIdBackup)->Skin().toImage(), SkinBitmap(452).toImage());
    EXPECT_TRUE(fs::exists(out.File("clip.ts")));
    EXPECT_TRUE(panel().LastMessage().contains("clip.ts")) << panel().LastMessage().toStdString();
    EXPECT_FALSE(panel().ExportProgress()->isVisible());

    // Ctrl+E asks for a clip as the button does, once the report is read.
    QApplication::activeModalWidget()->close();
    panel().chooseExportName = [&](const QString&) {
        ++asked;
        return QString();
    };
    w().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w()));
    QTest::keyClick(&w(), Qt::Key_E, Qt::ControlModifier);
    EXPECT_EQ(asked, 2);

    // A new mark-in clears the mark-out: Backup then does nothing.
    Click(P::kIdMarkIn);
    Click(P::kIdBackup);
    EXPECT_EQ(asked, 2);

    // Save The Playing File: a whole copy, then its report.
    const std::string playing = channel().ShownFilePath();
    panel().chooseSaveName = [&](const QString& suggested) {
        EXPECT_EQ(suggested.toStdString(), fs::path(playing).filename().string());
        return QString::fromStdString(out.File("copy.ts"));
    };
    Click(P::kIdSave);
    ASSERT_TRUE(WaitGui([&] { return !panel().SaveRunning() && fs::exists(out.File("copy.ts")); }));
    EXPECT_EQ(fs::file_size(out.File("copy.ts")), fs::file_size(playing));
    EXPECT_TRUE(panel().LastMessage().contains("copy.ts"));

    // Onto the recording itself: refused, said so, the recording untouched.
    const auto size = fs::file_size(playing);
    panel().chooseSaveName = [&](const QString&) { return QString::fromStdString(playing); };
    Click(P::kIdSave);
    ASSERT_TRUE(WaitGui(
        [&] { return !panel().SaveRunning() && !panel().LastMessage().contains("copy.ts"); }));
    EXPECT_TRUE(panel().LastMessage().contains("itself")) << panel().LastMessage().toStdString();
    EXPECT_EQ(fs::file_size(playing), size);
}

TEST_F(MainWindowOnCard, TheVideoWindowFloatsDocksAndFillsTheScreenKeepingItsPicture) {
    ASSERT_TRUE(OpenAndShow(files()[0]));
    VideoWindow* video = w().Video();
    const QRect docked = video->geometry();
    QTest::mouseDClick(video, Qt::LeftButton, {}, video->rect().center());
    ASSERT_TRUE(video->IsFloating());
    EXPECT_TRUE(video->isWindow());
    EXPECT_EQ(video->size(), VideoWindow::kFloatingSize);
    const QRect screen = video->screen()->geometry();
    EXPECT_LE(std::abs(video->geometry().center().x() - screen.center().x()), 2);

    // Full screen hides the main window; a double-click brings both back.
    QTest::mouseDClick(video, Qt::LeftButton, {}, video->rect().center());
    EXPECT_TRUE(video->IsFullScreen());
    EXPECT_TRUE(w().isHidden());
    QWidget* fullScreenWindow = video->VideoSurface()->window();
    EXPECT_NE(fullScreenWindow, video);
    EXPECT_TRUE(fullScreenWindow->isFullScreen());
    const int before = video->VideoSurface()->PicturesPresented();
    EXPECT_TRUE(WaitGui([&] { return video->VideoSurface()->PicturesPresented() > before + 2; }));
    // The player's keys go on working there, though their window is hidden.
    fullScreenWindow->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(fullScreenWindow));
    QTest::keyClick(fullScreenWindow, Qt::Key_Space);
    EXPECT_EQ(channel().state.paused.load(), 1);
    QTest::keyClick(fullScreenWindow, Qt::Key_S);
    EXPECT_TRUE(WaitGui([&] { return !std::filesystem::is_empty(shots.path()); }));
    QTest::keyClick(fullScreenWindow, Qt::Key_Space);
    EXPECT_EQ(channel().state.paused.load(), 0);
    QTest::mouseDClick(video->VideoSurface(), Qt::LeftButton);
    EXPECT_FALSE(video->IsFullScreen());
    EXPECT_TRUE(w().isVisible());
    EXPECT_EQ(video->VideoSurface()->parentWidget(), video);

    // Esc docks it where the main window's layout put it.
    QTest::keyClick(video, Qt::Key_Escape);
    EXPECT_FALSE(video->IsFloating());
    EXPECT_EQ(video->parentWidget(), &w());
    EXPECT_EQ(video->geometry(), docked);
    const int shown = video->VideoSurface()->PicturesPresented();
    EXPECT_TRUE(WaitGui([&] { return video->VideoSurface()->PicturesPresented() > shown + 2; }));
}

TEST_F(MainWindowOnCard, DraggingThePanelMovesTheWindowAndTheWheelSeeks) {
    ASSERT_TRUE(OpenAndShow(files()[0]));
    Click(P::kIdPause);
    // The wheel over the seek bar: a notch away from the user is a hundredth forward.
    SkinSliderButton* seek = panel().Slider(P::kIdSeek);
    seek->SetPos(400);
    const QPointF over = QPointF(seek->geometry().center());
    QWheelEvent wheel(over, panel().mapToGlobal(over), QPoint(), QPoint(0, 240), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(&panel(), &wheel);
    EXPECT_EQ(seek->GetPos(), 420);

    // A press on the panel's background and a move take the whole window along.
    const QPoint start = w().pos();
    const QPoint background(100, 10);  // above the dial, no control there
    ASSERT_EQ(panel().childAt(background), nullptr);
    QTest::mousePress(&panel(), Qt::LeftButton, {}, background);
    QMouseEvent move(QEvent::MouseMove, QPointF(background + QPoint(30, 20)),
                     QPointF(panel().mapToGlobal(background + QPoint(30, 20))), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&panel(), &move);
    QTest::mouseRelease(&panel(), Qt::LeftButton, {}, background + QPoint(30, 20));
    EXPECT_EQ(w().pos(), start + QPoint(30, 20));
}

TEST_F(MainWindowOnCard, SnapshotsTakenTogetherAreAllKeptAndReported) {
    ASSERT_TRUE(OpenAndShow(files()[0]));
    Click(P::kIdSnapshot);
    Click(P::kIdSnapshot);
    ASSERT_TRUE(WaitGui([&] { return panel().SnapshotResults().size() == 2; }));
    const auto& results = panel().SnapshotResults();
    EXPECT_TRUE(results[0].Written() && results[1].Written());
    EXPECT_NE(results[0].path, results[1].path);
    for (const SnapshotResult& r : results) {
        EXPECT_TRUE(fs::exists(r.path)) << r.path;
        EXPECT_EQ(fs::path(r.path).parent_path(), shots.path());
    }
    // Named after a second of the recording on screen, not the moment of the click.
    std::set<std::string> recorded;
    for (int64_t t = Card().result.stats.front().startTime; t <= Card().result.stats.back().endTime;
         ++t) {
        recorded.insert(SnapshotFileName(t));
    }
    EXPECT_TRUE(recorded.contains(fs::path(results[0].path).filename())) << results[0].path;
    // A folder that cannot take the file: said so, no path reported.
    Settings().snapshotPath = "/proc/velmaro-no-such-folder/";
    Click(P::kIdSnapshot);
    ASSERT_TRUE(WaitGui([&] { return panel().SnapshotResults().size() == 3; }));
    EXPECT_FALSE(panel().SnapshotResults()[2].Written());
    EXPECT_FALSE(panel().LastMessage().isEmpty());
}

TEST_F(MainWindowOnCard, DroppedFilesOpenOnlyTheFirstAndAnUnreadableOneIsSaid) {
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(files()[2])),
                  QUrl::fromLocalFile(QString::fromStdString(files()[0])),
                  QUrl::fromLocalFile(QString::fromStdString(files()[1]))});
    QDragEnterEvent enter(QPoint(500, 300), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&w(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(500, 300), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&w(), &drop);
    ASSERT_NE(shared.session.Channel(), nullptr);
    EXPECT_EQ(channel().filePath, files()[2]);

    // A file that cannot be opened is said, and what plays goes on.
    // under the video, in a strip that blocks nothing, until the next recording opens.
    EXPECT_FALSE(panel().OpenRecording(QStringLiteral("/no/such/file.ts")));
    EXPECT_TRUE(panel().LastMessage().contains("cannot open /no/such/file.ts"))
        << panel().LastMessage().toStdString();
    EXPECT_EQ(w().Strip()->Message(), panel().LastMessage());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_EQ(channel().filePath, files()[2]);
    ASSERT_TRUE(panel().OpenRecording(QString::fromStdString(files()[1])));
    ASSERT_TRUE(WaitGui([&] { return w().Strip()->Message().isEmpty(); }));
}

// The strip under the video says when the picture on screen was recorded (the camera's clock:
// the file time is its last picture's), which file, where in it, and how it plays.
TEST_F(MainWindowOnCard, TheTimeStripFollowsThePictureOnScreen) {
    ASSERT_TRUE(OpenAndShow(files()[0]));
    const auto text = [&] {
        w().StripFeed()->Refresh();
        return w().Strip()->Text();
    };
    ASSERT_TRUE(WaitGui([&] { return !text().position.empty(); }));
    const std::string name = std::filesystem::path(files()[0]).filename().string();
    EXPECT_EQ(text().file, name);
    const QString position = QString::fromStdString(text().position);
    EXPECT_TRUE(position.endsWith(QStringLiteral(" / 0:03"))) << position.toStdString();
    // The clock at the picture, to the second: the file time less what follows the picture.
    Click(P::kIdPause);
    ASSERT_TRUE(WaitGui([&] { return text().state == "Paused"; }));
    const ShownPicture shown = channel().state.Shown();
    const QDateTime clock = QDateTime::fromString(QString::fromStdString(text().clock),
                                                  QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    ASSERT_TRUE(clock.isValid()) << text().clock;
    const double expected =
        static_cast<double>(LastWriteTime(files()[0])) - (LastVideoTime(files()[0]) - shown.pts);
    EXPECT_NEAR(static_cast<double>(clock.toSecsSinceEpoch()), expected, 1.0);

    ReleaseSlider(P::kIdSeek, 900);
    Click(P::kIdPlay);
    ASSERT_TRUE(WaitGui([&] { return text().position.rfind("0:02 /", 0) == 0; }))
        << text().position;
    ReleaseSlider(P::kIdSpeed, 6);
    ASSERT_TRUE(WaitGui([&] { return text().state == "4x"; })) << text().state;
    Click(P::kIdBackward);
    ASSERT_TRUE(WaitGui([&] { return text().state.rfind("Backward", 0) == 0; })) << text().state;
}

// F1 lists every key the window answers; L loops the marked stretch (A-B), and says so in the
// strip; without a whole stretch marked it says what to do instead.
TEST_F(MainWindowOnCard, F1ListsTheKeysAndLLoopsTheMarkedStretch) {
    ASSERT_TRUE(OpenAndShow(files()[0]));
    w().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w()));
    QTest::keyClick(&w(), Qt::Key_F1);
    ASSERT_TRUE(w().Keys()->isVisible());
    const auto shortcuts = w().findChildren<QShortcut*>();
    ASSERT_EQ(w().Keys()->Entries().size(), static_cast<size_t>(shortcuts.size()));  // no twice
    for (const QShortcut* shortcut : shortcuts) {
        const QString keys = shortcut->key().toString(QKeySequence::NativeText);
        EXPECT_TRUE(
            std::any_of(w().Keys()->Entries().begin(), w().Keys()->Entries().end(),
                        [&](const auto& e) { return e.first == keys && !e.second.isEmpty(); }))
            << keys.toStdString();
    }
    QTest::keyClick(w().Keys(), Qt::Key_Escape);
    EXPECT_FALSE(w().Keys()->isVisible());

    QTest::keyClick(&w(), Qt::Key_L);
    EXPECT_FALSE(panel().Loop().Active());
    EXPECT_TRUE(w().Strip()->Message().contains(QStringLiteral("I at its start")));

    // Marked from the first second of the first file to the middle of the second.
    ReleaseSlider(P::kIdSeek, 200);
    ASSERT_TRUE(WaitGui([&] { return channel().state.Shown().valid; }));
    QTest::keyClick(&w(), Qt::Key_I);
    ASSERT_TRUE(WaitGui([&] { return channel().ShownFilePath() == files()[1]; }));
    QTest::qWait(1000);
    QTest::keyClick(&w(), Qt::Key_O);
    QTest::keyClick(&w(), Qt::Key_L);
    ASSERT_TRUE(panel().Loop().Active());
    bool leftTheStretch = false;
    ASSERT_TRUE(WaitGui(
        [&] {
            leftTheStretch = leftTheStretch || channel().ShownFilePath() == files()[2];
            return panel().Loop().Rounds() >= 2;
        },
        std::chrono::seconds(30)));
    EXPECT_FALSE(leftTheStretch);
    w().StripFeed()->Refresh();
    EXPECT_NE(w().Strip()->Text().state.find("A-B loop"), std::string::npos);
    QTest::keyClick(&w(), Qt::Key_L);
    EXPECT_FALSE(panel().Loop().Active());
}

// Pictures left out are counted where the user sees them, and a new recording starts afresh.
TEST_F(MainWindowOnCard, TheTitleBarSaysWhatPlaybackLeftOut) {
    ASSERT_TRUE(OpenAndShow(files()[0]));
    EXPECT_FALSE(w().PlaybackNote()->isVisible());
    channel().state.framesDropped.store(12);
    channel().state.videoQueue.NoteOversize();
    ASSERT_TRUE(WaitGui([&] { return w().PlaybackNote()->isVisible(); }));
    EXPECT_TRUE(w().PlaybackNote()->text().contains(QStringLiteral("left out to keep up: 12")));
    EXPECT_TRUE(w().PlaybackNote()->text().contains(QStringLiteral("too large to play: 1")));
    ASSERT_TRUE(OpenAndShow(files()[1]));
    EXPECT_TRUE(WaitGui([&] { return !w().PlaybackNote()->isVisible(); }));
}

// A card appearing while the player runs replaces the recording without a word; a USB stick
// without recordings changes nothing.
TEST_F(MainWindowOnCard, ACardThatAppearsReplacesTheRecordingAndAStickDoesNothing) {
    test::TempDir roots;
    const std::string stick = roots.File("stick");
    const std::string card = roots.File("card");
    setenv("VELMARO_DRIVE_ROOTS", (stick + ":" + card).c_str(), 1);
    shared.commandLineFile = files()[1];
    w().Start();
    ASSERT_TRUE(WaitGui([&] { return shared.session.Channel() != nullptr; }));
    EXPECT_EQ(channel().filePath, files()[1]);

    fs::create_directories(stick + "/Music");
    std::ofstream(stick + "/Music/song.ts") << "not a recording";
    QTest::qWait(1500);
    EXPECT_EQ(channel().filePath, files()[1]);

    const std::string staging = roots.File("staging");
    fs::create_directories(staging + "/DCIM/100MEDIA");
    fs::copy_file(files()[2], staging + "/DCIM/100MEDIA/FILE0001.TS");
    fs::rename(staging, card);
    EXPECT_TRUE(WaitGui([&] {
        return shared.session.Channel() != nullptr &&
               channel().filePath == card + "/DCIM/100MEDIA/FILE0001.TS";
    }));
    EXPECT_EQ(panel().LastMessage(), QString());
    unsetenv("VELMARO_DRIVE_ROOTS");
}

TEST_F(MainWindowOnCard, ClosingWhileAnExportRunsLeavesNoHalfFile) {
    ASSERT_TRUE(OpenAndShow(files()[0]));
    test::TempDir out;
    panel().chooseExportName = [&](const QString&) {
        return QString::fromStdString(out.File("clip.avi"));
    };
    Click(P::kIdMarkIn);
    QTest::qWait(1500);
    Click(P::kIdMarkOut);
    Click(P::kIdBackup);
    const auto start = std::chrono::steady_clock::now();
    window.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    // Either the clip is complete (with its subtitles) or nothing is there: no temporary, no
    // half file.
    for (const auto& entry : fs::directory_iterator(out.path())) {
        EXPECT_TRUE(entry.path().filename() == "clip.avi" || entry.path().filename() == "clip.srt")
            << entry.path();
    }
}

}  // namespace
}  // namespace velmaro
