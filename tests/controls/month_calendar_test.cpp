// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QtTest/QTest>
#include <cstdlib>
#include <functional>
#include <ostream>

#include "controls/month_calendar.h"
#include "controls/skin.h"

QT_BEGIN_NAMESPACE
// Readable dates in failure messages.
inline void PrintTo(const QDate& date, std::ostream* os) {
    *os << date.toString(Qt::ISODate).toStdString();
}
QT_END_NAMESPACE

namespace velmaro {
namespace {

TEST(MonthLayout, MonthStartingOnSundayLeadsWithAWholeWeek) {
    const MonthLayout shown = LayOutMonth(QDate(2024, 9, 17), true);
    EXPECT_EQ(shown.leading, 7);
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(shown.cells[i].date, QDate(2024, 8, 25 + i));
        EXPECT_EQ(shown.cells[i].relation, kPreviousMonth);
    }
    EXPECT_EQ(shown.cells[7].date, QDate(2024, 9, 1));
    EXPECT_EQ(shown.cells[7].text, QStringLiteral("1"));
    EXPECT_EQ(shown.cells[36].date, QDate(2024, 9, 30));
    EXPECT_EQ(shown.cells[36].relation, kShownMonth);
    EXPECT_EQ(shown.cells[37].date, QDate(2024, 10, 1));
    EXPECT_EQ(shown.cells[37].relation, kNextMonth);
    EXPECT_EQ(shown.cells[41].date, QDate(2024, 10, 5));
    EXPECT_EQ(shown.selected, 23);

    // Without other-month days the first row starts with the 1st.
    const MonthLayout hidden = LayOutMonth(QDate(2024, 9, 17), false);
    EXPECT_EQ(hidden.leading, 0);
    EXPECT_EQ(hidden.cells[0].date, QDate(2024, 9, 1));
    EXPECT_EQ(hidden.selected, 16);
}

TEST(MonthLayout, KnownMonths) {
    struct Case {
        QDate date;
        bool showOther;
        int leading;
        QDate first;
        QDate last;
        int selected;
    };
    const Case cases[] = {
        {QDate(2025, 3, 1), true, 6, QDate(2025, 2, 23), QDate(2025, 4, 5), 6},
        {QDate(2024, 2, 10), true, 4, QDate(2024, 1, 28), QDate(2024, 3, 9), 13},
        {QDate(2015, 2, 28), true, 7, QDate(2015, 1, 25), QDate(2015, 3, 7), 34},
        {QDate(2015, 2, 28), false, 0, QDate(2015, 2, 1), QDate(2015, 3, 14), 27},
        {QDate(2023, 1, 1), true, 7, QDate(2022, 12, 25), QDate(2023, 2, 4), 7},
        {QDate(2024, 7, 31), true, 1, QDate(2024, 6, 30), QDate(2024, 8, 10), 31},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.date.toString(Qt::ISODate).toStdString());
        const MonthLayout layout = LayOutMonth(c.date, c.showOther);
        EXPECT_EQ(layout.leading, c.leading);
        EXPECT_EQ(layout.cells.front().date, c.first);
        EXPECT_EQ(layout.cells.back().date, c.last);
        EXPECT_EQ(layout.selected, c.selected);
        EXPECT_EQ(layout.cells[layout.selected].date, c.date);
    }
}

TEST(MonthLayout, ColumnColoursComeFromTheSkin) {
    const MonthLayout layout = LayOutMonth(QDate(2024, 9, 17), true);
    EXPECT_EQ(layout.cells[0].color, SkinColour(SkinColor::kCalendarSundayText));
    EXPECT_EQ(layout.cells[13].color, SkinColour(SkinColor::kCalendarSaturdayText));
    EXPECT_EQ(layout.cells[10].color, SkinColour(SkinColor::kCalendarDayText));
    EXPECT_EQ(WeekdayNameColor(0), SkinColour(SkinColor::kCalendarSundayText));
    EXPECT_EQ(WeekdayNameColor(3), SkinColour(SkinColor::kCalendarWeekdayName));
    EXPECT_EQ(WeekdayNameColor(6), SkinColour(SkinColor::kCalendarSaturdayText));
}

TEST(MonthLayout, WeekdayBandStartsOnSundayInAnyLanguage) {
    const QStringList english = WeekdayBandNames(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(english, QStringList({"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"}));
    const QLocale german(QLocale::German, QLocale::Germany);
    const QStringList names = WeekdayBandNames(german);
    ASSERT_EQ(names.size(), 7);
    EXPECT_EQ(names[0], german.dayName(Qt::Sunday, QLocale::ShortFormat));
    EXPECT_EQ(names[6], german.dayName(Qt::Saturday, QLocale::ShortFormat));
}

TEST(CalendarDates, MonthStepsKeepTheDayWithinTheTargetMonth) {
    EXPECT_EQ(StepMonth(QDate(2024, 1, 31), 1), QDate(2024, 2, 29));
    EXPECT_EQ(StepMonth(QDate(2023, 1, 31), 1), QDate(2023, 2, 28));
    EXPECT_EQ(StepMonth(QDate(2024, 1, 15), -1), QDate(2023, 12, 15));
    EXPECT_EQ(StepMonth(QDate(2023, 12, 31), 1), QDate(2024, 1, 31));
    EXPECT_EQ(StepMonth(QDate(2024, 3, 31), -1), QDate(2024, 2, 29));
    EXPECT_EQ(DateInYearMonth(QDate(2024, 2, 29), 2023, 2), QDate(2023, 2, 28));
    EXPECT_EQ(DateInYearMonth(QDate(2024, 5, 31), 2024, 6), QDate(2024, 6, 30));
    EXPECT_FALSE(DateInYearMonth(QDate(2024, 5, 31), 2024, 13).isValid());
}

TEST(CalendarGeometryTest, CellSizesAndRectangles) {
    const CalendarGeometry g = ComputeCalendarGeometry(QSize(253, 129));
    EXPECT_EQ(g.cellWidth, 36);
    EXPECT_EQ(g.cellHeight, 14);
    EXPECT_EQ(CalendarCellRect(g, 0), QRect(0, 44, 36, 14));
    EXPECT_EQ(CalendarCellRect(g, 8), QRect(36, 58, 36, 14));
    EXPECT_EQ(CalendarCellRect(g, 41), QRect(216, 114, 36, 14));
    const CalendarGeometry tiny = ComputeCalendarGeometry(QSize(100, 60));
    EXPECT_EQ(tiny.cellWidth, 20);
    EXPECT_EQ(tiny.cellHeight, 12);
}

TEST(CalendarGeometryTest, HitTestingCells) {
    const CalendarGeometry g = ComputeCalendarGeometry(QSize(253, 129));
    const MonthLayout march = LayOutMonth(QDate(2025, 3, 10), true);
    EXPECT_EQ(CalendarHitTest(g, QPoint(0, 44), march, true), 0);
    EXPECT_EQ(CalendarHitTest(g, QPoint(35, 57), march, true), 0);
    EXPECT_EQ(CalendarHitTest(g, QPoint(36, 58), march, true), 8);
    EXPECT_EQ(CalendarHitTest(g, QPoint(251, 127), march, true), 41);
    // The weekday band and the separator lie above the grid, not in its first row.
    EXPECT_EQ(CalendarHitTest(g, QPoint(10, 30), march, true), -1);
    EXPECT_EQ(CalendarHitTest(g, QPoint(10, 43), march, true), -1);
    EXPECT_EQ(CalendarHitTest(g, QPoint(252, 50), march, true), -1);
    EXPECT_EQ(CalendarHitTest(g, QPoint(10, 128), march, true), -1);
    // February 23 leads March 2025; it is no cell while other-month days are hidden.
    EXPECT_EQ(CalendarHitTest(g, QPoint(5, 50), march, false), -1);
    EXPECT_EQ(CalendarHitTest(g, QPoint(220, 50), march, false), 6);
}

TEST(CalendarGeometryTest, ArrowTriangles) {
    EXPECT_EQ(CalendarArrowPolygon(kPreviousArrow, 253),
              QPolygon({QPoint(24, 7), QPoint(24, 21), QPoint(10, 14)}));
    EXPECT_EQ(CalendarArrowPolygon(kNextArrow, 253),
              QPolygon({QPoint(229, 7), QPoint(229, 21), QPoint(243, 14)}));
    const QPolygon previous = CalendarArrowPolygon(kPreviousArrow, 253);
    EXPECT_TRUE(PolygonContains(previous, QPoint(19, 14)));
    EXPECT_TRUE(PolygonContains(previous, QPoint(23, 8)));
    EXPECT_FALSE(PolygonContains(previous, QPoint(9, 14)));
    EXPECT_FALSE(PolygonContains(previous, QPoint(19, 8)));  // outside the slanted edge
    EXPECT_EQ(CalendarArrowAt(QPoint(19, 14), 253), kPreviousArrow);
    EXPECT_EQ(CalendarArrowAt(QPoint(234, 14), 253), kNextArrow);
    EXPECT_EQ(CalendarArrowAt(QPoint(120, 14), 253), kNoArrow);
}

// --- the widget, driven by real mouse and key events ---------------------------------------

constexpr int kControlId = 1021;

class CalendarWidget : public ::testing::Test {
  protected:
    void SetUp() override {
        calendar.resize(283, 172);  // cells 40 x 21, the grid ends at (280, 170)
        calendar.SetCurrentDate(QDate(2024, 1, 31));
        calendar.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&calendar));
    }

    int IndexOf(QDate date) const {
        for (int i = 0; i < kCalendarCells; ++i) {
            if (calendar.Layout().cells[i].date == date) {
                return i;
            }
        }
        return -1;
    }
    QRect CellOf(QDate date) const { return CalendarCellRect(calendar.Geometry(), IndexOf(date)); }
    void Click(QPoint point) { QTest::mouseClick(&calendar, Qt::LeftButton, {}, point); }
    void Click(QDate date) { Click(CellOf(date).center()); }
    // Moves are sent straight to the widget: moving the real pointer is asynchronous under X.
    void Move(QPoint point, Qt::MouseButtons held = Qt::NoButton) {
        QMouseEvent move(QEvent::MouseMove, point, calendar.mapToGlobal(point), Qt::NoButton, held,
                         Qt::NoModifier);
        QApplication::sendEvent(&calendar, &move);
    }
    void MoveHeld(QPoint point) { Move(point, Qt::LeftButton); }
    QPoint NextArrow() const { return QPoint(calendar.width() - 19, 14); }
    QImage Render() { return calendar.grab().toImage(); }

    MonthCalendar calendar{nullptr, kControlId};
    QSignalSpy notified{&calendar, &MonthCalendar::Notify};
};

TEST_F(CalendarWidget, ArrowsStepMonthsAcrossMonthAndYearEnds) {
    Click(NextArrow());
    EXPECT_EQ(calendar.CurrentDate(), QDate(2024, 2, 29));
    ASSERT_EQ(notified.count(), 1);
    EXPECT_EQ(notified.at(0).at(0).toInt(), kControlId);
    EXPECT_EQ(notified.at(0).at(1).toInt(), kCalendarNotifyDateChanged);
    EXPECT_EQ(calendar.Layout().cells[calendar.Layout().selected].date, QDate(2024, 2, 29));
    EXPECT_EQ(calendar.MonthList()->currentText(), QStringLiteral("2"));

    calendar.SetCurrentDate(QDate(2024, 1, 15));
    EXPECT_EQ(notified.count(), 1);  // the owner's own choice is not announced back
    Click(QPoint(19, 14));
    EXPECT_EQ(calendar.CurrentDate(), QDate(2023, 12, 15));
    EXPECT_EQ(notified.count(), 2);
    EXPECT_EQ(calendar.YearList()->currentText(), QStringLiteral("2023"));
    EXPECT_EQ(calendar.YearList()->itemText(0), QStringLiteral("2018"));
    EXPECT_EQ(calendar.YearList()->count(), 11);
}

TEST_F(CalendarWidget, ClickingDaysSelectsAndNotifiesOnlyOnChange) {
    Click(QDate(2024, 1, 31));
    EXPECT_EQ(notified.count(), 0);

    Click(QDate(2024, 1, 10));
    EXPECT_EQ(calendar.CurrentDate(), QDate(2024, 1, 10));
    EXPECT_EQ(calendar.Layout().selected, IndexOf(QDate(2024, 1, 10)));
    EXPECT_EQ(notified.count(), 1);

    // A greyed day of the next month switches the shown month.
    Click(QDate(2024, 2, 2));
    EXPECT_EQ(calendar.CurrentDate(), QDate(2024, 2, 2));
    EXPECT_EQ(calendar.Layout().cells[IndexOf(QDate(2024, 2, 2))].relation, kShownMonth);
    EXPECT_EQ(calendar.Layout().cells[calendar.Layout().selected].date, QDate(2024, 2, 2));
    EXPECT_EQ(notified.count(), 2);

    // ... and one of the previous month too.
    Click(QDate(2024, 1, 30));
    EXPECT_EQ(calendar.CurrentDate(), QDate(2024, 1, 30));
    EXPECT_EQ(notified.count(), 3);
}

TEST_F(CalendarWidget, ClicksOutsideTheGridChangeNothing) {
    Click(QPoint(60, 36));    // weekday band
    Click(QPoint(60, 43));    // separator
    Click(QPoint(40, 14));    // title band, between the previous arrow and the year list
    Click(QPoint(281, 100));  // right of the grid
    Click(QPoint(100, 171));  // below it
    EXPECT_EQ(calendar.CurrentDate(), QDate(2024, 1, 31));
    EXPECT_EQ(notified.count(), 0);

    calendar.SetShowOtherMonthDays(false);
    Click(CalendarCellRect(calendar.Geometry(), 40).center());  // would be February 9
    EXPECT_EQ(calendar.CurrentDate(), QDate(2024, 1, 31));
    EXPECT_EQ(notified.count(), 0);
}

TEST_F(CalendarWidget, ReleaseSelectsTheDayTheButtonWasDraggedTo) {
    QTest::mousePress(&calendar, Qt::LeftButton, {}, CellOf(QDate(2024, 1, 10)).center());
    MoveHeld(CellOf(QDate(2024, 1, 12)).center());
    QTest::mouseRelease(&calendar, Qt::LeftButton, {}, CellOf(QDate(2024, 1, 12)).center());
    EXPECT_EQ(calendar.CurrentDate(), QDate(2024, 1, 12));
    EXPECT_EQ(notified.count(), 1);

    // Dragged off the grid, or the pointer gone: no day.
    QTest::mousePress(&calendar, Qt::LeftButton, {}, CellOf(QDate(2024, 1, 10)).center());
    MoveHeld(QPoint(60, 36));
    QTest::mouseRelease(&calendar, Qt::LeftButton, {}, QPoint(60, 36));
    QTest::mousePress(&calendar, Qt::LeftButton, {}, CellOf(QDate(2024, 1, 10)).center());
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&calendar, &leave);
    QTest::mouseRelease(&calendar, Qt::LeftButton, {}, CellOf(QDate(2024, 1, 10)).center());
    EXPECT_EQ(calendar.CurrentDate(), QDate(2024, 1, 12));
    EXPECT_EQ(notified.count(), 1);
}

TEST_F(CalendarWidget, YearAndMonthListsChangeTheDate) {
    calendar.MonthList()->setFocus();
    QTest::keyClick(calendar.MonthList(), Qt::Key_Down);
    EXPECT_EQ(calendar.CurrentDate(), QDate(2024, 2, 29));
    EXPECT_EQ(notified.count(), 1);

    QTest::keyClick(calendar.YearList(), Qt::Key_Down);
    EXPECT_EQ(calendar.CurrentDate(), QDate(2025, 2, 28));
    EXPECT_EQ(notified.count(), 2);
    // The list is rebuilt around the new year.
    EXPECT_EQ(calendar.YearList()->currentIndex(), kCalendarYearListSpan);
    EXPECT_EQ(calendar.YearList()->currentText(), QStringLiteral("2025"));
}

TEST_F(CalendarWidget, MarksAreKeptOncePerDayAndFollowTheShownMonth) {
    calendar.AddMark(QDate(2024, 1, 10));
    calendar.AddMark(QDate(2024, 1, 10));
    calendar.AddMark(QDate());
    ASSERT_EQ(calendar.Marks().size(), 1U);
    EXPECT_TRUE(calendar.IsMarked(QDate(2024, 1, 10)));
    EXPECT_FALSE(calendar.IsMarked(QDate(2024, 1, 11)));
    EXPECT_TRUE(calendar.Layout().cells[IndexOf(QDate(2024, 1, 10))].marked);

    // A day of the next month shown greyed carries its mark, and keeps it in its own month.
    calendar.AddMark(QDate(2024, 2, 3));
    EXPECT_TRUE(calendar.Layout().cells[IndexOf(QDate(2024, 2, 3))].marked);
    Click(NextArrow());
    EXPECT_TRUE(calendar.Layout().cells[IndexOf(QDate(2024, 2, 3))].marked);
    EXPECT_EQ(IndexOf(QDate(2024, 1, 10)), -1);
    Click(QPoint(19, 14));
    EXPECT_TRUE(calendar.Layout().cells[IndexOf(QDate(2024, 1, 10))].marked);

    calendar.ClearMarks();
    EXPECT_TRUE(calendar.Marks().empty());
    for (const DayCell& cell : calendar.Layout().cells) {
        EXPECT_FALSE(cell.marked);
    }
}

QColor Skin(SkinColor role) {
    return SkinColour(role);
}
using enum SkinColor;

bool Near(QColor a, QColor b, int tolerance) {
    return std::abs(a.red() - b.red()) <= tolerance &&
           std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance;
}

bool AnyPixel(const QImage& image, QRect area, const std::function<bool(QColor)>& test) {
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if (test(image.pixelColor(x, y))) {
                return true;
            }
        }
    }
    return false;
}

TEST_F(CalendarWidget, RendersBandsArrowsDiscMarksAndDays) {
    calendar.AddMark(QDate(2024, 1, 10));
    const QImage image = Render();
    EXPECT_EQ(image.pixelColor(40, 2), Skin(kCalendarTitleBand));
    EXPECT_EQ(image.pixelColor(19, 14), Skin(kCalendarArrowFill));
    EXPECT_EQ(image.pixelColor(24, 10), Skin(kCalendarArrowOutline));
    EXPECT_EQ(image.pixelColor(1, 30), Skin(kCalendarWeekdayBand));
    EXPECT_EQ(image.pixelColor(1, 43), Skin(kCalendarSeparator));
    EXPECT_EQ(image.pixelColor(1, 160), Skin(kCalendarBackground));

    const QRect selected = CellOf(QDate(2024, 1, 31));
    EXPECT_EQ(image.pixelColor(selected.left() + 5, selected.center().y()),
              Skin(kCalendarSelectedDisc));
    EXPECT_TRUE(
        AnyPixel(image, selected, [](QColor c) { return c == Skin(kCalendarSelectedText); }));

    const QRect marked = CellOf(QDate(2024, 1, 10));
    EXPECT_EQ(image.pixelColor(marked.left() + 1, marked.center().y()), Skin(kCalendarMarkFrame));
    EXPECT_EQ(image.pixelColor(marked.right() - 1, marked.top() + 1), Skin(kCalendarMarkFrame));
    EXPECT_EQ(image.pixelColor(marked.left(), marked.center().y()), Skin(kCalendarBackground));

    // Day numbers: Sunday's colour, greyed for the next month, the day colour on a weekday.
    const QRect sunday = CellOf(QDate(2024, 1, 7)).adjusted(2, 2, -2, -2);
    EXPECT_TRUE(
        AnyPixel(image, sunday, [](QColor c) { return Near(c, Skin(kCalendarSundayText), 60); }));
    const QRect greyed = CellOf(QDate(2024, 2, 2)).adjusted(2, 2, -2, -2);
    EXPECT_TRUE(AnyPixel(image, greyed,
                         [](QColor c) { return Near(c, Skin(kCalendarOtherMonthText), 30); }));
    const QRect weekday = CellOf(QDate(2024, 1, 17)).adjusted(2, 2, -2, -2);
    EXPECT_TRUE(
        AnyPixel(image, weekday, [](QColor c) { return Near(c, Skin(kCalendarDayText), 60); }));
    const QRect weekdayName(0, 28, calendar.Geometry().cellWidth, 15);
    EXPECT_TRUE(AnyPixel(image, weekdayName,
                         [](QColor c) { return Near(c, Skin(kCalendarSundayText), 60); }));

    calendar.SetShowOtherMonthDays(false);
    const QRect hidden = CalendarCellRect(calendar.Geometry(), 40);
    EXPECT_FALSE(
        AnyPixel(Render(), hidden, [](QColor c) { return c != Skin(kCalendarBackground); }));
}

TEST_F(CalendarWidget, PointerFeedbackOnArrowsAndHeldCells) {
    const QPoint edge(calendar.width() - 24, 10);  // on the next arrow's outline
    EXPECT_EQ(Render().pixelColor(edge), Skin(kCalendarArrowOutline));
    Move(NextArrow());
    EXPECT_EQ(Render().pixelColor(edge), Skin(kCalendarArrowHoverOutline));
    Move(QPoint(140, 100));
    EXPECT_EQ(Render().pixelColor(edge), Skin(kCalendarArrowOutline));

    const QRect cell = CellOf(QDate(2024, 1, 17));
    QTest::mousePress(&calendar, Qt::LeftButton, {}, cell.center());
    EXPECT_EQ(Render().pixelColor(cell.left(), cell.center().y()).rgb(),
              calendar.palette().color(QPalette::Dark).rgb());
    QTest::mouseRelease(&calendar, Qt::LeftButton, {}, cell.center());
    EXPECT_EQ(Render().pixelColor(cell.left(), cell.center().y()), Skin(kCalendarBackground));
}

}  // namespace
}  // namespace velmaro
