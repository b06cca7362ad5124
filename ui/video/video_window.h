// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// VideoWindow: the window the video is shown in. It sits docked in the main window's large
// area; a double-click floats it as a window of its own (800 x 470, centred), and a double-click
// on the floating window puts the video on the whole screen with the main window hidden. Esc or
// the floating window's close box docks it again at the place the main window's last layout
// gave it. The video surface keeps its picture through every move: re-parented, it draws the
// held picture again in its new window.
#pragma once

#include <functional>
#include <memory>

#include <QRect>
#include <QWidget>

namespace velmaro {

class VideoWidget;

class VideoWindow : public QWidget {
    Q_OBJECT

  public:
    static constexpr QSize kFloatingSize{800, 470};

    // `mainWindow` is the parent while docked and is hidden while the video is full screen.
    explicit VideoWindow(QWidget* mainWindow);
    ~VideoWindow() override;

    VideoWidget* VideoSurface() const { return videoSurface_; }

    bool IsFloating() const { return floating_; }
    bool IsFullScreen() const { return fullScreen_; }
    // Main-window client coordinates; written by every layout of the main window.
    void SetDockedRect(const QRect& rect);
    QRect DockedRect() const { return dockedRect_; }

    void Float();
    void Dock();
    void ToggleFullScreen();
    // Called once with the full-screen window when it is first made: the main window, hidden
    // meanwhile, lends it its keys.
    std::function<void(QWidget*)> fullScreenWindowMade;
    QWidget* FullScreenWindow() const { return fullScreenWindow_.get(); }

  protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void EnterFullScreen();
    void LeaveFullScreen();
    void WatchSurface();
    bool FullScreenWindowEvent(QEvent* event);
    void OnDoubleClick();

    QWidget* const mainWindow_;
    VideoWidget* videoSurface_;  // our child, or the full-screen window's while full screen
    // Made on the first full screen. The surface goes into a window rather than becoming one:
    // with OpenGL contexts shared (the map's web engine asks for that), a GL surface that is a
    // top-level window itself may show a picture presented again as black.
    std::unique_ptr<QWidget> fullScreenWindow_;
    bool floating_ = false;
    bool fullScreen_ = false;
    QRect dockedRect_;
    QRect surfaceRectBeforeFullScreen_;
};

}  // namespace velmaro
