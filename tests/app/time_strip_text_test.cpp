// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <ctime>

#include "app/time_strip_text.h"
#include "stream/channel_controls.h"
#include "stream/recording_index.h"
#include "tests/test_support.h"
#include "tools/make_recording/recording_writer.h"

namespace velmaro {
namespace {

TEST(TimeStripText, SpeedsAndLengthsReadAsPeopleSayThem) {
    const struct {
        int32_t playMode;
        bool paused, backward;
        const char* state;
    } states[] = {
        {kPlayNormal, false, false, "Playing"},
        {kPlayNormal, true, false, "Paused"},
        {kPlayStep, false, false, "Paused"},
        {2, false, false, "2x"},
        {3, false, false, "4x"},
        {4, false, false, "8x"},
        {8, false, false, "1/4x"},
        {10, false, false, "1/16x"},
        {kPlayNormal, false, true, "Backward"},
        {kPlayBackward, false, true, "Backward 1/2x"},
    };
    for (const auto& s : states) {
        TimeStripInput input;
        input.path = "/card/DCIM/100MEDIA/REC_0001.ts";
        input.play = {s.playMode, s.paused, s.backward};
        const TimeStripText text = MakeTimeStripText(input);
        EXPECT_EQ(text.state, s.state) << s.playMode;
        EXPECT_EQ(text.file, "REC_0001.ts");
        EXPECT_EQ(text.clock, "");  // no time known yet, none made up
    }
    EXPECT_EQ(MakeTimeStripText({}).state, "");  // nothing open, nothing said
    const struct {
        double seconds;
        const char* text;
    } lengths[] = {{0, "0:00"},     {-3, "0:00"},      {59.9, "0:59"},   {60, "1:00"},
                   {3599, "59:59"}, {3600, "1:00:00"}, {7325, "2:02:05"}};
    for (const auto& l : lengths) {
        EXPECT_EQ(MinutesAndSeconds(l.seconds), l.text) << l.seconds;
    }
}

TEST(TimeStripText, ThePictureIsAsMuchEarlierThanTheFileTimeAsItsTimeIsBefore) {
    RecordingTimes times;
    times.firstPts = 1.4;  // a stream that does not start at 0
    times.lastPts = 61.4;
    times.endTime = 1'000'000;
    const struct {
        double pts;
        double cameraTime, position;
    } cases[] = {
        {1.4, 1'000'000 - 60.0, 0.0},
        {31.4, 1'000'000 - 30.0, 30.0},
        {61.4, 1'000'000, 60.0},
        {0.0, 1'000'000 - 60.0, 0.0},  // before the first picture: the first picture's moment
    };
    for (const auto& c : cases) {
        const PictureMoment m = LocatePicture(times, c.pts);
        EXPECT_NEAR(m.cameraTime, c.cameraTime, 1e-9) << c.pts;
        EXPECT_NEAR(m.position, c.position, 1e-9) << c.pts;
        EXPECT_NEAR(m.length, 60.0, 1e-9);
    }
    // The reader's clock wrapped between the first picture and this one.
    times.firstPts = 47721.0;
    times.lastPts = 47721.0 + 30.0 - 4294967296.0 / 90000.0;
    EXPECT_NEAR(LocatePicture(times, times.lastPts).length, 30.0, 1e-6);

    // GPS time chosen: the clock moves by the shift, the position does not.
    TimeStripInput input;
    input.path = "x.ts";
    input.moment = PictureMoment{3600.0 * 24 * 365, 65.0, 179.6};
    const TimeStripText camera = MakeTimeStripText(input);
    input.clockShift = -125;
    const TimeStripText gps = MakeTimeStripText(input);
    EXPECT_EQ(camera.position, "1:05 / 3:00");
    EXPECT_EQ(gps.position, camera.position);
    EXPECT_NE(gps.clock, camera.clock);
    std::tm a{}, b{};
    ASSERT_TRUE(strptime(camera.clock.c_str(), "%Y-%m-%d %H:%M:%S", &a));
    ASSERT_TRUE(strptime(gps.clock.c_str(), "%Y-%m-%d %H:%M:%S", &b));
    a.tm_isdst = b.tm_isdst = -1;
    EXPECT_EQ(std::mktime(&a) - std::mktime(&b), 125);
}

TEST(TimeStripText, AFileGivesItsFirstAndLastPictureTimes) {
    const test::TempDir dir("velmaro-strip");
    RecordingOptions o;
    o.outRoot = dir.path();
    o.files = 1;
    o.secondsPerFile = 2;
    o.width = 160;
    o.height = 120;
    const RecordingResult r = WriteRecording(o);
    ASSERT_TRUE(r.ok) << r.error;
    const RecordingTimes times = ReadRecordingTimes(r.files[0]);
    ASSERT_TRUE(times.Known());
    // The last picture in file order may be a B-picture a few frames before the end.
    EXPECT_NEAR(times.lastPts - times.firstPts, 1.9, 0.15);
    EXPECT_EQ(times.endTime, LastWriteTime(r.files[0]));
    EXPECT_FALSE(ReadRecordingTimes(dir.path().string() + "/none.ts").Known());
    EXPECT_FALSE(ReadRecordingTimes(dir.path().string()).Known());  // a folder
}

}  // namespace
}  // namespace velmaro
