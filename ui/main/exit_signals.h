// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// ExitSignals: the end of the desktop session (SIGTERM, SIGHUP) or Ctrl-C in the terminal
// (SIGINT) ends the player's run the way its close button does, on the GUI thread, so that the
// workers are stopped and the settings written rather than lost with a killed process. The
// handler only writes a byte to a pipe; a socket notifier takes it on the GUI thread. A second
// signal of the same kind, while the run winds down, takes the default action again.
#pragma once

#include <signal.h>

#include <QSocketNotifier>
#include <array>
#include <functional>
#include <memory>

#include "platform/unique_fd.h"

namespace velmaro {

class ExitSignals {
  public:
    // `endRun` is called on the GUI thread, once per signal caught. One instance at a time.
    explicit ExitSignals(std::function<void()> endRun);
    ~ExitSignals();  // puts the earlier handlers back
    ExitSignals(const ExitSignals&) = delete;
    ExitSignals& operator=(const ExitSignals&) = delete;

    bool Installed() const { return notifier_ != nullptr; }

  private:
    static constexpr std::array<int, 3> kSignals = {SIGTERM, SIGINT, SIGHUP};

    UniqueFd readEnd_;
    UniqueFd writeEnd_;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::array<struct sigaction, kSignals.size()> previous_{};
};

}  // namespace velmaro
