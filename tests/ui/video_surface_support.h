// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// What the video tests share: both drawing paths as test parameters, and the widget's pixels
// as the display shows them (read back from the screen, not from our own buffers), waited for
// while the GUI thread keeps serving repaints.
#pragma once

#include <QGuiApplication>
#include <QImage>
#include <QScreen>
#include <QTest>
#include <QWidget>
#include <chrono>
#include <functional>
#include <string>

#include "tests/test_support.h"
#include "ui/video/video_path.h"

namespace velmaro::test {

// The OpenGL path needs a display with OpenGL; the offscreen platform has none (CI runs these
// under Xvfb, whose software renderer serves).
inline bool PathAvailable(VideoPath path) {
    return path != VideoPath::kOpenGl ||
           QGuiApplication::platformName() != QStringLiteral("offscreen");
}

inline std::string PathName(VideoPath path) {
    return path == VideoPath::kOpenGl ? "OpenGl" : "Software";
}

// The widget's area as the screen shows it.
inline QImage ScreenImage(const QWidget& widget) {
    const QWidget* top = widget.window();
    const QPoint at = widget.mapTo(top, QPoint(0, 0));
    QScreen* screen = top->screen();
    if (screen == nullptr) {
        return {};
    }
    return screen->grabWindow(top->winId(), at.x(), at.y(), widget.width(), widget.height())
        .toImage();
}

// Waits until the screen shows what `shows` looks for; the last image read either way.
inline QImage WaitForScreen(const QWidget& widget, const std::function<bool(const QImage&)>& shows,
                            std::chrono::milliseconds patience = kPatience) {
    const auto end = std::chrono::steady_clock::now() + patience;
    QImage image;
    for (;;) {
        QTest::qWait(10);
        image = ScreenImage(widget);
        if ((!image.isNull() && shows(image)) || std::chrono::steady_clock::now() > end) {
            return image;
        }
    }
}

inline bool Near(const QColor& got, int r, int g, int b, int tolerance) {
    return std::abs(got.red() - r) <= tolerance && std::abs(got.green() - g) <= tolerance &&
           std::abs(got.blue() - b) <= tolerance;
}

}  // namespace velmaro::test
