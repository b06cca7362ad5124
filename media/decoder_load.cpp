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
    windowStart_ = nowMs;
    busyMs_ = 0.0;
}

int DecoderLoad::WantedThreads(int forced, int current) const {
    if (forced > 0) {
        return forced;
    }
    if (!measured_ || threadsMeasured_ != current) {
        return current;
    }
    // Frame threads overlap the pictures: a call returns after about its share of one
    // picture's work, so one thread would take the share times the threads.
    const double oneThread = share_ * current;
    if (current == 1 && oneThread >= kOneThreadFull) {
        return cores_;
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
