// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The software path's drawing surface: a native child window with a backing store of its own.
// A top-level window that holds a web view (the map) composes every flush of its widgets
// through OpenGL; on a software renderer (llvmpipe) that composition of the whole window, once
// per picture, cost the CPU more than decoding did. Pictures drawn in a window of their own go
// to the display as plain image puts of the video's area, and the main window is composed only
// when its own widgets change.
#pragma once

#include <QRasterWindow>

namespace velmaro {

class WindowScaler;

class VideoRasterWindow : public QRasterWindow {
    Q_OBJECT

  public:
    // `scaler` holds the pictures to draw; input that reaches this window is handed to
    // `eventTarget`, the widget the rest of the window knows as the video.
    VideoRasterWindow(WindowScaler* scaler, QObject* eventTarget);

  protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;

  private:
    WindowScaler* const scaler_;
    QObject* const eventTarget_;
};

}  // namespace velmaro
