// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The hand-over of one telemetry text from the reader thread to the user interface: the reader
// stores the latest payload and posts 1131; the GUI thread takes it when it handles the message.
// Only the latest text is kept, as a later payload may replace one that was not yet taken.
#pragma once

#include <algorithm>
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>

namespace velmaro {

class TelemetryHandOver {
  public:
    static constexpr size_t kCapacity = 2048;  // bytes, the terminating zero included
    static constexpr size_t kMaxText = kCapacity - 1;

    // Reader thread. Copies at most kMaxText bytes and always terminates the text.
    // Returns the number of bytes kept (less than `size` when the payload was cut).
    size_t Store(const uint8_t* bytes, size_t size) {
        const size_t kept = size < kMaxText ? size : kMaxText;
        {
            std::lock_guard lock(mutex_);
            std::copy(bytes, bytes + kept, sentence_.begin());
            sentence_[kept] = '\0';
        }
        ready_.store(true, std::memory_order_release);
        return kept;
    }

    // GUI thread: the text when one is waiting (and marks it taken), else nothing.
    bool Take(std::string& out) {
        if (!ready_.exchange(false, std::memory_order_acq_rel)) {
            return false;
        }
        std::lock_guard lock(mutex_);
        out.assign(sentence_.data());
        return true;
    }

    // Reader thread before a reset message; the player when a recording is opened.
    void ClearReady() { ready_.store(false, std::memory_order_release); }
    bool Ready() const { return ready_.load(std::memory_order_acquire); }

  private:
    mutable std::mutex mutex_;
    std::array<char, kCapacity> sentence_{};  // written by the reader, read by the GUI; mutex_
    std::atomic<bool> ready_{false};          // set by the reader, cleared by either side
};

}  // namespace velmaro
