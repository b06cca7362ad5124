// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/main/free_screen.h"

#include <QGuiApplication>
#include <QRect>
#include <QScreen>

namespace velmaro {

ScreenSize FreeScreenArea() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        return {};
    }
    const QRect free = screen->availableGeometry();
    return {free.width(), free.height()};
}

}  // namespace velmaro
