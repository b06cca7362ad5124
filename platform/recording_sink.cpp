// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/recording_sink.h"

namespace velmaro {

void RecordingSink::Post(uint32_t msg, intptr_t wParam, intptr_t lParam) {
    std::lock_guard lock(mutex_);
    messages_.push_back({msg, wParam, lParam, false});
}

bool RecordingSink::Send(uint32_t msg, intptr_t wParam, intptr_t lParam,
                         std::stop_token senderStop) {
    std::unique_lock lock(mutex_);
    if (senderStop.stop_requested()) {
        return false;
    }
    messages_.push_back({msg, wParam, lParam, true});
    if (!hold_) {
        return true;
    }
    const uint64_t ticket = answered_;
    return cv_.wait(lock, senderStop, [&] { return answered_ != ticket || !hold_; });
}

void RecordingSink::HoldSends(bool hold) {
    {
        std::lock_guard lock(mutex_);
        hold_ = hold;
    }
    cv_.notify_all();
}

void RecordingSink::AnswerAll() {
    {
        std::lock_guard lock(mutex_);
        ++answered_;
    }
    cv_.notify_all();
}

std::vector<RecordedMessage> RecordingSink::Messages() const {
    std::lock_guard lock(mutex_);
    return messages_;
}

size_t RecordingSink::Count(uint32_t msg) const {
    std::lock_guard lock(mutex_);
    size_t n = 0;
    for (const auto& m : messages_) {
        n += m.msg == msg ? 1 : 0;
    }
    return n;
}

void RecordingSink::Clear() {
    std::lock_guard lock(mutex_);
    messages_.clear();
}

}  // namespace velmaro
