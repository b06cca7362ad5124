// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Program tables: the section CRC against the standard's check value and other muxers' tables,
// and which later tables replace the ones in use.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "stream/psi.h"
#include "tests/test_support.h"
#include "ts_builder.h"

namespace velmaro {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::PatPacket;
using test::PmtPacket;

constexpr int kPmtPid = 0x100;
constexpr int kVideo = 0x1011;
constexpr int kAudio = 0x1100;
constexpr int kDataPid = 0x1200;

const fs::path kDataDir = VELMARO_DATA_DIR;

// The first packet of `pid` that begins a section, in a packet-aligned file.
Bytes FirstSectionPacket(const Bytes& file, int pid) {
    for (size_t at = 0; at + kTsPacketSize <= file.size(); at += kTsPacketSize) {
        const TsPacket p = ParseTsPacket(file.data() + at);
        if (p.pid == pid && p.payloadUnitStart) {
            return Bytes(file.begin() + static_cast<long>(at),
                         file.begin() + static_cast<long>(at) + kTsPacketSize);
        }
    }
    return {};
}

TEST(PsiCrc, MatchesTheCheckValueAndTheTablesOfOtherMuxers) {
    const std::string check = "123456789";
    EXPECT_EQ(Crc32Mpeg2(reinterpret_cast<const uint8_t*>(check.data()), check.size()),
              0x0376E6E7u);
    // Tables written by TSDuck's test suite and by FFmpeg's muxer.
    for (const char* name : {"ts/tsduck-test/test-072.ts", "ts/mts/test.ts", "ts/lpms/skip_1.ts"}) {
        SCOPED_TRACE(name);
        const Bytes file = test::ReadBytes(kDataDir / name);
        ASSERT_FALSE(file.empty());
        const Bytes pat = FirstSectionPacket(file, kPatPid);
        ASSERT_FALSE(pat.empty());
        PsiSection section;
        ASSERT_TRUE(FindWholeSection(ParseTsPacket(pat.data()), kTableIdPat, section));
        EXPECT_TRUE(section.crcValid);
        EXPECT_TRUE(section.current);
        PsiState state;
        PsiStep(state, ParseTsPacket(pat.data()));
        ASSERT_FALSE(state.programs.empty());
        const Bytes pmt = FirstSectionPacket(file, state.PmtPid());
        ASSERT_FALSE(pmt.empty());
        ASSERT_TRUE(FindWholeSection(ParseTsPacket(pmt.data()), kTableIdPmt, section));
        EXPECT_TRUE(section.crcValid);
        EXPECT_EQ(section.tableIdExtension, state.programs.front().programNumber);
        // One flipped bit anywhere in the section is caught.
        Bytes damaged = pmt;
        const size_t sectionStart = kTsPacketSize - ParseTsPacket(pmt.data()).payloadLength + 1;
        damaged[sectionStart + 9] ^= 0x04;
        ASSERT_TRUE(FindWholeSection(ParseTsPacket(damaged.data()), kTableIdPmt, section));
        EXPECT_FALSE(section.crcValid);
    }
}

class PsiFollowing : public ::testing::Test {
  protected:
    void SetUp() override {
        Feed(PatPacket(kPmtPid));
        Feed(PmtPacket(kPmtPid, {{0x0F, kAudio}}));
        ASSERT_TRUE(state.pidsKnown);
        ASSERT_EQ(state.videoPid, kNoPid);
    }
    // The reader's order: the first tables by PsiStep, then following.
    bool Feed(const Bytes& packet) {
        const TsPacket p = ParseTsPacket(packet.data());
        if (!state.pidsKnown) {
            PsiStep(state, p);
            return false;
        }
        return PsiFollow(state, p);
    }

    PsiState state;
};

TEST_F(PsiFollowing, OnlyACurrentIntactMapOfAnotherVersionReplacesThePids) {
    // A repetition, even one that lists other streams, changes nothing.
    EXPECT_FALSE(Feed(PmtPacket(kPmtPid, {{0x1B, kVideo}, {0x0F, kAudio}})));
    EXPECT_EQ(state.videoPid, kNoPid);
    // Damaged, not yet current, or the map of another program: ignored.
    Bytes damaged = PmtPacket(kPmtPid, {{0x1B, kVideo}, {0x0F, kAudio}}, 1);
    damaged[kTsPacketSize - 6] ^= 0x01;  // in the last stream entry
    EXPECT_FALSE(Feed(damaged));
    EXPECT_FALSE(Feed(PmtPacket(kPmtPid, {{0x1B, kVideo}}, 1, false)));
    EXPECT_FALSE(Feed(PmtPacket(kPmtPid, {{0x1B, kVideo}}, 1, true, 2)));
    EXPECT_EQ(state.videoPid, kNoPid);
    EXPECT_EQ(state.pmtVersion, 0);

    EXPECT_TRUE(Feed(PmtPacket(kPmtPid, {{0x1B, kVideo}, {0x0F, kAudio}, {0xA0, kDataPid}}, 1)));
    EXPECT_EQ(state.videoPid, kVideo);
    EXPECT_EQ(state.audioPid, kAudio);
    EXPECT_EQ(state.dataPid, kDataPid);
    EXPECT_EQ(state.pmtVersion, 1);
    EXPECT_FALSE(Feed(PmtPacket(kPmtPid, {{0x0F, kAudio}}, 1)));
    EXPECT_EQ(state.videoPid, kVideo);
    // A stream the new version leaves out loses its PID; a version number may come back.
    EXPECT_TRUE(Feed(PmtPacket(kPmtPid, {{0x1B, kVideo}}, 0)));
    EXPECT_EQ(state.audioPid, kNoPid);
    EXPECT_EQ(state.dataPid, kNoPid);
    EXPECT_EQ(state.videoPid, kVideo);
}

TEST_F(PsiFollowing, ANewProgramTableMovesTheMapAndTheStreamsStayUntilItComes) {
    EXPECT_FALSE(Feed(PatPacket(0x300)));  // same version: a repetition
    EXPECT_EQ(state.PmtPid(), kPmtPid);
    EXPECT_FALSE(Feed(PatPacket(0x300, 1, 1, false)));
    EXPECT_TRUE(Feed(PatPacket(0x300, 1, 1)));
    EXPECT_EQ(state.PmtPid(), 0x300);
    EXPECT_TRUE(IsTablePid(state, 0x300));
    EXPECT_FALSE(IsTablePid(state, kPmtPid));
    EXPECT_EQ(state.audioPid, kAudio) << "the streams in use stay until the new map";
    // The old PID's map no longer counts; the new one does whatever its version number.
    EXPECT_FALSE(Feed(PmtPacket(kPmtPid, {{0x1B, kVideo}}, 5)));
    EXPECT_TRUE(Feed(PmtPacket(0x300, {{0x1B, 0x301}}, 0)));
    EXPECT_EQ(state.videoPid, 0x301);
    EXPECT_EQ(state.audioPid, kNoPid);
}

TEST_F(PsiFollowing, SectionsThatDoNotFitTheirPacketAreNotFollowed) {
    Bytes pmt = PmtPacket(kPmtPid, {{0x1B, kVideo}, {0x0F, kAudio}}, 1);
    const size_t sectionStart = kTsPacketSize - ParseTsPacket(pmt.data()).payloadLength + 1;
    pmt[sectionStart + 1] = 0xB0 | 0x0F;  // section_length far beyond the packet
    pmt[sectionStart + 2] = 0xFF;
    PsiSection section;
    EXPECT_FALSE(FindWholeSection(ParseTsPacket(pmt.data()), kTableIdPmt, section));
    EXPECT_FALSE(Feed(pmt));
    Bytes tiny = PmtPacket(kPmtPid, {}, 1);
    // Shorter than a section header with its CRC.
    tiny[kTsPacketSize - ParseTsPacket(tiny.data()).payloadLength + 1 + 2] = 4;
    EXPECT_FALSE(Feed(tiny));
    EXPECT_EQ(state.videoPid, kNoPid);
}

}  // namespace
}  // namespace velmaro
