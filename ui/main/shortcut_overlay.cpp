// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/main/shortcut_overlay.h"

#include <QKeyEvent>
#include <QPainter>

namespace velmaro {
namespace {

constexpr int kVeilAlpha = 215;  // the picture shows faintly through
constexpr int kMargin = 24;
constexpr int kRowGap = 4;
constexpr int kColumnGap = 32;
constexpr int kKeyColumnShare = 3;  // of every 10 parts of a column's width

}  // namespace

ShortcutOverlay::ShortcutOverlay(const QString& title, QWidget* parent)
    : QWidget(parent), title_(title) {
    setFocusPolicy(Qt::StrongFocus);
    setAccessibleName(title);
    hide();
}

void ShortcutOverlay::SetEntries(std::vector<Entry> entries) {
    entries_ = std::move(entries);
    QStringList lines;
    for (const auto& [keys, use] : entries_) {
        lines << keys + QStringLiteral(": ") + use;
    }
    setAccessibleDescription(lines.join(QLatin1Char('\n')));
    update();
}

void ShortcutOverlay::Toggle() {
    if (isVisible()) {
        hide();
        return;
    }
    raise();
    show();
    setFocus();
}

void ShortcutOverlay::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QColor veil = palette().color(QPalette::Window);
    veil.setAlpha(kVeilAlpha);
    painter.fillRect(rect(), veil);
    const QRect area = rect().adjusted(kMargin, kMargin, -kMargin, -kMargin);
    QFont titleFont = font();
    titleFont.setBold(true);
    painter.setFont(titleFont);
    painter.setPen(palette().color(QPalette::Highlight));
    const int line = QFontMetrics(font()).height() + kRowGap;
    painter.drawText(area.left(), area.top() + line, title_);
    painter.setFont(font());
    // Two columns when one would not hold them all.
    const int rows = std::max(1, (area.height() - 2 * line) / line);
    const int columns = static_cast<int>(entries_.size()) > rows ? 2 : 1;
    const int columnWidth = (area.width() - (columns - 1) * kColumnGap) / columns;
    const int keyWidth = columnWidth * kKeyColumnShare / 10;
    for (size_t i = 0; i < entries_.size(); ++i) {
        const int column = static_cast<int>(i) / rows;
        const int row = static_cast<int>(i) % rows;
        const int x = area.left() + column * (columnWidth + kColumnGap);
        const int y = area.top() + (row + 2) * line;
        painter.setPen(palette().color(QPalette::BrightText));
        painter.drawText(QRect(x, y - line, keyWidth, line), Qt::AlignLeft | Qt::AlignBottom,
                         entries_[i].first);
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(QRect(x + keyWidth, y - line, columnWidth - keyWidth, line),
                         Qt::AlignLeft | Qt::AlignBottom, entries_[i].second);
    }
}

void ShortcutOverlay::mousePressEvent(QMouseEvent*) {
    hide();
}

void ShortcutOverlay::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        hide();
        return;
    }
    QWidget::keyPressEvent(event);
}

}  // namespace velmaro
