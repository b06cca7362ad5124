// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// GoogleTest main for the Qt tests: one QApplication for all of them, on the offscreen
// platform unless a display is given (CI runs them under Xvfb to exercise the real one).
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "ui/map/map_web_page.h"

int main(int argc, char** argv) {
    if (std::getenv("DISPLAY") == nullptr && std::getenv("QT_QPA_PLATFORM") == nullptr) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    velmaro::PrepareWebEngine();  // the main window's map
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
