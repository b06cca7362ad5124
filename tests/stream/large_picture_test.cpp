// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Pictures far larger than the queues start with (4K key pictures of a few MiB): the reader
// delivers every one of them, whole and in order, forward and backward; a picture past the
// largest the player takes is counted, not silently lost.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <vector>

#include "reader_harness.h"
#include "stream/frame_queue.h"
#include "stream/pes.h"
#include "tests/stream/ts_builder.h"
#include "tests/test_support.h"

namespace velmaro {
namespace {

using test::Bytes;
using test::Delivered;
using test::ReaderHarness;

constexpr int kPmtPid = 0x100;
constexpr int kVideoPid = 0x1011;
constexpr int64_t kTicksPerPicture = 3000;  // 30 pictures a second
constexpr int kGroup = 4;
constexpr size_t kMiB = 1024 * 1024;
// Key pictures of 1.5 to 3 MiB, growing, then smaller again; inter pictures of 120 KiB.
constexpr size_t kKeySizes[] = {kMiB * 3 / 2, kMiB * 9 / 4, 3 * kMiB, kMiB * 3 / 2};
constexpr size_t kInterSize = 120 * 1024;

struct Picture {
    Bytes au;
    bool key = false;
    double pts = 0.0;
};

std::vector<Picture> Pictures() {
    std::vector<Picture> pictures;
    int index = 0;
    for (const size_t keySize : kKeySizes) {
        for (int i = 0; i < kGroup; ++i, ++index) {
            Picture p;
            p.key = i == 0;
            p.au = test::AccessUnit(p.key, p.key ? keySize : kInterSize);
            p.au.back() = static_cast<uint8_t>(0x20 + index);  // each picture its own bytes
            p.pts = static_cast<double>(index * kTicksPerPicture) / kPesClockHz;
            pictures.push_back(std::move(p));
        }
    }
    return pictures;
}

Bytes Stream(const std::vector<Picture>& pictures) {
    Bytes ts = test::PatPacket(kPmtPid);
    const Bytes pmt = test::PmtPacket(kPmtPid, {{0x1B, kVideoPid}});
    ts.insert(ts.end(), pmt.begin(), pmt.end());
    for (size_t i = 0; i < pictures.size(); ++i) {
        const int64_t t = static_cast<int64_t>(i) * kTicksPerPicture;
        for (const Bytes& packet :
             test::PesPackets(kVideoPid, test::Pes(0xE0, pictures[i].au, t, t))) {
            ts.insert(ts.end(), packet.begin(), packet.end());
        }
    }
    return ts;
}

// What the reader delivers of a picture ends with the access unit's end.
void ExpectPictures(ReaderHarness& h, size_t from, const std::vector<const Picture*>& want) {
    std::lock_guard guard(h.lock);
    ASSERT_EQ(h.video.size() - from, want.size());
    for (size_t i = 0; i < want.size(); ++i) {
        const Delivered& got = h.video[from + i];
        const Bytes& au = want[i]->au;
        ASSERT_EQ(got.kind, want[i]->key ? kKindVideoKey : kKindVideoInter) << "picture " << i;
        ASSERT_NEAR(got.pts, want[i]->pts, 1e-6) << "picture " << i;
        ASSERT_GT(got.size, 0) << "picture " << i;
        ASSERT_LE(static_cast<size_t>(got.size), au.size()) << "picture " << i;
        EXPECT_EQ(h.sums[from + i], test::Checksum(au.data() + au.size() - got.size, got.size))
            << "picture " << i;
    }
}

TEST(LargePictures, EveryPictureWholeForwardAndBackward) {
    test::TempDir dir;
    const std::vector<Picture> pictures = Pictures();
    const auto path = dir.path() / "4k.ts";
    test::WriteBytes(path, Stream(pictures));

    ReaderHarness h;
    ASSERT_TRUE(h.Start(path.string()));
    ASSERT_TRUE(h.WaitUntilIdle());
    std::vector<const Picture*> forward;
    for (const Picture& p : pictures) {
        forward.push_back(&p);
    }
    ExpectPictures(h, 0, forward);

    h.controls.playMode = kPlayBackward;
    ASSERT_EQ(h.reader.SetDirection(true), 1);
    ASSERT_TRUE(h.WaitUntilIdle());
    std::vector<const Picture*> backward;  // groups last first, each in file order
    for (size_t g = pictures.size(); g > 0; g -= kGroup) {
        for (size_t i = g - kGroup; i < g; ++i) {
            backward.push_back(&pictures[i]);
        }
    }
    ExpectPictures(h, h.LastResetMark(), backward);
    EXPECT_EQ(h.videoQueue.OversizeDrops(), 0u);
}

// A picture past the largest the queue takes is refused and counted once; the queue goes on
// taking pictures, and the items queued before it grew stay intact.
TEST(LargePictures, QueueGrowsUnderQueuedItemsAndCountsWhatItCannotTake) {
    VideoFrameQueue q;
    q.SetKeyCount(0);
    ASSERT_TRUE(q.Init(kVideoQueueStorage, kVideoQueueMaxItem, kQueueStopped));
    FrameItem w;
    q.Trim(&w);
    const auto produce = [&](int32_t size, uint8_t fill) {
        if (!q.Reserve(w, size)) {
            q.NoteOversize();
            return false;
        }
        std::fill(w.data, w.data + size, fill);
        w.size = size;
        w.kind = kKindVideoKey;
        q.Push(w);
        return true;
    };
    const int32_t sizes[] = {
        100 * 1024,      400 * 1024, 3 * 1024 * 1024, 200 * 1024, kVideoPictureLimit + 1,
        9 * 1024 * 1024, 300 * 1024};
    std::vector<int32_t> queued;
    for (size_t i = 0; i < std::size(sizes); ++i) {
        if (produce(sizes[i], static_cast<uint8_t>(i + 1))) {
            queued.push_back(static_cast<int32_t>(i));
        }
    }
    EXPECT_EQ(q.OversizeDrops(), 1u);
    ASSERT_EQ(queued.size(), std::size(sizes) - 1);
    for (const int32_t i : queued) {
        FrameItem out;
        ASSERT_TRUE(q.Take(out));
        ASSERT_EQ(out.size, sizes[i]);
        for (int32_t b = 0; b < out.size; b += 4096) {
            ASSERT_EQ(out.data[b], i + 1) << "item " << i << " byte " << b;
        }
    }
}

}  // namespace
}  // namespace velmaro
