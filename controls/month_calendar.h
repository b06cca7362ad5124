// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// MonthCalendar: the self-drawn month calendar of the recording navigator. A dark title band
// with previous/next arrows and year and month lists, a band of weekday names, and 6 x 7 day
// cells, weeks starting on Sunday. The owner marks the days that have recordings (red frame)
// and hears of every date the user picks through Notify(). Reached with Tab, the arrow keys move
// a day or a week and Page Up and Down a month; a screen reader hears each day cell by name.
//
// The month layout, the cell geometry and the hit tests are plain functions below, so they can
// be checked without a widget.
#pragma once

#include <QColor>
#include <QDate>
#include <QLocale>
#include <QPolygon>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <array>
#include <vector>

class QComboBox;
class QPainter;

namespace velmaro {

inline constexpr int kCalendarColumns = 7;
inline constexpr int kCalendarRows = 6;
inline constexpr int kCalendarCells = kCalendarColumns * kCalendarRows;
inline constexpr int kCalendarTitleHeight = 28;
inline constexpr int kCalendarWeekdayHeight = 15;
inline constexpr int kCalendarSeparatorHeight = 1;
inline constexpr int kCalendarGridTop =
    kCalendarTitleHeight + kCalendarWeekdayHeight + kCalendarSeparatorHeight;
inline constexpr int kCalendarMinCellWidth = 20;
inline constexpr int kCalendarMinCellHeight = 12;

// Notification code sent with Notify() whenever the user changes the current date.
inline constexpr int kCalendarNotifyDateChanged = -101;
inline constexpr int kCalendarYearListId = 10001;
inline constexpr int kCalendarMonthListId = 10002;
inline constexpr int kCalendarYearListSpan = 5;  // years listed either side of the shown one

enum MonthRelation : int { kPreviousMonth = -1, kShownMonth = 0, kNextMonth = 1 };
enum CalendarArrow : int { kNoArrow = -1, kPreviousArrow = 0, kNextArrow = 1 };

struct DayCell {
    QString text;
    QDate date;
    int relation = kShownMonth;
    QColor color;
    bool marked = false;
};

// The 42 cells of a month in row-major order, the count of leading days of the previous month
// and the cell of the date the month was laid out for.
struct MonthLayout {
    std::array<DayCell, kCalendarCells> cells;
    int leading = 0;
    int selected = -1;
};

// Lays out the month of date; marks are left clear. A month starting on Sunday gets a whole
// leading week of the previous month when other-month days are shown.
MonthLayout LayOutMonth(QDate date, bool showOtherMonthDays);

// Day-number colour of a column (Sunday red, Saturday blue, black otherwise).
QColor DayColumnColor(int column);
// Weekday names of the band, Sunday first, and their colours.
QStringList WeekdayBandNames(const QLocale& locale);
QColor WeekdayNameColor(int column);

// The date moved by whole months, the day limited to the length of the target month.
QDate StepMonth(QDate from, int months);
// The date in the given year and month, the day limited to the length of that month.
QDate DateInYearMonth(QDate from, int year, int month);

struct CalendarGeometry {
    int clientWidth = 0;
    int clientHeight = 0;
    int cellWidth = kCalendarMinCellWidth;
    int cellHeight = kCalendarMinCellHeight;
    int margin = 0;
};

CalendarGeometry ComputeCalendarGeometry(QSize client, int margin = 0);
QRect CalendarCellRect(const CalendarGeometry& geometry, int index);
// Cell under a point, or -1 (outside the grid, or a hidden day of a neighbouring month).
int CalendarHitTest(const CalendarGeometry& geometry, QPoint point, const MonthLayout& layout,
                    bool showOtherMonthDays);

QPolygon CalendarArrowPolygon(int arrow, int clientWidth);
// Crossing-number test.
bool PolygonContains(const QPolygon& polygon, QPoint point);
int CalendarArrowAt(QPoint point, int clientWidth);

class MonthCalendar : public QWidget {
    Q_OBJECT

  public:
    explicit MonthCalendar(QWidget* parent = nullptr, int controlId = 0);

    int ControlId() const { return controlId_; }

    QDate CurrentDate() const { return current_; }
    // Shows the month of date and selects it; the owner's own choice, so no notification.
    void SetCurrentDate(QDate date);

    void AddMark(QDate date);
    void ClearMarks();
    bool IsMarked(QDate date) const;
    const std::vector<QDate>& Marks() const { return marks_; }

    void SetShowOtherMonthDays(bool show);
    bool ShowsOtherMonthDays() const { return showOtherMonthDays_; }

    // What a screen reader says of a cell ("December 9, recorded"); empty for a hidden day.
    QString CellName(int index) const;

    const MonthLayout& Layout() const { return layout_; }
    const CalendarGeometry& Geometry() const { return geometry_; }
    QComboBox* YearList() const { return yearList_; }
    QComboBox* MonthList() const { return monthList_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

  signals:
    // Sent with kCalendarNotifyDateChanged each time the user changes the current date.
    void Notify(int controlId, int code);

  protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool event(QEvent* event) override;

  private:
    void CreateLists();
    void LayOut(QDate date);
    void RebuildYearList(int year);
    void ChangeDateByUser(QDate date);
    void OnYearChosen(int index);
    void OnMonthChosen(int index);
    void UpdateHoveredArrow(QPoint point);
    void UpdateHoveredCell(QPoint point);
    void FinishArrowClick();
    void FinishCellClick();
    void UpdateCell(int index);
    void UpdateArrows();

    void PaintBands(QPainter& painter) const;
    void PaintArrow(QPainter& painter, int arrow) const;
    void PaintWeekdayNames(QPainter& painter) const;
    void PaintCell(QPainter& painter, int index) const;

    int controlId_;
    QDate current_;
    MonthLayout layout_;
    CalendarGeometry geometry_;
    std::vector<QDate> marks_;
    bool showOtherMonthDays_ = true;
    int hoveredCell_ = -1;
    int hoveredArrow_ = kNoArrow;
    bool buttonHeld_ = false;
    int yearListBuiltFor_ = 0;
    bool yearListBuilt_ = false;
    QStringList weekdayNames_;
    QComboBox* yearList_ = nullptr;   // child widget
    QComboBox* monthList_ = nullptr;  // child widget
};

}  // namespace velmaro
