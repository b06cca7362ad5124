// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/video/video_widget.h"

#include <QMetaObject>
#include <QResizeEvent>

#include "media/window_scaler.h"
#include "ui/video/gl_video_surface.h"
#include "ui/video/video_raster_window.h"

namespace velmaro {
namespace {

constexpr int kMinimumSide = 16;

}  // namespace

VideoWidget::VideoWidget(QWidget* parent, VideoPath path)
    : QWidget(parent), path_(ChooseVideoPath(path)) {
    setMinimumSize(kMinimumSide, kMinimumSide);
    if (path_ == VideoPath::kOpenGl) {
        gl_ = new GlVideoSurface(this);
        return;
    }
    // Every pixel is painted by the raster window: no background to clear first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    scaler_ = std::make_unique<WindowScaler>([this] {
        QMetaObject::invokeMethod(
            this, [this] { raster_->update(); }, Qt::QueuedConnection);
    });
    raster_ = new VideoRasterWindow(scaler_.get(), this);
    rasterHost_ = QWidget::createWindowContainer(raster_, this);
    rasterHost_->setGeometry(rect());
    scaler_->Start();
}

VideoWidget::~VideoWidget() {
    scaler_.reset();  // its thread must not ask a half-destroyed widget for a repaint
}

void VideoWidget::Present(PictureRef picture) {
    ++presented_;
    if (gl_ != nullptr) {
        gl_->Show(std::move(picture));
    } else {
        scaler_->Present(std::move(picture));
    }
}

int VideoWidget::PicturesPresented() const {
    return presented_.load();
}

int VideoWidget::PicturesScaled() const {
    return scaler_ ? scaler_->ScaledCount() : 0;
}

// The software path scales to device pixels, so that painting never scales again.
void VideoWidget::FollowSize() {
    if (gl_ != nullptr) {
        gl_->setGeometry(rect());
        return;
    }
    rasterHost_->setGeometry(rect());
    const QSize pixels = (QSizeF(size()) * devicePixelRatioF()).toSize();
    scaler_->SetSize(pixels.width(), pixels.height());
}

void VideoWidget::resizeEvent(QResizeEvent*) {
    FollowSize();
}

// A new top-level window may sit on a screen of another pixel ratio.
void VideoWidget::showEvent(QShowEvent*) {
    FollowSize();
}

// Either child covers the widget and draws every pixel.
void VideoWidget::paintEvent(QPaintEvent*) {}

}  // namespace velmaro
