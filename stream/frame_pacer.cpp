// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "stream/frame_pacer.h"

#include <chrono>
#include <cmath>

namespace velmaro {
namespace {

constexpr double kTickCircle = 4294967296.0;  // the 32-bit tick counter's period in ms

}  // namespace

FramePacer::FramePacer(double framesPerSecond, TickSource ticks)
    : fps(framesPerSecond),
      dueTime(ticks()),
      interval(1000.0 / framesPerSecond),
      wakeEvent(true),  // the first wait ends at once
      ticks_(ticks),
      publishedFps_(framesPerSecond) {}

void FramePacer::SetRate(double framesPerSecond) {
    fps = framesPerSecond;
    interval = 1000.0 / framesPerSecond;
    publishedFps_.store(framesPerSecond, std::memory_order_relaxed);
}

int32_t FramePacer::Wait(double ms) {
    dueTime += ms == 0.0 ? interval : ms;
    // The tick counter wraps every 49.7 days while the due time runs on: they are compared on
    // the counter's circle, so that a wrap during playback does not unpace the frames.
    double ahead = std::fmod(dueTime - ticks_(), kTickCircle);
    if (ahead >= kTickCircle / 2) {
        ahead -= kTickCircle;
    } else if (ahead < -kTickCircle / 2) {
        ahead += kTickCircle;
    }
    lateMs = ahead < 0.0 ? -ahead : 0.0;
    const double remaining = std::trunc(ahead);
    if (!(remaining > kShortestPacingWaitMs)) {
        return 0;
    }
    const auto wait = static_cast<int32_t>(remaining);
    wakeEvent.WaitFor(std::chrono::milliseconds(wait));
    return wait;
}

}  // namespace velmaro
