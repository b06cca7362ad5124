// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// make-recording's knocks and camera clock: only the asked-for sample and the sentences' times
// change, everything else stays as without the options.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "stream/rmc_time.h"
#include "stream/telemetry.h"
#include "tests/test_support.h"
#include "tools/make_recording/recording_writer.h"

namespace velmaro {
namespace {

using test::TempDir;

RecordingResult Write(const TempDir& dir, std::vector<int> spikes, int64_t clockOffset) {
    RecordingOptions o;
    o.outRoot = dir.path();
    o.files = 1;
    o.secondsPerFile = 3;
    o.width = 64;
    o.height = 48;
    o.gSpikes = std::move(spikes);
    o.clockOffset = clockOffset;
    return WriteRecording(o);
}

TEST(MakeRecordingIncidents, AKnockChangesOneSampleAndTheClockOffsetOnlyTheSentenceTimes) {
    TempDir plainDir, knockDir;
    const RecordingResult plain = Write(plainDir, {}, 0);
    const RecordingResult knock = Write(knockDir, {1}, -3600);
    ASSERT_TRUE(plain.ok && knock.ok) << plain.error << knock.error;
    const std::vector<std::string>& a = plain.stats[0].telemetry;
    const std::vector<std::string>& b = knock.stats[0].telemetry;
    ASSERT_EQ(a.size(), 3u);
    ASSERT_EQ(b.size(), 3u);
    for (size_t i = 0; i < a.size(); ++i) {
        SCOPED_TRACE(i);
        GSensorRecord ga, gb;
        GpsRecord fa, fb;
        ASSERT_TRUE(ParseTelemetry(a[i], ga, fa));
        ASSERT_TRUE(ParseTelemetry(b[i], gb, fb));
        EXPECT_EQ(fa.latitude, fb.latitude);
        EXPECT_EQ(fa.speed, fb.speed);
        // The camera an hour behind: GPS time is an hour later than the file time.
        EXPECT_EQ(*ParseRmcUtcMs(b[i]) - *ParseRmcUtcMs(a[i]), 3600 * 1000);
        if (i == 1) {
            EXPECT_NEAR(gb.x - ga.x, 1.8, 1e-3);
            EXPECT_NEAR(gb.y - ga.y, 0.6, 1e-3);
            EXPECT_NEAR(gb.z - ga.z, -2.2, 1e-3);
        } else {
            EXPECT_EQ(ga.x, gb.x);
            EXPECT_EQ(ga.y, gb.y);
            EXPECT_EQ(ga.z, gb.z);
        }
    }
}

TEST(MakeRecordingIncidents, TheCommandLineTakesKnocksAndAClockOffset) {
    TempDir dir;
    const std::string tool = std::string(VELMARO_BIN_DIR) + "/make-recording";
    const auto [status, out] = test::RunCommand(
        test::ShellQuote(tool) + " --out " + test::ShellQuote(dir.path()) +
        " --files 1 --seconds 2 --size 64x48 --g-spike 1 --g-spike 0 --clock-offset -90 2>&1");
    EXPECT_EQ(status, 0) << out;
    EXPECT_TRUE(std::filesystem::exists(dir.File("DCIM/100MEDIA/REC_0001.ts")));
    for (const char* bad : {" --g-spike -1", " --g-spike x", " --clock-offset"}) {
        const auto [badStatus, badOut] = test::RunCommand(
            test::ShellQuote(tool) + " --out " + test::ShellQuote(dir.path()) + bad + " 2>&1");
        EXPECT_EQ(badStatus, 2) << bad << badOut;
    }
}

}  // namespace
}  // namespace velmaro
