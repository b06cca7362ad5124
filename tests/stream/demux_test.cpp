// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "platform/recording_sink.h"
#include "stream/demux.h"
#include "stream/frame_queue.h"
#include "stream/telemetry_handover.h"
#include "ts_builder.h"

namespace velmaro {
namespace {

using test::AccessUnit;
using test::Bytes;
using test::Pes;
using test::PesPackets;

constexpr int kPmtPid = 0x100;
constexpr int kVideo = 0x1011;
constexpr int kAudio = 0x1100;
constexpr int kData = 0x1200;
constexpr int64_t kTicks = 90000;

class Demux : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(state.PrepareBuffers());
        ASSERT_TRUE(OpenFrameQueues(video, audio, kQueueStopped));
        video.Trim(&videoItem);
        audio.Trim(&audioItem);
        out = {&video, &videoItem, &audio, &audioItem, &telemetry, &sink};
    }

    void Route(const Bytes& packet, bool backward = false) {
        lastResult = RoutePacket(state, packet.data(), out, controls,
                                 backward ? PacketFlow::kBackwardScan : PacketFlow::kForward);
    }
    void RouteAll(const std::vector<Bytes>& packets, bool backward = false) {
        for (const Bytes& p : packets) {
            Route(p, backward);
        }
    }
    void Tables(std::vector<std::pair<uint8_t, int>> streams = {
                    {0x1B, kVideo}, {0x0F, kAudio}, {0xA0, kData}}) {
        Route(test::PatPacket(kPmtPid));
        Route(test::PmtPacket(kPmtPid, streams));
    }
    // A video PES; the next PUSI packet on the PID completes it.
    void VideoPes(const Bytes& au, int64_t pts, int64_t dts = -1) {
        RouteAll(PesPackets(kVideo, Pes(0xE0, au, pts, dts)));
    }
    std::vector<FrameItem> DrainVideo() {
        std::vector<FrameItem> items;
        FrameItem item;
        while (video.Take(item)) {
            items.push_back(item);
        }
        return items;
    }

    DemuxState state;
    VideoFrameQueue video;
    AudioFrameQueue audio;
    FrameItem videoItem;
    FrameItem audioItem;
    TelemetryHandOver telemetry;
    RecordingSink sink;
    DemuxOutputs out;
    DemuxControls controls;
    RouteResult lastResult = RouteResult::kSkipped;
};

TEST_F(Demux, PmtSetsTheThreePidsAndPacketsWaitForIt) {
    Route(Bytes(test::Packet(kVideo, true, AccessUnit(true).data(), 100)));
    EXPECT_EQ(lastResult, RouteResult::kSkipped) << "nothing is routed before the PMT";
    Tables();
    EXPECT_TRUE(state.psi.pidsKnown);
    EXPECT_EQ(state.psi.videoPid, kVideo);
    EXPECT_EQ(state.psi.audioPid, kAudio);
    EXPECT_EQ(state.psi.dataPid, kData);
    ASSERT_EQ(state.psi.programs.size(), 1u);
    EXPECT_EQ(state.psi.programs[0].pmtPid, kPmtPid);
}

TEST_F(Demux, PmtWithoutTelemetryLeavesItSilentAndLaterEntryOfATypeWins) {
    Tables({{0x1B, 0x200}, {0x0F, kAudio}, {0x1B, kVideo}});
    EXPECT_EQ(state.psi.videoPid, kVideo);
    EXPECT_EQ(state.psi.dataPid, kNoPid);
    RouteAll(PesPackets(kData, Pes(0xBD, Bytes(40, 'x'), kTicks)));
    RouteAll(PesPackets(kData, Pes(0xBD, Bytes(40, 'x'), 2 * kTicks)));
    EXPECT_EQ(sink.Count(kMsgTelemetry), 0u);
}

TEST_F(Demux, KeyFrameStartsAtTheSpsAndTakesDtsWhenPresent) {
    Tables();
    VideoPes(AccessUnit(true), 3 * kTicks, 2 * kTicks);
    VideoPes(AccessUnit(false), 4 * kTicks);  // completes the first
    VideoPes(AccessUnit(false), 5 * kTicks);
    auto items = DrainVideo();
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].kind, kKindVideoKey);
    const Bytes au = AccessUnit(true);
    ASSERT_EQ(items[0].size, static_cast<int32_t>(au.size() - 6)) << "the AUD is dropped";
    EXPECT_EQ(0, std::memcmp(items[0].data, au.data() + 6, items[0].size));
    EXPECT_DOUBLE_EQ(items[0].pts, 2.0) << "DTS wins when above 0.0001 s";
    EXPECT_EQ(items[0].frameRate, 30);
    EXPECT_EQ(items[0].order, 1);
    EXPECT_EQ(items[1].kind, kKindVideoInter);
    EXPECT_DOUBLE_EQ(items[1].pts, 4.0) << "PTS only";
}

TEST_F(Demux, ThreeByteStartCodesBeforeSlicesStillYieldPictures) {
    Tables();
    VideoPes(AccessUnit(true, 200, true), kTicks);
    VideoPes(AccessUnit(false, 200, true), 2 * kTicks);
    VideoPes(AccessUnit(false, 200, true), 3 * kTicks);
    auto items = DrainVideo();
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].kind, kKindVideoKey);
    EXPECT_EQ(items[0].data[4], 0x67) << "a key frame still begins at its SPS";
    EXPECT_EQ(items[1].kind, kKindVideoInter);
    EXPECT_EQ(items[1].data[3], 0x41) << "leading AUD and SEI dropped, three-byte code kept";
}

TEST_F(Demux, FrameRateIsMeasuredOverThe2ndTo32ndTimedPes) {
    Tables();
    std::vector<FrameItem> items;
    for (int i = 0; i < 40; ++i) {
        VideoPes(AccessUnit(i % 15 == 0, 20), kTicks + i * kTicks / 60);
        for (const FrameItem& item : DrainVideo()) {
            items.push_back(item);
        }
    }
    ASSERT_EQ(items.size(), 39u);
    for (int i = 0; i < 31; ++i) {
        EXPECT_EQ(items[i].frameRate, 30) << "frame " << i;
    }
    EXPECT_EQ(items[31].frameRate, 60);

    FrameRateMeter meter;
    for (int i = 0; i < 40; ++i) {
        meter.Feed(i / 30.0);
    }
    EXPECT_TRUE(meter.measured);
    EXPECT_EQ(meter.rate, 30);
    FrameRateMeter frozen;
    for (int i = 0; i < 40; ++i) {
        frozen.Feed(1.0);  // equal times: no division trouble, treated as very fast
    }
    EXPECT_EQ(frozen.rate, 60);
}

TEST_F(Demux, TimeStampsAreLow32BitsSigned) {
    uint8_t p[5];
    test::PutTime(p, 0x20, int64_t{1} << 31);
    EXPECT_LT(PesTimeSeconds(p), 0.0);
    test::PutTime(p, 0x20, (int64_t{1} << 32) + 90000);
    EXPECT_DOUBLE_EQ(PesTimeSeconds(p), 1.0) << "bit 32 is lost";
}

TEST_F(Demux, AudioPesIsOneItemAndAnEmptyPayloadQueuesNothing) {
    Tables();
    RouteAll(PesPackets(kAudio, Pes(0xC0, Bytes(300, 0x21), kTicks)));
    RouteAll(PesPackets(kAudio, Pes(0xC0, {}, 2 * kTicks)));  // completes the first
    RouteAll(
        PesPackets(kAudio, Pes(0xC0, Bytes(10, 0x22), 3 * kTicks)));  // completes the empty one
    FrameItem item;
    ASSERT_TRUE(audio.Take(item));
    EXPECT_EQ(item.size, 300);
    EXPECT_EQ(item.kind, kKindAudio);
    EXPECT_DOUBLE_EQ(item.pts, kTicks / 90000.0) << "sound carries its time, to meet the picture";
    EXPECT_FALSE(audio.Take(item));

    controls.audioEnabled = false;
    RouteAll(PesPackets(kAudio, Pes(0xC0, Bytes(10, 0x23), 4 * kTicks)));
    EXPECT_FALSE(audio.Take(item)) << "sound off: nothing queued";
}

// After a seek the sound starts with the picture: audio completed before the video queue holds
// a key frame is dropped and counted, audio after it is queued.
TEST_F(Demux, AfterASeekAudioWaitsForTheFirstKeyFrame) {
    Tables();
    controls.audioWaitsForPicture = true;
    RouteAll(PesPackets(kAudio, Pes(0xC0, Bytes(100, 0x31), kTicks)));
    VideoPes(AccessUnit(false), kTicks);  // an inter frame: the queue takes none before a key
    RouteAll(PesPackets(kAudio, Pes(0xC0, Bytes(100, 0x32), 2 * kTicks)));  // completes #1
    VideoPes(AccessUnit(true), 2 * kTicks);   // completes the inter frame
    VideoPes(AccessUnit(false), 3 * kTicks);  // completes the key frame
    RouteAll(PesPackets(kAudio, Pes(0xC0, Bytes(10, 0x33), 3 * kTicks)));  // completes #2
    FrameItem item;
    ASSERT_TRUE(audio.Take(item));
    EXPECT_EQ(item.size, 100);
    EXPECT_EQ(item.data[0], 0x32) << "the first audio frame came before any picture";
    EXPECT_FALSE(audio.Take(item));
    EXPECT_EQ(state.drops.audioBeforePicture, 1u);
}

TEST_F(Demux, TelemetryIsHandedOverTerminatedAndCutAt2047Bytes) {
    Tables();
    const std::string text = "X:0.1 Y:0.2 Z:0.3 $GPRMC,1,A,4807.0380,N,01131.0000,E,1,2,,,A*00";
    RouteAll(PesPackets(kData, Pes(0xBD, Bytes(text.begin(), text.end()), kTicks)));
    RouteAll(PesPackets(kData, Pes(0xBD, Bytes(5000, 'y'), 2 * kTicks)));
    std::string taken;
    ASSERT_TRUE(telemetry.Take(taken));
    EXPECT_EQ(taken, text);
    EXPECT_EQ(sink.Count(kMsgTelemetry), 1u);
    RouteAll(PesPackets(kData, Pes(0xBD, Bytes(3, 'z'), 3 * kTicks)));
    ASSERT_TRUE(telemetry.Take(taken));
    EXPECT_EQ(taken.size(), 2047u);
    EXPECT_EQ(state.drops.cutTelemetryTexts, 1u);
}

// Pictures past the queue's limit (here one of 1 MiB) and PES past the buffer's are dropped;
// each dropped picture is counted once, where a window can read it too.
TEST_F(Demux, OversizeFramesAndPesAreDroppedAndCounted) {
    Tables();
    video.itemLimit = 1024 * 1024;
    VideoPes(AccessUnit(true, 600 * 1024), kTicks);  // the queue grows for it
    VideoPes(AccessUnit(true, 1100 * 1024), 2 * kTicks);
    VideoPes(AccessUnit(true, kPesBufferLimit), 3 * kTicks);
    RouteAll(PesPackets(kAudio, Pes(0xC0, Bytes(17 * 1024, 1), kTicks)));
    VideoPes(AccessUnit(true), 4 * kTicks);
    RouteAll(PesPackets(kAudio, Pes(0xC0, Bytes(10, 1), 2 * kTicks)));
    EXPECT_EQ(state.drops.oversizeVideoFrames, 1u);
    EXPECT_EQ(state.drops.oversizePes, 1u);
    EXPECT_EQ(state.drops.oversizeAudioFrames, 1u);
    EXPECT_EQ(video.OversizeDrops(), 2u);
    EXPECT_EQ(DrainVideo().size(), 1u) << "the 600 KiB picture";
    EXPECT_TRUE(DrainVideo().empty()) << "the frames after the drops are not complete yet";
    VideoPes(AccessUnit(false), 5 * kTicks);
    EXPECT_EQ(DrainVideo().size(), 1u) << "gathering recovers with the next PES";
}

// Pictures are gathered where the queue delivers them from unless they outgrow that room:
// whichever way a picture goes, and however many go round the queue's ring, each arrives
// byte for byte, and one the queue refused leaves the next one its room.
TEST_F(Demux, PicturesOfEverySizeArriveWholeThroughTheQueuesRing) {
    Tables();
    video.SetKeyCount(0);
    const int item = video.MaxItemSize();
    const size_t sizes[] = {
        200,                              // many to a storage
        static_cast<size_t>(item) - 300,  // about where a gathered picture stops fitting
        static_cast<size_t>(item) - 280,
        static_cast<size_t>(item) - 260,
        static_cast<size_t>(item) - 40,    // fits the queue only when copied
        static_cast<size_t>(item) + 1000,  // the queue grows for it
        5000,
    };
    int64_t time = kTicks;
    for (int round = 0; round < 3; ++round) {
        for (const size_t size : sizes) {
            SCOPED_TRACE(testing::Message() << "round " << round << ", " << size << " bytes");
            const Bytes key = AccessUnit(true, size);
            const Bytes inter = AccessUnit(false, size / 2);
            // Refused: no key picture was queued since the queue lost one.
            video.SetKeyCount(0);
            VideoPes(inter, time);
            VideoPes(key, time + 1);
            VideoPes(inter, time + 2);
            VideoPes(AccessUnit(false), time + 3);  // completes the one before
            time += 4;
            const auto items = DrainVideo();
            ASSERT_EQ(items.size(), 2u);
            EXPECT_EQ(Bytes(items[0].data, items[0].data + items[0].size),
                      Bytes(key.begin() + 6, key.end()));
            EXPECT_EQ(Bytes(items[1].data, items[1].data + items[1].size),
                      Bytes(inter.begin() + 6, inter.end()));
        }
    }
    EXPECT_EQ(state.drops.oversizeVideoFrames, 0u);
}

TEST_F(Demux, PendingDirectionChangeAndBackwardKeyOnlyQueueNothingElse) {
    Tables();
    std::atomic<bool> pending{true};
    controls.directionChangePending = &pending;
    VideoPes(AccessUnit(true), kTicks);
    VideoPes(AccessUnit(false), 2 * kTicks);
    RouteAll(PesPackets(kData, Pes(0xBD, Bytes(20, 'x'), kTicks)));
    RouteAll(PesPackets(kData, Pes(0xBD, Bytes(20, 'x'), kTicks)));
    EXPECT_TRUE(DrainVideo().empty());
    EXPECT_EQ(sink.Count(kMsgTelemetry), 0u);
    pending = false;

    // Backward: packets come last-first; the PUSI packet completes the PES, key frames only.
    state.ResetFills();
    controls.playMode = 0;
    auto inter = PesPackets(kVideo, Pes(0xE0, AccessUnit(false, 400), 5 * kTicks));
    for (auto it = inter.rbegin(); it != inter.rend(); ++it) {
        Route(*it, true);
    }
    EXPECT_EQ(lastResult, RouteResult::kRouted);
    auto key = PesPackets(kVideo, Pes(0xE0, AccessUnit(true, 400), 4 * kTicks));
    for (auto it = key.rbegin(); it != key.rend(); ++it) {
        Route(*it, true);
    }
    EXPECT_EQ(lastResult, RouteResult::kBackwardKeyFound);

    // A key frame whose end was never seen (the scan started inside it) is no whole frame.
    state.ResetFills();
    state.backwardTailComplete = false;
    auto cut = PesPackets(kVideo, Pes(0xE0, AccessUnit(true, 400), 3 * kTicks));
    for (auto it = cut.rbegin() + 1; it != cut.rend(); ++it) {
        Route(*it, true);
    }
    EXPECT_EQ(lastResult, RouteResult::kRouted) << "a truncated key frame is not queued";
    RouteAll(PesPackets(kAudio, Pes(0xC0, Bytes(10, 1), kTicks)), true);
    EXPECT_EQ(lastResult, RouteResult::kSkipped) << "audio is ignored backward";
    const auto items = DrainVideo();
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].kind, kKindVideoKey);
    EXPECT_EQ(items[0].order, -11) << "held mode counts as a step, negated backward";
    EXPECT_EQ(items[0].size, static_cast<int32_t>(AccessUnit(true, 400).size() - 6));
}

TEST_F(Demux, DamagedPacketsAndTablesDoNotRouteOrCrash) {
    Bytes pat = test::PatPacket(kPmtPid);
    pat[1] |= 0x80;  // transport error
    Route(pat);
    EXPECT_TRUE(state.psi.programs.empty());
    Bytes pointer = test::PatPacket(kPmtPid);
    pointer[4] = 250;  // pointer field beyond the packet
    Route(pointer);
    Bytes longSection = test::PatPacket(kPmtPid);
    longSection[6] = 0xBF;  // section_length 0xFFF
    longSection[7] = 0xFF;
    Route(longSection);
    Bytes adaptation = test::PatPacket(kPmtPid);
    adaptation[3] = 0x30;
    adaptation[4] = 200;  // adaptation field longer than the packet
    Route(adaptation);
    EXPECT_FALSE(state.psi.pidsKnown);
    Tables();
    EXPECT_TRUE(state.psi.pidsKnown);
}

}  // namespace
}  // namespace velmaro
