// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Helpers for the skinned-control tests: strips of solid frames that tell which frame was drawn,
// and a shown host window so real mouse and key events reach the controls.
#pragma once

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QTest>
#include <QWidget>
#include <vector>

namespace velmaro::testing {

// Frame i of every test strip is filled with FrameColor(i).
inline QColor FrameColor(int frame) {
    static const std::vector<QColor> colors = {QColor(200, 30, 30), QColor(30, 200, 30),
                                               QColor(30, 30, 200), QColor(200, 200, 30)};
    return colors.at(static_cast<size_t>(frame));
}

inline QPixmap SolidStrip(QSize frame, int frames = 4) {
    QPixmap strip(frame.width() * frames, frame.height());
    QPainter painter(&strip);
    for (int i = 0; i < frames; ++i) {
        painter.fillRect(QRect(QPoint(i * frame.width(), 0), frame), FrameColor(i % 4));
    }
    return strip;
}

inline QColor PixelOf(QWidget& widget, QPoint at) {
    return widget.grab(QRect(at, QSize(1, 1))).toImage().pixelColor(0, 0);
}

// A top-level window with a flat background, shown and exposed.
class Host : public QWidget {
  public:
    static constexpr QColor kBackground{10, 60, 90};

    explicit Host(QSize size = QSize(400, 300)) {
        QPalette flat = palette();
        flat.setColor(QPalette::Window, kBackground);
        setPalette(flat);
        setAutoFillBackground(true);
        resize(size);
    }

    bool ShowAndWait() {
        show();
        return QTest::qWaitForWindowExposed(this);
    }
};

}  // namespace velmaro::testing
