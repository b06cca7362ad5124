#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "media/offscreen_output.h"
#include "platform/recording_sink.h"
#include "stream/telemetry_handover.h"
#include "stream/ts_channel.h"
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
        o.secondsPerFile = 2;
        o.width = 320;
        o.height = 240;
        recording = WriteRecording(o);
    }
    static void TearDownTestSuite() { card.reset(); }

    std::unique_ptr<CTSChn> Open(const std::string& file, bool withList = false) {
        ChannelLinks links{&panel, &mainWindow, &telemetry, &output, kDisplayYv12, 1.0};
        auto channel = std::make_unique<CTSChn>(links);
        channel->filePath = file;
        std::vector<RecordingEntry> list;
        if (withList) {
            CFindFilePath finder;
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

TEST_F(ChannelOnCard, SeekStoresTheByteRequestAndZeroAsTheFileStart) {
    auto channel = Open(recording.files[0]);
    ASSERT_TRUE(WaitUntil([&] { return channel->reader.PidsKnown(); }));
    channel->state.videoQueue.Stop();  // hold the reader where it is
    const int64_t size = channel->reader.FileSize();
    EXPECT_EQ(channel->Seek(0), 0);
    EXPECT_TRUE(channel->reader.seekRequest.load() == kSeekFileStart ||
                channel->reader.seekRequest.load() == kSeekNone);
    channel->Seek(500);
    EXPECT_TRUE(channel->reader.seekRequest.load() == size / 2 ||
                channel->reader.seekRequest.load() == kSeekNone);
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
