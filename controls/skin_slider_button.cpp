// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/skin_slider_button.h"

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

constexpr double kRoundHalf = 0.5;
constexpr int kStepsPerRange = 100;
constexpr int kPagesPerRange = 10;

int ClientX(const QMouseEvent* event) {
    return event->position().toPoint().x();
}

}  // namespace

SkinSliderButton::SkinSliderButton(QWidget* parent) : SkinButton(parent, Mode::kPush) {}

void SkinSliderButton::SetThumb(int bitmapId) {
    SetThumb(SkinBitmap(bitmapId));
}

// The thumb is combined with the bar by OR, so black adds nothing; making black fully
// transparent keeps that true where the bar itself is transparent.
void SkinSliderButton::SetThumb(const QPixmap& thumb) {
    QImage image = thumb.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (qRed(line[x]) == 0 && qGreen(line[x]) == 0 && qBlue(line[x]) == 0) {
                line[x] = 0;
            }
        }
    }
    thumb_ = image;
    update();
}

void SkinSliderButton::SetRange(int minimum, int maximum) {
    minimum_ = minimum;
    maximum_ = maximum;
    fraction_ = FractionOf(position_);
    update();
}

// Only the thumb's old and new places are drawn again, and nothing when it stays on the same
// pixels: positions arrive with every picture.
void SkinSliderButton::SetPos(int position) {
    const QRect before = ThumbRect();
    position_ = position;
    fraction_ = FractionOf(position);
    const QRect after = ThumbRect();
    if (after != before) {
        update(before.united(after));
    }
}

double SkinSliderButton::FractionOf(int position) const {
    if (maximum_ == minimum_) {
        return 0.0;
    }
    return static_cast<double>(position - minimum_) / (maximum_ - minimum_);
}

double SkinSliderButton::FractionAt(int x) const {
    return width() > 0 ? static_cast<double>(x) / width() : 0.0;
}

int SkinSliderButton::PositionAt(double fraction) const {
    return static_cast<int>(std::floor(fraction * (maximum_ - minimum_) + minimum_ + kRoundHalf));
}

QRect SkinSliderButton::ThumbRect() const {
    const QRect r = rect();
    const int travel = r.width() - thumb_.width();
    const int along = static_cast<int>(std::floor(travel * fraction_));
    const int x = std::max(r.left(), r.left() + std::min(along, travel));
    const int y = (r.height() - thumb_.height()) / 2;
    return QRect(QPoint(x, y), thumb_.size());
}

// Composed off screen so the thumb can be ORed onto the bar, as the skins expect.
void SkinSliderButton::paintEvent(QPaintEvent*) {
    const qreal ratio = devicePixelRatioF();
    QImage canvas(size() * ratio, QImage::Format_ARGB32_Premultiplied);
    canvas.setDevicePixelRatio(ratio);
    canvas.fill(Qt::transparent);
    {
        QPainter composer(&canvas);
        DrawButton(composer, rect());
        if (!thumb_.isNull()) {
            composer.setCompositionMode(QPainter::RasterOp_SourceOrDestination);
            composer.drawImage(ThumbRect().topLeft(), thumb_);
        }
    }
    QPainter painter(this);
    painter.drawImage(0, 0, canvas);
}

void SkinSliderButton::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        SkinButton::mousePressEvent(event);
        return;
    }
    dragging_ = true;
    SkinButton::mousePressEvent(event);
    fraction_ = FractionAt(ClientX(event));
    position_ = PositionAt(fraction_);
    update();
    emit Notify(kMsgThumbPressed, identifier_, position_);
}

// While the pointer is dragged beyond the ends the positions pass the range; receivers limit
// them, and the release below never reports more than the maximum.
void SkinSliderButton::mouseMoveEvent(QMouseEvent* event) {
    SkinButton::mouseMoveEvent(event);
    if (!IsPressed()) {
        return;
    }
    fraction_ = FractionAt(ClientX(event));
    update();
    const int position = PositionAt(fraction_);
    if (position != position_) {
        position_ = position;
        emit Notify(kMsgThumbMoved, identifier_, position_);
    }
}

// The release is what owners act on (a seek, a volume, a speed), so it stays inside the range
// at both ends: a negative seek position would read as a file-change request.
void SkinSliderButton::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !dragging_) {
        SkinButton::mouseReleaseEvent(event);
        return;
    }
    dragging_ = false;
    SkinButton::mouseReleaseEvent(event);
    const int released = PositionAt(FractionAt(ClientX(event)));
    position_ = std::max(std::min(released, maximum_), std::min(minimum_, maximum_));
    fraction_ = FractionOf(position_);
    update();
    emit Notify(kMsgThumbReleased, identifier_, position_);
}

int SkinSliderButton::SingleStep() const {
    return std::max(1, std::abs(maximum_ - minimum_) / kStepsPerRange);
}

int SkinSliderButton::PageStep() const {
    return std::max(1, std::abs(maximum_ - minimum_) / kPagesPerRange);
}

void SkinSliderButton::StepTo(int position) {
    const int clamped =
        std::clamp(position, std::min(minimum_, maximum_), std::max(minimum_, maximum_));
    if (clamped == position_) {
        return;
    }
    SetPos(clamped);
    AnnounceValue(this, position_);
    emit Notify(kMsgThumbReleased, identifier_, position_);
}

// Space and Enter mean nothing to a slider: they stay the player's (play and pause).
bool SkinSliderButton::event(QEvent* event) {
    if (hasFocus() && ClaimSliderKeys(event)) {
        return true;
    }
    if (event->type() == QEvent::ShortcutOverride) {
        return QAbstractButton::event(event);
    }
    return SkinButton::event(event);
}

void SkinSliderButton::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Left:
        case Qt::Key_Down:
            StepTo(position_ - SingleStep());
            break;
        case Qt::Key_Right:
        case Qt::Key_Up:
            StepTo(position_ + SingleStep());
            break;
        case Qt::Key_PageDown:
            StepTo(position_ - PageStep());
            break;
        case Qt::Key_PageUp:
            StepTo(position_ + PageStep());
            break;
        case Qt::Key_Home:
            StepTo(minimum_);
            break;
        case Qt::Key_End:
            StepTo(maximum_);
            break;
        default:
            event->ignore();
    }
}

}  // namespace velmaro
