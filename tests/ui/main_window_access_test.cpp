// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The main window as a keyboard and screen-reader user meets it, through Qt's accessibility
// interfaces: every control named and of the right kind, sliders with values, the navigator's
// cells named by what they stand for, the dashboard read out, and Tab going round every control.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QSignalSpy>
#include <QTest>
#include <filesystem>
#include <map>
#include <set>
#include <vector>

#include "controls/grid_row.h"
#include "controls/month_calendar.h"
#include "controls/skin.h"
#include "controls/skin_button.h"
#include "controls/skin_slider_button.h"
#include "platform/message_sink.h"
#include "platform/mixer.h"
#include "tests/ui/main_window_support.h"
#include "ui/main/app_shared.h"
#include "ui/main/main_window.h"
#include "ui/panel/dashboard.h"
#include "ui/panel/play_panel.h"

namespace velmaro {
namespace {

using test::Card;
using test::WaitGui;
using P = PlayPanel;
using W = MainWindow;

QAccessibleInterface* Access(QWidget* widget) {
    return QAccessible::queryAccessibleInterface(widget);
}

QString Name(QWidget* widget) {
    return Access(widget)->text(QAccessible::Name);
}

QString CellName(QWidget* table, int row, int column) {
    QAccessibleTableInterface* cells = Access(table)->tableInterface();
    if (cells == nullptr || cells->cellAt(row, column) == nullptr) {
        return QStringLiteral("<no cell>");
    }
    return cells->cellAt(row, column)->text(QAccessible::Name);
}

// The panel's buttons by the plain English of their tooltips.
const std::map<int, QString> kButtonNames = {
    {P::kIdPlay, "Play"},
    {P::kIdStop, "Stop"},
    {P::kIdPause, "Pause"},
    {P::kIdBackward, "Play backward"},
    {P::kIdPrevFrame, "Previous frame"},
    {P::kIdNextFrame, "Next frame"},
    {P::kIdPrevFile, "Previous file"},
    {P::kIdNextFile, "Next file"},
    {P::kIdOpen, "Open"},
    {P::kIdSnapshot, "Snapshot"},
    {P::kIdMap, "Map"},
    {P::kIdConfig, "Preferences"},
    {P::kIdSave, "Save the playing file"},
    {P::kIdMarkIn, "Mark in"},
    {P::kIdMarkOut, "Mark out"},
    {P::kIdBackup, "Export clip"},
    {P::kIdCardSetup, "Camera card setup"},
};

struct SliderCase {
    int id;
    QString name;
    int maximum;
};
const SliderCase kSliders[] = {
    {P::kIdSeek, "Position", 1000},
    {P::kIdVolume, "Volume", kVolumeSliderMax},
    {P::kIdSpeed, "Speed", 8},
};

void ExpectNamedAs(QWidget* widget, QAccessible::Role role, const QString& name) {
    SCOPED_TRACE(widget->objectName().toStdString());
    QAccessibleInterface* access = Access(widget);
    ASSERT_NE(access, nullptr);
    EXPECT_EQ(access->role(), role);
    EXPECT_EQ(access->text(QAccessible::Name).toStdString(), name.toStdString());
}

void ExpectControlsNamed(MainWindow& w) {
    PlayPanel& panel = *w.PlayCtrl();
    for (const auto& [id, name] : kButtonNames) {
        ExpectNamedAs(panel.Button(id), QAccessible::Button, name);
    }
    ExpectNamedAs(panel.Button(P::kIdMute), QAccessible::CheckBox, "Sound off");
    ExpectNamedAs(w.TitleButton(W::kIdClose), QAccessible::Button, "Close");
    ExpectNamedAs(w.TitleButton(W::kIdMinimize), QAccessible::Button, "Minimise");
    ExpectNamedAs(w.TitleButton(W::kIdMaximize), QAccessible::Button, "Maximise");
    ExpectNamedAs(panel.GetDashboard(), QAccessible::StaticText, "Dashboard");
    ExpectNamedAs(w.Calendar(), QAccessible::Table, "Calendar");
    // A list is read out by its choice, and by what it chooses.
    for (const auto& [list, what] : {std::pair{w.Calendar()->YearList(), "Year"},
                                     std::pair{w.Calendar()->MonthList(), "Month"}}) {
        ExpectNamedAs(list, QAccessible::ComboBox, list->currentText());
        EXPECT_EQ(Access(list)->text(QAccessible::Description), what);
    }

    for (const SliderCase& c : kSliders) {
        SkinSliderButton* slider = panel.Slider(c.id);
        ExpectNamedAs(slider, QAccessible::Slider, c.name);
        QAccessibleValueInterface* value = Access(slider)->valueInterface();
        ASSERT_NE(value, nullptr) << c.name.toStdString();
        EXPECT_EQ(value->minimumValue().toInt(), 0);
        EXPECT_EQ(value->maximumValue().toInt(), c.maximum);
        EXPECT_EQ(value->currentValue().toInt(), slider->GetPos());
        EXPECT_EQ(Access(slider)->text(QAccessible::Value), QString::number(slider->GetPos()));
    }
}

// Every control a user can reach is known to a screen reader by a name, in each layout.
TEST(MainWindowAccess, EveryControlHasANameAndTheRoleOfItsKindInEachLayout) {
    for (const int mode : {0, 1, 2}) {
        SCOPED_TRACE(mode);
        AppShared shared;
        MainWindow w(shared, mode);
        ExpectControlsNamed(w);
        // Nothing the window shows is left nameless.
        for (QWidget* widget : w.findChildren<QWidget*>()) {
            if ((widget->focusPolicy() & Qt::TabFocus) != 0 && widget->isVisibleTo(&w)) {
                EXPECT_FALSE(Name(widget).isEmpty()) << widget->metaObject()->className();
            }
        }
    }
}

TEST(MainWindowAccess, SlidersTakeAValueFromAnAssistiveToolAsFromTheUser) {
    AppShared shared;
    MainWindow w(shared, 1);
    SkinSliderButton* volume = w.PlayCtrl()->Slider(P::kIdVolume);
    QSignalSpy notified(volume, &SkinSliderButton::Notify);
    QAccessibleValueInterface* value = Access(volume)->valueInterface();
    ASSERT_NE(value, nullptr);
    value->setCurrentValue(3);
    EXPECT_EQ(volume->GetPos(), 3);
    ASSERT_EQ(notified.count(), 1);
    EXPECT_EQ(notified[0][0].toUInt(), kMsgThumbReleased);
    EXPECT_EQ(notified[0][2].toInt(), 3);
    value->setCurrentValue(99);  // beyond the range: the end of it
    EXPECT_EQ(volume->GetPos(), kVolumeSliderMax);
}

TEST(MainWindowAccess, CalendarCellsSayTheDayAndWhetherItWasRecorded) {
    AppShared shared;
    MainWindow w(shared, 0);
    MonthCalendar* calendar = w.Calendar();
    calendar->SetCurrentDate(QDate(2026, 12, 9));
    calendar->AddMark(QDate(2026, 12, 9));
    QAccessibleTableInterface* table = Access(calendar)->tableInterface();
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->rowCount(), kCalendarRows);
    EXPECT_EQ(table->columnCount(), kCalendarColumns);
    // December 2026 starts on a Tuesday: the 9th is Wednesday of the second week.
    EXPECT_EQ(CellName(calendar, 1, 3), "December 9, recorded");
    EXPECT_EQ(CellName(calendar, 1, 4), "December 10, no recording");
    EXPECT_EQ(CellName(calendar, 0, 0), "November 29, no recording");
    ASSERT_EQ(table->selectedCells().size(), 1);
    EXPECT_EQ(table->selectedCells().front()->text(QAccessible::Name), "December 9, recorded");
    EXPECT_EQ(table->cellAt(kCalendarRows, 0), nullptr);
    // The cells are the calendar's children after its year and month lists.
    EXPECT_EQ(Access(calendar)->childCount(), 2 + kCalendarCells);
    calendar->SetShowOtherMonthDays(false);
    EXPECT_EQ(CellName(calendar, 0, 0), "");  // a hidden day is not read out
}

// --- On a card: the grids' cells and the dashboard follow the recordings ------------------

class MainWindowAccessOnCard : public ::testing::Test {
  protected:
    void Open(const std::string& file, int uiMode) {
        test::QuietSound();
        window = std::make_unique<MainWindow>(shared, uiMode);
        window->show();
        window->PlayCtrl()->OpenRecording(QString::fromStdString(file));
        ASSERT_TRUE(WaitGui([&] {
            return shared.session.Channel() != nullptr && window->SelectedHour() == 8 &&
                   window->Grid(W::kIdHourGridLow)->CellColor(8) != QColor(0x68, 0x68, 0x68);
        }));
    }
    void TearDown() override { window.reset(); }

    AppShared shared;
    std::unique_ptr<MainWindow> window;
};

TEST_F(MainWindowAccessOnCard, GridCellsSayTheTimeAndWhatWasRecordedThen) {
    ASSERT_TRUE(Card().result.ok) << Card().result.error;
    for (const int mode : {0, 2}) {
        SCOPED_TRACE(mode);
        Open(Card().result.files[0], mode);
        GridRow* hours = window->Grid(W::kIdHourGridLow);
        GridRow* minutes = window->Grid(mode == 2 ? W::kIdMinuteGridLow : W::kIdMinuteGridHigh);
        const int minute30 = mode == 2 ? 30 : 0;  // the column of minute 30
        EXPECT_EQ(Access(hours)->role(), QAccessible::Table);
        EXPECT_EQ(Name(hours), mode == 2 ? "Hours 00-23" : "Hours 00-11");
        EXPECT_EQ(Name(minutes), mode == 2 ? "Minutes 00-59" : "Minutes 30-59");
        EXPECT_EQ(CellName(hours, 0, 8), "08:00, recorded");
        EXPECT_EQ(CellName(hours, 0, 9), "09:00, no recording");
        EXPECT_EQ(CellName(minutes, 0, minute30), "08:30, recorded");
        EXPECT_EQ(CellName(minutes, 0, minute30 + 5), "08:35, no recording");
        EXPECT_EQ(Access(hours)->tableInterface()->cellAt(1, 0), nullptr);
        window.reset();
    }
}

TEST_F(MainWindowAccessOnCard, AFlaggedRecordingIsSaidToBeFlagged) {
    test::TempDir dir;
    RecordingOptions o;
    o.outRoot = dir.path();
    o.files = 1;
    o.secondsPerFile = 2;
    o.width = 320;
    o.height = 240;
    const RecordingResult flagged = WriteRecording(o);
    ASSERT_TRUE(flagged.ok) << flagged.error;
    // The camera flags a recording by taking its write permission away.
    std::filesystem::permissions(flagged.files[0], std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::remove);
    Open(flagged.files[0], 1);
    EXPECT_EQ(CellName(window->Grid(W::kIdHourGridLow), 0, 8), "08:00, flagged");
    EXPECT_EQ(CellName(window->Grid(W::kIdMinuteGridHigh), 0, 0), "08:30, flagged");
}

TEST_F(MainWindowAccessOnCard, TheDashboardReadsOutSpeedHeadingAndPositionAsTheyChange) {
    ASSERT_TRUE(Card().result.ok) << Card().result.error;
    Open(Card().result.files[0], 1);
    Dashboard* dash = window->PlayCtrl()->GetDashboard();
    ASSERT_TRUE(WaitGui([&] { return dash->Fix().latitude != 0.0; }));
    const auto said = [&] { return Access(dash)->text(QAccessible::Description); };
    EXPECT_TRUE(said().startsWith("Speed ")) << said().toStdString();
    EXPECT_TRUE(said().contains("Heading")) << said().toStdString();
    EXPECT_TRUE(
        said().contains(QString("Position %1").arg(FormatLatitude(dash->Fix().latitude).trimmed())))
        << said().toStdString();

    GpsRecord fix;
    fix.speed = 50;
    fix.course = 271.6;
    fix.latitude = -33.5;
    fix.longitude = 151.25;
    shared.session.Close();
    dash->Reset();  // the next sample repaints at once
    QTest::qWait(static_cast<int>(kDashboardRepaintIntervalMs) + 10);
    dash->OnTelemetry(GSensorRecord{}, fix);
    EXPECT_EQ(said().toStdString(),
              "Speed 50 km/h, Heading 272°, Position 33.500000 S, 151.250000 E");
}

// --- Keyboard --------------------------------------------------------------------------------

class MainWindowKeyboard : public ::testing::Test {
  protected:
    void SetUp() override {
        window = std::make_unique<MainWindow>(shared, 1);
        window->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }
    void TearDown() override { window.reset(); }

    // Presses the key where the focus is, as the keyboard would.
    static void Press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(QApplication::focusWidget(), static_cast<Qt::Key>(key), modifiers);
    }

    // The controls Tab reaches, starting from the focus and going until it comes back.
    std::vector<QWidget*> GoRound(int key) {
        std::vector<QWidget*> seen;
        QWidget* start = QApplication::focusWidget();
        for (int step = 0; step < kMaxSteps; ++step) {
            Press(key);
            QWidget* now = QApplication::focusWidget();
            if (now == start) {
                break;
            }
            seen.push_back(now);
        }
        return seen;
    }

    std::set<QWidget*> Reachable() const {
        std::set<QWidget*> reachable;
        for (QWidget* widget : window->findChildren<QWidget*>()) {
            if ((widget->focusPolicy() & Qt::TabFocus) != 0 && widget->isVisible() &&
                widget->isEnabled() && widget->focusProxy() == nullptr) {
                reachable.insert(widget);
            }
        }
        return reachable;
    }

    static constexpr int kMaxSteps = 200;
    AppShared shared;
    std::unique_ptr<MainWindow> window;
};

TEST_F(MainWindowKeyboard, TabReachesEveryControlOnceInReadingOrderAndShiftTabGoesBack) {
    // At first the window itself has the focus: no control takes the player's keys.
    EXPECT_EQ(QApplication::focusWidget(), window.get());
    PlayPanel& panel = *window->PlayCtrl();
    Press(Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), panel.GetDashboard());

    std::vector<QWidget*> round = GoRound(Qt::Key_Tab);
    round.insert(round.begin(), panel.GetDashboard());
    const std::set<QWidget*> once(round.begin(), round.end());
    EXPECT_EQ(once.size(), round.size()) << "a control reached twice";
    EXPECT_EQ(once, Reachable());

    const std::vector<QWidget*> expected = {
        panel.GetDashboard(),
        panel.Slider(P::kIdSeek),
        panel.Slider(P::kIdSpeed),
        panel.Button(P::kIdMute),
        panel.Slider(P::kIdVolume),
        panel.Button(P::kIdPrevFile),
        panel.Button(P::kIdPrevFrame),
        panel.Button(P::kIdBackward),
        panel.Button(P::kIdPause),
        panel.Button(P::kIdStop),
        panel.Button(P::kIdPlay),
        panel.Button(P::kIdNextFrame),
        panel.Button(P::kIdNextFile),
        panel.Button(P::kIdMarkIn),
        panel.Button(P::kIdMarkOut),
        panel.Button(P::kIdBackup),
        panel.Button(P::kIdOpen),
        panel.Button(P::kIdSave),
        panel.Button(P::kIdSnapshot),
        panel.Button(P::kIdMap),
        panel.Button(P::kIdConfig),
        panel.Button(P::kIdCardSetup),
        window->Calendar()->YearList(),
        window->Calendar()->MonthList(),
        window->Calendar(),
        window->Grid(W::kIdHourGridLow),
        window->Grid(W::kIdHourGridHigh),
        window->Grid(W::kIdMinuteGridLow),
        window->Grid(W::kIdMinuteGridHigh),
        window->TitleButton(W::kIdMinimize),
        window->TitleButton(W::kIdClose),
    };
    std::vector<QWidget*> known;
    for (QWidget* widget : round) {
        if (std::find(expected.begin(), expected.end(), widget) != expected.end()) {
            known.push_back(widget);
        }
    }
    EXPECT_EQ(known, expected);

    std::vector<QWidget*> back = GoRound(Qt::Key_Backtab);
    back.insert(back.begin(), panel.GetDashboard());
    std::reverse(back.begin() + 1, back.end());
    EXPECT_EQ(back, round);
}

TEST_F(MainWindowKeyboard, KeysActOnTheFocusedControlAndShowAFocusRing) {
    PlayPanel& panel = *window->PlayCtrl();
    SkinButton* markIn = panel.Button(P::kIdMarkIn);
    QSignalSpy pressed(markIn, &QAbstractButton::clicked);
    markIn->setFocus(Qt::TabFocusReason);
    Press(Qt::Key_Space);
    Press(Qt::Key_Return);
    EXPECT_EQ(pressed.count(), 2);

    SkinSliderButton* seek = panel.Slider(P::kIdSeek);
    seek->SetPos(500);
    seek->setFocus(Qt::TabFocusReason);
    Press(Qt::Key_Right);
    EXPECT_EQ(seek->GetPos(), 510);
    Press(Qt::Key_PageDown);
    EXPECT_EQ(seek->GetPos(), 410);
    Press(Qt::Key_End);
    EXPECT_EQ(seek->GetPos(), 1000);

    GridRow* hours = window->Grid(W::kIdHourGridLow);
    hours->setFocus(Qt::TabFocusReason);
    Press(Qt::Key_Right);  // no hour chosen yet: the first
    EXPECT_EQ(window->SelectedHour(), 0);
    Press(Qt::Key_Right);
    Press(Qt::Key_Right);
    EXPECT_EQ(window->SelectedHour(), 2);
    EXPECT_EQ(hours->SelectedCell(), 2);
    Press(Qt::Key_End);
    EXPECT_EQ(window->SelectedHour(), 11);

    MonthCalendar* calendar = window->Calendar();
    calendar->SetCurrentDate(QDate(2026, 12, 9));
    calendar->setFocus(Qt::TabFocusReason);
    Press(Qt::Key_Left);
    EXPECT_EQ(window->SelectedDate(), QDate(2026, 12, 8));
    Press(Qt::Key_Down);
    EXPECT_EQ(window->SelectedDate(), QDate(2026, 12, 15));
    Press(Qt::Key_PageUp);
    EXPECT_EQ(window->SelectedDate(), QDate(2026, 11, 15));

    // Shift and the arrows stay the player's seek, wherever the focus is.
    seek->SetPos(300);
    Press(Qt::Key_Right, Qt::ShiftModifier);
    EXPECT_EQ(seek->GetPos(), 350);

    // The ring is drawn in the skin's highlight inside the focused control only.
    const QColor ring = SkinColour(SkinColor::kHighlight);
    for (QWidget* control : std::initializer_list<QWidget*>{markIn, seek, hours, calendar}) {
        SCOPED_TRACE(control->metaObject()->className());
        control->setFocus(Qt::TabFocusReason);
        const QImage focused = control->grab().toImage();
        const QPoint edge(0, control->height() / 2);
        EXPECT_EQ(focused.pixelColor(edge), ring);
        window->setFocus(Qt::OtherFocusReason);
        EXPECT_NE(control->grab().toImage().pixelColor(edge), ring);
    }
}

}  // namespace
}  // namespace velmaro
