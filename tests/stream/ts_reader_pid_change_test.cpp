// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Cards whose files do not all carry their streams on the same PIDs (a camera updated between
// two recordings, files of two cameras in one folder): playing across them, forward or
// backward, delivers every file's pictures, and forward every file's sound and telemetry.
#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "card_frames.h"
#include "reader_harness.h"
#include "tests/test_support.h"

namespace velmaro {
namespace {

using test::BackwardFromEnd;
using test::Delivered;
using test::DeliveredAs;
using test::ReaderHarness;
using test::Written;

constexpr int kGop = 15;

struct PidLayout {
    const char* name;
    int pmt;
    int video;
    int audio;
    int data;
};

void PrintTo(const PidLayout& layout, std::ostream* out) {
    *out << layout.name;
}

constexpr PidLayout kCameraLayout{"Camera", 0x0100, 0x1011, 0x1100, 0x1200};

RecordingOptions OneFile(int number, const PidLayout& pids) {
    RecordingOptions o;
    o.files = 1;
    o.secondsPerFile = 2;
    o.width = 320;
    o.height = 240;
    o.gop = kGop;
    o.firstNumber = number;
    o.startTime = DefaultStartTime() + int64_t{number} * o.secondsPerFile;
    o.seed = static_cast<uint32_t>(number);
    o.pmtPid = pids.pmt;
    o.videoPid = pids.video;
    o.audioPid = pids.audio;
    o.dataPid = pids.data;
    return o;
}

// Files 1, 2 and 3 in one folder, each with its own layout of PIDs.
class LayoutCard {
  public:
    explicit LayoutCard(const std::vector<PidLayout>& layouts)
        : card_(OneFile(1, layouts.front())) {
        ok = card_.result.ok;
        error = card_.result.error;
        stats = card_.result.stats;
        for (size_t i = 1; i < layouts.size() && ok; ++i) {
            const RecordingResult more = card_.Add(OneFile(static_cast<int>(i) + 1, layouts[i]));
            ok = more.ok;
            error = more.error;
            stats.insert(stats.end(), more.stats.begin(), more.stats.end());
        }
    }
    const std::string& File(size_t i) const { return stats[i].path; }

    bool ok = false;
    std::string error;
    std::vector<FileStats> stats;

  private:
    test::TempCard card_;
};

// Forward from the first file: every picture, sound frame and telemetry text of every file, in
// file order. Only the very last of each may be missing: no later packet shows where it ends.
void ExpectForwardDeliversEverything(ReaderHarness& h, const LayoutCard& card) {
    std::vector<Delivered> want;
    size_t audio = 0;
    std::vector<std::string> texts;
    for (const FileStats& s : card.stats) {
        for (const Delivered& d : Written(s, kGop)) {
            want.push_back(d);
        }
        audio += s.audioFrames;
        texts.insert(texts.end(), s.telemetry.begin(), s.telemetry.end());
    }
    const std::vector<Delivered> got = h.VideoSince(0);
    ASSERT_GE(got.size() + 1, want.size()) << test::Summary(got);
    ASSERT_LE(got.size(), want.size());
    for (size_t i = 0; i < got.size(); ++i) {
        ASSERT_TRUE(test::SameFrame(got[i], want[i]))
            << "picture " << i << " of " << want.size() << ": " << test::Summary(got);
        ASSERT_EQ(got[i].order, 1);
    }
    EXPECT_GE(h.AudioCount() + 1, audio);
    EXPECT_LE(h.AudioCount(), audio);
    std::lock_guard guard(h.lock);
    ASSERT_GE(h.main.texts.size() + 1, texts.size());
    ASSERT_LE(h.main.texts.size(), texts.size());
    for (size_t i = 0; i < h.main.texts.size(); ++i) {
        EXPECT_EQ(h.main.texts[i], texts[i]) << "text " << i;
    }
}

// Backward from the end of the last file: every group of every file, last-first.
void ExpectBackwardDeliversEveryGroup(ReaderHarness& h, const LayoutCard& card) {
    ASSERT_TRUE(h.Start(card.File(card.stats.size() - 1)));
    ASSERT_TRUE(h.WaitUntilIdle());
    h.controls.playMode = kPlayBackward;
    ASSERT_EQ(h.reader.SetDirection(true), 1);
    ASSERT_TRUE(h.WaitUntilIdle());
    ASSERT_EQ(h.Resets(), 1u);
    EXPECT_TRUE(DeliveredAs(h.VideoSince(h.LastResetMark()),
                            BackwardFromEnd(card.stats, kGop, card.stats.size() - 1),
                            -kPlayBackward));
    EXPECT_EQ(h.reader.CurrentPath(), card.File(0));
}

// All files on PIDs other than the camera's: the reader takes what the tables say.
TEST(ReaderPidLayout, CardWhoseFilesShareOtherPidsPlaysThroughBothWays) {
    const PidLayout other{"Other", 0x0042, 0x0044, 0x0045, 0x0046};
    const LayoutCard card({other, other});
    ASSERT_TRUE(card.ok) << card.error;
    {
        ReaderHarness h;
        ASSERT_TRUE(h.Start(card.File(0)));
        ASSERT_TRUE(h.WaitUntilIdle());
        ExpectForwardDeliversEverything(h, card);
    }
    ReaderHarness h;
    ExpectBackwardDeliversEveryGroup(h, card);
}

// The middle file moves its streams (and, in one case, its program map) to other PIDs; the
// last goes back to the camera's.
class ReaderPidChange : public ::testing::TestWithParam<PidLayout> {
  protected:
    void SetUp() override {
        card_ = std::make_unique<LayoutCard>(
            std::vector<PidLayout>{kCameraLayout, GetParam(), kCameraLayout});
        ASSERT_TRUE(card_->ok) << card_->error;
    }
    const LayoutCard& card() const { return *card_; }

  private:
    std::unique_ptr<LayoutCard> card_;
};

TEST_P(ReaderPidChange, ForwardDeliversEveryPictureSoundAndTextOfEveryFile) {
    ReaderHarness h;
    ASSERT_TRUE(h.Start(card().File(0)));
    ASSERT_TRUE(h.WaitUntilIdle());
    ExpectForwardDeliversEverything(h, card());
    EXPECT_EQ(h.reader.CurrentPath(), card().File(2));
}

TEST_P(ReaderPidChange, BackwardDeliversEveryGroupOfEveryFile) {
    ReaderHarness h;
    ExpectBackwardDeliversEveryGroup(h, card());
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, ReaderPidChange,
    ::testing::Values(PidLayout{"OtherStreamPids", 0x0100, 0x0301, 0x0302, 0x0303},
                      PidLayout{"OtherProgramMapAndStreamPids", 0x0200, 0x0201, 0x0202, 0x0203},
                      // The camera's PIDs, each given to another stream type.
                      PidLayout{"StreamPidsSwapped", 0x0100, 0x1100, 0x1200, 0x1011}),
    [](const ::testing::TestParamInfo<PidLayout>& layout) {
        return std::string(layout.param.name);
    });

}  // namespace
}  // namespace velmaro
