// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/skin_dialog.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <QRegion>
#include <QWindow>

#include "controls/skin.h"

namespace velmaro {

namespace {

// The edges are stretched from strips a tenth of the skin wide (top, bottom) or high (sides).
constexpr int kStripDivisor = 10;

}  // namespace

SkinDialog::SkinDialog(QWidget* parent, Placement placement) : QDialog(parent) {
    if (placement == Placement::kChild) {
        setWindowFlags(Qt::Widget);
    } else {
        setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    }
}

void SkinDialog::SetSkin(int bitmapId) {
    SetSkin(SkinBitmap(bitmapId));
}

void SkinDialog::SetSkin(const QPixmap& skin) {
    skin_ = skin;
    if (!skin_.isNull()) {
        fillColor_ = skin_.toImage().pixelColor(skin_.width() / 2, skin_.height() / 2);
    }
    ComposeBackground();
    ApplyRegion();
    update();
}

void SkinDialog::SetCornerEllipse(int width, int height) {
    cornerEllipse_ = QSize(width, height);
    ApplyRegion();
}

void SkinDialog::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    ComposeBackground();
    ApplyRegion();
    update();
}

// Corners are copied as they are; the top and bottom edges stretch a strip of the skin's
// middle, the side edges likewise. The right and bottom pieces sit one pixel in from the
// client's edge, and the middle is the skin's centre colour under the child controls.
void SkinDialog::ComposeBackground() {
    if (skin_.isNull() || width() <= 0 || height() <= 0) {
        background_ = QPixmap();
        return;
    }
    const int w = skin_.width();
    const int h = skin_.height();
    const int halfW = w / 2;
    const int halfH = h / 2;
    const int cx = width();
    const int cy = height();
    const int right = cx - halfW - 1;
    const int bottom = cy - halfH - 1;
    // As many pixels as the screen has, so that a dense screen gets the sharp skin.
    const qreal ratio = devicePixelRatioF();
    background_ = QPixmap(size() * ratio);
    background_.setDevicePixelRatio(ratio);
    background_.fill(fillColor_);
    QPainter painter(&background_);
    const QSize quarter(halfW, halfH);
    DrawSkin(painter, QRect(QPoint(0, 0), quarter), skin_, QRect(QPoint(0, 0), quarter));
    DrawSkin(painter, QRect(QPoint(right, 0), quarter), skin_, QRect(QPoint(halfW, 0), quarter));
    DrawSkin(painter, QRect(QPoint(0, bottom), quarter), skin_, QRect(QPoint(0, halfH), quarter));
    DrawSkin(painter, QRect(QPoint(right, bottom), quarter), skin_,
             QRect(QPoint(halfW, halfH), quarter));
    if (cx - w > 0) {
        const QRect topStrip(halfW, 0, w / kStripDivisor, halfH);
        DrawSkin(painter, QRect(halfW, 0, cx - w, halfH), skin_, topStrip);
        DrawSkin(painter, QRect(halfW, bottom, cx - w, halfH), skin_,
                 topStrip.translated(0, halfH));
    }
    if (cy - h > 0) {
        const QRect leftStrip(0, halfH, halfW, h / kStripDivisor);
        DrawSkin(painter, QRect(0, halfH, halfW, cy - h), skin_, leftStrip);
        DrawSkin(painter, QRect(right, halfH, halfW, cy - h), skin_,
                 leftStrip.translated(halfW, 0));
    }
}

void SkinDialog::ApplyRegion() {
    if (skin_.isNull() || cornerEllipse_.isEmpty()) {
        clearMask();
        return;
    }
    QPainterPath path;
    path.addRoundedRect(rect(), cornerEllipse_.width() / 2.0, cornerEllipse_.height() / 2.0);
    setMask(QRegion(path.toFillPolygon().toPolygon()));
}

void SkinDialog::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    if (background_.isNull()) {
        painter.fillRect(event->rect(), palette().color(backgroundRole()));
        return;
    }
    const qreal ratio = background_.devicePixelRatio();
    const QRect area = event->rect();
    painter.drawPixmap(
        area, background_,
        QRectF(QPointF(area.topLeft()) * ratio, QSizeF(area.size()) * ratio).toAlignedRect());
}

// A window asks the window manager to move it, as a drag on a caption would; where that is not
// available (and for child dialogs) it follows the pointer itself.
void SkinDialog::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !draggable_) {
        QDialog::mousePressEvent(event);
        return;
    }
    if (isWindow() && windowHandle() != nullptr && windowHandle()->startSystemMove()) {
        return;
    }
    dragging_ = true;
    dragStartGlobal_ = event->globalPosition().toPoint();
    dragStartPos_ = pos();
}

void SkinDialog::mouseMoveEvent(QMouseEvent* event) {
    if (!dragging_) {
        QDialog::mouseMoveEvent(event);
        return;
    }
    move(dragStartPos_ + event->globalPosition().toPoint() - dragStartGlobal_);
}

void SkinDialog::mouseReleaseEvent(QMouseEvent* event) {
    if (dragging_ && event->button() == Qt::LeftButton) {
        dragging_ = false;
        return;
    }
    QDialog::mouseReleaseEvent(event);
}

}  // namespace velmaro
