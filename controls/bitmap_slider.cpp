// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/bitmap_slider.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "controls/control_access.h"
#include "controls/focus_keys.h"
#include "controls/skin.h"
#include "platform/message_sink.h"

namespace velmaro {

namespace {

constexpr double kDisabledOpacity = 0.45;
constexpr QSize kDefaultSize(100, 20);

QPixmap Keyed(QPixmap bitmap, const QColor& transparent) {
    if (!bitmap.isNull() && transparent.isValid()) {
        bitmap.setMask(bitmap.createMaskFromColor(transparent));
    }
    return bitmap;
}

QPixmap LoadOptional(int bitmapId) {
    return bitmapId == BitmapSlider::kNoBitmap ? QPixmap() : SkinBitmap(bitmapId);
}

}  // namespace

BitmapSlider::BitmapSlider(QWidget* parent, int controlId)
    : QWidget(parent), controlId_(controlId) {
    setFocusPolicy(Qt::StrongFocus);
    InstallControlAccess();
}

bool BitmapSlider::SetBitmapChannel(int bitmapId, int activeBitmapId, const QColor& transparent) {
    const QPixmap channel = SkinBitmap(bitmapId);
    SetBitmapChannel(channel, LoadOptional(activeBitmapId), transparent);
    return !channel.isNull();
}

bool BitmapSlider::SetBitmapThumb(int bitmapId, int activeBitmapId, const QColor& transparent) {
    const QPixmap thumb = SkinBitmap(bitmapId);
    SetBitmapThumb(thumb, LoadOptional(activeBitmapId), transparent);
    return !thumb.isNull();
}

void BitmapSlider::SetBitmapChannel(const QPixmap& channel, const QPixmap& active,
                                    const QColor& transparent) {
    channel_ = Keyed(channel, transparent);
    activeChannel_ = Keyed(active, transparent);
    updateGeometry();
    update();
}

void BitmapSlider::SetBitmapThumb(const QPixmap& thumb, const QPixmap& active,
                                  const QColor& transparent) {
    thumb_ = Keyed(thumb, transparent);
    activeThumb_ = Keyed(active, transparent);
    update();
}

void BitmapSlider::SetRange(int minimum, int maximum) {
    minimum_ = minimum;
    maximum_ = maximum;
    position_ = std::clamp(position_, std::min(minimum, maximum), std::max(minimum, maximum));
    update();
}

void BitmapSlider::SetPos(int position) {
    position_ = position;
    update();
}

void BitmapSlider::SetMargin(int left, int top, int right, int bottom) {
    marginLeft_ = left;
    marginTop_ = top;
    marginRight_ = right;
    marginBottom_ = bottom;
    update();
}

void BitmapSlider::SetVertical(bool vertical) {
    vertical_ = vertical;
    update();
}

void BitmapSlider::SetDrawFocusRect(bool draw) {
    drawFocusRect_ = draw;
    update();
}

QSize BitmapSlider::sizeHint() const {
    return channel_.isNull() ? kDefaultSize : channel_.size();
}

int BitmapSlider::Length() const {
    return vertical_ ? height() : width();
}

int BitmapSlider::ThumbLength() const {
    return vertical_ ? thumb_.height() : thumb_.width();
}

int BitmapSlider::FreeLength() const {
    return Length() - StartMargin() - EndMargin() - ThumbLength();
}

int BitmapSlider::PosToPixel(int position) const {
    const int start = StartMargin() + ThumbLength() / 2;
    if (maximum_ == minimum_) {
        return start;
    }
    const double share = static_cast<double>(position - minimum_) / (maximum_ - minimum_);
    return start + static_cast<int>(std::floor(FreeLength() * share));
}

int BitmapSlider::PixelToPos(int pixel) const {
    const int free = FreeLength();
    if (free <= 0) {
        return minimum_;
    }
    const double along = pixel - StartMargin() - ThumbLength() * 0.5;
    return minimum_ + static_cast<int>(along / free * (maximum_ - minimum_));
}

QRect BitmapSlider::ThumbRect() const {
    const int start = ThumbCentre() - ThumbLength() / 2;
    const int sideStart = vertical_ ? marginLeft_ : marginTop_;
    const int sideEnd = vertical_ ? marginRight_ : marginBottom_;
    const int crossLength = vertical_ ? width() : height();
    const int thumbCross = vertical_ ? thumb_.width() : thumb_.height();
    const int cross = sideStart + (crossLength - sideStart - sideEnd - thumbCross) / 2;
    return vertical_ ? QRect(QPoint(cross, start), thumb_.size())
                     : QRect(QPoint(start, cross), thumb_.size());
}

void BitmapSlider::DrawBitmap(QPainter& painter, const QRect& area, const QPixmap& bitmap) const {
    if (bitmap.isNull()) {
        return;
    }
    const bool stretched = area.width() > bitmap.width() || area.height() > bitmap.height();
    DrawSkin(painter, stretched ? area : QRect(area.topLeft(), bitmap.size()), bitmap,
             bitmap.rect());
}

void BitmapSlider::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (!isEnabled()) {
        painter.setOpacity(kDisabledOpacity);
    }
    DrawBitmap(painter, rect(), channel_);
    if (!activeChannel_.isNull()) {
        const int centre = ThumbCentre();
        painter.save();
        painter.setClipRect(vertical_ ? QRect(0, 0, width(), centre)
                                      : QRect(0, 0, centre, height()));
        DrawBitmap(painter, rect(), activeChannel_);
        painter.restore();
    }
    const bool active = thumbActive_ && !activeThumb_.isNull();
    DrawBitmap(painter, ThumbRect(), active ? activeThumb_ : thumb_);
    if (hasFocus() && drawFocusRect_) {
        painter.setOpacity(1.0);
        DrawFocusRing(painter, rect());
    }
}

int BitmapSlider::Along(const QMouseEvent* event) const {
    const QPoint point = event->position().toPoint();
    return vertical_ ? point.y() : point.x();
}

void BitmapSlider::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    setFocus(Qt::MouseFocusReason);
    thumbActive_ = true;
    const int pointer = Along(event);
    const int offset = pointer - ThumbCentre();
    grabOffset_ = std::abs(offset) <= ThumbLength() / 2 ? offset : 0;
    DragTo(pointer);
    update();
}

void BitmapSlider::mouseMoveEvent(QMouseEvent* event) {
    if (thumbActive_) {
        DragTo(Along(event));
    }
}

void BitmapSlider::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !thumbActive_) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    thumbActive_ = false;
    update();
    emit Notify(kMsgBitmapSliderReleased, controlId_, position_);
}

void BitmapSlider::DragTo(int pointer) {
    const int low = StartMargin() + ThumbLength() / 2;
    const int high = std::max(low, Length() - EndMargin() - ThumbLength() / 2);
    const int target = std::clamp(pointer - grabOffset_, low, high);
    if (target == ThumbCentre()) {
        return;
    }
    position_ = PixelToPos(target);
    update();
    emit Notify(kMsgBitmapSliderMoving, controlId_, position_);
}

bool BitmapSlider::event(QEvent* event) {
    if (hasFocus() && ClaimSliderKeys(event)) {
        return true;
    }
    return QWidget::event(event);
}

// Keys settle the thumb at once, so they report the final position as a release does.
void BitmapSlider::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Left:
        case Qt::Key_Up:
            StepTo(position_ - 1);
            break;
        case Qt::Key_Right:
        case Qt::Key_Down:
            StepTo(position_ + 1);
            break;
        case Qt::Key_PageUp:
            StepTo(position_ - pageSize_);
            break;
        case Qt::Key_PageDown:
            StepTo(position_ + pageSize_);
            break;
        case Qt::Key_Home:
            StepTo(minimum_);
            break;
        case Qt::Key_End:
            StepTo(maximum_);
            break;
        default:
            QWidget::keyPressEvent(event);
    }
}

void BitmapSlider::StepTo(int position) {
    const int clamped =
        std::clamp(position, std::min(minimum_, maximum_), std::max(minimum_, maximum_));
    if (clamped == position_) {
        return;
    }
    position_ = clamped;
    update();
    AnnounceValue(this, position_);
    emit Notify(kMsgBitmapSliderReleased, controlId_, position_);
}

}  // namespace velmaro
