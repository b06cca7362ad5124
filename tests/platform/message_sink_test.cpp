// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <stop_token>
#include <thread>

#include "platform/auto_reset_event.h"
#include "platform/recording_sink.h"

namespace velmaro {
namespace {

using namespace std::chrono_literals;

TEST(AutoResetEvent, OneSetReleasesOneWaitEvenWhenSetFirst) {
    AutoResetEvent event;
    event.Set();
    EXPECT_TRUE(event.WaitFor(0ms));
    EXPECT_FALSE(event.WaitFor(0ms)) << "the set was consumed by the first wait";
    event.Set();
    event.Reset();
    EXPECT_FALSE(event.WaitFor(0ms));
}

TEST(RecordingSink, HeldSendReturnsFalseWhenSenderIsStopped) {
    RecordingSink sink;
    sink.HoldSends(true);
    std::stop_source stop;
    auto result = std::async(std::launch::async,
                             [&] { return sink.Send(kMsgReset, 0, 0, stop.get_token()); });
    // The receiver never answers; the sender's stop alone must end the send.
    while (sink.Count(kMsgReset) == 0) {
        std::this_thread::yield();
    }
    stop.request_stop();
    EXPECT_FALSE(result.get());
}

TEST(RecordingSink, HeldSendReturnsTrueWhenAnswered) {
    RecordingSink sink;
    sink.HoldSends(true);
    std::stop_source stop;
    auto result = std::async(std::launch::async,
                             [&] { return sink.Send(kMsgReset, 7, 0, stop.get_token()); });
    while (sink.Count(kMsgReset) == 0) {
        std::this_thread::yield();
    }
    sink.AnswerAll();
    EXPECT_TRUE(result.get());
    ASSERT_EQ(sink.Messages().size(), 1u);
    EXPECT_TRUE(sink.Messages()[0].sent);
    EXPECT_EQ(sink.Messages()[0].wParam, 7);
}

TEST(RecordingSink, SendFromStoppedSenderIsNotDelivered) {
    RecordingSink sink;
    std::stop_source stop;
    stop.request_stop();
    EXPECT_FALSE(sink.Send(kMsgReset, 0, 0, stop.get_token()));
    EXPECT_EQ(sink.Count(kMsgReset), 0u);
}

}  // namespace
}  // namespace velmaro
