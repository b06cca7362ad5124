// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "stream/demux.h"
#include "stream/frame_item.h"
#include "stream/frame_queue.h"
#include "stream/frame_scan.h"
#include "stream/ts_packet.h"
#include "tests/test_support.h"

namespace velmaro {
namespace {

using Bytes = std::vector<uint8_t>;
namespace fs = std::filesystem;
using test::ReadBytes;

const fs::path kData = VELMARO_DATA_DIR;

struct Nal {
    size_t start;  // of the start code
    size_t header;
    size_t end;
};

std::vector<Nal> SplitNals(const Bytes& s) {
    std::vector<Nal> nals;
    for (size_t i = 0; i + 3 < s.size(); ++i) {
        if (s[i] == 0 && s[i + 1] == 0 && s[i + 2] == 1) {
            const size_t start = i > 0 && s[i - 1] == 0 ? i - 1 : i;
            if (!nals.empty()) {
                nals.back().end = start;
            }
            nals.push_back({start, i + 3, s.size()});
            i += 2;
        }
    }
    return nals;
}

// Access units by the usual boundary rule: a parameter set, SEI or delimiter after a slice, or
// a slice that starts at macroblock 0, begins the next picture.
std::vector<Bytes> AccessUnits(const Bytes& stream) {
    std::vector<Bytes> units;
    bool sliceSeen = false;
    size_t auStart = 0;
    for (const Nal& nal : SplitNals(stream)) {
        const int type = stream[nal.header] & 0x1F;
        const bool vcl = type >= 1 && type <= 5;
        const bool firstMb =
            vcl && nal.header + 1 < stream.size() && (stream[nal.header + 1] & 0x80) != 0;
        const bool starter =
            type == 6 || type == 7 || type == 8 || type == 9 || (type >= 14 && type <= 18);
        if (sliceSeen && (starter || firstMb)) {
            units.emplace_back(stream.begin() + auStart, stream.begin() + nal.start);
            auStart = nal.start;
            sliceSeen = false;
        }
        sliceSeen = sliceSeen || vcl;
    }
    units.emplace_back(stream.begin() + auStart, stream.end());
    return units;
}

Bytes WithThreeByteStartCodes(const Bytes& au) {
    Bytes out;
    for (size_t i = 0; i < au.size(); ++i) {
        if (i + 3 < au.size() && au[i] == 0 && au[i + 1] == 0 && au[i + 2] == 0 && au[i + 3] == 1) {
            continue;  // drop the leading zero of a four-byte code
        }
        out.push_back(au[i]);
    }
    return out;
}

struct Conformance {
    const char* file;
    int pictures;  // as ffmpeg decodes them
};

// Picture counts of the conformance and encoder streams, from their catalogue.
const Conformance kStreams[] = {
    {"BA1_FT_C.264", 299},        {"BANM_MW_D.264", 100},
    {"BA_MW_D.264", 100},         {"CI1_FT_B.264", 291},
    {"CI_MW_D.264", 100},         {"LS_SVA_D.264", 1700},
    {"MIDR_MW_D.264", 100},       {"MPS_MW_A.264", 150},
    {"NRF_MW_E.264", 100},        {"SVA_BA2_D.264", 17},
    {"SVA_Base_B.264", 17},       {"SVA_CL1_E.264", 50},
    {"SVA_FM1_E.264", 17},        {"SVA_NL2_E.264", 17},
    {"SarVui.264", 17},           {"Zhling_1280x720.264", 19},
    {"jm_1080p_allslice.264", 1}, {"test_scalinglist_jm.264", 5},
    {"test_vd_1d.264", 9},        {"BA1_Sony_D.jsv", 17},
    {"CVFC1_Sony_C.jsv", 50},     {"MR1_BT_A.h264", 62},
    {"QCIF_2P_I_allIPCM.264", 2}, {"Cisco_Men_whisper_640x320_CABAC_Bframe_9.264", 9},
};

TEST(FrameScanRealStreams, EveryPictureIsFoundWithFourOrThreeByteStartCodes) {
    for (const Conformance& c : kStreams) {
        SCOPED_TRACE(c.file);
        const Bytes stream = ReadBytes(kData / "h264/openh264" / c.file);
        ASSERT_FALSE(stream.empty());
        int pictures = 0;
        for (const Bytes& au : AccessUnits(stream)) {
            const FrameScan scan = ScanFrameKind(au.data(), static_cast<int>(au.size()));
            bool hasIdr = false;
            for (const Nal& nal : SplitNals(au)) {
                hasIdr = hasIdr || (au[nal.header] & 0x1F) == 5;
            }
            if (scan.kind == 0) {
                continue;
            }
            ++pictures;
            EXPECT_EQ(scan.kind, hasIdr ? kKindVideoKey : kKindVideoInter);
            const Bytes three = WithThreeByteStartCodes(au);
            const FrameScan again = ScanFrameKind(three.data(), static_cast<int>(three.size()));
            EXPECT_EQ(again.kind, scan.kind) << "the start code length must not matter";
        }
        EXPECT_EQ(pictures, c.pictures);
    }
}

TEST(FrameScanRealStreams, StreamWithoutABaseLayerSliceYieldsNoPicture) {
    const Bytes stream = ReadBytes(kData / "h264/openh264/sps_subsetsps_bothVUI.264");
    ASSERT_FALSE(stream.empty());
    EXPECT_EQ(ScanFrameKind(stream.data(), static_cast<int>(stream.size())).kind, 0);
}

TEST(FrameScan, SpsWithoutAFollowingSliceYieldsNothingAndStaysLinear) {
    // Many parameter sets and no slice: the answer is "none", without a quadratic re-scan.
    Bytes payload;
    for (int i = 0; i < 200000; ++i) {
        payload.insert(payload.end(), {0, 0, 1, 0x67});
    }
    EXPECT_EQ(ScanFrameKind(payload.data(), static_cast<int>(payload.size())).kind, 0);
    const Bytes tooShort = {0, 0, 0, 1, 0x65, 1, 2, 3, 4};
    EXPECT_EQ(ScanFrameKind(tooShort.data(), 9).kind, 0) << "fewer than 10 bytes from the code";
    const Bytes idrRef2 = {0, 0, 0, 1, 0x45, 1, 2, 3, 4, 5};
    EXPECT_EQ(ScanFrameKind(idrRef2.data(), 10).kind, kKindVideoKey);
    const Bytes idrRef0 = {0, 0, 0, 1, 0x05, 1, 2, 3, 4, 5};
    EXPECT_EQ(ScanFrameKind(idrRef0.data(), 10).kind, 0) << "an IDR slice is a reference picture";
}

// Real transport streams from other encoders (x264 puts three-byte start codes before its SEI
// and slices): every video PES must become a frame.
TEST(FrameScanRealStreams, EveryVideoPesOfThirdPartyTransportStreamsBecomesAFrame) {
    const char* files[] = {"ts/lpms/test_short.ts", "ts/lpms/kryp-1.ts", "ts/mts/test.ts",
                           "ts/lpms/transmux.ts", "ts/lpms/portrait.ts"};
    for (const char* name : files) {
        SCOPED_TRACE(name);
        const Bytes file = ReadBytes(kData / name);
        ASSERT_GE(file.size(), static_cast<size_t>(kTsPacketSize));
        DemuxState state;
        ASSERT_TRUE(state.PrepareBuffers());
        VideoFrameQueue video;
        video.SetKeyCount(0);
        ASSERT_TRUE(video.Init(kVideoQueueStorage, kVideoQueueMaxItem, kQueueStopped));
        FrameItem item;
        video.Trim(&item);
        DemuxOutputs out;
        out.videoQueue = &video;
        out.videoItem = &item;
        DemuxControls controls;
        int frames = 0;
        int keys = 0;
        auto drain = [&] {
            FrameItem taken;
            while (video.Take(taken)) {
                ++frames;
                keys += taken.kind == kKindVideoKey ? 1 : 0;
            }
        };
        int videoPesStarts = 0;
        for (size_t at = 0; at + kTsPacketSize <= file.size(); at += kTsPacketSize) {
            RoutePacket(state, file.data() + at, out, controls, PacketFlow::kForward);
            const TsPacket p = ParseTsPacket(file.data() + at);
            if (state.psi.pidsKnown && p.pid == state.psi.videoPid && p.payloadUnitStart &&
                p.Routable()) {
                ++videoPesStarts;
            }
            drain();
        }
        FlushPendingPes(state, out, controls);
        drain();
        EXPECT_GT(videoPesStarts, 0);
        EXPECT_EQ(frames, videoPesStarts);
        EXPECT_GE(keys, 1);
    }
}

}  // namespace
}  // namespace velmaro
