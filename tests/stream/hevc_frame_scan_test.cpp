// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// H.265 recordings: the program map's stream type chooses the coding, and the frame scan finds
// key pictures (IDR, CRA, BLA) and parameter sets (VPS, SPS, PPS) by H.265 unit types.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "stream/frame_item.h"
#include "stream/frame_scan.h"
#include "stream/psi.h"
#include "tests/stream/ts_builder.h"

namespace velmaro {
namespace {

using test::Bytes;

constexpr int kPmtPid = 0x100;

// One unit with a four-byte start code: the two-byte H.265 header (temporal id 1), then filler.
void AddHevcUnit(Bytes& out, int type, size_t bodyBytes = 12) {
    out.insert(out.end(), {0x00, 0x00, 0x00, 0x01, static_cast<uint8_t>(type << 1), 0x01});
    out.insert(out.end(), bodyBytes, 0xA5);
}

PsiState ReadTables(const std::vector<std::pair<uint8_t, int>>& streams) {
    PsiState psi;
    PsiStep(psi, ParseTsPacket(test::PatPacket(kPmtPid).data()));
    PsiStep(psi, ParseTsPacket(test::PmtPacket(kPmtPid, streams).data()));
    return psi;
}

TEST(HevcStreams, StreamType0x24IsTheVideoUnlessTheMapAlsoListsH264) {
    const PsiState hevc = ReadTables({{0x24, 0x1011}, {0x0F, 0x1100}, {0xA0, 0x1200}});
    ASSERT_TRUE(hevc.pidsKnown);
    EXPECT_EQ(hevc.videoPid, 0x1011);
    EXPECT_EQ(hevc.videoCodec, VideoCodec::kHevc);
    EXPECT_EQ(hevc.audioPid, 0x1100);

    // A map with both keeps playing the H.264 stream, as it always has.
    for (const auto& streams :
         {std::vector<std::pair<uint8_t, int>>{{0x24, 0x1011}, {0x1B, 0x1022}},
          std::vector<std::pair<uint8_t, int>>{{0x1B, 0x1022}, {0x24, 0x1011}}}) {
        const PsiState both = ReadTables(streams);
        EXPECT_EQ(both.videoPid, 0x1022);
        EXPECT_EQ(both.videoCodec, VideoCodec::kH264);
    }
    const PsiState other = ReadTables({{0x02, 0x1011}, {0x0F, 0x1100}});
    EXPECT_EQ(other.videoPid, kNoPid) << "other video types stay unplayed";
}

struct UnitCase {
    int type;
    int kind;  // of an access unit whose first slice has this type
};

// Every H.265 slice type: trailing, sub-layer and leading pictures are inter frames; the random
// access types (BLA 16-18, IDR 19-20, CRA 21, reserved 22-23) are key frames.
TEST(HevcStreams, SliceTypesDecideKeyOrInterAndNonSlicesNothing) {
    const UnitCase cases[] = {
        {0, kKindVideoInter}, {1, kKindVideoInter}, {2, kKindVideoInter}, {5, kKindVideoInter},
        {8, kKindVideoInter}, {9, kKindVideoInter}, {16, kKindVideoKey},  {18, kKindVideoKey},
        {19, kKindVideoKey},  {20, kKindVideoKey},  {21, kKindVideoKey},  {23, kKindVideoKey},
        {10, kKindNone},      {15, kKindNone},      {24, kKindNone},      {35, kKindNone},
        {39, kKindNone},      {40, kKindNone},      {63, kKindNone},
    };
    for (const UnitCase& c : cases) {
        SCOPED_TRACE(c.type);
        Bytes unit;
        AddHevcUnit(unit, 35);  // access unit delimiter
        AddHevcUnit(unit, c.type, 40);
        const FrameScan scan =
            ScanFrameKind(unit.data(), static_cast<int>(unit.size()), nullptr, VideoCodec::kHevc);
        EXPECT_EQ(scan.kind, c.kind);
        if (c.kind != kKindNone) {
            EXPECT_EQ(scan.offset, 18) << "the delimiter is dropped";
        }
    }
}

TEST(HevcStreams, ParameterSetsAreKeptAndPutInFrontOfAKeyFrameThatLacksThem) {
    Bytes first;
    AddHevcUnit(first, 35);
    AddHevcUnit(first, 32, 20);  // VPS
    AddHevcUnit(first, 33, 30);  // SPS
    AddHevcUnit(first, 34, 10);  // PPS
    AddHevcUnit(first, 39, 8);   // SEI between the sets and the slice stays with the frame
    AddHevcUnit(first, 19, 60);  // IDR
    const FrameScan scan =
        ScanFrameKind(first.data(), static_cast<int>(first.size()), nullptr, VideoCodec::kHevc);
    ASSERT_EQ(scan.kind, kKindVideoKey);
    EXPECT_EQ(scan.offset, 18) << "the frame begins at the VPS";
    EXPECT_EQ(scan.vps.Size(), 26);
    EXPECT_EQ(scan.sps.Size(), 36);
    EXPECT_EQ(scan.pps.Size(), 16);
    ParameterSetStore store;
    store.Keep(first.data(), scan);
    EXPECT_EQ(store.PrefixSize(scan), 0) << "a frame with all three sets needs none";

    Bytes cra;
    AddHevcUnit(cra, 21, 60);
    const FrameScan bare =
        ScanFrameKind(cra.data(), static_cast<int>(cra.size()), nullptr, VideoCodec::kHevc);
    ASSERT_EQ(bare.kind, kKindVideoKey);
    ASSERT_EQ(store.PrefixSize(bare), 26 + 36 + 16);
    Bytes prefix(static_cast<size_t>(store.PrefixSize(bare)));
    store.WritePrefix(prefix.data());
    EXPECT_EQ(Bytes(prefix.begin(), prefix.end()), Bytes(first.begin() + 18, first.begin() + 96))
        << "VPS, SPS and PPS in that order";

    // Read as H.264, an H.265 key picture is no frame, and H.265 sets are never put in front
    // of an H.264 picture.
    EXPECT_EQ(ScanFrameKind(cra.data(), static_cast<int>(cra.size())).kind, kKindNone);
    const Bytes h264 = test::AccessUnit(true);
    FrameScan h264Scan = ScanFrameKind(h264.data(), static_cast<int>(h264.size()));
    h264Scan.sps = h264Scan.pps = {};
    EXPECT_EQ(store.PrefixSize(h264Scan), 0);
}

}  // namespace
}  // namespace velmaro
