// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// FIFO of FrameItem records that also allows removal from the newest end. Backed by one vector
// that only grows (queues stay within a few dozen entries), so pushing allocates nothing in the
// steady state.
#pragma once

#include <atomic>
#include <cstddef>
#include <vector>

#include "stream/frame_item.h"

namespace velmaro {

class ItemRing {
  public:
    explicit ItemRing(size_t initialCapacity = 64) : slots_(initialCapacity) {}

    size_t size() const { return count_; }
    bool empty() const { return count_ == 0; }
    // Without the owner's lock: whether the ring was empty when last changed. A consumer that
    // polls an empty queue then leaves the lock to the producer.
    bool SeenEmpty() const { return seenCount_.load(std::memory_order_acquire) == 0; }
    void clear() {
        head_ = count_ = 0;
        Publish();
    }

    FrameItem& front() { return slots_[head_]; }
    FrameItem& back() { return At(count_ - 1); }
    FrameItem& At(size_t i) { return slots_[(head_ + i) % slots_.size()]; }
    const FrameItem& front() const { return slots_[head_]; }
    const FrameItem& back() const { return slots_[(head_ + count_ - 1) % slots_.size()]; }

    void push_back(const FrameItem& item) {
        if (count_ == slots_.size()) {
            Grow();
        }
        At(count_++) = item;
        Publish();
    }
    void pop_front() {
        head_ = (head_ + 1) % slots_.size();
        --count_;
        Publish();
    }
    void pop_back() {
        --count_;
        Publish();
    }

  private:
    void Publish() { seenCount_.store(count_, std::memory_order_release); }
    void Grow() {
        std::vector<FrameItem> bigger(slots_.size() * 2);
        for (size_t i = 0; i < count_; ++i) {
            bigger[i] = At(i);
        }
        slots_.swap(bigger);
        head_ = 0;
    }

    std::vector<FrameItem> slots_;
    size_t head_ = 0;
    size_t count_ = 0;
    // Written with count_ under the owner's lock; read by SeenEmpty without it.
    std::atomic<size_t> seenCount_{0};
};

}  // namespace velmaro
