// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// How fast the video worker shows pictures: the interval it paces each picture by, in every
// play mode and at the rates recordings come in. The channel's clock runs on a tick counter of
// the test's that is always on time, so no pacing wait sleeps and nothing depends on how busy
// the machine is; the counter notes every interval the worker advanced the clock by.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "media/video_decoder.h"
#include "stream/channel_controls.h"
#include "stream/frame_pacer.h"
#include "tests/media/demuxed_frames.h"
#include "tests/media/video_rig.h"
#include "tests/test_support.h"
#include "tools/make_recording/recording_writer.h"

namespace velmaro {
namespace {

using test::TestFrame;
using test::VideoRig;

// The tick counter of the clock under test. The clock calls it from the worker thread in two
// places: in Wait, right after moving its due time on by one interval, and in Restart, which
// then takes the answer as its new due time without moving it first. So a due time that moved
// since the last call is a wait, and its move is the interval paced by.
class PacingLog {
  public:
    static void Attach(FramePacer& clock) {
        clock_ = &clock;
        lastDue_ = clock.dueTime;
        intervals_.clear();
        clock.SetTickSource(&Ticks);
    }
    // Read once the worker has stopped.
    static const std::vector<double>& Intervals() { return intervals_; }

  private:
    static constexpr uint32_t kRestartTime = 1000;

    static uint32_t Ticks() {
        const double due = clock_->dueTime;
        if (due == lastDue_) {
            lastDue_ = kRestartTime;
            return kRestartTime;
        }
        intervals_.push_back(due - lastDue_);
        lastDue_ = due;
        return static_cast<uint32_t>(due);  // on time: the wait is skipped
    }

    static inline FramePacer* clock_ = nullptr;
    static inline double lastDue_ = 0.0;
    static inline std::vector<double> intervals_;
};

std::vector<TestFrame> MakeFrames(int fps, int seconds, int gop = 15) {
    test::TempDir card;
    RecordingOptions options;
    options.outRoot = card.path();
    options.files = 1;
    options.secondsPerFile = seconds;
    options.fps = fps;
    options.gop = gop;
    options.width = 96;
    options.height = 64;
    const RecordingResult result = WriteRecording(options);
    return result.ok ? test::DemuxVideoFrames(result.files.at(0)) : std::vector<TestFrame>{};
}

struct PacedRun {
    std::vector<double> intervals;  // ms, one per picture shown
    int32_t shown = 0;
    double clockRate = 0.0;
};

// Plays `frames` in `playMode` until the worker has taken them all and shown what it will.
PacedRun Play(const std::vector<TestFrame>& frames, int32_t playMode) {
    VideoRig rig;
    rig.channel.playMode.store(playMode);
    PacingLog::Attach(rig.channel.clock);
    EXPECT_TRUE(rig.worker->Start());
    rig.Feed(frames);
    EXPECT_TRUE(rig.WaitTaken());
    // The last item taken is decoded and shown (or thinned) before the worker looks again.
    test::WaitUntil([&] { return rig.channel.videoQueue.EntryCount() == 0; });
    int32_t shown = -1;
    test::WaitUntil(
        [&] {
            const int32_t now = rig.channel.framesShown.load();
            const bool settled = now == shown;
            shown = now;
            return settled;
        },
        test::kPatience, std::chrono::milliseconds(50));
    EXPECT_TRUE(rig.worker->Stop(kWorkerStopTimeoutMs));
    return {PacingLog::Intervals(), rig.channel.framesShown.load(), rig.channel.clock.Rate()};
}

// The play modes of the speed control with 60 fps material: normal, three faster speeds that
// also leave out part of each group of pictures, and the slower ones. Each shown picture is
// due this long after the one before.
TEST(VideoPacing, EveryPlayModePacesSixtyFpsMaterialByItsSpeed) {
    std::vector<TestFrame> frames = MakeFrames(60, 2);
    ASSERT_EQ(frames.size(), 120u);
    ASSERT_EQ(frames.back().frameRate, 60.0) << "the recording measures as 60 fps";
    for (TestFrame& frame : frames) {
        frame.frameRate = 60.0;  // as from the 32nd frame on: each mode alone is under test
    }
    struct Case {
        int32_t mode;
        double intervalMs;
        bool everyPicture;
    };
    const Case cases[] = {
        {1, 1000.0 / 60, true},    {2, 1000.0 / 120, true},  {3, 1000.0 / 120, false},
        {4, 1000.0 / 120, false},  {5, 1000.0 / 180, false}, {6, 1000.0 / 240, false},
        {7, 1000.0 / 30, true},    {8, 1000.0 / 15, true},   {9, 1000.0 / 7.5, true},
        {10, 1000.0 / 3.75, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("play mode " + std::to_string(c.mode));
        const PacedRun run = Play(frames, c.mode);
        EXPECT_EQ(run.clockRate, 60.0);
        ASSERT_EQ(run.intervals.size(), static_cast<size_t>(run.shown));
        if (c.everyPicture) {
            EXPECT_EQ(run.shown, 120);
        } else {
            EXPECT_GE(run.shown, 8) << "at least the key frames";
            EXPECT_LT(run.shown, 120) << "part of each group is left out";
        }
        for (size_t i = 0; i < run.intervals.size(); ++i) {
            ASSERT_NEAR(run.intervals[i], c.intervalMs, 1e-9) << "picture " << i;
        }
    }
}

// Recordings paced at the rate they were made at once the rate is measured: the clock takes
// it, and each picture is due one frame of that rate after the one before.
TEST(VideoPacing, RecordingsArePacedAtTheirOwnMeasuredRate) {
    struct Case {
        std::string name;
        std::vector<TestFrame> frames;
        double fps;
    };
    const std::filesystem::path ntsc =
        std::filesystem::path(VELMARO_DATA_DIR) / "ts" / "lpms" / "skip_3.ts";
    const Case cases[] = {
        {"25 fps card", MakeFrames(25, 2), 25.0},
        {"50 fps card", MakeFrames(50, 2), 50.0},
        {"60 fps card", MakeFrames(60, 1), 60.0},
        {"29.97 fps stream", test::DemuxVideoFrames(ntsc.string()), 30000.0 / 1001},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_GT(c.frames.size(), 40u);
        const PacedRun run = Play(c.frames, kPlayNormal);
        EXPECT_EQ(run.clockRate, c.fps);
        ASSERT_GT(run.intervals.size(), 40u);
        for (size_t i = 32; i < run.intervals.size(); ++i) {
            ASSERT_NEAR(run.intervals[i], 1000.0 / c.fps, 1e-9) << "picture " << i;
        }
    }
}

}  // namespace
}  // namespace velmaro
