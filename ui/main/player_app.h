// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// PlayerApp: the Qt application object. It holds what lives for the whole run (AppShared),
// starts up in the player's order (version, language, settings, offset grid, main
// window), and writes the settings back when the main window closes or the session ends it.
#pragma once

#include <QApplication>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "ui/main/app_shared.h"

namespace velmaro {

class PlayerApp : public QApplication, public AppShared {
    Q_OBJECT

  public:
    // Builds the main window; the player window until the full main window takes this seam.
    using MainWindowFactory = std::function<std::unique_ptr<QWidget>(PlayerApp&)>;

    PlayerApp(int& argc, char** argv);

    // Start-up, the main window's run, and the settings written at its end. Returns the exit
    // status.
    int Run(const MainWindowFactory& makeMainWindow);

    QWidget* g_pMainDlg = nullptr;

  private:
    void StartUp();
    void SaveAtExit();
};

// "--help" and "--version" are answered, and an unknown option refused with the usage on
// stderr, before any window exists: the exit status then, else nothing (the player runs).
std::optional<int> AnswerCommandLine(int argc, char** argv);

}  // namespace velmaro
