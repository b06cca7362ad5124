// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/navigator/seek_marks.h"

#include <QEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>

#include "controls/grid_row.h"
#include "controls/skin_slider_button.h"

namespace velmaro {
namespace {

constexpr int kPerMille = 1000;
constexpr int kMarkSize = 4;

}  // namespace

SeekMarks::SeekMarks(SkinSliderButton* slider) : QWidget(slider), slider_(slider) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setGeometry(slider->rect());
    slider->installEventFilter(this);
    hide();
}

void SeekMarks::SetMarks(std::vector<int> perMille) {
    marks_ = std::move(perMille);
    setVisible(!marks_.empty());
    raise();
    update();
}

int SeekMarks::MarkX(int perMille) const {
    const int thumb = slider_->ThumbSize().width();
    const int travel = std::max(0, width() - thumb);
    const int clamped = std::clamp(perMille, 0, kPerMille);
    return static_cast<int>(std::floor(travel * clamped / double(kPerMille))) + thumb / 2;
}

// Geometry follows the slider's size; painting stays in paintEvent.
bool SeekMarks::eventFilter(QObject* watched, QEvent* event) {
    if (watched == slider_ && event->type() == QEvent::Resize) {
        setGeometry(slider_->rect());
    }
    return QWidget::eventFilter(watched, event);
}

void SeekMarks::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(kGridMarkColor));
    const int bottom = height() - 1;
    for (const int mark : marks_) {
        const int x = MarkX(mark);
        const QPoint top[3] = {{x - kMarkSize, 0}, {x + kMarkSize, 0}, {x, kMarkSize}};
        const QPoint low[3] = {
            {x - kMarkSize, bottom}, {x + kMarkSize, bottom}, {x, bottom - kMarkSize}};
        painter.drawPolygon(top, 3);
        painter.drawPolygon(low, 3);
    }
}

}  // namespace velmaro
