// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The GUI's message sink between worker threads and the GUI thread: a Send waits for its
// handler, and gives up, with nothing delivered later, as soon as its sender is being stopped,
// even while the GUI thread is busy or the receiver is gone.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QObject>
#include <QThread>
#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <stop_token>
#include <thread>

#include "platform/message_sink.h"
#include "tests/test_support.h"
#include "ui/main/qt_message_sink.h"

namespace velmaro {
namespace {

using namespace std::chrono_literals;

struct Handled {
    std::atomic<int> count{0};
    std::atomic<intptr_t> wParam{0};
    std::atomic<bool> onReceiverThread{false};
};

QtMessageSink::Handler Recorder(Handled& handled, QObject& receiver) {
    return [&handled, &receiver](uint32_t, intptr_t wParam, intptr_t) {
        handled.wParam = wParam;
        handled.onReceiverThread = QThread::currentThread() == receiver.thread();
        ++handled.count;
    };
}

// Lets the GUI thread handle what was queued, until `done` holds.
bool ServeUntil(const std::function<bool()>& done) {
    return test::WaitUntil([&] {
        QCoreApplication::processEvents();
        return done();
    });
}

TEST(QtMessageSink, SendIsHandledOnTheReceiversThreadBeforeItReturns) {
    QObject receiver;
    Handled handled;
    QtMessageSink sink(&receiver, Recorder(handled, receiver));
    std::stop_source stop;
    auto sent = std::async(std::launch::async, [&] {
        const bool answered = sink.Send(kMsgReset, 42, 0, stop.get_token());
        return answered && handled.count.load() == 1;  // handled before Send returned
    });
    ASSERT_TRUE(ServeUntil([&] { return sent.wait_for(0ms) == std::future_status::ready; }));
    EXPECT_TRUE(sent.get());
    EXPECT_TRUE(handled.onReceiverThread.load());
    EXPECT_EQ(handled.wParam.load(), 42);

    // On the receiver's own thread there is nobody else to wait for: handled at once.
    EXPECT_TRUE(sink.Send(kMsgReset, 7, 0, stop.get_token()));
    EXPECT_EQ(handled.count.load(), 2);
}

// The GUI thread stops a worker that is blocked in Send to it: the Send ends with the stop,
// and the message it gave up on is not handled afterwards.
TEST(QtMessageSink, SendGivesUpWhenItsSenderIsStoppedAndIsNotDeliveredLater) {
    QObject receiver;
    Handled handled;
    QtMessageSink sink(&receiver, Recorder(handled, receiver));
    std::promise<void> sending;
    std::jthread worker([&](std::stop_token stop) {
        sending.set_value();
        EXPECT_FALSE(sink.Send(kMsgReset, 1, 0, stop));
    });
    sending.get_future().wait();
    std::this_thread::sleep_for(20ms);  // most likely in the wait by now; either way it ends
    worker.request_stop();
    worker.join();  // the GUI thread handled nothing meanwhile
    QCoreApplication::processEvents();
    EXPECT_EQ(handled.count.load(), 0) << "the sender gave up on it";

    std::stop_source stopped;
    stopped.request_stop();
    auto late = std::async(std::launch::async,
                           [&] { return sink.Send(kMsgReset, 2, 0, stopped.get_token()); });
    EXPECT_FALSE(late.get()) << "a sender already stopping does not wait at all";
    QCoreApplication::processEvents();
    EXPECT_EQ(handled.count.load(), 0) << "nor is its message delivered";
}

TEST(QtMessageSink, SendToAReceiverDestroyedMeanwhileEndsWithTheSendersStop) {
    auto receiver = std::make_unique<QObject>();
    Handled handled;
    QtMessageSink sink(receiver.get(), Recorder(handled, *receiver));
    std::promise<void> sending;
    std::jthread worker([&](std::stop_token stop) {
        sending.set_value();
        EXPECT_FALSE(sink.Send(kMsgReset, 1, 0, stop));
    });
    sending.get_future().wait();
    std::this_thread::sleep_for(20ms);
    receiver.reset();  // drops the queued call: no answer will ever come
    QCoreApplication::processEvents();
    worker.request_stop();
    worker.join();
    EXPECT_EQ(handled.count.load(), 0);
}

}  // namespace
}  // namespace velmaro
