// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/main/qt_message_sink.h"

#include <QMetaObject>
#include <QThread>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace velmaro {

QtMessageSink::QtMessageSink(QObject* receiver, Handler handler)
    : receiver_(receiver), handler_(std::move(handler)) {}

void QtMessageSink::Post(uint32_t msg, intptr_t wParam, intptr_t lParam) {
    QMetaObject::invokeMethod(
        receiver_, [handler = handler_, msg, wParam, lParam] { handler(msg, wParam, lParam); },
        Qt::QueuedConnection);
}

bool QtMessageSink::Send(uint32_t msg, intptr_t wParam, intptr_t lParam, std::stop_token stop) {
    // A sender that is being stopped neither waits nor leaves a message behind.
    if (stop.stop_requested()) {
        return false;
    }
    if (QThread::currentThread() == receiver_->thread()) {
        handler_(msg, wParam, lParam);
        return true;
    }
    struct Reply {
        std::mutex mutex;
        std::condition_variable_any cv;
        bool handled = false;    // guarded by mutex
        bool abandoned = false;  // guarded by mutex: the sender stopped waiting
    };
    auto reply = std::make_shared<Reply>();
    QMetaObject::invokeMethod(
        receiver_,
        [handler = handler_, reply, msg, wParam, lParam] {
            {
                // What a stopped sender gave up on belongs to a past the receiver has left.
                std::lock_guard lock(reply->mutex);
                if (reply->abandoned) {
                    return;
                }
            }
            handler(msg, wParam, lParam);
            std::lock_guard lock(reply->mutex);
            reply->handled = true;
            reply->cv.notify_all();
        },
        Qt::QueuedConnection);
    std::unique_lock lock(reply->mutex);
    const bool handled = reply->cv.wait(lock, stop, [&] { return reply->handled; });
    reply->abandoned = !handled;
    return handled;
}

}  // namespace velmaro
