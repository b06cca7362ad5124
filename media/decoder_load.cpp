// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/decoder_load.h"

#include <algorithm>
#include <thread>

namespace velmaro {

DecoderLoad::DecoderLoad(int cores) : cores_(std::max(1, cores)) {}

void DecoderLoad::Reset() {
    windowStart_ = -1;
    busyMs_ = 0.0;
    measured_ = false;
}

void DecoderLoad::Add(double busyMs, int64_t nowMs, int threads) {
    if (windowStart_ < 0 || threads != threadsMeasured_) {
        // The first call only opens the window: what came before it is unknown.
        windowStart_ = nowMs;
        busyMs_ = 0.0;
        threadsMeasured_ = threads;
        return;
    }
    busyMs_ += busyMs;
    const int64_t elapsed = nowMs - windowStart_;
    if (elapsed < kLoadWindowMs) {
        return;
    }
    share_ = busyMs_ / static_cast<double>(elapsed);
    measured_ = true;
    // A saturated second (a backlog caught up, or a stream the threads barely keep up with)
    // is spent in the decoder whatever the threads hide, so it tells nothing about that.
    if (threads > 1 && hiddenScale_ == 0.0 && oneThreadShare_ > 0.0 &&
        share_ < kDecoderOverloaded) {
        hiddenScale_ = share_ / oneThreadShare_;
    }
    windowStart_ = nowMs;
    busyMs_ = 0.0;
}

void DecoderLoad::ThreadsChanged(int from, int to) {
    if (from == 1 && to > 1) {
        ++raises_;
        if (measured_) {
            oneThreadShare_ = share_;
            hiddenScale_ = 0.0;
        }
    }
    Reset();
}

int DecoderLoad::WantedThreads(int forced, int current) const {
    if (forced > 0) {
        return forced;
    }
    if (!measured_ || threadsMeasured_ != current) {
        return current;
    }
    // Frame threads overlap the pictures, so a call returns after a part of one picture's
    // work: how large a part their first unsaturated second against one thread's told (until
    // then they stay); when frame threads were forced from the start, about one thread's
    // share of it.
    if (current > 1 && hiddenScale_ == 0.0 && oneThreadShare_ > 0.0) {
        return current;
    }
    // A saturated one-thread second only tells that one thread needed at least all of it, so
    // nothing says when one would be at ease again; and frame threads that had to come back
    // after one are kept.
    if (current > 1 && (oneThreadShare_ >= kDecoderOverloaded || raises_ > 1)) {
        return current;
    }
    const double oneThread = current == 1       ? share_
                             : hiddenScale_ > 0 ? share_ / hiddenScale_
                                                : share_ * current;
    if (current == 1 && oneThread >= kOneThreadFull) {
        return FrameThreads();
    }
    if (current > 1 && oneThread < kOneThreadAtEase) {
        return 1;
    }
    return current;
}

int MachineCores() {
    return std::max(1u, std::thread::hardware_concurrency());
}

}  // namespace velmaro
