// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Transport stream clips cut from the middle of a stream open their stretch with the PAT and
// PMT in force there, so that the player (and any other) finds the pictures: on streams that
// send their map once, on one whose map changes on the way, on camera-like cards and on
// third-party recordings.
#include <fcntl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "export/clip_export.h"
#include "export/ts_clip_tables.h"
#include "platform/unique_fd.h"
#include "stream/ts_builder.h"
#include "tests/export/clip_checks.h"
#include "tests/export/export_support.h"
#include "tests/test_support.h"
#include "tools/make_recording/recording_writer.h"

namespace velmaro {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::ClipRequest;
using test::kAudioPid;
using test::kBlock;
using test::kPacket;
using test::kPmtPid;
using test::kVideoPid;
using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

const fs::path kDataDir = VELMARO_DATA_DIR;

using test::kGop;
using test::Muxed;

int64_t Size(const Bytes& b) {
    return static_cast<int64_t>(b.size());
}

// The first packet that begins a section on `pid` in a packet-aligned file; -1 if none.
int64_t FirstSectionAt(const Bytes& file, int pid) {
    for (int64_t p = 0; p + kPacket <= Size(file); p += kPacket) {
        if (test::Pid(file.data() + p) == pid && !test::SectionOf(file.data() + p).empty()) {
            return p;
        }
    }
    return -1;
}

// What a clip of one packet-aligned file between the marks is made of: the head up to the
// first map, the point where the stretch may begin, and the stretch itself (the packets from
// there whose 8,192-byte block ends before the mark-out).
struct OneFileClip {
    int64_t head = -1;
    int64_t threshold = 0;
    Bytes stretch;
};

OneFileClip ClipOfOneFile(const Bytes& file, int64_t inPos, int64_t outPos) {
    OneFileClip c;
    const int64_t pat = FirstSectionAt(file, 0);
    if (pat < 0) {
        return c;
    }
    c.head = FirstSectionAt(file, test::MapPidOf(test::SectionOf(file.data() + pat)));
    c.threshold = std::max(inPos / kBlock * kBlock, c.head);
    const int64_t from = (c.threshold + kPacket - 1) / kPacket * kPacket;
    for (int64_t p = from; p + kPacket <= Size(file); p += kPacket) {
        const int64_t blockEnd = std::min((p + kPacket + kBlock - 1) / kBlock * kBlock, Size(file));
        if (blockEnd >= outPos) {
            break;
        }
        c.stretch.insert(c.stretch.end(), file.begin() + p, file.begin() + p + kPacket);
    }
    return c;
}

// Where the key pictures of `videoPid` begin in a packet-aligned file.
std::vector<int64_t> KeyPictureStarts(const Bytes& file, int videoPid) {
    std::vector<int64_t> starts;
    Bytes pes;
    int64_t start = -1;
    auto finish = [&] {
        if (start >= 0 && test::PictureKind(pes) == kKindVideoKey) {
            starts.push_back(start);
        }
    };
    for (int64_t p = 0; p + kPacket <= Size(file); p += kPacket) {
        const uint8_t* packet = file.data() + p;
        if (test::Pid(packet) != videoPid) {
            continue;
        }
        if (test::StartsUnit(packet)) {
            finish();
            pes.clear();
            start = p;
        }
        pes.insert(pes.end(), packet + test::PayloadStart(packet), packet + kPacket);
    }
    finish();
    return starts;
}

// The clip is the head, the tables in force where the stretch begins, then the stretch.
void ExpectHeadTablesAndStretch(const Bytes& clip, const Bytes& file, const OneFileClip& want) {
    ASSERT_GT(want.threshold, want.head) << "the stretch begins after the first map";
    ASSERT_EQ(Size(clip), want.head + 2 * kPacket + Size(want.stretch));
    EXPECT_TRUE(std::equal(file.begin(), file.begin() + want.head, clip.begin()));
    EXPECT_TRUE(
        std::equal(want.stretch.begin(), want.stretch.end(), clip.end() - Size(want.stretch)));
    const auto tables = clip.begin() + want.head;
    test::ExpectTablesInForce(Bytes(tables, tables + 2 * kPacket), file, want.head, want.threshold);
}

// Every packet of `pid` in the clip follows on from the one before it, or says it does not.
void ExpectContinuity(const Bytes& clip, int pid) {
    int last = -1;
    for (int64_t p = 0; p + kPacket <= Size(clip); p += kPacket) {
        const uint8_t* packet = clip.data() + p;
        if (test::Pid(packet) != pid) {
            continue;
        }
        const int counter = test::Counter(packet);
        if (last >= 0 && !test::DiscontinuityFlagged(packet)) {
            EXPECT_EQ(counter, (last + 1) % test::kCounterModulo)
                << "PID " << pid << " at clip byte " << p;
        }
        last = counter;
    }
}

test::ExportRun ExportClip(const std::string& source, int64_t inPos, int64_t outPos,
                           const std::string& target) {
    return test::RunExport(ClipRequest(target, source, inPos, source, outPos));
}

// The tables a look back from a position finds, with any size of read.
class TablesBackFrom : public ::testing::Test {
  protected:
    void SetUp() override {
        m.Add(test::PatPacket(kPmtPid));
        m.Add(test::PmtPacket(kPmtPid, {{0x1B, kVideoPid}, {0x0F, kAudioPid}}));
        m.Pictures(0, 29);
        repeatAt = Size(m.bytes);
        m.Add(test::PatPacket(kPmtPid));
        m.Add(test::PmtPacket(kPmtPid, {{0x1B, kVideoPid}, {0x0F, kAudioPid}}));
        m.Pictures(30, 59);
        damagedAt = Size(m.bytes);
        Bytes damaged = test::PmtPacket(kPmtPid, {{0x1B, 0x1400}}, 1);
        damaged[kPacket - 6] ^= 0x01;
        m.Add(damaged);
        m.Pictures(60, 89);
        movedAt = Size(m.bytes);
        m.Add(test::PatPacket(0x200, 1, 1));  // the program's map moves to PID 0x200
        m.Pictures(90, 99);
        movedMapAt = Size(m.bytes);
        m.Add(test::PmtPacket(0x200, {{0x1B, 0x1300}}));
        m.Pictures(100, 119, 0x1300);
        path = dir.File("TABLES_0001.ts");
        WriteBytes(path, m.bytes);
    }

    // What the export knows before the look back: the first tables and the head's counters.
    TablesInForce First() const {
        TablesInForce t;
        std::copy_n(m.bytes.begin(), kPacket, t.pat.table.bytes.begin());
        std::copy_n(m.bytes.begin() + kPacket, kPacket, t.pmt.table.bytes.begin());
        t.pat.table.found = t.pmt.table.found = true;
        t.pat.counter = 0;
        return t;
    }

    // The look back from `to` with reads of `readSize` bytes.
    TablesInForce Find(int64_t to, size_t readSize) const {
        TablesInForce t = First();
        UniqueFd fd(::open(path.c_str(), O_RDONLY));
        std::vector<uint8_t> buffer(readSize);
        const std::atomic<bool> running{true};
        EXPECT_EQ(FindTablesInForce(fd.Get(), kPacket, to, buffer, running, t), TableSearch::kDone);
        return t;
    }

    static Bytes Packet(const TablePacket& p) { return Bytes(p.bytes.begin(), p.bytes.end()); }
    Bytes At(int64_t offset) const {
        return Bytes(m.bytes.begin() + offset, m.bytes.begin() + offset + kPacket);
    }

    Muxed m;
    TempDir dir;
    std::string path;
    int64_t repeatAt = 0;
    int64_t damagedAt = 0;
    int64_t movedAt = 0;
    int64_t movedMapAt = 0;
};

TEST_F(TablesBackFrom, TheLastIntactTablesAndCountersBeforeThePositionWhateverTheReadSize) {
    for (const size_t readSize :
         {size_t{2 * kPacket}, size_t{3 * kPacket + 101}, size_t{10000}, size_t{1} << 20}) {
        SCOPED_TRACE(readSize);
        // Right before the repetition: the first tables, the map's packet the last of its PID.
        TablesInForce t = Find(repeatAt, readSize);
        EXPECT_TRUE(Packet(t.pat.table) == At(0));
        EXPECT_TRUE(Packet(t.pmt.table) == At(kPacket));
        EXPECT_EQ(t.pat.counter, 0);
        EXPECT_EQ(t.pmt.counter, 0);
        // After the damaged map: the repetition holds, the damaged packet still counts.
        t = Find(damagedAt + kPacket, readSize);
        EXPECT_TRUE(Packet(t.pat.table) == At(repeatAt));
        EXPECT_TRUE(Packet(t.pmt.table) == At(repeatAt + kPacket));
        EXPECT_EQ(t.pat.counter, 1);
        EXPECT_EQ(t.pmt.counter, 2);
        // The program has moved but its new map is not there yet: the old pair stays.
        t = Find(movedMapAt, readSize);
        EXPECT_TRUE(Packet(t.pat.table) == At(0));
        EXPECT_TRUE(Packet(t.pmt.table) == At(repeatAt + kPacket));
        EXPECT_EQ(t.pat.counter, 2);
        EXPECT_EQ(PsiOf(t).videoPid, kVideoPid);
        // Once it is: the moved program and its map.
        t = Find(Size(m.bytes), readSize);
        EXPECT_TRUE(Packet(t.pat.table) == At(movedAt));
        EXPECT_TRUE(Packet(t.pmt.table) == At(movedMapAt));
        EXPECT_EQ(t.pmt.counter, 0);
        EXPECT_EQ(PsiOf(t).videoPid, 0x1300);
    }
}

TEST(FreshTables, CounterFlagAndCrcAsTheClipNeedsThem) {
    TableTrack map;
    Bytes pmt = test::PmtPacket(kPmtPid, {{0x1B, kVideoPid}});
    pmt[kPacket - 1] ^= 0xFF;  // a CRC the source got wrong is worked out afresh
    std::copy(pmt.begin(), pmt.end(), map.table.bytes.begin());
    map.table.found = true;
    map.counter = 7;
    const auto sectionOf = [](const TsPacketBytes& p) { return test::SectionOf(p.data()); };

    TsPacketBytes fresh = FreshTablePacket(map, 6, kNoPid);
    EXPECT_EQ(fresh[3], 0x17) << "follows on: payload only, counter 7";
    EXPECT_EQ(Crc32Mpeg2(sectionOf(fresh).data(), sectionOf(fresh).size()), 0u);
    fresh = FreshTablePacket(map, kNoCounter, kNoPid);
    EXPECT_FALSE(test::DiscontinuityFlagged(fresh.data())) << "nothing before it to follow";
    fresh = FreshTablePacket(map, 2, kNoPid);
    EXPECT_TRUE(test::DiscontinuityFlagged(fresh.data()));
    EXPECT_EQ(test::Counter(fresh.data()), 7);
    EXPECT_EQ(Crc32Mpeg2(sectionOf(fresh).data(), sectionOf(fresh).size()), 0u);
    fresh = FreshTablePacket(map, 2, kPmtPid);
    EXPECT_FALSE(test::DiscontinuityFlagged(fresh.data())) << "not on the clock's PID";

    // A map that fills its packet leaves no room for the flag and is written whole.
    Bytes body = {0x00, 0x01, test::VersionByte(0, true), 0x00, 0x00, 0xF0, 0x11, 0xF0, 0x02,
                  0x05, 0x00};
    for (int i = 0; i < 33; ++i) {
        const int pid = 0x1500 + i;
        body.insert(body.end(), {0x06, static_cast<uint8_t>(0xE0 | (pid >> 8)),
                                 static_cast<uint8_t>(pid), 0xF0, 0x00});
    }
    const Bytes full = test::Section(0x02, body);
    ASSERT_EQ(full.size(), size_t{kPacket - 4});  // pointer field and a 183-byte section
    const Bytes packet = test::Packet(kPmtPid, true, full.data(), full.size());
    std::copy(packet.begin(), packet.end(), map.table.bytes.begin());
    fresh = FreshTablePacket(map, 2, kNoPid);
    EXPECT_FALSE(test::DiscontinuityFlagged(fresh.data()));
    EXPECT_TRUE(sectionOf(fresh) == Bytes(full.begin() + 1, full.end()));
}

TEST(ClipTables, AStreamThatSendsItsMapOnceGivesAClipThatPlaysFromItsFirstKeyPicture) {
    Muxed m;
    m.Add(test::PatPacket(kPmtPid));
    m.Add(test::PmtPacket(kPmtPid, {{0x1B, kVideoPid}, {0x0F, kAudioPid}}));
    m.Pictures(0, 119);
    TempDir dir;
    const std::string source = dir.File("ONCE_0001.ts");
    WriteBytes(source, m.bytes);
    const int64_t inPos = 100000;
    const int64_t outPos = Size(m.bytes) - 40000;

    const std::string clipPath = dir.File("once.ts");
    const test::ExportRun run = ExportClip(source, inPos, outPos, clipPath);
    ASSERT_EQ(run.outcome.end, ExportEnd::kFinished) << run.outcome.reason;
    const Bytes clip = ReadBytes(clipPath);
    const OneFileClip want = ClipOfOneFile(m.bytes, inPos, outPos);
    ExpectHeadTablesAndStretch(clip, m.bytes, want);
    EXPECT_GT(test::ExpectClipPlays(clipPath, want.stretch, kVideoPid), 2u * kGop);
    // Another player finds the streams too.
    const std::vector<test::StreamFields> streams = test::ProbeStreams(clipPath);
    ASSERT_EQ(streams.size(), 2u);
    ASSERT_TRUE(streams[0].count("codec_name"));
    EXPECT_EQ(streams[0].at("codec_name"), "h264");
}

TEST(ClipTables, TheMapInForceAtTheMarkInOpensTheClipAndALaterVersionInItIsFollowed) {
    // Sound only at first; the video is announced once, by a second version of the map.
    Muxed m;
    m.Add(test::PatPacket(kPmtPid));
    m.Add(test::PmtPacket(kPmtPid, {{0x0F, kAudioPid}}, 0));
    m.Pictures(0, 59);
    const int64_t secondMap = Size(m.bytes);
    m.Add(test::PmtPacket(kPmtPid, {{0x1B, kVideoPid}, {0x0F, kAudioPid}}, 1));
    m.Pictures(60, 149);
    TempDir dir;
    const std::string source = dir.File("VERS_0001.ts");
    WriteBytes(source, m.bytes);
    const int64_t outPos = Size(m.bytes) - 30000;

    // From after the second version: the clip opens with it.
    const std::string after = dir.File("after.ts");
    const int64_t inAfter = secondMap + 3 * kBlock;
    ASSERT_EQ(ExportClip(source, inAfter, outPos, after).outcome.end, ExportEnd::kFinished);
    const OneFileClip wantAfter = ClipOfOneFile(m.bytes, inAfter, outPos);
    ExpectHeadTablesAndStretch(ReadBytes(after), m.bytes, wantAfter);
    EXPECT_GT(test::ExpectClipPlays(after, wantAfter.stretch, kVideoPid), 2u * kGop);

    // From before it: the clip opens with the first version and follows the second, from
    // where it comes on.
    const std::string before = dir.File("before.ts");
    const int64_t inBefore = secondMap / 2;
    ASSERT_EQ(ExportClip(source, inBefore, outPos, before).outcome.end, ExportEnd::kFinished);
    const OneFileClip wantBefore = ClipOfOneFile(m.bytes, inBefore, outPos);
    ExpectHeadTablesAndStretch(ReadBytes(before), m.bytes, wantBefore);
    const int64_t announced = secondMap - (wantBefore.threshold + kPacket - 1) / kPacket * kPacket;
    ASSERT_GT(announced, 0);
    const Bytes announcedPart(wantBefore.stretch.begin() + announced, wantBefore.stretch.end());
    const size_t pictures = test::PicturesFromFirstKey(announcedPart, kVideoPid);
    EXPECT_GT(pictures, 2u * kGop);
    EXPECT_EQ(test::PlayClip(before).size(), pictures);

    // An AVI clip follows the map the same way.
    const test::ExportRun avi =
        test::RunExport(ClipRequest(dir.File("before.avi"), source, inBefore, source, outPos));
    ASSERT_EQ(avi.outcome.end, ExportEnd::kFinished) << avi.outcome.reason;
    EXPECT_GT(static_cast<size_t>(avi.counters.videoFrames), 2u * kGop);
    EXPECT_LE(static_cast<size_t>(avi.counters.videoFrames), pictures + 1);
}

TEST(ClipTables, CameraLikeCardsKeepTheCountersOfTheirTablePidsGoing) {
    TempDir card;
    const RecordingResult rec = WriteRecording(test::SmallCard(card, 1, 4));
    ASSERT_TRUE(rec.ok) << rec.error;
    const Bytes file = ReadBytes(rec.files[0]);
    TempDir out;
    for (const int64_t inPos : {int64_t{30000}, Size(file) / 2 + 777}) {
        SCOPED_TRACE(inPos);
        const std::string clipPath = out.File("camera.ts");
        const int64_t outPos = Size(file) - 5000;
        ASSERT_EQ(ExportClip(rec.files[0], inPos, outPos, clipPath).outcome.end,
                  ExportEnd::kFinished);
        const Bytes clip = ReadBytes(clipPath);
        const OneFileClip want = ClipOfOneFile(file, inPos, outPos);
        ExpectHeadTablesAndStretch(clip, file, want);
        ExpectContinuity(clip, 0);
        ExpectContinuity(clip, kPmtPid);
        EXPECT_GT(test::ExpectClipPlays(clipPath, want.stretch, kVideoPid), 0u);
    }
}

TEST(ClipTables, ThirdPartyRecordingsGiveClipsThatPlayTheirPictures) {
    // One that sends its map once, and two that repeat it, one with its sound first. Each is
    // cut from a little before a key picture well inside it.
    int played = 0;
    for (const char* name :
         {"ts/tsduck-test/test-072.ts", "ts/lpms/bad-cuvid.ts", "ts/tsduck-test/test-064.ts"}) {
        SCOPED_TRACE(name);
        const Bytes file = ReadBytes(kDataDir / name);
        ASSERT_EQ(Size(file) % kPacket, 0) << "packet-aligned from its first byte";
        const int64_t pat = FirstSectionAt(file, 0);
        ASSERT_GE(pat, 0);
        const int mapPid = test::MapPidOf(test::SectionOf(file.data() + pat));
        const int64_t map = FirstSectionAt(file, mapPid);
        ASSERT_GE(map, 0);
        const int videoPid = test::StreamPidOf(test::SectionOf(file.data() + map), 0x1B);
        ASSERT_GT(videoPid, 0);

        const std::vector<int64_t> keys = KeyPictureStarts(file, videoPid);
        ASSERT_GE(keys.size(), 2u);
        const int64_t key = keys.back() > Size(file) / 3 ? keys.back() : keys[keys.size() / 2];
        const int64_t inPos = key - 5 * kBlock - 1234;
        const int64_t outPos = std::min(Size(file), key + 300000);
        ASSERT_GT(inPos, map + kBlock);

        TempDir out;
        const std::string clipPath = out.File("real.ts");
        const test::ExportRun run = ExportClip((kDataDir / name).string(), inPos, outPos, clipPath);
        ASSERT_EQ(run.outcome.end, ExportEnd::kFinished) << run.outcome.reason;
        const OneFileClip want = ClipOfOneFile(file, inPos, outPos);
        ExpectHeadTablesAndStretch(ReadBytes(clipPath), file, want);
        EXPECT_GT(test::ExpectClipPlays(clipPath, want.stretch, videoPid), 0u);
        ++played;
    }
    EXPECT_EQ(played, 3);
}

}  // namespace
}  // namespace velmaro
