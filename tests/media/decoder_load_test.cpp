// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The decoder's load over the last second and what the video worker makes of it: frame threads
// while one thread would be full, one thread again once it would be at ease (judged by what
// the frame threads showed they hide), a forced count whatever the load, and pictures dropped
// only while decoding takes nearly all the time.
#include <gtest/gtest.h>

#include "media/decoder_load.h"

namespace velmaro {
namespace {

constexpr int kCores = 4;
constexpr int kFrameThreads = kCores + 1;  // a frame thread waiting on a reference leaves a core
constexpr int kCallsPerSecond = 30;

// A second and a bit of decode calls, each `busyMs` long, on `threads` threads.
DecoderLoad Measured(double busyMs, int threads) {
    DecoderLoad load(kCores);
    const int64_t step = kLoadWindowMs / kCallsPerSecond;
    for (int call = 0; call <= kCallsPerSecond + 1; ++call) {
        load.Add(busyMs, call * step, threads);
    }
    return load;
}

TEST(DecoderLoad, ThreadsFollowWhatOneThreadWouldNeedAndAForcedCountWins) {
    const struct {
        const char* what;
        double busyMs;  // per call, 30 calls a second
        int threads;
        int forced;
        int wanted;
        bool overloaded;
    } cases[] = {
        {"one thread nearly full", 30.0, 1, 0, kFrameThreads, true},
        {"one thread past the raise, not overloaded", 27.0, 1, 0, kFrameThreads, false},
        {"one thread at half", 15.0, 1, 0, 1, false},
        {"frame threads where one would be at ease", 3.0, kFrameThreads, 0, 1, false},
        {"frame threads where one would still be busy", 5.0, kFrameThreads, 0, kFrameThreads,
         false},
        {"frame threads overloaded", 31.0, kFrameThreads, 0, kFrameThreads, true},
        {"forced one while full", 30.0, 1, 1, 1, true},
        {"forced two while idle", 1.0, 2, 2, 2, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const DecoderLoad load = Measured(c.busyMs, c.threads);
        EXPECT_EQ(load.WantedThreads(c.forced, c.threads), c.wanted);
        EXPECT_EQ(load.Overloaded(), c.overloaded);
    }
}

TEST(DecoderLoad, ASingleCoreNeverStartsFrameThreads) {
    EXPECT_EQ(DecoderLoad(1).FrameThreads(), 1);
    EXPECT_EQ(DecoderLoad(2).FrameThreads(), 3);
}

TEST(DecoderLoad, NothingIsDecidedBeforeAWholeSecondOnTheThreadsNowRunning) {
    DecoderLoad load(kCores);
    for (int call = 0; call < kCallsPerSecond / 2; ++call) {
        load.Add(33.0, call * 33, 1);
    }
    EXPECT_EQ(load.WantedThreads(0, 1), 1) << "half a second";
    EXPECT_FALSE(load.Overloaded());

    load = Measured(33.0, 1);
    EXPECT_EQ(load.WantedThreads(0, kFrameThreads), kFrameThreads)
        << "measured on another thread count";
    load.Reset();
    EXPECT_FALSE(load.Overloaded());
    EXPECT_EQ(load.WantedThreads(0, 1), 1);
}

// Frame threads hide most of each picture's work from the worker: their first second, against
// the one-thread second that started them, tells how much, so they do not stop at once.
TEST(DecoderLoad, FrameThreadsStopOnlyOnceThePicturesGotEasier) {
    DecoderLoad load = Measured(27.0, 1);
    ASSERT_EQ(load.WantedThreads(0, 1), kFrameThreads);
    load.ThreadsChanged(1, kFrameThreads);
    int64_t now = 0;
    const auto second = [&](double busyMs) {
        for (int call = 0; call <= kCallsPerSecond + 1; ++call) {
            load.Add(busyMs, now, kFrameThreads);
            now += kLoadWindowMs / kCallsPerSecond;
        }
    };
    second(33.0);
    second(32.0);
    EXPECT_EQ(load.WantedThreads(0, kFrameThreads), kFrameThreads)
        << "seconds spent catching up say nothing of what the threads hide";
    second(3.0);
    EXPECT_EQ(load.WantedThreads(0, kFrameThreads), kFrameThreads)
        << "the same pictures, a tenth of the wait";
    second(1.2);
    EXPECT_EQ(load.WantedThreads(0, kFrameThreads), 1) << "pictures at less than half the work";

    load.ThreadsChanged(kFrameThreads, 1);
    load.ThreadsChanged(1, kFrameThreads);
    second(3.0);
    second(1.2);
    EXPECT_EQ(load.WantedThreads(0, kFrameThreads), kFrameThreads)
        << "frame threads that had to come back stay";
}

// One thread that had no time left (4K on a small machine) may have needed any amount more.
TEST(DecoderLoad, FrameThreadsStartedFromASaturatedThreadStay) {
    DecoderLoad load = Measured(32.0, 1);
    load.ThreadsChanged(1, kFrameThreads);
    for (int call = 0; call <= 2 * kCallsPerSecond; ++call) {
        load.Add(1.0, call * (kLoadWindowMs / kCallsPerSecond), kFrameThreads);
    }
    EXPECT_EQ(load.WantedThreads(0, kFrameThreads), kFrameThreads);
}

}  // namespace
}  // namespace velmaro
