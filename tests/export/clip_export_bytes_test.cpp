// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Transport stream clips pinned byte for byte on damaged recordings. The expected clip is worked
// out here over whole files, byte by byte, from the rules the export follows:
//   - the head is the mark-in file up to its first program map packet;
//   - a stretch that does not begin at that packet is preceded by the PAT and PMT in force
//     where it begins, written afresh (checked for what they say, not byte for byte);
//   - a packet is a sync byte with another one 188 bytes on, or with the end of the file right
//     after it; anywhere else the scan moves on by one byte, so garbage is dropped and so is the
//     packet right before it;
//   - a packet belongs to the 8,192-byte block that holds its last byte, blocks counted from the
//     block of the mark-in (or of the program map packet, if later) and from the start of every
//     later file; it is copied when its block lies in range and it starts at or after that point;
//   - the export ends at the first block past the mark-out, or at the end of the mark-out file.
// The export reads many blocks at a time and writes whole runs of packets at once; none of
// that may change a byte. The cards are built so that no packet ends exactly where one of those
// reads ends (checked below), the one place where the export's reads show through: there a
// packet is taken when the one before it was, whatever follows it.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "export/clip_export.h"
#include "stream/ts_builder.h"
#include "tests/export/clip_checks.h"
#include "tests/export/export_support.h"
#include "tests/test_support.h"
#include "tools/make_recording/recording_writer.h"

namespace velmaro {
namespace {

using test::Bytes;
using test::ClipRequest;
using test::kAudioPid;
using test::kBlock;
using test::kPacket;
using test::kPmtPid;
using test::kVideoPid;
using test::NamesIn;
using test::Pid;
using test::ReadBytes;
using test::SmallCard;
using test::TempDir;
using test::WriteBytes;

// The export reads this much at a time from the start of its walk through a file.
constexpr int64_t kReadStep = 32 * kBlock;

int64_t BlockFloor(int64_t v) {
    return v / kBlock * kBlock;
}
int64_t BlockCeil(int64_t v) {
    return (v + kBlock - 1) / kBlock * kBlock;
}
int64_t Size(const Bytes& b) {
    return static_cast<int64_t>(b.size());
}

bool PacketAt(const Bytes& file, int64_t p) {
    if (p + kPacket > Size(file) || file[p] != kTsSyncByte) {
        return false;
    }
    return p + kPacket == Size(file) || file[p + kPacket] == kTsSyncByte;
}

// The files from the mark-in file to the mark-out file, in order; one file when both marks lie
// in it. Empty when no whole packet lies between the marks.
struct Stretch {
    std::vector<Bytes> files;
    int64_t inPos = 0;
    int64_t outPos = 0;
};

// Where each file's walk starts: the block of the mark-in or of the program map packet in the
// mark-in file, the start of any later one.
std::vector<int64_t> WalkStarts(const Stretch& s, int64_t* head, int64_t* threshold) {
    const Bytes& first = s.files.front();
    *head = -1;
    for (int64_t p = 0; p + kPacket <= Size(first);) {
        if (!PacketAt(first, p)) {
            ++p;
            continue;
        }
        if (Pid(first.data() + p) == kPmtPid) {
            *head = p;
            break;
        }
        p += kPacket;
    }
    *threshold = std::max(BlockFloor(s.inPos), *head);
    std::vector<int64_t> starts(s.files.size(), 0);
    starts[0] = BlockFloor(*threshold);
    return starts;
}

// The clip the rules select, apart from the tables written in front of its stretch.
struct ExpectedParts {
    Bytes head;
    Bytes stretch;
    int64_t threshold = 0;  // where the stretch may begin
    bool TablesWritten() const { return threshold > Size(head); }
    bool Empty() const { return stretch.empty(); }
};

ExpectedParts ExpectedClip(const Stretch& s) {
    int64_t head = 0;
    int64_t threshold = 0;
    const std::vector<int64_t> starts = WalkStarts(s, &head, &threshold);
    if (head < 0) {
        return {};
    }
    ExpectedParts parts{
        Bytes(s.files.front().begin(), s.files.front().begin() + head), {}, threshold};
    Bytes& clip = parts.stretch;
    bool any = false;
    for (size_t i = 0; i < s.files.size(); ++i) {
        const Bytes& file = s.files[i];
        const bool isIn = i == 0;
        const bool isOut = i + 1 == s.files.size();
        for (int64_t p = starts[i]; p + kPacket <= Size(file);) {
            if (!PacketAt(file, p)) {
                ++p;
                continue;
            }
            const int64_t blockEnd = std::min(BlockCeil(p + kPacket), Size(file));
            const bool outAtEnd = isOut && s.outPos >= Size(file);  // the file is taken whole
            if (isOut && blockEnd > s.outPos && !outAtEnd) {
                return any ? parts : ExpectedParts{};  // the first block past the mark-out
            }
            const bool afterIn = !isIn || blockEnd > s.inPos;
            const bool beforeOut = !isOut || blockEnd < s.outPos || outAtEnd;
            if (afterIn && beforeOut && p >= (isIn ? threshold : 0)) {
                clip.insert(clip.end(), file.begin() + p, file.begin() + p + kPacket);
                any = true;
            }
            p += kPacket;
        }
    }
    return any ? parts : ExpectedParts{};
}

// The saved clip is the expected head, the tables in force where the stretch begins when it
// does not begin with the first map, and the expected stretch.
void ExpectClipBytes(const Bytes& clip, const ExpectedParts& want, const Bytes& markInFile) {
    const size_t tables = want.TablesWritten() ? 2 * kPacket : 0;
    ASSERT_EQ(clip.size(), want.head.size() + tables + want.stretch.size());
    EXPECT_TRUE(std::equal(want.head.begin(), want.head.end(), clip.begin()));
    const Bytes clipStretch(clip.end() - static_cast<ptrdiff_t>(want.stretch.size()), clip.end());
    EXPECT_TRUE(test::WithoutClocks(clipStretch) == test::WithoutClocks(want.stretch));
    if (tables > 0) {
        const auto at = clip.begin() + static_cast<ptrdiff_t>(want.head.size());
        test::ExpectTablesInForce(Bytes(at, at + static_cast<ptrdiff_t>(tables)), markInFile,
                                  Size(want.head), want.threshold);
    }
}

// The cards must not hold a packet that ends exactly where a read step of the export ends and
// is followed by anything but a sync byte, nor a mark-out in the block after a read step (see
// the top of the file).
void ExpectNoPacketEndsAtAReadStep(const Stretch& s) {
    int64_t head = 0;
    int64_t threshold = 0;
    const std::vector<int64_t> starts = WalkStarts(s, &head, &threshold);
    for (size_t i = 0; i < s.files.size(); ++i) {
        const Bytes& file = s.files[i];
        for (int64_t g = starts[i] + kReadStep; g < Size(file); g += kReadStep) {
            ASSERT_FALSE(file[g - kPacket] == kTsSyncByte && file[g] != kTsSyncByte)
                << "file " << i << " holds a packet ending at the read step " << g;
            ASSERT_FALSE(i + 1 == s.files.size() && g < s.outPos && s.outPos <= g + kBlock)
                << "the mark-out lies in the block after the read step " << g;
        }
    }
}

// An export run to its end, with the clip it saved.
struct SavedClip : test::ExportRun {
    Bytes clip;
};

SavedClip Export(const ExportRequest& request) {
    SavedClip run{test::RunExport(request), {}};
    if (run.outcome.end == ExportEnd::kFinished) {
        run.clip = ReadBytes(request.outputPath);
    }
    return run;
}

// Damage put into a hand-built file just before one of its packets.
struct Damage {
    enum Kind {
        kGarbage,    // a run of bytes that are never a sync byte
        kLostSync,   // the packet's sync byte is overwritten
        kCut,        // only the first `length` bytes of the packet are there
        kFalseSync,  // garbage holding a sync byte 188 bytes before the next real packet
        kStraySync,  // garbage that starts with a sync byte
    };
    int64_t packet;
    Kind kind;
    size_t length;
};

// A camera-like file: PAT and PMT, then video packets whose payloads differ from file to file
// and packet to packet, every 20th beginning a picture (every 100th a key picture); optionally
// cut short in the middle of a packet at the end.
Bytes BuildFile(uint32_t seed, int64_t packets, std::vector<Damage> damage, size_t cutEnd = 0) {
    std::mt19937 rng(seed);
    Bytes file;
    auto append = [&file](const Bytes& b) { file.insert(file.end(), b.begin(), b.end()); };
    append(test::PatPacket(kPmtPid));
    append(test::PmtPacket(kPmtPid, {{0x1B, kVideoPid}, {0x0F, kAudioPid}}));
    auto junk = [&rng](size_t length) {
        Bytes g(length);
        for (uint8_t& b : g) {
            do {
                b = static_cast<uint8_t>(rng());
            } while (b == kTsSyncByte);
        }
        return g;
    };
    std::sort(damage.begin(), damage.end(),
              [](const Damage& a, const Damage& b) { return a.packet < b.packet; });
    size_t next = 0;
    for (int64_t k = 0; k < packets; ++k) {
        Bytes payload(kPacket - 4);
        for (uint8_t& b : payload) {
            b = static_cast<uint8_t>(rng());
        }
        const bool starts = k % 20 == 0;
        if (starts) {  // a PES header and the first units of an access unit
            const int64_t time = k * 3000;
            const Bytes pes = test::Pes(0xE0, test::AccessUnit(k % 100 == 0, 150), time, time);
            std::copy_n(pes.begin(), std::min(pes.size(), payload.size()), payload.begin());
        }
        Bytes packet = test::Packet(kVideoPid, starts, payload.data(), payload.size());
        for (; next < damage.size() && damage[next].packet == k; ++next) {
            const Damage& d = damage[next];
            switch (d.kind) {
                case Damage::kGarbage:
                    append(junk(d.length));
                    break;
                case Damage::kLostSync:
                    packet[0] = 0x00;
                    break;
                case Damage::kCut:
                    packet.resize(d.length);
                    break;
                case Damage::kFalseSync: {
                    Bytes g = junk(std::max<size_t>(d.length, kPacket + 1));
                    g[g.size() - kPacket] = kTsSyncByte;
                    append(g);
                    break;
                }
                case Damage::kStraySync: {
                    Bytes g = junk(d.length);
                    g[0] = kTsSyncByte;
                    append(g);
                    break;
                }
            }
        }
        append(packet);
    }
    if (cutEnd > 0) {
        file.resize(file.size() - cutEnd);
    }
    return file;
}

// Three files: 3 MB, 10.5 MB and 1.7 MB cut off in the middle of a packet, each damaged in
// several ways: garbage of many lengths, lost sync bytes, cut packets, false and stray sync bytes.
class DamagedCard : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        card_ = std::make_unique<TempDir>();
        files_.push_back(BuildFile(1, 16000,
                                   {{900, Damage::kGarbage, 77},
                                    {2500, Damage::kLostSync, 0},
                                    {4100, Damage::kFalseSync, 250},
                                    {7000, Damage::kCut, 100},
                                    {7001, Damage::kGarbage, 3},
                                    {11000, Damage::kStraySync, 40},
                                    {15990, Damage::kGarbage, 300}}));
        files_.push_back(BuildFile(2, 56000,
                                   {{10, Damage::kGarbage, 1},
                                    {1400, Damage::kLostSync, 0},
                                    {20000, Damage::kGarbage, 188},
                                    {44600, Damage::kGarbage, 5},
                                    {44622, Damage::kLostSync, 0},
                                    {44700, Damage::kFalseSync, 189},
                                    {50000, Damage::kCut, 187}}));
        files_.push_back(
            BuildFile(3, 9000, {{3000, Damage::kGarbage, 150}, {6000, Damage::kStraySync, 1}}, 97));
        for (size_t i = 0; i < files_.size(); ++i) {
            paths_.push_back(card_->File("CLIP_000" + std::to_string(i + 1) + ".ts"));
            WriteBytes(paths_[i], files_[i]);
        }
    }
    static void TearDownTestSuite() {
        files_.clear();
        paths_.clear();
        card_.reset();
    }

    // Exports from file `in` to file `out` (0-based), flushed and not, and checks both clips
    // against the one the rules select; a selection without a key picture saves nothing.
    void ExpectClip(size_t in, int64_t inPos, size_t out, int64_t outPos) {
        Stretch s;
        s.files.assign(files_.begin() + static_cast<ptrdiff_t>(in),
                       files_.begin() + static_cast<ptrdiff_t>(out) + 1);
        s.inPos = inPos;
        s.outPos = outPos;
        ExpectNoPacketEndsAtAReadStep(s);
        const ExpectedParts expected = ExpectedClip(s);
        ASSERT_FALSE(expected.Empty());
        const std::string target = out_.File("clip.ts");
        const bool decodable = test::PicturesFromFirstKey(expected.stretch, kVideoPid) > 0;
        std::filesystem::remove(target);  // an earlier case's clip
        for (const bool sync : {true, false}) {
            SCOPED_TRACE(sync ? "flushed" : "not flushed");
            const SavedClip run =
                Export(ClipRequest(target, paths_[in], inPos, paths_[out], outPos, sync));
            if (!decodable) {
                EXPECT_EQ(run.outcome.reason, kNoPictureReason);
                EXPECT_FALSE(std::filesystem::exists(target));
                continue;
            }
            ASSERT_EQ(run.outcome.end, ExportEnd::kFinished) << run.outcome.reason;
            ExpectClipBytes(run.clip, expected, files_[in]);
            EXPECT_EQ(run.bytesDone, run.bytesToDo);
            EXPECT_EQ(NamesIn(out_.path()), std::vector<std::string>{"clip.ts"});
        }
        if (decodable) {
            test::ExpectClipPlays(target, expected.stretch, kVideoPid);
        }
    }

    static std::unique_ptr<TempDir> card_;
    static std::vector<Bytes> files_;
    static std::vector<std::string> paths_;
    TempDir out_;
};

std::unique_ptr<TempDir> DamagedCard::card_;
std::vector<Bytes> DamagedCard::files_;
std::vector<std::string> DamagedCard::paths_;

TEST_F(DamagedCard, ClipAcrossAllFilesWithMarksInTheMiddle) {
    ExpectClip(0, 1234567, 2, 987654);
}

TEST_F(DamagedCard, ClipFromTheStartOfAFileToTheCutEndOfTheLast) {
    // The mark-out at the end of the last file takes it to its last packet; one byte before
    // the end leaves its last, partial block out.
    ExpectClip(0, 0, 2, Size(files_[2]));
    ExpectClip(1, 0, 2, Size(files_[2]) - 1);
}

TEST_F(DamagedCard, MarksInOneFileAroundDamage) {
    ExpectClip(1, (int64_t{8} << 20) - 5000, 1, (int64_t{8} << 20) + 300000);
    ExpectClip(1, 44590 * kPacket, 1, 44710 * kPacket);
}

TEST_F(DamagedCard, MarksOnBlockBoundaries) {
    // A block that ends at the mark-out is not taken; the block a mark-in starts is.
    ExpectClip(0, 40 * kBlock, 1, 100 * kBlock);
    ExpectClip(1, 99 * kBlock, 1, 100 * kBlock + 1);
    ExpectClip(1, 1000 * kBlock - 1, 2, 7 * kBlock);
}

TEST_F(DamagedCard, ProgressClimbsToTheWholeAmount) {
    const SavedClip run = Export(
        ClipRequest(out_.File("progress.ts"), paths_[0], 100000, paths_[2], Size(files_[2]) / 2));
    ASSERT_EQ(run.outcome.end, ExportEnd::kFinished) << run.outcome.reason;
    // Reported in steps small enough to move a progress bar through a 14 MB clip.
    EXPECT_GE(run.progress.size(), 4u);
    int64_t last = 0;
    for (const auto& [done, toDo] : run.progress) {
        EXPECT_GE(done, last);
        EXPECT_LE(done, toDo);
        EXPECT_EQ(toDo, run.bytesToDo);
        last = done;
    }
    EXPECT_EQ(run.bytesDone, run.bytesToDo);
    EXPECT_EQ(run.bytesToDo,
              Size(files_[0]) - BlockFloor(100000) + Size(files_[1]) + Size(files_[2]) / 2);
}

TEST_F(DamagedCard, AFileThatTurnsToGarbageGivesOnlyItsPacketsOrNothing) {
    // The tables and `pictures` packets, then three megabytes without a sync byte.
    TempDir card;
    auto junkFile = [](int64_t packets) {
        Bytes file = BuildFile(9, packets, {});
        std::mt19937 rng(5);
        for (int i = 0; i < 3 * 1024 * 1024; ++i) {
            const auto b = static_cast<uint8_t>(rng());
            file.push_back(b == kTsSyncByte ? 0 : b);
        }
        return file;
    };
    const Bytes file = junkFile(2);
    const std::string path = card.File("JUNK_0001.ts");
    WriteBytes(path, file);
    // From the start: the head (the PAT), the program map packet and the packet that begins a
    // picture; the packet after it is followed by garbage and dropped.
    const SavedClip whole = Export(ClipRequest(out_.File("junk.ts"), path, 0, path, Size(file)));
    ASSERT_EQ(whole.outcome.end, ExportEnd::kFinished) << whole.outcome.reason;
    EXPECT_TRUE(whole.clip == Bytes(file.begin(), file.begin() + 3 * kPacket));
    const ExpectedParts expected = ExpectedClip({{file}, 0, Size(file)});
    EXPECT_FALSE(expected.TablesWritten());
    ExpectClipBytes(whole.clip, expected, file);
    // From past the tables: nothing lies between the marks and nothing is saved.
    const SavedClip none =
        Export(ClipRequest(out_.File("none.ts"), path, 100000, path, Size(file)));
    EXPECT_EQ(none.outcome.end, ExportEnd::kFailed);
    // Only the tables survive the garbage: whole packets, but no picture, and nothing saved.
    const Bytes tablesOnly = junkFile(1);
    WriteBytes(path, tablesOnly);
    const SavedClip noPicture =
        Export(ClipRequest(out_.File("tables.ts"), path, 0, path, Size(tablesOnly)));
    EXPECT_EQ(noPicture.outcome.end, ExportEnd::kFailed);
    EXPECT_EQ(noPicture.outcome.reason, kNoPictureReason);
    EXPECT_EQ(NamesIn(out_.path()), std::vector<std::string>{"junk.ts"});
}

// A generated card with the generator's damage (garbage runs between packets, the last file
// cut in a packet), exported as TS and as AVI with and without the flush.
TEST(ClipBytesGenerated, GarbageAndACutLastFileGiveTheSelectedPacketsFlushedOrNot) {
    TempDir card;
    RecordingOptions options = SmallCard(card, 4, 2);
    options.garbage = true;
    options.truncateLast = true;
    options.seed = 4;
    const RecordingResult rec = WriteRecording(options);
    ASSERT_TRUE(rec.ok) << rec.error;
    std::vector<Bytes> files;
    for (const std::string& f : rec.files) {
        files.push_back(ReadBytes(f));
    }
    TempDir out;
    struct Case {
        size_t in;
        int64_t inPos;
        size_t out;
        int64_t outPos;
    };
    for (const Case& c : {Case{0, Size(files[0]) / 3 + 77, 3, Size(files[3])},
                          Case{1, 5 * kBlock + 1, 3, Size(files[3]) / 2},
                          Case{2, 1000, 2, Size(files[2]) - 20000}}) {
        Stretch s;
        s.files.assign(files.begin() + static_cast<ptrdiff_t>(c.in),
                       files.begin() + static_cast<ptrdiff_t>(c.out) + 1);
        s.inPos = c.inPos;
        s.outPos = c.outPos;
        ExpectNoPacketEndsAtAReadStep(s);
        const ExpectedParts expected = ExpectedClip(s);
        ASSERT_FALSE(expected.Empty());
        for (const bool sync : {true, false}) {
            SCOPED_TRACE("from file " + std::to_string(c.in) + " to " + std::to_string(c.out) +
                         (sync ? ", flushed" : ""));
            const SavedClip run = Export(ClipRequest(out.File("gen.ts"), rec.files[c.in], c.inPos,
                                                     rec.files[c.out], c.outPos, sync));
            ASSERT_EQ(run.outcome.end, ExportEnd::kFinished) << run.outcome.reason;
            ExpectClipBytes(run.clip, expected, files[c.in]);
        }
        EXPECT_GT(test::ExpectClipPlays(out.File("gen.ts"), expected.stretch, kVideoPid), 0u);
    }
    const ExportRequest avi =
        ClipRequest(out.File("gen.avi"), rec.files[0], 3000, rec.files[3], Size(files[3]));
    ExportRequest aviNoSync = avi;
    aviNoSync.syncBeforeRename = false;
    const SavedClip flushed = Export(avi);
    const SavedClip unflushed = Export(aviNoSync);
    ASSERT_EQ(flushed.outcome.end, ExportEnd::kFinished) << flushed.outcome.reason;
    ASSERT_EQ(unflushed.outcome.end, ExportEnd::kFinished) << unflushed.outcome.reason;
    EXPECT_GT(flushed.clip.size(), size_t{kAviHeaderBytes});
    EXPECT_TRUE(flushed.clip == unflushed.clip);
}

}  // namespace
}  // namespace velmaro
