// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

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

class ChannelOnCard : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        card = std::make_unique<test::TempDir>();
        RecordingOptions o;
        o.outRoot = card->path();
        o.files = 3;
        // Long enough that the reader, a second of pictures ahead of the screen, is still in
        // the file on screen a second or two after a jump into its middle.
        o.secondsPerFile = 6;
        o.width = 320;
        o.height = 240;
        recording = WriteRecording(o);
    }
    static void TearDownTestSuite() { card.reset(); }

    std::unique_ptr<PlaybackChannel> Open(const std::string& file, bool withList = false) {
        ChannelLinks links{&panel, &mainWindow, &telemetry, &output, kDisplayYv12, 1.0};
        auto channel = std::make_unique<PlaybackChannel>(links);
        channel->filePath = file;
        std::vector<RecordingEntry> list;
        if (withList) {
            RecordingIndex finder;
            finder.ScanNow(file);
            list = finder.Entries();
        }
        EXPECT_TRUE(channel->Open(withList ? &list : nullptr));
        return channel;
    }

    static inline std::unique_ptr<test::TempDir> card;
    static inline RecordingResult recording;
    RecordingSink panel;
    RecordingSink mainWindow;
    TelemetryHandOver telemetry;
    OffscreenOutput output;
};

TEST_F(ChannelOnCard, OpenPlaysPicturesAndListsTheFolderInTheBackground) {
    ASSERT_TRUE(recording.ok) << recording.error;
    auto channel = Open(recording.files[0]);
    ASSERT_TRUE(WaitUntil([&] { return channel->state.framesShown.load() >= 20; }));
    EXPECT_EQ(channel->state.videoWidth.load(), 320);
    EXPECT_EQ(channel->state.videoHeight.load(), 240);
    ASSERT_TRUE(WaitUntil([&] { return panel.Count(kMsgReset) == 1; }));
    EXPECT_EQ(channel->recordings.Entries().size(), 3u) << "the background scan's list";
    EXPECT_EQ(panel.Count(kMsgTelemetry), 1u) << "the scan announced its start";
}

TEST_F(ChannelOnCard, OpenWithACardListTakesItAndPostsListReady) {
    auto channel = Open(recording.files[0], true);
    EXPECT_EQ(channel->recordings.Entries().size(), 3u);
    EXPECT_EQ(panel.Count(kMsgReset), 1u);
    EXPECT_EQ(panel.Count(kMsgTelemetry), 0u) << "no folder scan with a list";
}

TEST_F(ChannelOnCard, SeekPostsAByteOfTheFileClampedToItsLength) {
    auto channel = Open(recording.files[0]);
    ASSERT_TRUE(WaitUntil([&] { return channel->reader.PidsKnown(); }));
    channel->state.videoQueue.Stop();  // hold the reader where it is
    const int64_t size = channel->reader.FileSize();
    const struct {
        int32_t asked;
        int32_t taken;
    } cases[] = {{0, 0}, {500, 500}, {-1001, 0}, {2500, 1000}};
    for (const auto& c : cases) {
        EXPECT_EQ(channel->Seek(c.asked), c.taken) << c.asked;
        const SeekRequest posted = channel->reader.seeks.Peek();
        EXPECT_TRUE(posted.None() || posted == SeekRequest::To(c.taken * size / 1000)) << c.asked;
    }
}

TEST_F(ChannelOnCard, MarkInClearsTheEndMarkAndMarkOutKeepsTheStart) {
    auto channel = Open(recording.files[0]);
    ASSERT_TRUE(WaitUntil([&] { return channel->reader.Position() > 0; }));
    channel->MarkIn();
    channel->MarkOut();
    EXPECT_EQ(channel->MarkOutPoint().number, 1);
    channel->MarkIn();
    EXPECT_EQ(channel->MarkOutPoint().number, -1);
    EXPECT_EQ(channel->MarkOutPoint().position, -1);
    EXPECT_EQ(channel->MarkInPoint().number, 1);
    EXPECT_EQ(channel->MarkInPoint().path, recording.files[0]);
    channel->MarkOut();
    EXPECT_EQ(channel->MarkInPoint().number, 1) << "mark-out leaves the start";
}

TEST_F(ChannelOnCard, JumpToTimeSwitchesOnlyToAnotherFile) {
    auto channel = Open(recording.files[0], true);
    ASSERT_TRUE(WaitUntil([&] { return channel->reader.PidsKnown(); }));
    const auto entries = channel->recordings.Entries();
    channel->JumpToTime(entries.back().endTime + 10);  // after the last: nothing
    channel->JumpToTime(entries[0].startTime);         // inside the current one: nothing
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(mainWindow.Count(kMsgReset), 0u);
    channel->JumpToTime(entries[1].startTime + 1);
    ASSERT_TRUE(WaitUntil([&] { return mainWindow.Count(kMsgReset) == 1; }));
}

// The lowest byte position of the pictures shown from the file `serial` during `span`: a play
// that began at the file's start instead of the moment asked for shows a picture near 0 first.
int64_t LowestShownPosition(const PlaybackChannel& channel, uint32_t serial,
                            std::chrono::milliseconds span) {
    int64_t lowest = -1;
    const auto end = std::chrono::steady_clock::now() + span;
    while (std::chrono::steady_clock::now() < end) {
        const ShownPicture shown = channel.state.Shown();
        if (shown.valid && shown.fileSerial == serial && shown.filePos >= 0 &&
            (lowest < 0 || shown.filePos < lowest)) {
            lowest = shown.filePos;
        }
        std::this_thread::sleep_for(1ms);
    }
    return lowest;
}

TEST_F(ChannelOnCard, PlayFromTimeStartsAtThatShareOfTheFileHoldingIt) {
    auto channel = Open(recording.files[0], true);
    ASSERT_TRUE(WaitUntil([&] { return channel->state.framesShown.load() >= 3; }));
    const auto entries = channel->recordings.Entries();
    ASSERT_EQ(entries.size(), 3u);
    const int64_t size1 = static_cast<int64_t>(std::filesystem::file_size(entries[1].path));
    const int64_t half1 = (entries[1].startTime + entries[1].endTime) / 2;

    // Another file: it opens once, and what is shown of it begins at least that far in.
    channel->PlayFromTime(half1);
    ASSERT_TRUE(WaitUntil([&] { return mainWindow.Count(kMsgReset) == 1; }));
    ASSERT_EQ(channel->reader.CurrentPath(), entries[1].path);
    const int64_t lowest = LowestShownPosition(*channel, channel->reader.CurrentSerial(), 600ms);
    ASSERT_GE(lowest, 0) << "nothing of the new file was shown";
    EXPECT_GE(lowest, size1 * 2 / 5) << "the new file was played from its start";

    // The same file: a seek there (one more reset), without opening it again.
    const uint32_t serial = channel->reader.CurrentSerial();
    channel->PlayFromTime(entries[1].startTime);
    ASSERT_TRUE(WaitUntil([&] { return mainWindow.Count(kMsgReset) == 2; }));
    EXPECT_LT(LowestShownPosition(*channel, serial, 600ms), size1 / 3)
        << "the moment at the file's start was not sought";
    EXPECT_EQ(channel->reader.CurrentSerial(), serial);

    // Past the last file nothing changes.
    channel->PlayFromTime(entries.back().endTime + 5);
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(mainWindow.Count(kMsgReset), 2u);
}

TEST(RecordingMoment, FindsTheFileAndTheShareOfItsDurationBeforeTheMoment) {
    const std::vector<RecordingEntry> entries = {
        {1, "a.ts", 1000, 1060, 0},  // a minute
        {2, "b.ts", 1100, 1200, 0},  // after a gap of 40 s
        {3, "c.ts", 1250, 1250, 0},  // no usable duration
    };
    struct Case {
        int64_t time;
        const char* path;
        int32_t perMille;
    };
    const Case cases[] = {
        {900, "a.ts", 0},  // before the card: the first file from its start
        {1000, "a.ts", 0},   {1030, "a.ts", 500}, {1059, "a.ts", 983},
        {1060, "b.ts", 0},  // in the gap: the next file from its start
        {1150, "b.ts", 500}, {1199, "b.ts", 990}, {1230, "c.ts", 0},
    };
    for (const Case& c : cases) {
        const auto moment = FindRecordingMoment(entries, c.time);
        ASSERT_TRUE(moment.has_value()) << c.time;
        EXPECT_EQ(moment->path, c.path) << c.time;
        EXPECT_EQ(moment->perMille, c.perMille) << c.time;
    }
    EXPECT_FALSE(FindRecordingMoment(entries, 1250).has_value()) << "the end of the last file";
    EXPECT_FALSE(FindRecordingMoment({}, 1000).has_value());
}

TEST_F(ChannelOnCard, SpeedPositionsMapToPlayModesAndSoundOnlyAtNormal) {
    auto channel = Open(recording.files[0]);
    const int32_t modes[kSpeedPositions] = {10, 9, 8, 7, 1, 2, 3, 4, 5};
    for (int p = 0; p < kSpeedPositions; ++p) {
        channel->SetSpeed(p);
        EXPECT_EQ(channel->state.playMode.load(), modes[p]);
        EXPECT_EQ(channel->state.audioEnabled.load(), p == kNormalSpeedPosition);
    }
}

TEST_F(ChannelOnCard, StepShowsOnePictureAndHolds) {
    auto channel = Open(recording.files[0]);
    ASSERT_TRUE(WaitUntil([&] { return channel->state.framesShown.load() >= 5; }));
    channel->Pause();
    ASSERT_TRUE(WaitUntil([&] { return channel->state.videoHeld.load(); }));
    const int32_t held = channel->state.framesShown.load();
    channel->Step(false);
    ASSERT_TRUE(WaitUntil([&] { return channel->state.playMode.load() == kPlayHeld; }));
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(channel->state.framesShown.load(), held + 1);
}

// Opening and closing over and over, with playback running between, must neither leak (the
// sanitizer build) nor race (the thread sanitizer build).
TEST_F(ChannelOnCard, OpenAndCloseFiveHundredTimes) {
    for (int i = 0; i < 500; ++i) {
        auto channel = Open(recording.files[i % 3]);
        if (i % 50 == 0) {
            ASSERT_TRUE(WaitUntil([&] { return channel->state.framesShown.load() >= 1; }));
        }
    }
}

}  // namespace
}  // namespace velmaro
