// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <future>
#include <thread>

#include "stream/frame_queue.h"

namespace velmaro {
namespace {

using namespace std::chrono_literals;

// The producer side as the reader does it: write at the record's position, then push.
template <typename Queue>
bool Produce(Queue& q, FrameItem& w, int size, int kind, uint8_t fill = 0xAB) {
    std::memset(w.data, fill, size);
    w.size = size;
    w.kind = kind;
    return q.Push(w);
}

class VideoQueue : public ::testing::Test {
  protected:
    void SetUp() override {
        q.SetKeyCount(0);
        // Not blocking: these cases look at what is queued or dropped, with no consumer running.
        ASSERT_TRUE(q.Init(kVideoQueueStorage, kVideoQueueMaxItem, kQueueStopped));
        q.Trim(&w);
    }
    VideoFrameQueue q;
    FrameItem w;
};

TEST_F(VideoQueue, FirstPushYieldsPlaceholderAndItemAndTakeHandsOutTheItem) {
    Produce(q, w, 1000, kKindVideoKey);
    EXPECT_EQ(q.EntryCount(), 2u);
    FrameItem out;
    ASSERT_TRUE(q.Take(out));
    EXPECT_EQ(out.size, 1000);
    EXPECT_EQ(out.kind, kKindVideoKey);
    EXPECT_EQ(out.data, q.StorageBegin());
    EXPECT_EQ(q.EntryCount(), 1u);
    EXPECT_FALSE(q.Take(out)) << "nothing follows the head";
    EXPECT_EQ(q.EntryCount(), 0u);
}

TEST_F(VideoQueue, TakenItemStaysIntactWhileProducerKeepsPushing) {
    Produce(q, w, 300 * 1024, kKindVideoKey, 0x11);
    FrameItem out;
    ASSERT_TRUE(q.Take(out));
    // Go round the ring several times; the consumer's head must never be written over.
    for (int i = 0; i < 200; ++i) {
        Produce(q, w, 200 * 1024, kKindVideoKey, 0x22);
        if (q.EntryCount() > 3) {
            q.Trim(&w);  // drops what follows the head, as a seek would
        }
    }
    for (int i = 0; i < out.size; ++i) {
        ASSERT_EQ(out.data[i], 0x11) << "byte " << i << " of the consumer's item was overwritten";
    }
}

TEST_F(VideoQueue, InterFramesAreDroppedUntilNextKeyAfterALoss) {
    Produce(q, w, 100, kKindVideoInter);  // keyCount 0: nothing to refer to
    EXPECT_EQ(q.EntryCount(), 0u);
    Produce(q, w, 100, kKindVideoKey);
    Produce(q, w, 100, kKindVideoInter);
    EXPECT_EQ(q.EntryCount(), 3u);
    EXPECT_EQ(q.KeyCount(), 1);

    // A key frame that finds no room (entry limit) is lost: the next inter frames must go too.
    q.maxItems = 3;
    Produce(q, w, 100, kKindVideoKey);
    EXPECT_EQ(q.KeyCount(), 0);
    q.maxItems = kVideoQueueMaxItems;
    Produce(q, w, 100, kKindVideoInter);
    Produce(q, w, 100, kKindVideoInter);
    EXPECT_EQ(q.EntryCount(), 3u);
    Produce(q, w, 100, kKindVideoKey);
    Produce(q, w, 100, kKindVideoInter);
    EXPECT_EQ(q.EntryCount(), 5u);
}

TEST_F(VideoQueue, KeyCountNeverFallsBelowOneThroughTakeAndMinusOneClosesTheQueue) {
    Produce(q, w, 100, kKindVideoKey);
    Produce(q, w, 100, kKindVideoKey);
    EXPECT_EQ(q.KeyCount(), 2);
    FrameItem out;
    q.Take(out);
    EXPECT_EQ(q.KeyCount(), 1);
    q.Take(out);
    EXPECT_EQ(q.KeyCount(), 1);

    q.SetKeyCount(-1);
    Produce(q, w, 100, kKindVideoKey);
    Produce(q, w, 100, kKindVideoInter);
    EXPECT_EQ(q.KeyCount(), -1);
    q.Clear();
    EXPECT_EQ(q.KeyCount(), -1) << "clear keeps a closed queue closed";
    q.SetKeyCount(3);
    q.Clear();
    EXPECT_EQ(q.KeyCount(), 0);
}

TEST_F(VideoQueue, DiscontinuityKeepsOnlyTheHeadAndTrimStopsAtIt) {
    Produce(q, w, 100, kKindVideoKey);
    Produce(q, w, 100, kKindVideoInter);
    Produce(q, w, 100, kKindVideoInter);
    ASSERT_EQ(q.EntryCount(), 4u);
    Produce(q, w, 50, kKindDiscontinuity);
    EXPECT_EQ(q.EntryCount(), 2u);
    EXPECT_EQ(q.KeyCount(), 0);
    Produce(q, w, 100, kKindVideoKey);
    Produce(q, w, 100, kKindVideoInter);
    ASSERT_EQ(q.EntryCount(), 4u);
    FrameItem fresh;
    q.Trim(&fresh);
    EXPECT_EQ(q.EntryCount(), 2u) << "trim walks back only to the discontinuity";
    EXPECT_EQ(q.UsedBytes(), 150);
    EXPECT_EQ(fresh.size, 0);
    EXPECT_EQ(fresh.kind, kKindNone);
}

TEST_F(VideoQueue, WrapsToStartOnlyWhenTheHeadLeavesRoomElseDropsAndKeepsPosition) {
    const int big = 400 * 1024;
    // Fill to near the end of the 2 MiB ring, consuming as we go so the head follows.
    FrameItem out;
    Produce(q, w, big, kKindVideoKey);
    q.Take(out);  // head at 0
    Produce(q, w, big, kKindVideoInter);
    Produce(q, w, big, kKindVideoInter);
    Produce(q, w, big, kKindVideoInter);
    // Written: 4 x 400 KiB = 1600 KiB; 1600 + 400 + 512 > 2048: the next position is the start,
    // but the head (at 0) leaves no room: this frame is dropped and the position stays.
    uint8_t* before = w.data;
    Produce(q, w, big, kKindVideoInter);
    EXPECT_EQ(w.data, before);
    EXPECT_EQ(q.KeyCount(), 0);

    // Once the consumer has moved on far enough, the wrap succeeds.
    q.SetKeyCount(1);
    q.Take(out);
    q.Take(out);  // head now at 800 KiB
    Produce(q, w, big, kKindVideoInter);
    EXPECT_EQ(w.data, q.StorageBegin());
}

TEST(VideoQueueInit, SmallerSecondInitKeepsLargerStorage) {
    VideoFrameQueue q;
    ASSERT_TRUE(q.Init(kVideoQueueStorage, kVideoQueueMaxItem, kQueueBlocking));
    const uint8_t* storage = q.StorageBegin();
    ASSERT_TRUE(q.Init(1024 * 1024, 64 * 1024, kQueueBlocking));
    EXPECT_EQ(q.StorageBegin(), storage);
    EXPECT_EQ(q.StorageSize(), kVideoQueueStorage);
    EXPECT_FALSE(q.Init(0, 10, kQueueBlocking));
    EXPECT_FALSE(q.Init(100, 200, kQueueBlocking));
}

TEST(VideoQueueBlocking, ProducerBlocksAtThirtyEntriesUntilTakeAndStopReleasesIt) {
    VideoFrameQueue q;
    q.SetKeyCount(0);
    ASSERT_TRUE(q.Init(kVideoQueueStorage, kVideoQueueMaxItem, kQueueBlocking));
    FrameItem w;
    q.Trim(&w);
    Produce(q, w, 10, kKindVideoKey);  // 2 entries
    for (int i = 0; i < 27; ++i) {
        Produce(q, w, 10, kKindVideoInter);
    }
    ASSERT_EQ(q.EntryCount(), 29u);
    auto blocked =
        std::async(std::launch::async, [&] { return Produce(q, w, 10, kKindVideoInter); });
    EXPECT_EQ(blocked.wait_for(50ms), std::future_status::timeout) << "30 entries: producer waits";
    FrameItem out;
    q.Take(out);
    EXPECT_TRUE(blocked.get()) << "a take makes room and releases the producer";

    auto second =
        std::async(std::launch::async, [&] { return Produce(q, w, 10, kKindVideoInter); });
    EXPECT_EQ(second.wait_for(50ms), std::future_status::timeout);
    q.Stop();
    EXPECT_FALSE(second.get()) << "stop releases a waiting producer and reports it";
    // After Stop nothing waits, even while full.
    EXPECT_FALSE(Produce(q, w, 10, kKindVideoInter));
}

// A seek clears the queue from the user-interface thread while the reader may wait in a full
// queue: the clear lets it go on at once, and every take tells which clear it came after.
TEST(VideoQueueBlocking, ClearReleasesAWaitingProducerAndTakesTellTheClearCount) {
    VideoFrameQueue q;
    q.SetKeyCount(0);
    ASSERT_TRUE(q.Init(kVideoQueueStorage, kVideoQueueMaxItem, kQueueBlocking));
    FrameItem w;
    q.Trim(&w);
    Produce(q, w, 10, kKindVideoKey);
    for (int i = 0; i < 27; ++i) {
        Produce(q, w, 10, kKindVideoInter);
    }
    FrameItem out;
    uint64_t clears = 99;
    ASSERT_TRUE(q.Take(out, clears));
    EXPECT_EQ(clears, 0u);
    Produce(q, w, 10, kKindVideoInter);
    // The producer queues its frame, then waits for room.
    auto blocked =
        std::async(std::launch::async, [&] { return Produce(q, w, 10, kKindVideoInter); });
    EXPECT_EQ(blocked.wait_for(50ms), std::future_status::timeout);
    q.Clear();
    EXPECT_EQ(q.ClearCount(), 1u);
    ASSERT_EQ(blocked.wait_for(10s), std::future_status::ready) << "no take was needed";
    EXPECT_TRUE(blocked.get());
    EXPECT_FALSE(q.Take(out, clears)) << "what was queued before the clear is gone";
    Produce(q, w, 10, kKindVideoKey);
    ASSERT_TRUE(q.Take(out, clears));
    EXPECT_EQ(out.kind, kKindVideoKey);
    EXPECT_EQ(clears, 1u);
    q.Stop();
}

TEST(VideoQueueBlocking, ProducerBlocksOnBytesBehindTheHead) {
    VideoFrameQueue q;
    q.SetKeyCount(0);
    ASSERT_TRUE(q.Init(kVideoQueueStorage, kVideoQueueMaxItem, kQueueBlocking));
    FrameItem w;
    q.Trim(&w);
    Produce(q, w, 100, kKindVideoKey);
    FrameItem out;
    q.Take(out);
    // 2 MiB - 3 x 512 KiB = 512 KiB behind the head is full.
    auto blocked =
        std::async(std::launch::async, [&] { return Produce(q, w, 512 * 1024, kKindVideoKey); });
    EXPECT_EQ(blocked.wait_for(50ms), std::future_status::timeout);
    q.Take(out);
    EXPECT_TRUE(blocked.get());
}

TEST(AudioQueue, DropsPastItsEntryBoundWhenNotWaiting) {
    AudioFrameQueue q;
    ASSERT_TRUE(q.Init(kAudioQueueStorage, kAudioQueueMaxItem, kQueueStopped));  // no waits
    FrameItem w;
    q.Trim(&w);
    for (int i = 0; i < kAudioQueueMaxItems; ++i) {
        Produce(q, w, 10, kKindAudio);
    }
    ASSERT_EQ(q.EntryCount(), static_cast<size_t>(kAudioQueueMaxItems) + 1);
    Produce(q, w, 10, kKindAudio);
    EXPECT_EQ(q.EntryCount(), static_cast<size_t>(kAudioQueueMaxItems) + 1) << "dropped";
    EXPECT_EQ(w.size, 0);
    FrameItem out;
    int taken = 0;
    while (q.Take(out)) {
        ++taken;
    }
    EXPECT_EQ(taken, kAudioQueueMaxItems);
}

// Sound is held to a span of time however small its frames are; while the pictures have
// nothing queued the producer is not held by that span, only by the storage.
TEST(AudioQueue, FullBySpanOfTimeUnlessThePicturesHaveNothingQueued) {
    constexpr double kFrameSeconds = 1024.0 / 48000;
    VideoFrameQueue pictures;
    pictures.SetKeyCount(0);
    ASSERT_TRUE(pictures.Init(kVideoQueueStorage, kVideoQueueMaxItem, kQueueStopped));
    FrameItem picture;
    pictures.Trim(&picture);
    AudioFrameQueue q;
    ASSERT_TRUE(q.Init(kAudioQueueStorage, kAudioQueueMaxItem, kQueueBlocking));
    FrameItem w;
    q.Trim(&w);
    int frames = 0;
    const auto push = [&] {
        w.pts = frames++ * kFrameSeconds;
        return Produce(q, w, 200, kKindAudio);
    };
    while (frames * kFrameSeconds < kAudioQueueSeconds) {
        push();
    }
    auto blocked = std::async(std::launch::async, push);
    EXPECT_EQ(blocked.wait_for(50ms), std::future_status::timeout);
    FrameItem out;
    q.Take(out);  // the first take hands out the frame at 0 s: the span is the same
    q.Take(out);
    ASSERT_EQ(blocked.wait_for(10s), std::future_status::ready);
    EXPECT_TRUE(blocked.get());

    q.WaitOnlyWithPicturesIn(&pictures);
    for (int i = 0; i < 10; ++i) {
        auto free = std::async(std::launch::async, push);
        ASSERT_EQ(free.wait_for(10s), std::future_status::ready) << "no picture queued";
    }
    EXPECT_FALSE(q.Full()) << "the storage has room";
    Produce(pictures, picture, 100, kKindVideoKey);
    auto held = std::async(std::launch::async, push);
    EXPECT_EQ(held.wait_for(50ms), std::future_status::timeout) << "a picture is queued";
    q.Stop();
    EXPECT_FALSE(held.get()) << "a stopped queue holds no one";
}

TEST(QueueStress, ProducerAndConsumerAgreeOnEveryByteUnderLoad) {
    VideoFrameQueue q;
    q.SetKeyCount(0);
    ASSERT_TRUE(q.Init(kVideoQueueStorage, kVideoQueueMaxItem, kQueueBlocking));
    constexpr int kFrames = 20000;
    std::atomic<bool> done{false};
    std::thread producer([&] {
        FrameItem w;
        q.Trim(&w);
        for (int i = 0; i < kFrames; ++i) {
            const int size = 16 + (i * 7919) % (64 * 1024);
            std::memset(w.data, static_cast<uint8_t>(i), size);
            w.size = size;
            w.kind = i % 15 == 0 ? kKindVideoKey : kKindVideoInter;
            w.pts = i;
            if (!q.Push(w)) {
                break;
            }
        }
        done = true;
    });
    int received = 0;
    int lastPts = -1;
    FrameItem out;
    while (!done || q.EntryCount() > 1) {
        if (!q.Take(out)) {
            std::this_thread::yield();
            continue;
        }
        const int i = static_cast<int>(out.pts);
        ASSERT_GT(i, lastPts);
        lastPts = i;
        ASSERT_EQ(out.size, 16 + (i * 7919) % (64 * 1024));
        for (int b = 0; b < out.size; b += 997) {
            ASSERT_EQ(out.data[b], static_cast<uint8_t>(i));
        }
        ++received;
    }
    producer.join();
    EXPECT_EQ(received, kFrames) << "a blocking queue with a live consumer loses nothing";
}

}  // namespace
}  // namespace velmaro
