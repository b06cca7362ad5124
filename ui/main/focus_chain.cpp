// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/main/focus_chain.h"

#include <QComboBox>
#include <algorithm>
#include <vector>

#include "app/language_table.h"
#include "app/recording_day.h"
#include "controls/grid_row.h"
#include "controls/month_calendar.h"
#include "controls/skin_button.h"
#include "ui/main/main_window.h"
#include "ui/panel/play_panel.h"

namespace velmaro {
namespace {

using Id = MainWindow::ControlId;

QString Text(const char* key) {
    return QString::fromStdString(GetLanguageString(key));
}

QString TwoDigits(int value) {
    return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
}

// As the grids colour them: green for recorded, red for a flagged recording.
QString StateWord(int state) {
    if (state == kNoRecording) {
        return Text("no recording");
    }
    return Text(state == kFlaggedRecording ? "flagged" : "recorded");
}

// The panel's controls in reading order: by their top edge, then left to right.
std::vector<QWidget*> PanelReadingOrder(PlayPanel& panel) {
    std::vector<QWidget*> controls;
    for (QWidget* child : panel.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if ((child->focusPolicy() & Qt::TabFocus) != 0) {
            controls.push_back(child);
        }
    }
    std::stable_sort(controls.begin(), controls.end(), [](const QWidget* a, const QWidget* b) {
        const QPoint pa = a->geometry().topLeft();
        const QPoint pb = b->geometry().topLeft();
        return pa.y() != pb.y() ? pa.y() < pb.y() : pa.x() < pb.x();
    });
    return controls;
}

// "Hours 12-23": the row's span, so that the two rows of the smaller layouts are told apart.
void NameRow(GridRow* row, const char* what, int first) {
    const int last = first + std::max(row->ColumnCount(), 1) - 1;
    row->setAccessibleName(
        QStringLiteral("%1 %2-%3").arg(Text(what), TwoDigits(first), TwoDigits(last)));
}

void NameHourRow(MainWindow& window, GridRow* row, int first) {
    NameRow(row, "Hours", first);
    row->SetCellNamer([&window, first](int column) {
        const int hour = first + column;
        const int state = hour < kHoursPerDay ? window.States().hour[hour] : kNoRecording;
        return QStringLiteral("%1:00, %2").arg(TwoDigits(hour), StateWord(state));
    });
}

// A minute is told with the hour chosen in the hour rows; before one is chosen, alone.
void NameMinuteRow(MainWindow& window, GridRow* row, int first) {
    NameRow(row, "Minutes", first);
    row->SetCellNamer([&window, first](int column) {
        const int minute = first + column;
        const int hour = window.SelectedHour();
        const bool timed = hour >= 0 && hour < kHoursPerDay && minute < kMinutesPerHour;
        const int state = timed ? window.States().minute[hour][minute] : kNoRecording;
        const QString time = timed ? QStringLiteral("%1:%2").arg(TwoDigits(hour), TwoDigits(minute))
                                   : TwoDigits(minute);
        return QStringLiteral("%1, %2").arg(time, StateWord(state));
    });
}

void NameNavigator(MainWindow& window) {
    MonthCalendar* calendar = window.Calendar();
    calendar->setAccessibleName(Text("Calendar"));
    // A list is read out by its current choice; what it chooses goes with it.
    calendar->YearList()->setAccessibleDescription(Text("Year"));
    calendar->MonthList()->setAccessibleDescription(Text("Month"));
    const int hoursHigh = kHoursPerDay / 2;
    const int minutesHigh = kMinutesPerHour / 2;
    NameHourRow(window, window.Grid(Id::kIdHourGridLow), 0);
    NameHourRow(window, window.Grid(Id::kIdHourGridHigh), hoursHigh);
    NameMinuteRow(window, window.Grid(Id::kIdMinuteGridLow), 0);
    NameMinuteRow(window, window.Grid(Id::kIdMinuteGridHigh), minutesHigh);
}

void NameTitleButtons(MainWindow& window) {
    window.TitleButton(Id::kIdMinimize)->setAccessibleName(Text("Minimise"));
    window.TitleButton(Id::kIdMaximize)->setAccessibleName(Text("Maximise"));
    window.TitleButton(Id::kIdClose)->setAccessibleName(Text("Close"));
}

}  // namespace

void SetUpFocusChain(MainWindow& window) {
    NameNavigator(window);
    NameTitleButtons(window);

    std::vector<QWidget*> order = PanelReadingOrder(*window.PlayCtrl());
    MonthCalendar* calendar = window.Calendar();
    // The title band's lists come before the days they choose from.
    order.insert(order.end(), {calendar->YearList(), calendar->MonthList(), calendar});
    for (const int id :
         {Id::kIdHourGridLow, Id::kIdHourGridHigh, Id::kIdMinuteGridLow, Id::kIdMinuteGridHigh}) {
        order.push_back(window.Grid(id));
    }
    for (const int id : {Id::kIdMinimize, Id::kIdMaximize, Id::kIdClose}) {
        SkinButton* button = window.TitleButton(id);
        button->setFocusPolicy(Qt::TabFocus);
        order.push_back(button);
    }
    for (size_t i = 1; i < order.size(); ++i) {
        QWidget::setTabOrder(order[i - 1], order[i]);
    }
    // The window itself holds the focus until Tab is pressed: no control is picked for the
    // user, and the player's keys (Space, the arrows) work as before.
    window.setFocus(Qt::OtherFocusReason);
}

}  // namespace velmaro
