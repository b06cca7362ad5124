// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/color_static.h"

#include <QPainter>
#include <algorithm>
#include <cmath>

namespace velmaro {

namespace {

constexpr QColor kBarColor(0, 0, 0);
constexpr QColor kRangeColor(255, 0, 0);
constexpr QColor kMarkerColor(0, 0, 255);
constexpr int kMarkerWidth = 5;

}  // namespace

ColorStatic::ColorStatic(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void ColorStatic::SetRange(unsigned total, unsigned start, unsigned end) {
    total_ = total;
    start_ = start;
    end_ = end;
    update();
}

int ColorStatic::ToX(unsigned value) const {
    return static_cast<int>(std::floor(static_cast<double>(value) / total_ * width()));
}

void ColorStatic::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), kBarColor);
    if (total_ == 0) {
        return;
    }
    const int from = std::min(ToX(start_), width());
    if (start_ < end_) {
        const int to = std::min(ToX(end_), width());
        painter.fillRect(QRect(from, 0, to - from, height()), kRangeColor);
        return;
    }
    const int markerWidth = std::min(kMarkerWidth, width() - from);
    if (markerWidth > 0) {
        painter.fillRect(QRect(from, 0, markerWidth, height()), kMarkerColor);
    }
}

}  // namespace velmaro
