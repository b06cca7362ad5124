// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <future>
#include <map>
#include <thread>

#include "reader_harness.h"
#include "stream/channel_controls.h"
#include "stream/recording_files.h"
#include "tests/stream/ts_builder.h"
#include "tests/test_support.h"
#include "tools/make_recording/recording_writer.h"

namespace velmaro {
namespace {

using test::Delivered;
using test::ReaderHarness;

constexpr int kGop = 15;
constexpr double kFrameTime = 1.0 / 30;

class TempCard {
  public:
    explicit TempCard(RecordingOptions options) {
        options.outRoot = dir_.path();
        result = WriteRecording(options);
    }
    RecordingResult result;

  private:
    test::TempDir dir_;
};

RecordingOptions SmallCard(int files = 3, int seconds = 2) {
    RecordingOptions o;
    o.files = files;
    o.secondsPerFile = seconds;
    o.width = 320;
    o.height = 240;
    o.gop = kGop;
    return o;
}

// The frames a file holds, as the generator wrote them.
std::vector<Delivered> Written(const FileStats& stats) {
    std::vector<Delivered> frames;
    for (int i = 0; i < stats.videoFrames; ++i) {
        frames.push_back({i % kGop == 0 ? kKindVideoKey : kKindVideoInter,
                          (stats.firstVideoPts + i * 3000) / 90000.0, 1, 0});
    }
    return frames;
}

void ExpectSameFrames(const std::vector<Delivered>& got, const std::vector<Delivered>& want) {
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); ++i) {
        ASSERT_EQ(got[i].kind, want[i].kind) << "frame " << i;
        ASSERT_NEAR(got[i].pts, want[i].pts, 1e-6) << "frame " << i;
    }
}

class ReaderOnCard : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { card = new TempCard(SmallCard()); }
    static void TearDownTestSuite() {
        delete card;
        card = nullptr;
    }
    const RecordingResult& rec() { return card->result; }
    static TempCard* card;
};
TempCard* ReaderOnCard::card = nullptr;

TEST_F(ReaderOnCard, ForwardDeliversEveryFrameOfEveryFileInOrderThenIdles) {
    ASSERT_TRUE(rec().ok) << rec().error;
    ReaderHarness h;
    ASSERT_TRUE(h.Start(rec().files[0]));
    ASSERT_TRUE(h.WaitUntilIdle());

    std::vector<Delivered> want;
    size_t audio = 0;
    size_t texts = 0;
    for (const FileStats& s : rec().stats) {
        for (const Delivered& d : Written(s)) {
            want.push_back(d);
        }
        audio += s.audioFrames;
        texts += s.telemetry.size();
    }
    // At the end of the last file its last PES of each stream is complete as it stands.
    ExpectSameFrames(h.VideoSince(0), want);
    for (const Delivered& d : h.VideoSince(0)) {
        ASSERT_EQ(d.order, 1);
    }
    EXPECT_EQ(h.AudioCount(), audio);
    std::lock_guard guard(h.lock);
    ASSERT_EQ(h.main.texts.size(), texts);
    size_t i = 0;
    for (const FileStats& s : rec().stats) {
        for (const std::string& t : s.telemetry) {
            if (i < h.main.texts.size()) {
                EXPECT_EQ(h.main.texts[i++], t);
            }
        }
    }
    EXPECT_TRUE(h.main.resetMarks.empty()) << "file switches at the ends are not resets";
    EXPECT_GT(h.panel.Count(kMsgPosition), 0u);
    EXPECT_EQ(h.reader.CurrentPath(), rec().files[2]);
}

TEST_F(ReaderOnCard, NoAudioIsQueuedWhileSoundIsOff) {
    ReaderHarness h;
    h.controls.audioEnabled = false;
    ASSERT_TRUE(h.Start(rec().files[0]));
    ASSERT_TRUE(h.WaitUntilIdle());
    EXPECT_EQ(h.AudioCount(), 0u);
    EXPECT_GT(h.VideoCount(), 100u);
}

// Backward delivery from the end of the last file: complete groups of pictures, each in
// forward order, the groups going back in time across the files; no sound, no telemetry.
TEST_F(ReaderOnCard, BackwardDeliversWholeGroupsInReverseAcrossFiles) {
    ReaderHarness h;
    ASSERT_TRUE(h.Start(rec().files[0]));
    ASSERT_TRUE(h.WaitUntilIdle());
    const size_t audioBefore = h.AudioCount();
    const size_t textsBefore = h.main.Count(kMsgTelemetry);
    h.controls.playMode = kPlayBackward;
    ASSERT_EQ(h.reader.SetDirection(true), 1);
    ASSERT_TRUE(h.WaitUntilIdle());
    ASSERT_EQ(h.Resets(), 1u);
    const std::vector<Delivered> got = h.VideoSince(h.LastResetMark());
    EXPECT_EQ(h.AudioCount(), audioBefore);
    EXPECT_EQ(h.main.Count(kMsgTelemetry), textsBefore);

    // Every group the card holds, each file's first included, from the last file's last group
    // back to the first file's first.
    std::vector<std::vector<Delivered>> wantGroups;
    for (auto s = rec().stats.rbegin(); s != rec().stats.rend(); ++s) {
        const std::vector<Delivered> frames = Written(*s);
        for (int g = static_cast<int>(frames.size()) / kGop - 1; g >= 0; --g) {
            wantGroups.emplace_back(frames.begin() + g * kGop, frames.begin() + (g + 1) * kGop);
        }
    }
    std::vector<Delivered> want;
    for (const auto& group : wantGroups) {
        want.insert(want.end(), group.begin(), group.end());
    }
    ExpectSameFrames(got, want);
    for (const Delivered& d : got) {
        ASSERT_EQ(d.order, -kPlayBackward);
    }
    EXPECT_EQ(h.reader.CurrentPath(), rec().files[0]) << "went back into the first file";
}

TEST_F(ReaderOnCard, SeekPreviousNextAndSwitchEachResetOnceAndGoOnFromTheRightPlace) {
    ReaderHarness h;
    ASSERT_TRUE(h.Start(rec().files[0]));
    ASSERT_TRUE(h.WaitUntilIdle());
    const std::vector<FileStats>& s = rec().stats;

    // Seek to the middle of the last file: the next frame is a key frame from its second half.
    h.reader.seeks.Post(SeekRequest::To(h.reader.FileSize() / 2));
    ASSERT_TRUE(h.WaitUntilIdle());
    ASSERT_EQ(h.Resets(), 1u);
    std::vector<Delivered> got = h.VideoSince(h.LastResetMark());
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(got.front().kind, kKindVideoKey);
    EXPECT_GT(got.front().pts, 1.5);
    EXPECT_NEAR(got.back().pts, s[2].lastVideoPts / 90000.0, 1e-6);

    // Previous: the middle file from its start, then on into the last.
    h.reader.seeks.Post(SeekRequest::PreviousRecording());
    ASSERT_TRUE(h.WaitUntilIdle());
    ASSERT_EQ(h.Resets(), 2u);
    got = h.VideoSince(h.LastResetMark());
    std::vector<Delivered> want = Written(s[1]);
    for (const Delivered& d : Written(s[2])) {
        want.push_back(d);
    }
    ExpectSameFrames(got, want);

    // Next at the last file: there is none, so nothing resets.
    h.reader.seeks.Post(SeekRequest::NextRecording());
    ASSERT_TRUE(ReaderHarness::WaitFor([&] { return !h.reader.seeks.Pending(); }));
    ASSERT_TRUE(h.WaitUntilIdle());
    EXPECT_EQ(h.Resets(), 2u);

    // Switch by path: the first file from its start.
    h.reader.RequestOpen(rec().files[0]);
    ASSERT_TRUE(h.WaitUntilIdle());
    ASSERT_EQ(h.Resets(), 3u);
    got = h.VideoSince(h.LastResetMark());
    ASSERT_GE(got.size(), 3u * 60);
    ExpectSameFrames(std::vector<Delivered>(got.begin(), got.begin() + 60), Written(s[0]));

    // The file's start is a place like any other.
    h.reader.seeks.Post(SeekRequest::To(0));
    ASSERT_TRUE(h.WaitUntilIdle());
    ASSERT_EQ(h.Resets(), 4u);
    got = h.VideoSince(h.LastResetMark());
    ASSERT_GE(got.size(), 60u);
    ExpectSameFrames(std::vector<Delivered>(got.begin(), got.begin() + 60), Written(s[2]));
}

TEST_F(ReaderOnCard, TheLastOfManySeeksPostedWhileServingIsTheOneThatLands) {
    ReaderHarness h;
    ASSERT_TRUE(h.Start(rec().files[2]));
    ASSERT_TRUE(h.WaitUntilIdle());
    const int64_t size = h.reader.FileSize();
    std::thread poster([&] {
        for (int i = 0; i < 300; ++i) {
            h.reader.seeks.Post(SeekRequest::To(i % 2 == 0 ? 0 : size / 4));
            h.reader.Wake();
            std::this_thread::yield();
        }
        h.reader.seeks.Post(SeekRequest::To(size * 5 / 8));
        h.reader.Wake();
    });
    poster.join();
    ASSERT_TRUE(h.WaitUntilIdle());
    EXPECT_FALSE(h.reader.seeks.Pending());
    const std::vector<Delivered> got = h.VideoSince(h.LastResetMark());
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(got.front().kind, kKindVideoKey);
    EXPECT_GT(got.front().pts - rec().stats[2].firstVideoPts / 90000.0, 1.0)
        << "from the last place asked for, five eighths into the file";
}

TEST_F(ReaderOnCard, DirectionChangeBeforeThePmtIsRefused) {
    ReaderHarness h;
    EXPECT_EQ(h.reader.SetDirection(true), -1);
    ASSERT_TRUE(h.Start(rec().files[0]));
    ASSERT_TRUE(ReaderHarness::WaitFor([&] { return h.reader.PidsKnown(); }));
    EXPECT_EQ(h.reader.SetDirection(false), 0) << "already forward: nothing changes";
    EXPECT_EQ(h.reader.SetDirection(true), 1);
    // Asking back either cancels the pending change or, if the reader took it meanwhile,
    // asks for forward again: either way the reader ends up forward.
    EXPECT_EQ(h.reader.SetDirection(false), 0);
    ASSERT_TRUE(h.WaitUntilIdle());
    EXPECT_FALSE(h.reader.Backward());
    for (const Delivered& d : h.VideoSince(h.LastResetMark())) {
        ASSERT_GT(d.order, 0) << "no backward frame after the last change";
    }
}

TEST_F(ReaderOnCard, StopReturnsWhileTheUiIsNotAnsweringAResetNotice) {
    ReaderHarness h;
    h.main.HoldSends(true);
    ASSERT_TRUE(h.Start(rec().files[0]));
    ASSERT_TRUE(ReaderHarness::WaitFor([&] { return h.reader.PidsKnown(); }));
    h.reader.seeks.Post(SeekRequest::To(1000));
    ASSERT_TRUE(ReaderHarness::WaitFor([&] { return h.main.Count(kMsgReset) == 1; }));
    // The reader now waits for an answer that never comes; stopping must not wait for it.
    auto stopped = std::async(std::launch::async, [&] { h.reader.Stop(); });
    EXPECT_EQ(stopped.wait_for(std::chrono::seconds(10)), std::future_status::ready);
}

// --- damaged input ------------------------------------------------------------------------

TEST(ReaderDamagedInput, GarbageAndAPowerCutArePlayedAsFarAsValidThenIdle) {
    RecordingOptions o = SmallCard();
    o.garbage = true;
    o.truncateLast = true;
    TempCard card(o);
    ASSERT_TRUE(card.result.ok) << card.result.error;
    ReaderHarness h;
    ASSERT_TRUE(h.Start(card.result.files[0]));
    ASSERT_TRUE(h.WaitUntilIdle());
    int written = 0;
    for (const FileStats& s : card.result.stats) {
        written += s.videoFrames;
    }
    // A packet right before a garbage run has no sync byte 188 on and is skipped; the cut
    // loses the rest of the last file.
    EXPECT_GT(h.VideoCount(), static_cast<size_t>(written) * 3 / 5);
    EXPECT_LT(h.VideoCount(), static_cast<size_t>(written));
    EXPECT_EQ(h.reader.CurrentPath(), card.result.files[2]);
    const size_t positions = h.panel.Count(kMsgPosition);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(h.panel.Count(kMsgPosition), positions) << "idle at the end: no reads";
}

TEST(ReaderDamagedInput, FileThatVanishesOrWasNeverThereDoesNotStopTheReader) {
    TempCard card(SmallCard(2, 2));
    ASSERT_TRUE(card.result.ok);
    {
        ReaderHarness h;
        ASSERT_TRUE(h.Start("/nonexistent/DCIM/100MEDIA/REC_0001.ts"));
        ASSERT_TRUE(h.WaitUntilIdle());
        EXPECT_EQ(h.VideoCount(), 0u);
    }
    // The first file is cut to nothing while it is read (a pulled card reads as an end): the
    // reader goes on with the next one.
    ReaderHarness h;
    h.main.HoldSends(false);
    ASSERT_TRUE(truncate(card.result.files[0].c_str(), 0) == 0);
    ASSERT_TRUE(h.Start(card.result.files[0]));
    ASSERT_TRUE(h.WaitUntilIdle());
    EXPECT_EQ(h.VideoCount(), static_cast<size_t>(card.result.stats[1].videoFrames));
}

TEST(ReaderDamagedInput, ZeroFilledTailAndAFileWithoutTablesAreHarmless) {
    TempCard card(SmallCard(1, 2));
    ASSERT_TRUE(card.result.ok);
    const std::string path = card.result.files[0];
    {
        std::FILE* f = std::fopen(path.c_str(), "ab");
        ASSERT_NE(f, nullptr);
        std::vector<char> zeros(200000, 0);
        std::fwrite(zeros.data(), 1, zeros.size(), f);
        std::fclose(f);
    }
    ReaderHarness h;
    ASSERT_TRUE(h.Start(path));
    ASSERT_TRUE(h.WaitUntilIdle());
    EXPECT_EQ(h.VideoCount(), static_cast<size_t>(card.result.stats[0].videoFrames));

    ReaderHarness noTables;
    ASSERT_TRUE(noTables.Start(std::string(VELMARO_DATA_DIR) + "/ts/mpeg2ts/test1.ts"));
    ASSERT_TRUE(noTables.WaitUntilIdle());
    EXPECT_FALSE(noTables.reader.PidsKnown());
    EXPECT_EQ(noTables.VideoCount(), 0u);
}

}  // namespace
}  // namespace velmaro

namespace velmaro {
namespace {

TEST(ReaderDamagedInput, AFifoNamedLikeARecordingNeitherBlocksNorStopsTheReader) {
    test::TempDir dir;
    const std::string fifo = (dir.path() / "REC_0001.ts").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    ReaderHarness h;
    ASSERT_TRUE(h.Start(fifo));
    ASSERT_TRUE(h.WaitUntilIdle());
    EXPECT_EQ(h.VideoCount(), 0u);
}

// Pictures of a few groups, their packets laid out plainly, or with what other muxers and
// damage put between and into them: priority flags, a short payload behind stuffing, sound
// and null packets, and a damaged copy of a packet flagged as such.
test::Bytes MuxPictures(bool odd) {
    constexpr int kVideoPid = 0x100;
    constexpr int kAudioPid = 0x101;
    constexpr int kNullPid = 0x1FFF;
    constexpr int kGroupSize = 5;
    constexpr int kPictures = 3 * kGroupSize;
    constexpr int kTicks = 3000;
    const test::Bytes filler(kTsPacketSize - kTsHeaderSize, 0xFF);
    test::Bytes file;
    const auto put = [&file](const test::Bytes& packet) {
        file.insert(file.end(), packet.begin(), packet.end());
    };
    put(test::PatPacket(0x1000));
    put(test::PmtPacket(0x1000, {{0x1B, kVideoPid}, {0x0F, kAudioPid}}));
    for (int i = 0; i < kPictures; ++i) {
        const test::Bytes pes =
            test::Pes(0xE0, test::AccessUnit(i % kGroupSize == 0, 1500 + 97 * i), kTicks * (i + 2),
                      kTicks * (i + 1));
        const size_t shortChunk = 100;
        int index = 0;
        for (size_t at = 0; at < pes.size(); ++index) {
            const size_t room = odd && index == 4 ? shortChunk : kTsPacketSize - kTsHeaderSize;
            const size_t n = std::min(pes.size() - at, room);
            test::Bytes packet = test::Packet(kVideoPid, at == 0, pes.data() + at, n);
            at += n;
            if (odd && index % 2 == 1) {
                packet[1] |= 0x20;  // transport priority
            }
            put(packet);
            if (odd && index == 2) {
                const test::Bytes sound = test::Pes(0xC0, test::Bytes(150, 0x5A), kTicks * (i + 2));
                put(test::Packet(kAudioPid, true, sound.data(), sound.size()));
                put(test::Packet(kNullPid, false, filler.data(), filler.size()));
            }
            if (odd && index == 3) {
                packet[1] |= 0x80;  // transport error
                std::fill(packet.begin() + kTsHeaderSize, packet.end(), 0xEE);
                put(packet);
            }
        }
    }
    return file;
}

struct Delivery {
    std::vector<uint32_t> forward;
    std::vector<uint32_t> backward;
};

Delivery ReadBothWays(const test::Bytes& bytes) {
    test::TempDir card;
    const std::filesystem::path folder = card.path() / "DCIM" / "100MEDIA";
    std::filesystem::create_directories(folder);
    const std::string file = (folder / "REC_0001.ts").string();
    test::WriteBytes(file, bytes);
    ReaderHarness h;
    Delivery got;
    if (!h.Start(file) || !h.WaitUntilIdle()) {
        return got;
    }
    got.forward = h.sums;
    h.controls.playMode = kPlayBackward;
    if (h.reader.SetDirection(true) != 1 || !h.WaitUntilIdle()) {
        return got;
    }
    std::lock_guard guard(h.lock);
    got.backward.assign(h.sums.begin() + static_cast<long>(h.main.resetMarks.back()), h.sums.end());
    return got;
}

TEST(ReaderPacketLayouts, PicturesArriveWholeWhateverElseTheirPacketsCarryBothWays) {
    const Delivery plain = ReadBothWays(MuxPictures(false));
    ASSERT_EQ(plain.forward.size(), 15u);
    ASSERT_EQ(plain.backward.size(), 15u);
    const Delivery odd = ReadBothWays(MuxPictures(true));
    EXPECT_EQ(odd.forward, plain.forward);
    EXPECT_EQ(odd.backward, plain.backward);
}

}  // namespace
}  // namespace velmaro
