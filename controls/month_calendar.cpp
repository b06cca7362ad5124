// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/month_calendar.h"

#include <QComboBox>
#include <QEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPen>
#include <QResizeEvent>
#include <algorithm>

#include "app/language_table.h"
#include "controls/control_access.h"
#include "controls/focus_keys.h"
#include "controls/skin.h"

namespace velmaro {
namespace {

constexpr int kDaysPerWeek = 7;
constexpr int kSundayColumn = 0;
constexpr int kSaturdayColumn = 6;
constexpr int kMonthsPerYear = 12;

// Arrow triangles in the title band: base 24 px in from the side, tip 10 px in, 7 px from the
// band's top and bottom.
constexpr int kArrowBaseInset = 24;
constexpr int kArrowTipInset = 10;
constexpr int kArrowVerticalInset = 7;
constexpr int kArrowTipY = 14;

// Year and month lists, centred on the title band.
constexpr int kYearListOffset = -70;
constexpr int kYearListWidth = 70;
constexpr int kMonthListOffset = 20;
constexpr int kMonthListWidth = 50;
constexpr int kListTop = 4;
constexpr int kListHeight = kCalendarTitleHeight - 2 * kListTop;

constexpr int kFontPointSize = 9;
// The navigator's size in the largest window layout.
constexpr QSize kPreferredSize(253, 129);

// The marked frame runs one pixel inside the cell; the disc leaves the top-left pixel free.
constexpr int kFrameInset = 1;
constexpr int kFrameShrink = 3;
constexpr int kDiscInset = 1;

}  // namespace

QColor DayColumnColor(int column) {
    if (column == kSundayColumn) {
        return SkinColour(SkinColor::kCalendarSundayText);
    }
    if (column == kSaturdayColumn) {
        return SkinColour(SkinColor::kCalendarSaturdayText);
    }
    return SkinColour(SkinColor::kCalendarDayText);
}

QColor WeekdayNameColor(int column) {
    if (column == kSundayColumn) {
        return SkinColour(SkinColor::kCalendarSundayText);
    }
    if (column == kSaturdayColumn) {
        return SkinColour(SkinColor::kCalendarSaturdayText);
    }
    return SkinColour(SkinColor::kCalendarWeekdayName);
}

QStringList WeekdayBandNames(const QLocale& locale) {
    QStringList names;
    // QLocale counts Monday as 1 and Sunday as 7; the band starts on Sunday.
    for (int column = 0; column < kDaysPerWeek; ++column) {
        const int qtDay = column == kSundayColumn ? Qt::Sunday : column;
        names.push_back(locale.dayName(qtDay, QLocale::ShortFormat));
    }
    return names;
}

MonthLayout LayOutMonth(QDate date, bool showOtherMonthDays) {
    MonthLayout layout;
    if (!date.isValid()) {
        return layout;
    }
    const QDate first(date.year(), date.month(), 1);
    layout.leading = first.dayOfWeek() % kDaysPerWeek;  // Sunday 0 ... Saturday 6
    if (layout.leading == 0 && showOtherMonthDays) {
        layout.leading = kDaysPerWeek;
    }
    for (int i = 0; i < kCalendarCells; ++i) {
        DayCell& cell = layout.cells[i];
        cell.date = first.addDays(i - layout.leading);
        cell.text = QString::number(cell.date.day());
        cell.color = DayColumnColor(i % kCalendarColumns);
        if (i < layout.leading) {
            cell.relation = kPreviousMonth;
        } else if (cell.date.month() == date.month()) {
            cell.relation = kShownMonth;
        } else {
            cell.relation = kNextMonth;
        }
    }
    layout.selected = layout.leading + date.day() - 1;
    return layout;
}

QDate StepMonth(QDate from, int months) {
    return from.addMonths(months);
}

QDate DateInYearMonth(QDate from, int year, int month) {
    const QDate first(year, month, 1);
    if (!first.isValid() || !from.isValid()) {
        return QDate();
    }
    return QDate(year, month, std::min(from.day(), first.daysInMonth()));
}

CalendarGeometry ComputeCalendarGeometry(QSize client, int margin) {
    CalendarGeometry geometry;
    geometry.clientWidth = client.width();
    geometry.clientHeight = client.height();
    geometry.margin = margin;
    geometry.cellWidth =
        std::max(kCalendarMinCellWidth, (client.width() - 2 * margin) / kCalendarColumns);
    geometry.cellHeight =
        std::max(kCalendarMinCellHeight, (client.height() - kCalendarGridTop) / kCalendarRows);
    return geometry;
}

QRect CalendarCellRect(const CalendarGeometry& geometry, int index) {
    const int row = index / kCalendarColumns;
    const int column = index % kCalendarColumns;
    return QRect(column * geometry.cellWidth + geometry.margin,
                 row * geometry.cellHeight + kCalendarGridTop + geometry.margin, geometry.cellWidth,
                 geometry.cellHeight);
}

int CalendarHitTest(const CalendarGeometry& geometry, QPoint point, const MonthLayout& layout,
                    bool showOtherMonthDays) {
    const int x = point.x() - geometry.margin;
    const int y = point.y() - kCalendarGridTop - geometry.margin;
    // Checked before dividing: division rounds towards zero, which would put the weekday band
    // into the first row.
    if (x < 0 || y < 0) {
        return -1;
    }
    const int row = y / geometry.cellHeight;
    const int column = x / geometry.cellWidth;
    if (row >= kCalendarRows || column >= kCalendarColumns) {
        return -1;
    }
    const int index = row * kCalendarColumns + column;
    if (!showOtherMonthDays && layout.cells[index].relation != kShownMonth) {
        return -1;
    }
    return index;
}

QPolygon CalendarArrowPolygon(int arrow, int clientWidth) {
    const int bottom = kCalendarTitleHeight - kArrowVerticalInset;
    if (arrow == kPreviousArrow) {
        return QPolygon({QPoint(kArrowBaseInset, kArrowVerticalInset),
                         QPoint(kArrowBaseInset, bottom), QPoint(kArrowTipInset, kArrowTipY)});
    }
    return QPolygon({QPoint(clientWidth - kArrowBaseInset, kArrowVerticalInset),
                     QPoint(clientWidth - kArrowBaseInset, bottom),
                     QPoint(clientWidth - kArrowTipInset, kArrowTipY)});
}

bool PolygonContains(const QPolygon& polygon, QPoint point) {
    bool inside = false;
    const int n = static_cast<int>(polygon.size());
    for (int i = 0, j = n - 1; i < n; j = i++) {
        const QPoint a = polygon[i];
        const QPoint b = polygon[j];
        if ((a.y() > point.y()) != (b.y() > point.y())) {
            const double crossX =
                a.x() + static_cast<double>(point.y() - a.y()) * (b.x() - a.x()) / (b.y() - a.y());
            if (point.x() < crossX) {
                inside = !inside;
            }
        }
    }
    return inside;
}

int CalendarArrowAt(QPoint point, int clientWidth) {
    for (int arrow : {kPreviousArrow, kNextArrow}) {
        if (PolygonContains(CalendarArrowPolygon(arrow, clientWidth), point)) {
            return arrow;
        }
    }
    return kNoArrow;
}

MonthCalendar::MonthCalendar(QWidget* parent, int controlId)
    : QWidget(parent), controlId_(controlId) {
    QFont small = font();
    small.setPointSize(kFontPointSize);
    setFont(small);
    setMouseTracking(true);  // arrows light up under the pointer without a button held
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::TabFocus);  // a click picks a day without taking the player's keys
    InstallControlAccess();
    weekdayNames_ = WeekdayBandNames(QLocale::system());
    geometry_ = ComputeCalendarGeometry(size());
    CreateLists();
    LayOut(QDate::currentDate());
}

void MonthCalendar::CreateLists() {
    yearList_ = new QComboBox(this);
    yearList_->setObjectName(QString::number(kCalendarYearListId));
    monthList_ = new QComboBox(this);
    monthList_->setObjectName(QString::number(kCalendarMonthListId));
    for (int month = 1; month <= kMonthsPerYear; ++month) {
        monthList_->addItem(QString::number(month));
    }
    // Only the user's choices count: filling and selecting programmatically emits nothing here.
    connect(yearList_, &QComboBox::activated, this, &MonthCalendar::OnYearChosen);
    connect(monthList_, &QComboBox::activated, this, &MonthCalendar::OnMonthChosen);
}

void MonthCalendar::SetCurrentDate(QDate date) {
    if (!date.isValid() || date == current_) {
        return;
    }
    LayOut(date);
    update();
}

void MonthCalendar::AddMark(QDate date) {
    if (!date.isValid() || IsMarked(date)) {
        return;
    }
    marks_.push_back(date);
    for (int i = 0; i < kCalendarCells; ++i) {
        if (layout_.cells[i].date == date) {
            layout_.cells[i].marked = true;
            UpdateCell(i);
        }
    }
}

void MonthCalendar::ClearMarks() {
    marks_.clear();
    for (DayCell& cell : layout_.cells) {
        cell.marked = false;
    }
    update();
}

bool MonthCalendar::IsMarked(QDate date) const {
    return date.isValid() && std::find(marks_.begin(), marks_.end(), date) != marks_.end();
}

QString MonthCalendar::CellName(int index) const {
    if (index < 0 || index >= kCalendarCells) {
        return QString();
    }
    const DayCell& cell = layout_.cells[index];
    if (cell.relation != kShownMonth && !showOtherMonthDays_) {
        return QString();
    }
    const char* state = cell.marked ? "recorded" : "no recording";
    return QStringLiteral("%1 %2, %3")
        .arg(locale().monthName(cell.date.month()))
        .arg(cell.date.day())
        .arg(QString::fromStdString(GetLanguageString(state)));
}

void MonthCalendar::SetShowOtherMonthDays(bool show) {
    if (show == showOtherMonthDays_) {
        return;
    }
    showOtherMonthDays_ = show;
    LayOut(current_);
    update();
}

QSize MonthCalendar::sizeHint() const {
    return kPreferredSize;
}

QSize MonthCalendar::minimumSizeHint() const {
    return QSize(kCalendarColumns * kCalendarMinCellWidth,
                 kCalendarGridTop + kCalendarRows * kCalendarMinCellHeight);
}

void MonthCalendar::LayOut(QDate date) {
    if (!date.isValid()) {
        return;
    }
    layout_ = LayOutMonth(date, showOtherMonthDays_);
    for (DayCell& cell : layout_.cells) {
        cell.marked = IsMarked(cell.date);
    }
    current_ = date;
    RebuildYearList(date.year());
    monthList_->setCurrentIndex(date.month() - 1);
}

void MonthCalendar::RebuildYearList(int year) {
    if (yearListBuilt_ && year == yearListBuiltFor_) {
        return;
    }
    yearList_->clear();
    for (int y = year - kCalendarYearListSpan; y <= year + kCalendarYearListSpan; ++y) {
        yearList_->addItem(QString::number(y), y);
    }
    yearList_->setCurrentIndex(kCalendarYearListSpan);
    yearListBuiltFor_ = year;
    yearListBuilt_ = true;
}

void MonthCalendar::ChangeDateByUser(QDate date) {
    if (!date.isValid() || date == current_) {
        return;
    }
    LayOut(date);
    update();
    emit Notify(controlId_, kCalendarNotifyDateChanged);
}

void MonthCalendar::OnYearChosen(int index) {
    const int year = yearList_->itemData(index).toInt();
    ChangeDateByUser(DateInYearMonth(current_, year, current_.month()));
}

void MonthCalendar::OnMonthChosen(int index) {
    ChangeDateByUser(DateInYearMonth(current_, current_.year(), index + 1));
}

void MonthCalendar::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    geometry_ = ComputeCalendarGeometry(size());
    const int centre = width() / 2;
    yearList_->setGeometry(centre + kYearListOffset, kListTop, kYearListWidth, kListHeight);
    monthList_->setGeometry(centre + kMonthListOffset, kListTop, kMonthListWidth, kListHeight);
}

void MonthCalendar::mouseMoveEvent(QMouseEvent* event) {
    buttonHeld_ = (event->buttons() & Qt::LeftButton) != 0;
    const QPoint point = event->position().toPoint();
    UpdateHoveredArrow(point);
    UpdateHoveredCell(point);
}

void MonthCalendar::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        return;
    }
    buttonHeld_ = true;
    // The arrow is looked up here too: a click need not be preceded by a move.
    const QPoint point = event->position().toPoint();
    UpdateHoveredArrow(point);
    UpdateHoveredCell(point);
}

void MonthCalendar::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        return;
    }
    buttonHeld_ = false;
    FinishArrowClick();
    FinishCellClick();
}

void MonthCalendar::leaveEvent(QEvent* event) {
    QWidget::leaveEvent(event);
    const int old = hoveredCell_;
    hoveredCell_ = -1;
    UpdateCell(old);
    // Not even a highlighted arrow stays behind once the pointer is gone.
    if (hoveredArrow_ != kNoArrow) {
        hoveredArrow_ = kNoArrow;
        UpdateArrows();
    }
}

bool MonthCalendar::event(QEvent* event) {
    if (hasFocus() && ClaimKeys(event, {Qt::Key_Left, Qt::Key_Right, Qt::Key_Up, Qt::Key_Down,
                                        Qt::Key_PageUp, Qt::Key_PageDown})) {
        return true;
    }
    return QWidget::event(event);
}

void MonthCalendar::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Left:
            ChangeDateByUser(current_.addDays(-1));
            break;
        case Qt::Key_Right:
            ChangeDateByUser(current_.addDays(1));
            break;
        case Qt::Key_Up:
            ChangeDateByUser(current_.addDays(-kDaysPerWeek));
            break;
        case Qt::Key_Down:
            ChangeDateByUser(current_.addDays(kDaysPerWeek));
            break;
        case Qt::Key_PageUp:
            ChangeDateByUser(StepMonth(current_, -1));
            break;
        case Qt::Key_PageDown:
            ChangeDateByUser(StepMonth(current_, 1));
            break;
        default:
            QWidget::keyPressEvent(event);
            return;
    }
    if (layout_.selected >= 0) {
        AnnounceCell(this, layout_.selected / kCalendarColumns,
                     layout_.selected % kCalendarColumns);
    }
}

void MonthCalendar::UpdateHoveredArrow(QPoint point) {
    const int arrow = CalendarArrowAt(point, width());
    if (arrow != hoveredArrow_) {
        hoveredArrow_ = arrow;
        UpdateArrows();
    }
}

void MonthCalendar::UpdateHoveredCell(QPoint point) {
    if (!buttonHeld_) {
        return;
    }
    const int cell = CalendarHitTest(geometry_, point, layout_, showOtherMonthDays_);
    if (cell != hoveredCell_) {
        const int old = hoveredCell_;
        hoveredCell_ = cell;
        UpdateCell(old);
        UpdateCell(cell);
    }
}

void MonthCalendar::FinishArrowClick() {
    if (hoveredArrow_ == kNoArrow || layout_.selected < 0) {
        return;
    }
    const int months = hoveredArrow_ == kPreviousArrow ? -1 : 1;
    ChangeDateByUser(StepMonth(layout_.cells[layout_.selected].date, months));
}

void MonthCalendar::FinishCellClick() {
    if (hoveredCell_ < 0) {
        return;
    }
    const int chosen = hoveredCell_;
    const int old = layout_.selected;
    layout_.selected = chosen;
    hoveredCell_ = -1;
    UpdateCell(old);
    UpdateCell(chosen);
    ChangeDateByUser(layout_.cells[chosen].date);
}

void MonthCalendar::UpdateCell(int index) {
    if (index >= 0 && index < kCalendarCells) {
        update(CalendarCellRect(geometry_, index));
    }
}

void MonthCalendar::UpdateArrows() {
    for (int arrow : {kPreviousArrow, kNextArrow}) {
        // The outline pen reaches one pixel past the polygon's corners.
        update(CalendarArrowPolygon(arrow, width()).boundingRect().adjusted(-1, -1, 1, 1));
    }
}

void MonthCalendar::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    PaintBands(painter);
    PaintArrow(painter, kPreviousArrow);
    PaintArrow(painter, kNextArrow);
    PaintWeekdayNames(painter);
    for (int i = 0; i < kCalendarCells; ++i) {
        PaintCell(painter, i);
    }
    if (hasFocus()) {
        DrawFocusRing(painter, rect());
    }
}

void MonthCalendar::PaintBands(QPainter& painter) const {
    painter.fillRect(rect(), SkinColour(SkinColor::kCalendarBackground));
    painter.fillRect(QRect(0, 0, width(), kCalendarTitleHeight),
                     SkinColour(SkinColor::kCalendarTitleBand));
    painter.fillRect(QRect(0, kCalendarTitleHeight, width(), kCalendarWeekdayHeight),
                     SkinColour(SkinColor::kCalendarWeekdayBand));
    painter.fillRect(
        QRect(0, kCalendarTitleHeight + kCalendarWeekdayHeight, width(), kCalendarSeparatorHeight),
        SkinColour(SkinColor::kCalendarSeparator));
}

void MonthCalendar::PaintArrow(QPainter& painter, int arrow) const {
    const QColor outline = SkinColour(arrow == hoveredArrow_ ? SkinColor::kCalendarArrowHoverOutline
                                                             : SkinColor::kCalendarArrowOutline);
    painter.setPen(QPen(outline, 1));
    painter.setBrush(SkinColour(SkinColor::kCalendarArrowFill));
    painter.drawPolygon(CalendarArrowPolygon(arrow, width()));
}

void MonthCalendar::PaintWeekdayNames(QPainter& painter) const {
    for (int column = 0; column < kCalendarColumns; ++column) {
        const QRect band(column * geometry_.cellWidth + geometry_.margin, kCalendarTitleHeight,
                         geometry_.cellWidth, kCalendarWeekdayHeight);
        painter.setPen(WeekdayNameColor(column));
        painter.drawText(band, Qt::AlignCenter | Qt::TextSingleLine, weekdayNames_[column]);
    }
}

void MonthCalendar::PaintCell(QPainter& painter, int index) const {
    const DayCell& cell = layout_.cells[index];
    if (cell.relation != kShownMonth && !showOtherMonthDays_) {
        return;
    }
    const QRect r = CalendarCellRect(geometry_, index);
    painter.setBrush(Qt::NoBrush);
    if (index == hoveredCell_ && buttonHeld_) {
        painter.setPen(QPen(palette().color(QPalette::Dark), 1));
        painter.drawRect(r.adjusted(0, 0, -1, -1));
    }
    if (cell.marked) {
        painter.setPen(QPen(SkinColour(SkinColor::kCalendarMarkFrame), 1));
        painter.drawRect(QRect(r.left() + kFrameInset, r.top() + kFrameInset,
                               r.width() - kFrameShrink, r.height() - kFrameShrink));
    }
    const bool selected = index == layout_.selected;
    if (selected) {
        painter.save();
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(SkinColour(SkinColor::kCalendarSelectedDisc));
        painter.drawEllipse(r.adjusted(kDiscInset, kDiscInset, 0, 0));
        painter.restore();
    }
    QColor text = cell.color;
    if (selected) {
        text = SkinColour(SkinColor::kCalendarSelectedText);
    } else if (cell.relation != kShownMonth) {
        text = SkinColour(SkinColor::kCalendarOtherMonthText);
    }
    painter.setPen(text);
    painter.drawText(r, Qt::AlignCenter | Qt::TextSingleLine, cell.text);
}

}  // namespace velmaro
