#include "ui/video_widget.h"

#include <QImage>
#include <QMetaObject>
#include <QPainter>
#include <QResizeEvent>

#include "media/window_scaler.h"
#include "ui/gl_video_surface.h"

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
    // Every pixel is painted from the picture: no background to clear first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    scaler_ = std::make_unique<WindowScaler>([this] {
        QMetaObject::invokeMethod(this, qOverload<>(&QWidget::update), Qt::QueuedConnection);
    });
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

void VideoWidget::paintEvent(QPaintEvent*) {
    if (!scaler_) {
        return;  // the OpenGL child covers the widget
    }
    QPainter painter(this);
    const ScaledImage* image = scaler_->Newest();
    if (image == nullptr) {
        painter.fillRect(rect(), Qt::black);
        return;
    }
    QImage view(image->bytes.data(), image->width, image->height, image->stride,
                QImage::Format_RGB32);
    view.setDevicePixelRatio(devicePixelRatioF());
    // At the widget's size this is a copy; only while a new size is being scaled for does the
    // image on hand get stretched (without smoothing, as it is about to be replaced).
    painter.drawImage(rect(), view);
}

}  // namespace velmaro
