// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "stream/frame_pacer.h"
#include "stream/worker_thread.h"

namespace velmaro {
namespace {

using namespace std::chrono_literals;

// A body that polls like a decoding worker and sleeps between passes.
class PollingWorker : public WorkerThread {
  public:
    ~PollingWorker() override { StopAndWait(kWorkerStopTimeoutMs); }
    int32_t Run() override {
        while (running_.load()) {
            ++passes;
            SleepWhileRunning(60000);
        }
        return 0;
    }
    std::atomic<int> passes{0};
};

TEST(WorkerThread, StopWakesALongSleepAndJoins) {
    PollingWorker worker;
    ASSERT_TRUE(worker.Start());
    while (worker.passes.load() == 0) {
        std::this_thread::yield();
    }
    // Without the wake-up this would sit out the 60 s sleep and time out.
    EXPECT_TRUE(worker.Stop(kWorkerStopTimeoutMs));
    EXPECT_FALSE(worker.ThreadAlive());
    EXPECT_EQ(worker.passes.load(), 1);
}

TEST(WorkerThread, CanStartAgainAfterStop) {
    PollingWorker worker;
    ASSERT_TRUE(worker.Start());
    EXPECT_TRUE(worker.Stop(kWorkerStopTimeoutMs));
    ASSERT_TRUE(worker.Start());
    EXPECT_TRUE(worker.IsRunning());
    EXPECT_TRUE(worker.Stop(kWorkerStopTimeoutMs));
    EXPECT_TRUE(worker.Stop(kWorkerStopTimeoutMs)) << "stopping a stopped worker is harmless";
}

// A body that ignores the stop flag until the test lets it go, and then still touches its
// object: if its owner were destroyed first, the sanitizer build reports a use after free.
class StubbornWorker : public WorkerThread {
  public:
    explicit StubbornWorker(std::shared_future<void> release, std::atomic<bool>& ended)
        : release_(std::move(release)), ended_(ended) {}
    ~StubbornWorker() override { StopAndWait(20); }
    int32_t Run() override {
        release_.wait();
        std::this_thread::sleep_for(5ms);
        lastWords_ = 42;  // a member write after the stop request
        ended_.store(true);
        return 0;
    }

  private:
    std::shared_future<void> release_;
    std::atomic<bool>& ended_;
    int lastWords_ = 0;
};

TEST(WorkerThread, StopTimesOutWithoutDetachingAndDestructionWaitsForTheBody) {
    std::promise<void> release;
    std::atomic<bool> ended{false};
    auto worker = std::make_unique<StubbornWorker>(release.get_future().share(), ended);
    ASSERT_TRUE(worker->Start());
    EXPECT_FALSE(worker->Stop(20)) << "the body does not end in time";
    EXPECT_TRUE(worker->ThreadAlive()) << "the thread is kept, not detached";
    EXPECT_FALSE(worker->Start()) << "no second thread while the first still runs";

    auto destroyed = std::async(std::launch::async, [&] { worker.reset(); });
    EXPECT_EQ(destroyed.wait_for(50ms), std::future_status::timeout)
        << "destruction must wait for the body";
    release.set_value();
    destroyed.get();
    EXPECT_TRUE(ended.load()) << "the body finished before its object went away";
}

// --- pacing clock ------------------------------------------------------------------------

std::atomic<uint32_t> g_now{0};
uint32_t FakeTicks() {
    return g_now.load();
}

TEST(FramePacer, FirstWaitEndsAtOnceBecauseTheEventStartsSet) {
    g_now = 1000;
    FramePacer clock(30.0, &FakeTicks);
    EXPECT_DOUBLE_EQ(clock.dueTime, 1000.0);
    EXPECT_NEAR(clock.interval, 33.333, 0.001);
    EXPECT_TRUE(clock.wakeEvent.WaitFor(0ms)) << "constructed signalled";
}

TEST(FramePacer, LateFramesRunBackToBackUntilTheClockHasCaughtUp) {
    g_now = 1000;
    FramePacer clock(30.0, &FakeTicks);
    g_now = 5000;  // a stall of four seconds
    int immediate = 0;
    while (clock.Wait(0.0) == 0) {
        ++immediate;
        ASSERT_LT(immediate, 1000);
    }
    // Due times 1033, 1067, ... stay within 5 ms of 5000 or behind it for 120 frames.
    EXPECT_EQ(immediate, 120);
    EXPECT_GT(clock.dueTime, 5005.0) << "the due time is never pulled forward";
}

TEST(FramePacer, ShortAndOutOfRangeWaitsAreSkipped) {
    g_now = 0xFFFFFF00u;
    FramePacer clock(60.0, &FakeTicks);
    EXPECT_EQ(clock.Wait(5.0), 0) << "due within 5 ms";
    clock.Wake();
    EXPECT_EQ(clock.Wait(6.0), 11) << "the skipped 5 ms still count: the clock is absolute";
    g_now = 10;  // the tick counter wrapped: the due time is far out of range
    EXPECT_EQ(clock.Wait(0.0), 0);
}

TEST(FramePacer, WakeEndsAPacingWaitEarly) {
    g_now = 0;
    FramePacer clock(30.0, &FakeTicks);
    clock.wakeEvent.Reset();
    auto waiter = std::async(std::launch::async, [&] { return clock.Wait(60000.0); });
    EXPECT_EQ(waiter.wait_for(20ms), std::future_status::timeout);
    clock.Wake();
    EXPECT_EQ(waiter.get(), 60000) << "it was a long wait, ended by the event";
}

}  // namespace
}  // namespace velmaro
