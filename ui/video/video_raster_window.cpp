// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/video/video_raster_window.h"

#include <QCoreApplication>
#include <QImage>
#include <QPainter>

#include "media/window_scaler.h"

namespace velmaro {
namespace {

bool IsInput(QEvent::Type type) {
    switch (type) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ContextMenu:
            return true;
        default:
            return false;
    }
}

}  // namespace

VideoRasterWindow::VideoRasterWindow(WindowScaler* scaler, QObject* eventTarget)
    : scaler_(scaler), eventTarget_(eventTarget) {}

void VideoRasterWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect area(QPoint(), size());
    const ScaledImage* image = scaler_->Newest();
    if (image == nullptr) {
        painter.fillRect(area, Qt::black);
        return;
    }
    QImage view(image->bytes.data(), image->width, image->height, image->stride,
                QImage::Format_RGB32);
    view.setDevicePixelRatio(devicePixelRatio());
    // At the window's size this is a copy; only while a new size is being scaled for does the
    // image on hand get stretched (without smoothing, as it is about to be replaced).
    painter.drawImage(area, view);
}

// The window covers the video widget exactly, so positions mean the same in both.
bool VideoRasterWindow::event(QEvent* event) {
    if (IsInput(event->type())) {
        return QCoreApplication::sendEvent(eventTarget_, event);
    }
    return QRasterWindow::event(event);
}

}  // namespace velmaro
