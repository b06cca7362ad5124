// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// A MessageSink that records what it receives: the test double for the UI side. Sends can be
// answered at once (default) or held until the test answers them, to model a busy GUI thread.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

#include "platform/message_sink.h"

namespace velmaro {

struct RecordedMessage {
    uint32_t msg;
    intptr_t wParam;
    intptr_t lParam;
    bool sent;  // true for Send, false for Post
};

class RecordingSink : public MessageSink {
  public:
    void Post(uint32_t msg, intptr_t wParam, intptr_t lParam) override;
    bool Send(uint32_t msg, intptr_t wParam, intptr_t lParam, std::stop_token senderStop) override;

    // While held, Send waits until AnswerAll() or the sender's stop.
    void HoldSends(bool hold);
    void AnswerAll();

    std::vector<RecordedMessage> Messages() const;
    size_t Count(uint32_t msg) const;
    void Clear();

  private:
    mutable std::mutex mutex_;
    std::condition_variable_any cv_;
    std::vector<RecordedMessage> messages_;  // guarded by mutex_
    bool hold_ = false;                      // guarded by mutex_
    uint64_t answered_ = 0;                  // guarded by mutex_; bumps release held sends
};

}  // namespace velmaro
