// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/segment_display.h"

#include <QBitmap>
#include <QImage>
#include <QPaintEvent>
#include <QPainter>
#include <QPen>
#include <QRegion>
#include <QResizeEvent>
#include <cmath>

namespace velmaro {
namespace {

constexpr int kSoftEdgeSegmentParts = 3;
constexpr int kSoftEdgeTotalParts = 4;
constexpr int kPenWidth = 1;
constexpr int kHintHeight = 50;
constexpr int kHintMinWidth = 16;

int Blend(int segment, int background) {
    return (kSoftEdgeSegmentParts * segment + background) / kSoftEdgeTotalParts;
}

}  // namespace

QColor SoftEdgeColor(QColor segment, QColor background) {
    return QColor(Blend(segment.red(), background.red()),
                  Blend(segment.green(), background.green()),
                  Blend(segment.blue(), background.blue()));
}

SegmentDisplay::SegmentDisplay(QWidget* parent) : QWidget(parent) {
    // The background is filled by paintEvent (unless the widget is shaped), never erased first.
    setAttribute(Qt::WA_OpaquePaintEvent, !regionFlag_);
}

void SegmentDisplay::SetText(const QString& text) {
    if (text == text_) {
        return;
    }
    text_ = text;
    TextOrStyleChanged();
}

void SegmentDisplay::SetColor(QColor unlit, QColor lit) {
    if (unlit == unlit_ && lit == lit_) {
        return;
    }
    unlit_ = unlit;
    lit_ = lit;
    Repaint();
}

void SegmentDisplay::ModifyStyleBits(unsigned remove, unsigned add) {
    style_ = (style_ & ~remove) | add;
    TextOrStyleChanged();
}

void SegmentDisplay::SetBackgroundColor(QColor background) {
    background_ = background;
    Repaint();
}

void SegmentDisplay::SetRegionFlag(bool on) {
    if (on == regionFlag_) {
        return;
    }
    regionFlag_ = on;
    setAttribute(Qt::WA_OpaquePaintEvent, !regionFlag_);
    Reshape();
    Repaint();
}

QSize SegmentDisplay::sizeHint() const {
    const int width =
        static_cast<int>(std::ceil(static_cast<double>(units_) * kHintHeight / kDigiCellHeight));
    return QSize(std::max(width, kHintMinWidth), kHintHeight);
}

void SegmentDisplay::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Relayout();
}

void SegmentDisplay::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    if (!regionFlag_) {
        painter.fillRect(rect(), background_);
    }
    DrawSegments(painter);
}

void SegmentDisplay::TextOrStyleChanged() {
    modified_ = true;
    Relayout();
    updateGeometry();
    Repaint();
}

// Character objects are rebuilt only after a change of text or style; the outlines are traced
// again for every size.
void SegmentDisplay::Relayout() {
    if (modified_) {
        chars_ = BuildDigiChars(text_, style_);
        modified_ = false;
    }
    units_ = TextWidthUnits(chars_);
    placement_ = PlaceDigiText(width(), height(), units_, style_);
    drawn_.clear();
    if (placement_.sx > 0.0 && placement_.sy > 0.0) {
        int unitsBefore = 0;
        for (const auto& ch : chars_) {
            const double left = placement_.originX + unitsBefore * placement_.sx;
            for (int i = 0; i < ch->SegmentCount(); ++i) {
                const bool lit = ch->IsLit(i);
                if (!lit && ch->HidesUnlit()) {
                    continue;
                }
                drawn_.push_back({TraceSegment(ch->Segments()[i], placement_, left), lit});
            }
            unitsBefore += ch->Width();
        }
    }
    Reshape();
}

// The shape is exactly the pixels the segments cover, taken from drawing them off screen.
void SegmentDisplay::Reshape() {
    if (!regionFlag_) {
        if (!mask().isEmpty()) {
            clearMask();
        }
        return;
    }
    if (size().isEmpty()) {
        return;
    }
    QImage coverage(size(), QImage::Format_ARGB32_Premultiplied);
    coverage.fill(Qt::transparent);
    {
        QPainter painter(&coverage);
        DrawSegments(painter);
    }
    setMask(QRegion(QBitmap::fromImage(coverage.createAlphaMask())));
}

void SegmentDisplay::Repaint() {
    if (redrawAtOnce_ && isVisible()) {
        repaint();
    } else {
        update();
    }
}

void SegmentDisplay::DrawSegments(QPainter& painter) const {
    for (const DrawnSegment& segment : drawn_) {
        const QColor fill = segment.lit ? lit_ : unlit_;
        QPen pen(PenColor(fill), kPenWidth);
        pen.setCosmetic(true);
        painter.setPen(pen);
        painter.setBrush(fill);
        painter.drawPath(segment.path);
    }
}

QColor SegmentDisplay::PenColor(QColor segment) const {
    return (style_ & kDigiSoftEdges) ? SoftEdgeColor(segment, background_) : segment;
}

}  // namespace velmaro
