// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Parameter sets that do not travel with their key frame: the scan reports the sets it passes,
// the demultiplexer keeps the latest ones and puts them in front of a key frame that lacks
// them, within the queue's item size.
#include <gtest/gtest.h>

#include <vector>

#include "platform/recording_sink.h"
#include "stream/demux.h"
#include "stream/frame_queue.h"
#include "stream/frame_scan.h"
#include "ts_builder.h"

namespace velmaro {
namespace {

using test::Bytes;

constexpr int kPmtPid = 0x100;
constexpr int kVideo = 0x1011;
constexpr int64_t kFrameTicks = 3000;

const Bytes kAud = {0, 0, 0, 1, 0x09, 0xF0};
const Bytes kSps = {0, 0, 0, 1, 0x67, 0x42, 0xC0, 0x1F, 0xDA, 0x01};
const Bytes kPps = {0, 0, 0, 1, 0x68, 0xCE, 0x3C, 0x80};
const Bytes kOtherSps = {0, 0, 0, 1, 0x67, 0x4D, 0x40, 0x28, 0x95, 0xA0, 0x3C};
const Bytes kOtherPps = {0, 0, 1, 0x68, 0xEE, 0x3C, 0x80};  // three-byte start code

Bytes Slice(bool key, size_t bytes = 200) {
    Bytes s = {0, 0, 0, 1, static_cast<uint8_t>(key ? 0x65 : 0x41), 0x88};
    for (size_t i = 0; i < bytes; ++i) {
        s.push_back(static_cast<uint8_t>(0x10 + i % 0x60));
    }
    return s;
}

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

Bytes SpanBytes(const Bytes& payload, const NalSpan& span) {
    return Bytes(payload.begin() + span.begin, payload.begin() + span.end);
}

TEST(ParameterSetScan, ReportsTheSetsBeforeTheSliceAndKeepsAPpsInTheFrame) {
    const Bytes key = Join({kAud, kSps, kPps, Slice(true)});
    FrameScan scan = ScanFrameKind(key.data(), static_cast<int>(key.size()));
    EXPECT_EQ(scan.kind, kKindVideoKey);
    EXPECT_EQ(scan.offset, static_cast<int>(kAud.size()));
    EXPECT_EQ(SpanBytes(key, scan.sps), kSps);
    EXPECT_EQ(SpanBytes(key, scan.pps), kPps);

    // A picture parameter set alone before a slice belongs to the frame as much as an SPS.
    const Bytes withPps = Join({kAud, kOtherPps, Slice(false)});
    scan = ScanFrameKind(withPps.data(), static_cast<int>(withPps.size()));
    EXPECT_EQ(scan.kind, kKindVideoInter);
    EXPECT_EQ(scan.offset, static_cast<int>(kAud.size()));
    EXPECT_FALSE(scan.sps.Found());
    EXPECT_EQ(SpanBytes(withPps, scan.pps), kOtherPps);

    // Sets without a picture, the last one short and at the very end: no frame, both sets.
    const Bytes setsOnly = Join({kAud, kSps, kPps});
    scan = ScanFrameKind(setsOnly.data(), static_cast<int>(setsOnly.size()));
    EXPECT_EQ(scan.kind, 0);
    EXPECT_EQ(SpanBytes(setsOnly, scan.sps), kSps);
    EXPECT_EQ(SpanBytes(setsOnly, scan.pps), kPps);

    // A set after the slice is not the frame's; one with nal_ref_idc 0 is no set at all.
    const Bytes after = Join({Slice(true, 20), kSps, {0, 0, 1, 0x08, 0xCE, 0x3C}});
    scan = ScanFrameKind(after.data(), static_cast<int>(after.size()));
    EXPECT_FALSE(scan.sps.Found());
    EXPECT_FALSE(scan.pps.Found());
    const Bytes unreferenced = {0, 0, 1, 0x08, 0xCE, 0x3C, 0x80, 0, 0, 1, 0x07, 0x42, 0x00};
    scan = ScanFrameKind(unreferenced.data(), static_cast<int>(unreferenced.size()));
    EXPECT_FALSE(scan.sps.Found() || scan.pps.Found());
}

class ParameterSetDemux : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(state.PrepareBuffers());
        video.SetKeyCount(0);
        ASSERT_TRUE(video.Init(kVideoQueueStorage, kVideoQueueMaxItem, kQueueStopped));
        video.Trim(&videoItem);
        out.videoQueue = &video;
        out.videoItem = &videoItem;
        Route(test::PatPacket(kPmtPid));
        Route(test::PmtPacket(kPmtPid, {{0x1B, kVideo}}));
    }
    void Route(const Bytes& packet) {
        RoutePacket(state, packet.data(), out, controls, PacketFlow::kForward);
    }
    // One video PES; the frame it holds is queued when the next PES starts (or at the flush).
    void VideoPes(const Bytes& payload) {
        for (const Bytes& p : test::PesPackets(kVideo, test::Pes(0xE0, payload, time_))) {
            Route(p);
        }
        time_ += kFrameTicks;
    }
    std::vector<Bytes> Frames() {
        FlushPendingPes(state, out, controls);
        std::vector<Bytes> frames;
        FrameItem item;
        while (video.Take(item)) {
            frames.emplace_back(item.data, item.data + item.size);
        }
        return frames;
    }

    DemuxState state;
    VideoFrameQueue video;
    FrameItem videoItem;
    DemuxOutputs out;
    DemuxControls controls;
    int64_t time_ = 90000;
};

// Sets sent once in a PES of their own, then the key frame they belonged to lost: the next key
// frames come without sets and still reach the decoder with them.
TEST_F(ParameterSetDemux, KeyFramesWithoutSetsGetTheLatestOnesInFront) {
    VideoPes(Join({kAud, kSps, kPps}));    // no picture: not queued, but kept
    VideoPes(Join({kAud, Slice(false)}));  // its key frame was lost: the queue takes none
    VideoPes(Join({kAud, Slice(true)}));
    VideoPes(Join({kAud, Slice(false)}));
    VideoPes(Join({kAud, kOtherSps, kOtherPps, Slice(true)}));  // new sets with their frame
    VideoPes(Join({kAud, Slice(true)}));
    VideoPes(Join({kAud, kPps, Slice(true)}));  // its own PPS, the kept SPS
    const std::vector<Bytes> frames = Frames();
    ASSERT_EQ(frames.size(), 5u);
    EXPECT_EQ(frames[0], Join({kSps, kPps, Slice(true)}));
    EXPECT_EQ(frames[1], Slice(false)) << "inter frames go as they are";
    EXPECT_EQ(frames[2], Join({kOtherSps, kOtherPps, Slice(true)})) << "nothing added";
    EXPECT_EQ(frames[3], Join({kOtherSps, kOtherPps, Slice(true)})) << "the latest sets";
    EXPECT_EQ(frames[4], Join({kOtherSps, kPps, kPps, Slice(true)}));
}

TEST_F(ParameterSetDemux, SetsAreLeftOutWhereTheyWouldNotFitAnItem) {
    video.itemLimit = kVideoQueueMaxItem;  // a queue that does not grow past its first size
    VideoPes(Join({kSps, kPps}));
    // A key frame that just fits the queue's largest item: it goes alone, not dropped.
    const Bytes big = Slice(true, kVideoQueueMaxItem - 6);
    VideoPes(big);
    // An SPS too large to keep makes the kept one stale: only the PPS goes in front.
    Bytes hugeSps = kSps;
    hugeSps.resize(kSps.size() + ParameterSetStore::kMaxUnitSize, 0x5A);
    VideoPes(Join({hugeSps, kPps, Slice(true)}));
    VideoPes(Join({kAud, Slice(true)}));
    const std::vector<Bytes> frames = Frames();
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(frames[0], big);
    EXPECT_EQ(frames[1], Join({hugeSps, kPps, Slice(true)}));
    EXPECT_EQ(frames[2], Join({kPps, Slice(true)}));
    EXPECT_EQ(state.drops.oversizeVideoFrames, 0u);
}

}  // namespace
}  // namespace velmaro
