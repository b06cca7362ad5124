// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/main/exit_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <utility>

namespace velmaro {
namespace {

// Written by the constructor and destructor on the GUI thread, read by the handler.
std::atomic<int> g_wakeFd{-1};

void OnExitSignal(int signal) {
    const int savedErrno = errno;  // the interrupted code may be about to read it
    const int fd = g_wakeFd.load();
    if (fd >= 0) {
        const auto byte = static_cast<char>(signal);
        [[maybe_unused]] const ssize_t ignored = ::write(fd, &byte, 1);
    }
    errno = savedErrno;
}

}  // namespace

ExitSignals::ExitSignals(std::function<void()> endRun) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
        return;  // the run then ends with its window only, as before
    }
    readEnd_.Reset(fds[0]);
    writeEnd_.Reset(fds[1]);
    notifier_ = std::make_unique<QSocketNotifier>(readEnd_.Get(), QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated,
                     [fd = readEnd_.Get(), endRun = std::move(endRun)] {
                         char bytes[16];
                         while (::read(fd, bytes, sizeof bytes) > 0) {
                             endRun();
                         }
                     });
    g_wakeFd.store(writeEnd_.Get());
    struct sigaction action {};
    action.sa_handler = OnExitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    for (size_t i = 0; i < kSignals.size(); ++i) {
        ::sigaction(kSignals[i], &action, &previous_[i]);
    }
}

ExitSignals::~ExitSignals() {
    if (!Installed()) {
        return;
    }
    for (size_t i = 0; i < kSignals.size(); ++i) {
        ::sigaction(kSignals[i], &previous_[i], nullptr);
    }
    g_wakeFd.store(-1);
}

}  // namespace velmaro
