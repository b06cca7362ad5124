// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Snapshots of a generated recording asked for as the panel asks: named after the picture's
// recording time, and carrying it and the fix of its second as EXIF that exiftool reads back.
#include "playback/snapshot_request.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <map>

#include "media/offscreen_output.h"
#include "media/snapshot_writer.h"
#include "platform/recording_sink.h"
#include "playback/playback_channel.h"
#include "stream/rmc_time.h"
#include "stream/telemetry.h"
#include "stream/telemetry_handover.h"
#include "tests/media/exif_tags.h"
#include "tests/test_support.h"
#include "tools/make_recording/recording_writer.h"

namespace velmaro {
namespace {

using test::WaitUntil;

constexpr int kFps = 30;
constexpr int64_t kCameraAhead = 3600;  // the camera's clock is an hour ahead of GPS time
constexpr double kTicksPerSecond = 90000.0;
constexpr std::time_t kClick = 0;  // a moment no picture was recorded at

std::string Formatted(int64_t seconds, const char* format, bool utc = false) {
    const std::time_t when = static_cast<std::time_t>(seconds);
    std::tm fields{};
    utc ? gmtime_r(&when, &fields) : localtime_r(&when, &fields);
    char text[64] = "";
    std::strftime(text, sizeof text, format, &fields);
    return text;
}

// "+01:00": how far the wall clock `wall` is ahead of UTC `utc`.
std::string ZoneText(int64_t wall, int64_t utc) {
    const std::time_t when = static_cast<std::time_t>(wall);
    std::tm fields{};
    localtime_r(&when, &fields);
    const int64_t minutes = (timegm(&fields) - utc) / 60;
    char text[64] = "";
    const long long size = std::llabs(minutes);
    std::snprintf(text, sizeof text, "%c%02lld:%02lld", minutes < 0 ? '-' : '+', size / 60,
                  size % 60);
    return text;
}

class SnapshotOfPicture : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        card = std::make_unique<test::TempDir>();
        RecordingOptions o;
        o.outRoot = card->path().string();
        o.files = 2;
        o.width = 160;
        o.height = 96;
        o.fps = kFps;
        o.clockOffset = kCameraAhead;
        o.filesWithoutTelemetry = {1};
        recording = WriteRecording(o);
    }
    static void TearDownTestSuite() { card.reset(); }

    // Plays file `index` into its second second and holds a picture there. Not the last of its
    // second: the file time stands for the last picture, a frame later than the generator's
    // clock has it, so that one counts to the next second.
    ShownPicture HoldPicture(size_t index) {
        channel = std::make_unique<PlaybackChannel>(
            ChannelLinks{&panel, &mainWindow, &telemetry, &output, kDisplayYv12, 1.0});
        channel->filePath = recording.files[index];
        EXPECT_TRUE(channel->Open());
        const double first = static_cast<double>(recording.stats[index].firstVideoPts);
        EXPECT_TRUE(WaitUntil([&] {
            const ShownPicture s = channel->state.Shown();
            return s.valid && s.pts >= first / kTicksPerSecond + 1.3;
        }));
        channel->Pause();
        EXPECT_TRUE(WaitUntil([&] { return channel->state.videoHeld.load(); }));
        if (PictureNumber(index) % kFps == kFps - 1) {
            const int32_t before = channel->state.framesShown.load();
            channel->Step(false);
            EXPECT_TRUE(WaitUntil([&] {
                return channel->state.framesShown.load() > before &&
                       channel->state.playMode.load() == kPlayHeld;
            }));
        }
        return channel->state.Shown();
    }

    int64_t PictureNumber(size_t index) const {
        const double first = recording.stats[index].firstVideoPts / kTicksPerSecond;
        return std::llround((channel->state.Shown().pts - first) * kFps);
    }

    // The camera's clock at the picture on screen, whole seconds.
    int64_t RecordingTime(size_t index) const {
        return recording.stats[index].startTime + PictureNumber(index) / kFps;
    }

    std::vector<SnapshotResult> Snap(const std::string& folder, int64_t clockShift, int times) {
        const SnapshotRequest request =
            ChannelSnapshotRequest(*channel, folder, clockShift, kClick);
        for (int i = 0; i < times; ++i) {
            channel->RequestSnapshot(request);
        }
        EXPECT_TRUE(WaitUntil([&] { return channel->state.snapshotRequested.load() == 0; }));
        return channel->state.TakeSnapshotResults();
    }

    static inline std::unique_ptr<test::TempDir> card;
    static inline RecordingResult recording;
    RecordingSink panel;
    RecordingSink mainWindow;
    TelemetryHandOver telemetry;
    OffscreenOutput output;
    std::unique_ptr<PlaybackChannel> channel;
};

// On the camera's clock, and on GPS time once the user chose it after the clock check: the name
// and DateTimeOriginal move with the choice, the fix and its UTC do not.
TEST_F(SnapshotOfPicture, NameAndTagsAreThePicturesTimeAndTheFixOfItsSecond) {
    ASSERT_TRUE(recording.ok) << recording.error;
    HoldPicture(1);
    const int64_t camera = RecordingTime(1);
    const int64_t utc = camera - kCameraAhead;
    GpsRecord fix;
    for (const std::string& text : recording.stats[1].telemetry) {
        GSensorRecord g;
        if (ParseRmcUtcMs(text) == utc * 1000) {
            ASSERT_TRUE(ParseTelemetry(text, g, fix)) << text;
        }
    }
    ASSERT_NE(fix.latitude, 0.0) << "the recording has a fix for second " << utc;

    const test::TempDir shots;
    for (const int64_t shift : {int64_t{0}, -kCameraAhead}) {
        SCOPED_TRACE(shift);
        const std::vector<SnapshotResult> results = Snap(shots.File("Capture"), shift, 2);
        ASSERT_EQ(results.size(), 2u);
        const std::string named = shots.File("Capture/") + SnapshotFileName(camera + shift);
        EXPECT_EQ(results[0].path, named);
        EXPECT_EQ(results[1].path, NumberedSnapshotPath(named, 2)) << "the same second again";

        std::map<std::string, std::string> tags = test::ExifTags(named);
        EXPECT_EQ(tags["DateTimeOriginal"], Formatted(camera + shift, "%Y:%m:%d %H:%M:%S"));
        EXPECT_EQ(tags["OffsetTimeOriginal"], ZoneText(camera + shift, utc));
        EXPECT_EQ(tags["GPSLatitudeRef"], fix.latitude < 0 ? "S" : "N");
        EXPECT_NEAR(std::atof(tags["GPSLatitude"].c_str()), std::fabs(fix.latitude), 1e-6);
        EXPECT_EQ(tags["GPSLongitudeRef"], fix.longitude < 0 ? "W" : "E");
        EXPECT_NEAR(std::atof(tags["GPSLongitude"].c_str()), std::fabs(fix.longitude), 1e-6);
        EXPECT_NEAR(std::atof(tags["GPSSpeed"].c_str()), fix.speed, 0.005);
        EXPECT_NEAR(std::atof(tags["GPSTrack"].c_str()), fix.course, 0.005);
        EXPECT_EQ(tags["GPSDateStamp"], Formatted(utc, "%Y:%m:%d", true));
        EXPECT_EQ(tags["GPSTimeStamp"], Formatted(utc, "%H:%M:%S", true));
    }
}

TEST_F(SnapshotOfPicture, WithoutTelemetryTheStillHasItsTimeButNoPlace) {
    HoldPicture(0);
    const test::TempDir shots;
    const std::vector<SnapshotResult> results = Snap(shots.path().string(), 0, 1);
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].path, shots.File(SnapshotFileName(RecordingTime(0))));
    std::map<std::string, std::string> tags = test::ExifTags(results[0].path);
    EXPECT_EQ(tags["DateTimeOriginal"], Formatted(RecordingTime(0), "%Y:%m:%d %H:%M:%S"));
    EXPECT_FALSE(tags.contains("OffsetTimeOriginal"));
    EXPECT_FALSE(tags.contains("GPSLatitude"));
}

TEST_F(SnapshotOfPicture, BeforeAnyPictureTheClickNamesIt) {
    const PlaybackChannel unopened(ChannelLinks{});
    const SnapshotRequest request = ChannelSnapshotRequest(unopened, "/shots", 0, kClick);
    EXPECT_EQ(request.path, "/shots/" + SnapshotFileName(kClick));
    EXPECT_FALSE(request.stamp.time);
    EXPECT_FALSE(request.stamp.fix);
}

}  // namespace
}  // namespace velmaro
