// Snapshot requests as the channel keeps them between the user-interface thread and the video
// worker: each request ends in exactly one result, and those that cannot be served answer at
// once instead of waiting for ever.
#include "stream/channel_state.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace velmaro {
namespace {

void ShowAPicture(ChannelState& channel) {
    ShownPicture shown;
    shown.valid = true;
    channel.PublishShown(shown);
}

TEST(ChannelSnapshots, BeforeAnyPictureTheRequestIsRefusedAtOnce) {
    ChannelState channel;
    channel.RequestSnapshot("/tmp/never.jpg");
    EXPECT_EQ(channel.snapshotRequested.load(), 0) << "nothing left waiting";
    EXPECT_FALSE(channel.PendingSnapshot());
    const std::vector<SnapshotResult> results = channel.TakeSnapshotResults();
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].end, SnapshotEnd::kNoPicture);
    EXPECT_TRUE(results[0].path.empty());
    EXPECT_EQ(DescribeSnapshot(results[0]), "snapshot not saved: no picture yet");
    EXPECT_TRUE(channel.TakeSnapshotResults().empty()) << "each result is taken once";
}

TEST(ChannelSnapshots, RequestsWaitInOrderAndEachGetsItsResult) {
    ChannelState channel;
    ShowAPicture(channel);
    for (const char* path : {"/a/1.jpg", "/a/1.jpg", "/a/2.jpg"}) {
        channel.RequestSnapshot(path);
    }
    EXPECT_EQ(channel.snapshotRequested.load(), 3) << "the same name twice is two snapshots";
    for (const char* path : {"/a/1.jpg", "/a/1 (2).jpg", "/a/2.jpg"}) {
        ASSERT_TRUE(channel.PendingSnapshot());
        channel.FinishSnapshot({SnapshotEnd::kWritten, path, {}});
    }
    EXPECT_EQ(channel.snapshotRequested.load(), 0);
    const std::vector<SnapshotResult> results = channel.TakeSnapshotResults();
    ASSERT_EQ(results.size(), 3u);
    EXPECT_EQ(results[1].path, "/a/1 (2).jpg");
    EXPECT_EQ(DescribeSnapshot(results[2]), "snapshot: /a/2.jpg");

    // A user who keeps asking while the worker is stuck is told so for each extra request.
    constexpr int kAsked = 20;
    for (int i = 0; i < kAsked; ++i) {
        channel.RequestSnapshot("/a/many.jpg");
    }
    const int32_t waiting = channel.snapshotRequested.load();
    EXPECT_GT(waiting, 0);
    EXPECT_LT(waiting, kAsked);
    const std::vector<SnapshotResult> busy = channel.TakeSnapshotResults();
    ASSERT_EQ(busy.size(), static_cast<size_t>(kAsked - waiting));
    for (const SnapshotResult& result : busy) {
        EXPECT_EQ(result.end, SnapshotEnd::kBusy);
        EXPECT_FALSE(result.reason.empty());
    }
}

}  // namespace
}  // namespace velmaro
