// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// MessageSink for the GUI: each message becomes a queued call on the receiver's thread. Send
// waits for the handler, but gives up as soon as the sender is being stopped, so stopping a
// worker from the GUI thread can never deadlock against the worker's own Send; a message given
// up on is not handled later.
#pragma once

#include <QObject>
#include <functional>

#include "platform/message_sink.h"

namespace velmaro {

class QtMessageSink : public MessageSink {
  public:
    using Handler = std::function<void(uint32_t msg, intptr_t wParam, intptr_t lParam)>;

    // `receiver` gives the thread and lifetime: nothing is delivered after it is destroyed.
    QtMessageSink(QObject* receiver, Handler handler);

    void Post(uint32_t msg, intptr_t wParam, intptr_t lParam) override;
    bool Send(uint32_t msg, intptr_t wParam, intptr_t lParam, std::stop_token stop) override;

  private:
    QObject* receiver_;
    Handler handler_;
};

}  // namespace velmaro
