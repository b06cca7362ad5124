// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The frame rate of AVI clips: exact rates in the stream header for whole and 1000/1001
// rates, and, from a card playing in a channel, the rate the recording was measured at all the
// way into the clip, so that its pictures last as long as its sound.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "export/avi_writer.h"
#include "media/offscreen_output.h"
#include "platform/recording_sink.h"
#include "playback/clip_request.h"
#include "playback/playback_channel.h"
#include "stream/telemetry_handover.h"
#include "tests/export/export_support.h"
#include "tests/test_support.h"
#include "tools/make_recording/recording_writer.h"

namespace velmaro {
namespace {

using test::ReadBytes;
using test::TempDir;

constexpr size_t kAvihMicroSecPerFrame = 32;
constexpr size_t kVideoStrhScale = 108 + 20;
constexpr size_t kVideoStrhRate = 108 + 24;
constexpr int32_t kMeasuredAfter = 32;
constexpr double kSampleRate = 48000.0;

uint32_t U32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (uint32_t{b[at + 3]} << 24);
}

TEST(AviFrameRate, HeaderHoldsWholeAndThousandOneRatesExactly) {
    struct Case {
        double fps;
        uint32_t rate, scale, microseconds;
        const char* probed;
    };
    const Case cases[] = {
        {30.0, 30000, 1000, 33333, "30/1"},
        {60.0, 60000, 1000, 16666, "60/1"},
        {25.0, 25000, 1000, 40000, "25/1"},
        {50.0, 50000, 1000, 20000, "50/1"},
        {30000.0 / 1001, 30000, 1001, 33366, "30000/1001"},
        {60000.0 / 1001, 60000, 1001, 16683, "60000/1001"},
        {24000.0 / 1001, 24000, 1001, 41708, "24000/1001"},
        {12.5, 12500, 1000, 80000, "25/2"},
    };
    TempDir dir;
    const uint8_t frame[] = {0, 0, 0, 1, 0x65, 0x88, 0x84, 0x00};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.probed);
        const std::string path = dir.File("rate.avi");
        AviWriter avi;
        ASSERT_TRUE(avi.Create(path, 64, 48, c.fps));
        ASSERT_TRUE(avi.WriteVideo(frame, sizeof frame));
        ASSERT_TRUE(avi.Close());
        const std::vector<uint8_t> file = ReadBytes(path);
        EXPECT_EQ(U32(file, kAvihMicroSecPerFrame), c.microseconds);
        EXPECT_EQ(U32(file, kVideoStrhScale), c.scale);
        EXPECT_EQ(U32(file, kVideoStrhRate), c.rate);
        const std::vector<test::StreamFields> streams = test::ProbeStreams(path);
        ASSERT_FALSE(streams.empty());
        EXPECT_EQ(streams[0].at("r_frame_rate"), c.probed);
    }
    AviWriter avi;
    EXPECT_FALSE(avi.Create(dir.File("slow.avi"), 64, 48, 0.5));
    EXPECT_FALSE(avi.Create(dir.File("nan.avi"), 64, 48, std::nan("")));
}

// A card plays in a channel until its clock paces at the measured rate; the clip's request is
// taken from the channel as the player takes it.
class ChannelClip : public ::testing::TestWithParam<int> {
  protected:
    static void SetUpTestSuite() { setenv("SDL_AUDIODRIVER", "dummy", 1); }

    RecordingSink panel;
    RecordingSink mainWindow;
    TelemetryHandOver telemetry;
    OffscreenOutput output;
};

TEST_P(ChannelClip, AviClipRunsAtTheRateTheChannelMeasured) {
    const int fps = GetParam();
    TempDir card;
    RecordingOptions options = test::SmallCard(card, 1, 3);
    options.fps = fps;
    const RecordingResult recording = WriteRecording(options);
    ASSERT_TRUE(recording.ok) << recording.error;
    const std::string file = recording.files.at(0);

    ChannelLinks links{&panel, &mainWindow, &telemetry, &output, kDisplayYv12, 1.0};
    auto channel = std::make_unique<PlaybackChannel>(links);
    channel->filePath = file;
    ASSERT_TRUE(channel->Open());
    // The clock starts out at 60 and takes the stream's rate with each picture shown; the
    // rate is measured over the first 32 frames.
    EXPECT_TRUE(test::WaitUntil([&] {
        return channel->state.framesShown.load() > kMeasuredAfter &&
               channel->state.clock.Rate() == fps;
    })) << "the clock paces at "
        << channel->state.clock.Rate();
    const std::string clip = card.File("clip.avi");
    ExportRequest request = ChannelExportRequest(*channel, clip);
    channel->StopAll();
    EXPECT_EQ(request.frameRate, fps);
    EXPECT_EQ(request.width, 320);
    EXPECT_EQ(request.height, 240);
    request.marks = {file, 0, file, static_cast<int64_t>(std::filesystem::file_size(file))};

    const test::ExportRun run = test::RunExport(request);
    ASSERT_EQ(run.outcome.end, ExportEnd::kFinished) << run.outcome.reason;
    const std::vector<test::StreamFields> streams = test::ProbeStreams(clip);
    ASSERT_EQ(streams.size(), 2u);
    EXPECT_EQ(streams[0].at("r_frame_rate"), std::to_string(fps) + "/1");
    // Every picture but the file's last, which no later PES completes.
    EXPECT_EQ(std::atoi(streams[0].at("nb_read_packets").c_str()), 3 * fps - 1);
    const double pictures = std::atof(streams[0].at("duration").c_str());
    const double sound = std::atof(streams[1].at("nb_frames").c_str()) / kSampleRate;
    EXPECT_NEAR(pictures, 3.0, 0.05);
    EXPECT_NEAR(pictures, sound, 0.05) << "the pictures last as long as the sound";
}

INSTANTIATE_TEST_SUITE_P(Rates, ChannelClip, ::testing::Values(60, 25, 50),
                         [](const auto& rate) { return std::to_string(rate.param) + "fps"; });

}  // namespace
}  // namespace velmaro
