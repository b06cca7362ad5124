// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Auto-reset event: one Set releases exactly one wait (or the next one, if nobody waits yet).
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace velmaro {

class AutoResetEvent {
  public:
    explicit AutoResetEvent(bool initiallySet = false) : signalled_(initiallySet) {}
    AutoResetEvent(const AutoResetEvent&) = delete;
    AutoResetEvent& operator=(const AutoResetEvent&) = delete;

    void Set() {
        {
            std::lock_guard lock(mutex_);
            signalled_ = true;
        }
        cv_.notify_one();
    }

    void Reset() {
        std::lock_guard lock(mutex_);
        signalled_ = false;
    }

    void Wait() {
        std::unique_lock lock(mutex_);
        cv_.wait(lock, [this] { return signalled_; });
        signalled_ = false;
    }

    // Returns true when the event was set (and is consumed), false on time-out.
    bool WaitFor(std::chrono::milliseconds timeout) {
        std::unique_lock lock(mutex_);
        if (!cv_.wait_for(lock, timeout, [this] { return signalled_; })) {
            return false;
        }
        signalled_ = false;
        return true;
    }

  private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool signalled_;  // guarded by mutex_
};

}  // namespace velmaro
