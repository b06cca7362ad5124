// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/grid_row.h"

#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <algorithm>
#include <cstdint>

#include "controls/control_access.h"
#include "controls/focus_keys.h"
#include "controls/skin.h"

namespace velmaro {
namespace {

// Perceived brightness (ITU-R BT.601 weights, in thousandths) above which dark text reads
// better than white: pure green and light greys get black text, red and dark greys white.
constexpr int kLumaRed = 299;
constexpr int kLumaGreen = 587;
constexpr int kLumaBlue = 114;
constexpr int kLumaScale = 1000;
constexpr int kDarkTextAbove = 140;
const QColor kDarkText(0, 0, 0);
const QColor kLightText(255, 255, 255);

}  // namespace

// Not filled in the background: past the last cell the parent shows through. Tab reaches the
// row, a click does not take the focus: the player's arrow keys keep stepping frames.
GridRow::GridRow(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::TabFocus);
    InstallControlAccess();
}

std::vector<int> GridRow::SpreadWidths(int width, int n) {
    std::vector<int> widths;
    if (n <= 0) {
        return widths;
    }
    const int64_t total = std::max(width, 0);
    widths.reserve(static_cast<size_t>(n));
    for (int64_t i = 0; i < n; ++i) {
        widths.push_back(static_cast<int>((i + 1) * total / n - i * total / n));
    }
    return widths;
}

void GridRow::SetColumnCount(int n) {
    n = std::clamp(n, 0, kGridMaxColumns);
    if (n == ColumnCount()) {
        return;
    }
    Cell fresh;
    fresh.font = font();
    cells_.resize(static_cast<size_t>(n), fresh);
    if (selected_ >= n) {
        selected_ = kGridNoCell;
    }
    Relayout();
    update();
}

void GridRow::SetColumnWidth(int column, int width) {
    if (!HasColumn(column)) {
        return;
    }
    cells_[static_cast<size_t>(column)].width = std::max(width, 0);
    Relayout();
    update();
}

int GridRow::ColumnWidth(int column) const {
    return HasColumn(column) ? cells_[static_cast<size_t>(column)].width : 0;
}

void GridRow::SetRowHeight(int height) {
    rowHeight_ = std::max(height, 0);
    Relayout();
    update();
}

void GridRow::SetCellText(int column, const QString& text) {
    if (!HasColumn(column)) {
        return;
    }
    cells_[static_cast<size_t>(column)].text = text;
    PlaceText(cells_[static_cast<size_t>(column)]);
    update();
}

QString GridRow::CellText(int column) const {
    return HasColumn(column) ? cells_[static_cast<size_t>(column)].text : QString();
}

void GridRow::SetCellFont(int column, const QFont& cellFont) {
    if (!HasColumn(column)) {
        return;
    }
    cells_[static_cast<size_t>(column)].font = cellFont;
    PlaceText(cells_[static_cast<size_t>(column)]);
    update();
}

QFont GridRow::CellFont(int column) const {
    return HasColumn(column) ? cells_[static_cast<size_t>(column)].font : font();
}

void GridRow::SetCellColor(int column, QColor color) {
    if (!HasColumn(column)) {
        return;
    }
    cells_[static_cast<size_t>(column)].color = color;
    update();
}

QColor GridRow::CellColor(int column) const {
    return HasColumn(column) ? cells_[static_cast<size_t>(column)].color : QColor();
}

void GridRow::SelectCell(int column) {
    if (!HasColumn(column) || column == selected_) {
        return;
    }
    selected_ = column;
    update();
}

void GridRow::ClearSelection() {
    if (selected_ == kGridNoCell) {
        return;
    }
    selected_ = kGridNoCell;
    update();
}

QRect GridRow::CellRect(int column) const {
    return HasColumn(column) ? cells_[static_cast<size_t>(column)].rect : QRect();
}

int GridRow::ColumnAt(QPoint point) const {
    for (int column = 0; column < ColumnCount(); ++column) {
        if (cells_[static_cast<size_t>(column)].rect.contains(point)) {
            return column;
        }
    }
    return kGridNoCell;
}

QString GridRow::CellName(int column) const {
    if (!HasColumn(column)) {
        return QString();
    }
    return namer_ ? namer_(column) : CellText(column);
}

void GridRow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Relayout();
}

void GridRow::Relayout() {
    const int height = rowHeight_ > 0 ? rowHeight_ : this->height();
    int left = 0;
    for (Cell& cell : cells_) {
        cell.rect = QRect(left, 0, cell.width, height);
        left += cell.width;
        PlaceText(cell);
    }
}

// A label is centred on the visible part of its cell; one that would run over the row's ends
// (the first minute's, say) is moved in so that it stays whole.
void GridRow::PlaceText(Cell& cell) const {
    const QRect visible = cell.rect.intersected(rect());
    if (cell.text.isEmpty() || visible.isEmpty()) {
        cell.textRect = QRect();
        return;
    }
    const QFontMetrics metrics(cell.font);
    const int textWidth = metrics.horizontalAdvance(cell.text);
    int textLeft = visible.left() + (visible.width() - textWidth) / 2;
    textLeft = std::max(0, std::min(textLeft, width() - textWidth));
    cell.textRect = QRect(textLeft, visible.top(), textWidth, visible.height());
}

// Texts are drawn after all fills, so a label wider than its narrow cell runs over its
// neighbours instead of being cut by them; the selection frame goes on top of everything.
void GridRow::SetCellMark(int column, bool marked) {
    if (HasColumn(column) && cells_[static_cast<size_t>(column)].marked != marked) {
        cells_[static_cast<size_t>(column)].marked = marked;
        update();
    }
}

bool GridRow::CellMarked(int column) const {
    return HasColumn(column) && cells_[static_cast<size_t>(column)].marked;
}

void GridRow::SetCellShade(int column, bool shaded) {
    if (HasColumn(column) && cells_[static_cast<size_t>(column)].shaded != shaded) {
        cells_[static_cast<size_t>(column)].shaded = shaded;
        update();
    }
}

bool GridRow::CellShaded(int column) const {
    return HasColumn(column) && cells_[static_cast<size_t>(column)].shaded;
}

// Under the texts: the label of a marked or shaded minute must still be read.
void GridRow::PaintDecorations(QPainter& painter, const Cell& cell) {
    const QRect inside = cell.rect.adjusted(0, 0, -1, -1);
    if (cell.shaded) {
        painter.fillRect(inside, QBrush(QColor(kGridShadeColor), Qt::BDiagPattern));
    }
    if (cell.marked) {
        const int size = std::max(3, std::min(inside.width(), inside.height()) * 2 / 3);
        const QPoint corner = inside.topLeft();
        const QPoint triangle[3] = {corner, corner + QPoint(size, 0), corner + QPoint(0, size)};
        painter.save();
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(kGridMarkColor));
        painter.drawPolygon(triangle, 3);
        painter.restore();
    }
}

void GridRow::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    for (const Cell& cell : cells_) {
        if (cell.rect.isEmpty()) {
            continue;
        }
        painter.fillRect(cell.rect, cell.color);
        painter.setPen(QColor(kGridLineColor));
        painter.drawLine(cell.rect.topRight(), cell.rect.bottomRight());
        painter.drawLine(cell.rect.bottomLeft(), cell.rect.bottomRight());
        PaintDecorations(painter, cell);
    }
    for (const Cell& cell : cells_) {
        if (cell.textRect.isEmpty()) {
            continue;
        }
        painter.setFont(cell.font);
        painter.setPen(TextColorOn(cell.color));
        painter.drawText(cell.textRect, Qt::AlignCenter | Qt::TextDontClip, cell.text);
    }
    if (HasColumn(selected_)) {
        // Framed where it shows: a row taller than the widget would hide the bottom edge.
        const QRect frame = cells_[static_cast<size_t>(selected_)].rect.intersected(rect());
        if (!frame.isEmpty()) {
            painter.setPen(QColor(kGridSelectionColor));
            painter.setBrush(Qt::NoBrush);
            painter.drawRect(frame.adjusted(0, 0, -1, -1));
        }
    }
    if (hasFocus()) {
        DrawFocusRing(painter, rect());
    }
}

void GridRow::mousePressEvent(QMouseEvent* event) {
    leftPressed_ = event->button() == Qt::LeftButton;
    QWidget::mousePressEvent(event);
}

// A click is reported when the left button comes up, where it comes up, as list controls do.
void GridRow::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !leftPressed_) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    leftPressed_ = false;
    const int column = ColumnAt(event->position().toPoint());
    SelectCell(column);
    emit CellClicked(column);
}

bool GridRow::event(QEvent* event) {
    if (hasFocus() && ClaimKeys(event, {Qt::Key_Left, Qt::Key_Right, Qt::Key_Home, Qt::Key_End,
                                        Qt::Key_Space, Qt::Key_Return, Qt::Key_Enter})) {
        return true;
    }
    return QWidget::event(event);
}

// A row without a selection starts from its first cell, whichever way the key points.
void GridRow::keyPressEvent(QKeyEvent* event) {
    const int last = ColumnCount() - 1;
    const bool none = !HasColumn(selected_);
    switch (event->key()) {
        case Qt::Key_Left:
            ChooseByKey(none ? 0 : std::max(selected_ - 1, 0));
            break;
        case Qt::Key_Right:
            ChooseByKey(none ? 0 : std::min(selected_ + 1, last));
            break;
        case Qt::Key_Home:
            ChooseByKey(0);
            break;
        case Qt::Key_End:
            ChooseByKey(last);
            break;
        case Qt::Key_Space:
        case Qt::Key_Return:
        case Qt::Key_Enter:
            ChooseByKey(none ? 0 : selected_, true);
            break;
        default:
            QWidget::keyPressEvent(event);
    }
}

// An arrow against the row's end chooses nothing anew; Space and Enter choose again.
void GridRow::ChooseByKey(int column, bool again) {
    if (!HasColumn(column) || (column == selected_ && !again)) {
        return;
    }
    SelectCell(column);
    AnnounceCell(this, 0, column);
    emit CellClicked(column);
}

QColor GridRow::TextColorOn(QColor background) {
    const int luma = (kLumaRed * background.red() + kLumaGreen * background.green() +
                      kLumaBlue * background.blue()) /
                     kLumaScale;
    return luma > kDarkTextAbove ? kDarkText : kLightText;
}

}  // namespace velmaro
