// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/video/video_window.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>

#include "ui/video/video_widget.h"

namespace velmaro {

VideoWindow::VideoWindow(QWidget* mainWindow)
    : QWidget(mainWindow), mainWindow_(mainWindow), videoSurface_(new VideoWidget(this)) {
    setWindowTitle(QStringLiteral("Device Video Display"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    if (mainWindow != nullptr) {
        setWindowIcon(mainWindow->windowIcon());
    }
    WatchSurface();
}

VideoWindow::~VideoWindow() {
    // A full-screen surface lives in another window: bring it home so it is destroyed with us.
    if (fullScreen_) {
        LeaveFullScreen();
    }
}

// Double-clicks, presses and Esc reach us from the surface and its drawing child wherever the
// surface is, also while it is a full-screen window of its own.
void VideoWindow::WatchSurface() {
    videoSurface_->installEventFilter(this);
    for (QWidget* child : videoSurface_->findChildren<QWidget*>()) {
        child->installEventFilter(this);
    }
}

void VideoWindow::SetDockedRect(const QRect& rect) {
    dockedRect_ = rect;
}

void VideoWindow::Float() {
    if (floating_) {
        return;
    }
    floating_ = true;
    const bool wasVisible = isVisible() || !isHidden();
    setParent(nullptr, Qt::Window);
    setWindowTitle(QStringLiteral("Device Video Display"));
    resize(kFloatingSize);
    const QScreen* screen =
        mainWindow_ != nullptr ? mainWindow_->screen() : QGuiApplication::primaryScreen();
    if (screen != nullptr) {
        QRect frame(QPoint(), kFloatingSize);
        frame.moveCenter(screen->geometry().center());
        move(frame.topLeft());
    }
    if (wasVisible) {
        show();
        raise();
        activateWindow();
    }
}

void VideoWindow::Dock() {
    if (!floating_) {
        return;
    }
    if (fullScreen_) {
        LeaveFullScreen();
    }
    floating_ = false;
    const bool wasVisible = isVisible();
    setParent(mainWindow_, Qt::Widget);
    setGeometry(dockedRect_);
    if (wasVisible) {
        show();
    }
}

void VideoWindow::ToggleFullScreen() {
    if (fullScreen_) {
        LeaveFullScreen();
    } else {
        EnterFullScreen();
    }
}

void VideoWindow::EnterFullScreen() {
    surfaceRectBeforeFullScreen_ = videoSurface_->geometry();
    fullScreen_ = true;
    if (!fullScreenWindow_) {
        fullScreenWindow_ = std::make_unique<QWidget>(nullptr, Qt::Window);
        fullScreenWindow_->setWindowTitle(QStringLiteral("Device Video Display"));
        fullScreenWindow_->setStyleSheet(QStringLiteral("background: black;"));
        fullScreenWindow_->installEventFilter(this);
        if (fullScreenWindowMade) {
            fullScreenWindowMade(fullScreenWindow_.get());
        }
    }
    videoSurface_->setParent(fullScreenWindow_.get(), Qt::Widget);
    WatchSurface();
    if (mainWindow_ != nullptr) {
        mainWindow_->hide();
    }
    const QScreen* screen =
        this->screen() != nullptr ? this->screen() : QGuiApplication::primaryScreen();
    if (screen != nullptr) {
        fullScreenWindow_->setGeometry(screen->geometry());
    }
    videoSurface_->setGeometry(fullScreenWindow_->rect());
    videoSurface_->show();
    fullScreenWindow_->showFullScreen();
    fullScreenWindow_->raise();
    fullScreenWindow_->activateWindow();
    videoSurface_->setFocus();
}

void VideoWindow::LeaveFullScreen() {
    fullScreen_ = false;
    videoSurface_->setParent(this, Qt::Widget);
    if (fullScreenWindow_) {
        fullScreenWindow_->hide();
    }
    WatchSurface();
    if (mainWindow_ != nullptr) {
        mainWindow_->show();
    }
    videoSurface_->setGeometry(surfaceRectBeforeFullScreen_.isValid() ? surfaceRectBeforeFullScreen_
                                                                      : rect());
    videoSurface_->show();
}

void VideoWindow::OnDoubleClick() {
    if (fullScreen_ || floating_) {
        ToggleFullScreen();
    } else {
        Float();
    }
}

void VideoWindow::resizeEvent(QResizeEvent*) {
    if (!fullScreen_) {
        videoSurface_->setGeometry(rect());
    }
}

void VideoWindow::paintEvent(QPaintEvent* event) {
    QPainter(this).fillRect(event->rect(), Qt::black);
}

void VideoWindow::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        OnDoubleClick();
        return;
    }
    QWidget::mouseDoubleClickEvent(event);
}

void VideoWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && floating_) {
        Dock();
        return;
    }
    QWidget::keyPressEvent(event);
}

// The floating window's close box docks it; the window itself lives as long as the main one.
void VideoWindow::closeEvent(QCloseEvent* event) {
    if (floating_) {
        event->ignore();
        Dock();
        return;
    }
    QWidget::closeEvent(event);
}

bool VideoWindow::eventFilter(QObject* watched, QEvent* event) {
    if (fullScreenWindow_ && watched == fullScreenWindow_.get()) {
        return FullScreenWindowEvent(event);
    }
    switch (event->type()) {
        case QEvent::MouseButtonDblClick:
            if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
                OnDoubleClick();
                return true;
            }
            break;
        case QEvent::KeyPress:
            if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape && fullScreen_) {
                LeaveFullScreen();
                return true;
            }
            break;
        default:
            break;
    }
    return QWidget::eventFilter(watched, event);
}

// The full-screen window follows the screen's size and is left like the surface: Esc, or its
// close box, returns to the floating window.
bool VideoWindow::FullScreenWindowEvent(QEvent* event) {
    switch (event->type()) {
        case QEvent::Resize:
            if (fullScreen_) {
                videoSurface_->setGeometry(fullScreenWindow_->rect());
            }
            return false;
        case QEvent::KeyPress:
            if (static_cast<QKeyEvent*>(event)->key() != Qt::Key_Escape || !fullScreen_) {
                return false;
            }
            LeaveFullScreen();
            return true;
        case QEvent::Close:
            if (fullScreen_) {
                event->ignore();
                LeaveFullScreen();
                return true;
            }
            return false;
        default:
            return false;
    }
}

}  // namespace velmaro
