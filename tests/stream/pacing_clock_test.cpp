// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The pacing clock over many frames, on a tick counter the test moves: each wait is spent at
// once (the event is set first) and the counter is moved on by the milliseconds the clock chose
// to sleep, as if the sleep had taken exactly that long.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <vector>

#include "stream/frame_pacer.h"

namespace velmaro {
namespace {

std::atomic<uint32_t> g_ticks{0};
uint32_t Ticks() {
    return g_ticks.load();
}

// Paces `frames` frames that each take `decodeMs` to decode; returns every wait the clock chose.
std::vector<int32_t> Pace(FramePacer& clock, int frames, uint32_t decodeMs = 0) {
    std::vector<int32_t> waits;
    for (int i = 0; i < frames; ++i) {
        g_ticks += decodeMs;
        clock.Wake();  // the sleep ends at once; the counter says how long it was
        const int32_t wait = clock.Wait(0.0);
        g_ticks += static_cast<uint32_t>(wait);
        waits.push_back(wait);
    }
    return waits;
}

// The due time is absolute: sleeps are whole milliseconds, yet a second of frames takes a
// second, not 60 x 16 ms, at every rate whose interval is not a whole number of milliseconds.
TEST(PacingClock, ASecondOfFramesTakesASecondAtSixtyAndNtscRates) {
    struct Case {
        double fps;
        int frames;
        double milliseconds;
    };
    for (const Case& c : {Case{60.0, 60, 1000.0}, Case{60000.0 / 1001, 60, 1001.0},
                          Case{30000.0 / 1001, 30, 1001.0}, Case{25.0, 25, 1000.0},
                          Case{24000.0 / 1001, 24, 1001.0}}) {
        SCOPED_TRACE(c.fps);
        g_ticks = 5000;
        FramePacer clock(c.fps, &Ticks);
        const std::vector<int32_t> waits = Pace(clock, c.frames, 3);
        EXPECT_NEAR(g_ticks.load() - 5000.0, c.milliseconds, 1.0);
        for (const int32_t wait : waits) {
            EXPECT_GT(wait, 0) << "every frame was early and waited";
        }
    }
}

TEST(PacingClock, KeepsPacingWhenTheTickCounterWraps) {
    g_ticks = 0xFFFFFF00u;  // 256 ms before the 32-bit counter wraps
    FramePacer clock(60.0, &Ticks);
    const std::vector<int32_t> waits = Pace(clock, 60, 2);
    for (size_t i = 0; i < waits.size(); ++i) {
        EXPECT_GE(waits[i], 14) << "frame " << i << ": paced, before and after the wrap";
        EXPECT_LE(waits[i], 15) << "frame " << i;
    }
    EXPECT_NEAR(static_cast<double>(g_ticks.load()), 1000.0 - 256.0, 1.0);
}

}  // namespace
}  // namespace velmaro
