// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Snapshot requests as the channel keeps them between the user-interface thread and the video
// worker (which the video decoder's tests run for real): requests that cannot be served answer
// at once instead of waiting for ever, each with one result.
#include "stream/channel_state.h"

#include <gtest/gtest.h>

#include <vector>

namespace velmaro {
namespace {

TEST(ChannelSnapshots, RequestsThatCannotBeServedAnswerAtOnce) {
    ChannelState channel;
    channel.RequestSnapshot({"/tmp/never.jpg", {}});
    EXPECT_EQ(channel.snapshotRequested.load(), 0) << "nothing left waiting";
    std::vector<SnapshotResult> results = channel.TakeSnapshotResults();
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(DescribeSnapshot(results[0]), "snapshot not saved: no picture yet");
    EXPECT_TRUE(channel.TakeSnapshotResults().empty()) << "each result is taken once";

    // A user who keeps asking while the worker is stuck is told so for each extra request.
    ShownPicture shown;
    shown.valid = true;
    channel.PublishShown(shown);
    constexpr int kAsked = 20;
    for (int i = 0; i < kAsked; ++i) {
        channel.RequestSnapshot({"/a/many.jpg", {}});
    }
    const int32_t waiting = channel.snapshotRequested.load();
    EXPECT_GT(waiting, 0);
    EXPECT_LT(waiting, kAsked);
    results = channel.TakeSnapshotResults();
    ASSERT_EQ(results.size(), static_cast<size_t>(kAsked - waiting));
    for (const SnapshotResult& result : results) {
        EXPECT_EQ(result.end, SnapshotEnd::kBusy);
        EXPECT_TRUE(result.path.empty());
    }
    // Once one is served, one more may wait.
    ASSERT_TRUE(channel.PendingSnapshot());
    channel.FinishSnapshot({SnapshotEnd::kWritten, "/a/many.jpg", {}});
    EXPECT_EQ(channel.snapshotRequested.load(), waiting - 1);
    channel.RequestSnapshot({"/a/many.jpg", {}});
    EXPECT_EQ(channel.snapshotRequested.load(), waiting);
    results = channel.TakeSnapshotResults();
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(DescribeSnapshot(results[0]), "snapshot: /a/many.jpg");
}

}  // namespace
}  // namespace velmaro
