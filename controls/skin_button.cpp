// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/skin_button.h"

#include <qdrawutil.h>
#include <QEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include "controls/control_access.h"
#include "controls/focus_keys.h"
#include "controls/skin.h"
#include "platform/message_sink.h"

namespace velmaro {

namespace {

constexpr int kTextInset = 2;  // beyond the focus margin, on each side
constexpr QPoint kPushedTextShift{2, 1};
constexpr int kMaskedFrameCount = SkinButton::kFrameCount + 1;
constexpr int kOpaque = 255;

}  // namespace

SkinButton::SkinButton(QWidget* parent, Mode mode)
    : QAbstractButton(parent), mode_(mode), textColor_(palette().color(QPalette::ButtonText)) {
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    InstallControlAccess();
}

void SkinButton::SetSkin(int bitmapId) {
    SetSkin(SkinBitmap(bitmapId));
}

void SkinButton::SetSkin(const QPixmap& strip) {
    strip_ = strip;
    stretch_ = false;
    border_ = false;
    maskMode_ = false;
    focusMargin_ = 0;
    masked_ = QPixmap();
    ApplyFrameGeometry();
}

void SkinButton::ApplyFrameGeometry() {
    if (strip_.isNull()) {
        frameSize_ = QSize();
        update();
        return;
    }
    const int frames = maskMode_ ? kMaskedFrameCount : kFrameCount;
    frameSize_ = QSize(strip_.width() / frames, strip_.height());
    resize(frameSize_);
    updateGeometry();
    update();
}

void SkinButton::SetMode(Mode mode) {
    mode_ = mode;
    if (mode_ == Mode::kPush) {
        SetCheck(false);
    }
}

void SkinButton::SetCheck(bool checked) {
    const bool newState = checked && mode_ != Mode::kPush;
    if (newState == checked_) {
        return;
    }
    checked_ = newState;
    update();
    emit CheckChanged(checked_);
    if (checked_ && mode_ == Mode::kRadio) {
        emit GroupMessage(kMsgRadioUncheck, 0, 0);
    }
}

void SkinButton::HandleMessage(quint32 code, int, int) {
    if (code != kMsgRadioUncheck || !checked_) {
        return;
    }
    checked_ = false;
    update();
    emit CheckChanged(false);
}

int SkinButton::ShownFrame() const {
    if (!isEnabled()) {
        return kFrameDisabled;
    }
    if (isDown() || checked_) {
        return kFramePressed;
    }
    return hover_ ? kFrameHover : kFrameNormal;
}

void SkinButton::SetTextColor(const QColor& color) {
    textColor_ = color;
    update();
}

void SkinButton::SetStretch(bool stretch) {
    stretch_ = stretch;
    update();
}

void SkinButton::SetBorder(bool border) {
    border_ = border;
    update();
}

void SkinButton::SetMaskMode(bool maskMode) {
    if (maskMode_ == maskMode) {
        return;
    }
    maskMode_ = maskMode;
    BuildMaskedFrames();
    ApplyFrameGeometry();
}

void SkinButton::SetFocusMargin(int margin) {
    focusMargin_ = margin;
    update();
}

// The mask frame is white where the background shows and black where the frame is drawn;
// turning it into the frames' alpha once lets every paint compose over what lies beneath.
void SkinButton::BuildMaskedFrames() {
    masked_ = QPixmap();
    if (!maskMode_ || strip_.isNull()) {
        return;
    }
    const int frameWidth = strip_.width() / kMaskedFrameCount;
    QImage image = strip_.toImage().convertToFormat(QImage::Format_ARGB32);
    const QImage mask = image.copy(kFrameMask * frameWidth, 0, frameWidth, image.height());
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < kFrameMask * frameWidth; ++x) {
            const int alpha = kOpaque - qGray(mask.pixel(x % frameWidth, y));
            line[x] = qRgba(qRed(line[x]), qGreen(line[x]), qBlue(line[x]), alpha);
        }
    }
    masked_ = QPixmap::fromImage(image);
}

QSize SkinButton::sizeHint() const {
    return frameSize_.isValid() ? frameSize_ : QSize(0, 0);
}

void SkinButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    DrawButton(painter, rect());
}

void SkinButton::DrawButton(QPainter& painter, const QRect& rect) const {
    const int frame = ShownFrame();
    DrawFrame(painter, rect, frame);
    if (border_) {
        qDrawWinPanel(&painter, rect, palette(), frame == kFramePressed);
    }
    DrawText(painter, rect, frame);
    if (hasFocus()) {
        DrawFocusRing(painter,
                      rect.adjusted(focusMargin_, focusMargin_, -focusMargin_, -focusMargin_));
    }
}

void SkinButton::DrawFrame(QPainter& painter, const QRect& rect, int frame) const {
    const QPixmap& source = maskMode_ ? masked_ : strip_;
    if (source.isNull()) {
        return;
    }
    const QRect frameRect(frame * frameSize_.width(), 0, frameSize_.width(), frameSize_.height());
    DrawSkin(painter, stretch_ ? rect : QRect(rect.topLeft(), frameSize_), source, frameRect);
}

void SkinButton::DrawText(QPainter& painter, const QRect& rect, int frame) const {
    if (text().isEmpty()) {
        return;
    }
    const int inset = focusMargin_ + kTextInset;
    QRect textRect = rect.adjusted(inset, 0, -inset, 0);
    constexpr int flags = Qt::AlignCenter | Qt::TextSingleLine;
    painter.setFont(font());
    if (frame == kFrameDisabled) {
        painter.setPen(palette().color(QPalette::Light));
        painter.drawText(textRect, flags, text());
        painter.setPen(palette().color(QPalette::Disabled, QPalette::Text));
        painter.drawText(textRect.translated(-1, -1), flags, text());
        return;
    }
    if (frame == kFramePressed) {
        textRect.translate(kPushedTextShift);
    }
    painter.setPen(textColor_);
    painter.drawText(textRect, flags, text());
}

void SkinButton::ActivateByUser() {
    if (mode_ == Mode::kCheck) {
        SetCheck(!checked_);
    } else if (mode_ == Mode::kRadio) {
        SetCheck(true);
    }
}

void SkinButton::mousePressEvent(QMouseEvent* event) {
    hover_ = false;
    QAbstractButton::mousePressEvent(event);
    if (event->button() == Qt::LeftButton) {
        pressed_ = true;
    }
}

void SkinButton::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        if (pressed_ && rect().contains(event->position().toPoint())) {
            ActivateByUser();
        }
        pressed_ = false;
    }
    QAbstractButton::mouseReleaseEvent(event);
}

void SkinButton::mouseMoveEvent(QMouseEvent* event) {
    // While pressed the base class shows the button pushed exactly while the pointer is on it.
    QAbstractButton::mouseMoveEvent(event);
    if (!pressed_ && !hover_) {
        hover_ = true;
        update();
    }
}

void SkinButton::leaveEvent(QEvent* event) {
    hover_ = false;
    update();
    QAbstractButton::leaveEvent(event);
}

void SkinButton::focusOutEvent(QFocusEvent* event) {
    if (pressed_) {
        pressed_ = false;
        setDown(false);
    }
    QAbstractButton::focusOutEvent(event);
}

// Enter presses the button at once, as Space does on its release.
void SkinButton::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && isEnabled()) {
        if (!event->isAutoRepeat()) {
            ActivateByUser();
            click();
        }
        return;
    }
    if (key == Qt::Key_Space && !event->isAutoRepeat()) {
        ActivateByUser();
    }
    QAbstractButton::keyPressEvent(event);
}

bool SkinButton::event(QEvent* event) {
    if (hasFocus() && ClaimKeys(event, {Qt::Key_Space, Qt::Key_Return, Qt::Key_Enter})) {
        return true;
    }
    return QAbstractButton::event(event);
}

void SkinButton::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange && !isEnabled()) {
        hover_ = false;
        pressed_ = false;
    }
    QAbstractButton::changeEvent(event);
}

}  // namespace velmaro
