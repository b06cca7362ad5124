// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The channel as the window's buttons drive it, checked against the picture on screen: sound
// that meets the picture again after pauses, steps and speed changes; marks that cut the
// stretch on screen; steps that go on from the picture shown after a change of direction; the
// seek bar's far left; the first and last pictures of a card in both directions.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <future>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "export/clip_export.h"
#include "media/offscreen_output.h"
#include "platform/recording_sink.h"
#include "playback/playback_channel.h"
#include "stream/telemetry_handover.h"
#include "tests/test_support.h"
#include "tools/make_recording/recording_writer.h"

namespace velmaro {
namespace {

using namespace std::chrono_literals;
using test::WaitUntil;

constexpr int kFps = 30;
constexpr int kGop = 15;
constexpr double kFrame = 1.0 / kFps;
constexpr double kFirstPts = 1.0;  // each file's times start at 1 s
constexpr double kHalfFrame = kFrame / 2;

double NowSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

class PictureTruth : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        card = std::make_unique<test::TempDir>();
        RecordingOptions o;
        o.outRoot = card->path().string();
        o.files = 2;
        o.secondsPerFile = 6;
        o.width = 320;
        o.height = 240;
        o.gop = kGop;
        recording = WriteRecording(o);
    }
    static void TearDownTestSuite() { card.reset(); }

    std::unique_ptr<PlaybackChannel> Open(const std::string& file) {
        ChannelLinks links{&panel, &mainWindow, &telemetry, &output, kDisplayYv12, 1.0};
        auto channel = std::make_unique<PlaybackChannel>(links);
        channel->filePath = file;
        RecordingIndex finder;
        finder.ScanNow(file);
        const std::vector<RecordingEntry> list = finder.Entries();
        EXPECT_TRUE(channel->Open(&list));
        return channel;
    }

    // Plays until the picture on screen is at least `pts` into the first file, then pauses
    // and waits for the hold.
    static ShownPicture PauseAt(PlaybackChannel& channel, double pts) {
        EXPECT_TRUE(WaitUntil([&] {
            const ShownPicture s = channel.state.Shown();
            return s.valid && s.pts >= pts;
        }));
        channel.Pause();
        EXPECT_TRUE(WaitUntil([&] { return channel.state.videoHeld.load(); }));
        return channel.state.Shown();
    }

    static ShownPicture StepAndWait(PlaybackChannel& channel, bool backward) {
        const int32_t before = channel.state.framesShown.load();
        channel.Step(backward);
        EXPECT_TRUE(WaitUntil([&] {
            return channel.state.framesShown.load() > before &&
                   channel.state.playMode.load() == kPlayHeld;
        })) << (backward ? "previous" : "next")
            << " frame";
        const ShownPicture s = channel.state.Shown();
        return s;
    }

    // The sound heard now against the picture's time now, in seconds (positive: sound ahead);
    // NaN while no sound of the picture's file plays.
    static double SoundOffset(PlaybackChannel& channel) {
        const SoundClock heard = channel.audio.HeardClock();
        const ShownPicture shown = channel.state.Shown();
        if (!heard.valid || !shown.valid || heard.fileSerial != shown.fileSerial) {
            return std::nan("");
        }
        const double now = std::chrono::duration<double, std::milli>(
                               std::chrono::steady_clock::now().time_since_epoch())
                               .count();
        const double pictureNow = shown.pts + (now - static_cast<double>(shown.shownAtMs)) / 1000;
        return heard.pts - pictureNow;
    }

    // Half a second after resuming, and for the second after, the sound stays within 100 ms
    // of the picture.
    static void ExpectSoundMeetsPicture(PlaybackChannel& channel, const char* after) {
        std::this_thread::sleep_for(500ms);
        const double end = NowSeconds() + 1.0;
        int samples = 0;
        double worst = 0.0;
        while (NowSeconds() < end) {
            const double offset = SoundOffset(channel);
            if (!std::isnan(offset)) {
                ++samples;
                worst = std::max(worst, std::fabs(offset));
            }
            std::this_thread::sleep_for(20ms);
        }
        EXPECT_GT(samples, 25) << "sound is heard after " << after;
        EXPECT_LT(worst, 0.1) << "sound against picture after " << after;
    }

    static inline std::unique_ptr<test::TempDir> card;
    static inline RecordingResult recording;
    RecordingSink panel;
    RecordingSink mainWindow;
    TelemetryHandOver telemetry;
    OffscreenOutput output;
};

TEST_F(PictureTruth, SoundMeetsThePictureAfterPauseStepAndEverySpeed) {
    ASSERT_TRUE(recording.ok) << recording.error;
    auto channel = Open(recording.files[0]);
    ASSERT_TRUE(WaitUntil([&] { return channel->state.framesShown.load() >= 10; }));
    ExpectSoundMeetsPicture(*channel, "opening");

    PauseAt(*channel, 2.0);
    std::this_thread::sleep_for(2s);
    channel->Play();
    ExpectSoundMeetsPicture(*channel, "a 2 s pause");

    channel->Pause();
    ASSERT_TRUE(WaitUntil([&] { return channel->state.videoHeld.load(); }));
    for (int i = 0; i < 5; ++i) {
        StepAndWait(*channel, false);
    }
    channel->Play();
    ExpectSoundMeetsPicture(*channel, "steps");

    channel->SetSpeed(1);  // slower
    std::this_thread::sleep_for(1500ms);
    channel->SetSpeed(kNormalSpeedPosition);
    ExpectSoundMeetsPicture(*channel, "slow play");

    channel->SetSpeed(6);  // faster
    std::this_thread::sleep_for(1s);
    channel->SetSpeed(kNormalSpeedPosition);
    ExpectSoundMeetsPicture(*channel, "fast play");
}

// Paused, previous frame shows the picture just before the one on screen, next frame the one
// just after, whichever way the reader was going.
TEST_F(PictureTruth, StepsAfterAChangeOfDirectionGoOnFromThePictureShown) {
    auto channel = Open(recording.files[0]);
    const ShownPicture paused = PauseAt(*channel, 2.45);
    ShownPicture s = StepAndWait(*channel, true);
    EXPECT_NEAR(s.pts, paused.pts - kFrame, kHalfFrame) << "previous frame after playing";
    s = StepAndWait(*channel, true);
    EXPECT_NEAR(s.pts, paused.pts - 2 * kFrame, kHalfFrame);
    s = StepAndWait(*channel, false);
    EXPECT_NEAR(s.pts, paused.pts - kFrame, kHalfFrame) << "next frame after going back";
    s = StepAndWait(*channel, false);
    EXPECT_NEAR(s.pts, paused.pts, kHalfFrame);
    s = StepAndWait(*channel, true);
    EXPECT_NEAR(s.pts, paused.pts - kFrame, kHalfFrame);

    // A key frame on screen: the picture before it is the last of the previous group.
    const double key = kFirstPts + 3 * kGop * kFrame;
    while (s.pts < key - kHalfFrame) {
        s = StepAndWait(*channel, false);
    }
    ASSERT_NEAR(s.pts, key, kHalfFrame);
    s = StepAndWait(*channel, true);
    EXPECT_NEAR(s.pts, key - kFrame, kHalfFrame) << "back across a group boundary";
}

TEST_F(PictureTruth, BackwardPlayStartsAtThePictureShownAndForwardGoesOnAfterIt) {
    auto channel = Open(recording.files[0]);
    const ShownPicture paused = PauseAt(*channel, 3.0);
    channel->PlayBackward();
    ASSERT_TRUE(WaitUntil([&] { return !channel->state.Shown().forward; }));
    const ShownPicture first = channel->state.Shown();
    EXPECT_LT(first.pts, paused.pts) << "nothing later than the picture that was on screen";
    EXPECT_GT(first.pts, paused.pts - 3 * kFrame);
    ASSERT_TRUE(WaitUntil([&] { return channel->state.Shown().pts < paused.pts - 0.5; }));

    channel->Pause();
    ASSERT_TRUE(WaitUntil([&] { return channel->state.videoHeld.load(); }));
    const ShownPicture back = channel->state.Shown();
    const ShownPicture next = StepAndWait(*channel, false);
    EXPECT_NEAR(next.pts, back.pts + kFrame, kHalfFrame) << "next frame after backward play";
}

// The last file's last picture, played forward to the end, and the first file's first
// picture, played backward to the start, are both shown.
TEST_F(PictureTruth, BothEndsOfTheCardAreShown) {
    auto channel = Open(recording.files[1]);
    channel->Seek(900);
    const double last = recording.stats[1].lastVideoPts / 90000.0;
    ASSERT_TRUE(WaitUntil([&] { return channel->state.Shown().pts > last - kHalfFrame; }))
        << "the last picture of the card";
    EXPECT_NEAR(channel->state.Shown().pts, last, kHalfFrame);
    EXPECT_EQ(channel->state.Shown().fileSerial, channel->reader.CurrentSerial());

    channel.reset();
    channel = Open(recording.files[0]);
    PauseAt(*channel, 1.5);
    channel->PlayBackward();
    ASSERT_TRUE(WaitUntil([&] {
        const ShownPicture s = channel->state.Shown();
        return !s.forward && s.pts < kFirstPts + kHalfFrame;
    })) << "the first picture of the card, backward";
}

TEST_F(PictureTruth, SeekBarAtItsFarLeftGoesToTheFileStart) {
    auto channel = Open(recording.files[0]);
    PauseAt(*channel, 2.5);
    channel->Play();
    channel->Seek(0);
    ASSERT_TRUE(WaitUntil([&] { return mainWindow.Count(kMsgReset) >= 1; }));
    ASSERT_TRUE(WaitUntil([&] { return channel->state.Shown().pts < kFirstPts + 0.2; }))
        << "shown: " << channel->state.Shown().pts;
}

// The pictures ffprobe decodes from a clip, by their times.
std::vector<double> ClipPictureTimes(const std::string& clip) {
    const test::CommandResult r = test::RunCommand(
        "ffprobe -v error -select_streams v:0 -show_entries frame=pts_time -of csv=p=0 '" + clip +
        "'");
    std::vector<double> times;
    std::istringstream lines(r.out);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line != "N/A") {
            times.push_back(std::stod(line));
        }
    }
    return times;
}

TEST_F(PictureTruth, MarksCutTheStretchOnScreenInWholeGroups) {
    auto channel = Open(recording.files[0]);
    const ShownPicture in = PauseAt(*channel, 1.9);
    channel->MarkIn();
    channel->Play();
    const ShownPicture out = PauseAt(*channel, 3.3);
    channel->MarkOut();
    const ClipMark markIn = channel->MarkInPoint();
    const ClipMark markOut = channel->MarkOutPoint();
    EXPECT_EQ(markIn.path, recording.files[0]);
    EXPECT_EQ(markOut.path, recording.files[0]);

    test::TempDir target;
    for (const char* name : {"clip.ts", "clip.avi"}) {
        SCOPED_TRACE(name);
        ExportRequest request;
        request.outputPath = (target.path() / name).string();
        request.width = 320;
        request.height = 240;
        request.marks = {markIn.path, markIn.position, markOut.path, markOut.position};
        request.syncBeforeRename = false;
        std::promise<ExportOutcome> done;
        ClipExport backup([&](const ExportOutcome& o) { done.set_value(o); });
        ASSERT_TRUE(backup.Begin(request)) << backup.LastError();
        ASSERT_EQ(done.get_future().get().end, ExportEnd::kFinished);
        if (std::string(name) == "clip.avi") {
            // AVI keeps no times: the pictures must at least span the marks.
            const test::CommandResult r = test::RunCommand(
                "ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                "stream=nb_read_frames -of csv=p=0 '" +
                request.outputPath + "'");
            EXPECT_GE(std::atoi(r.out.c_str()), std::lround((out.pts - in.pts) / kFrame) + 1);
            continue;
        }
        const std::vector<double> times = ClipPictureTimes(request.outputPath);
        ASSERT_FALSE(times.empty());
        EXPECT_LE(times.front(), in.pts + 1e-3) << "the mark-in picture is in the clip";
        EXPECT_GT(times.front(), in.pts - kGop * kFrame - 1e-3) << "within one group of it";
        EXPECT_GE(times.back(), out.pts - 1e-3) << "the mark-out picture is in the clip";
    }
}

}  // namespace
}  // namespace velmaro
