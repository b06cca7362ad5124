// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// A camera card made once for the main-window tests, and waits that keep the GUI thread
// serving events while the player works.
#pragma once

#include <QCoreApplication>
#include <QTest>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>

#include "tests/test_support.h"
#include "tools/make_recording/recording_writer.h"

namespace velmaro::test {

// Three small recordings on a card, 3 s each, with telemetry, made at 08:30 on 12 June 2026.
struct SmallCard {
    SmallCard() {
        RecordingOptions o;
        o.outRoot = dir.path();
        o.files = 3;
        o.secondsPerFile = 3;
        o.width = 320;
        o.height = 240;
        result = WriteRecording(o);
    }
    TempDir dir;
    RecordingResult result;
};

inline const SmallCard& Card() {
    static const SmallCard card;
    return card;
}

// Serves the GUI thread until `done` holds or the patience runs out.
inline bool WaitGui(const std::function<bool()>& done,
                    std::chrono::milliseconds patience = std::chrono::seconds(20)) {
    const auto end = std::chrono::steady_clock::now() + patience;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        QTest::qWait(10);
    }
    return true;
}

// No sound card on test machines: SDL's dummy driver plays into nothing, at the real pace.
inline void QuietSound() {
    setenv("SDL_AUDIODRIVER", "dummy", 0);
}

}  // namespace velmaro::test
