// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// FramePacer: the channel's pacing clock. Each frame is due one interval after the previous one,
// on the 32-bit millisecond tick counter, however long decoding took; waits are on an event so
// that stop, seek and pause can end them early.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/auto_reset_event.h"
#include "platform/tick.h"

namespace velmaro {

constexpr double kDefaultFps = 30.0;
constexpr int32_t kShortestPacingWaitMs = 5;  // waits this short are not worth a sleep

class FramePacer {
  public:
    explicit FramePacer(double fps = kDefaultFps, TickSource ticks = &TickCount);
    FramePacer(const FramePacer&) = delete;
    FramePacer& operator=(const FramePacer&) = delete;
    virtual ~FramePacer() = default;

    // Advances the due time by `ms` (0.0: one interval) and sleeps until it, unless the frame
    // is already late or due within 5 ms. Returns the milliseconds it decided to wait.
    int32_t Wait(double ms);

    // Re-anchors the clock to now (while the queue is empty, or when playback starts).
    void Restart() { dueTime = ticks_(); }
    void SetRate(double framesPerSecond);
    void Wake() { wakeEvent.Set(); }
    // The rate last set, for any thread (an export takes it while the video worker runs).
    double Rate() const { return publishedFps_.load(std::memory_order_relaxed); }
    // Replaces the tick counter before the video worker starts: tests pace on their own time.
    void SetTickSource(TickSource ticks) { ticks_ = ticks; }

    // Used by the video worker only, after construction.
    double fps;
    double dueTime;       // ms on the tick counter
    double interval;      // ms per frame
    double lateMs = 0.0;  // how far past its due time the frame last waited for already was
    AutoResetEvent wakeEvent;

  private:
    TickSource ticks_;
    std::atomic<double> publishedFps_;  // written by SetRate (the video worker)
};

}  // namespace velmaro
