// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The measured frame rate: the rates cameras and encoders use, from hand-made time stamps with
// the rounding and jitter of real muxers, from third-party streams whose rate ffprobe agrees
// on, and from generated recordings at 25 and 50 frames per second.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "stream/demux.h"
#include "stream/pes.h"
#include "tests/media/demuxed_frames.h"
#include "tests/stream/ts_builder.h"
#include "tests/test_support.h"
#include "tools/make_recording/recording_writer.h"

namespace velmaro {
namespace {

namespace fs = std::filesystem;

const fs::path kTs = fs::path(VELMARO_DATA_DIR) / "ts";
constexpr double kClock = 90000.0;
constexpr int kFramesMeasured = 40;  // more than the 32 timed PES the measurement needs

struct Rate {
    double num;
    double den;
    double Fps() const { return num / den; }
};

const Rate kCommonRates[] = {{24000, 1001}, {24, 1}, {25, 1},       {30000, 1001},
                             {30, 1},       {50, 1}, {60000, 1001}, {60, 1}};

// The rate a meter measures from frame times in 90 kHz ticks as a muxer rounds them, with
// `jitter` ticks added to every other frame.
double Measure(Rate rate, int jitter) {
    FrameRateMeter meter;
    for (int i = 0; i < kFramesMeasured; ++i) {
        const double ticks = std::round(i * kClock * rate.den / rate.num) + (i % 2) * jitter;
        meter.Feed(1.0 + ticks / kClock);
    }
    EXPECT_TRUE(meter.measured);
    return meter.rate;
}

TEST(FrameRate, CommonRatesAreRecognisedExactlyDespiteRoundingAndJitter) {
    for (const Rate& rate : kCommonRates) {
        SCOPED_TRACE(rate.Fps());
        EXPECT_EQ(Measure(rate, 0), rate.Fps()) << "exact, not merely close";
        EXPECT_EQ(Measure(rate, 1), rate.Fps()) << "one tick of jitter";
        EXPECT_EQ(Measure(rate, -2), rate.Fps()) << "two ticks early";
    }
    // 30 and 29.97 differ by one frame in a thousand, and still come apart.
    EXPECT_NE(Measure({30000, 1001}, 0), 30.0);
}

TEST(FrameRate, OtherRatesAreWholeFramesAndTimesWithoutARateFallBack) {
    EXPECT_EQ(Measure({15, 1}, 0), 15.0);
    EXPECT_EQ(Measure({10, 1}, 1), 10.0);
    EXPECT_EQ(Measure({120, 1}, 0), 120.0);
    EXPECT_EQ(Measure({36, 1}, 0), 36.0) << "neither 30 nor 50: taken as it is";

    // Equal, reversed or absurd times give no plausible rate: fast ones count as 60, the rest
    // as the default.
    EXPECT_EQ(FrameRateFromSpan(0.0, FrameRateMeter::kSpan), 60.0);
    EXPECT_EQ(FrameRateFromSpan(-1.0, FrameRateMeter::kSpan), 30.0);
    EXPECT_EQ(FrameRateFromSpan(0.001, FrameRateMeter::kSpan), 60.0);
    EXPECT_EQ(FrameRateFromSpan(3600.0, FrameRateMeter::kSpan), 30.0);

    FrameRateMeter meter;
    for (int i = 0; i < 31; ++i) {
        meter.Feed(i / 25.0);
    }
    EXPECT_FALSE(meter.measured) << "the 32nd timed PES completes the measurement";
    EXPECT_EQ(meter.rate, kUnmeasuredFrameRate);
}

double DemuxedRate(const fs::path& file) {
    const std::vector<test::TestFrame> frames = test::DemuxVideoFrames(file.string());
    return frames.empty() ? 0.0 : frames.back().frameRate;
}

// ffprobe gives these files 25, 30000/1001, 60, 30 and 30 frames per second. The last three
// reorder their pictures, so their presentation times jump by up to three frames.
TEST(FrameRate, ThirdPartyStreamsGiveTheRateTheirDecodeTimesRunAt) {
    EXPECT_EQ(DemuxedRate(kTs / "tsduck-test" / "test-072.ts"), 25.0);
    EXPECT_EQ(DemuxedRate(kTs / "lpms" / "skip_1.ts"), 30000.0 / 1001);
    EXPECT_EQ(DemuxedRate(kTs / "lpms" / "test_short.ts"), 60.0);
    EXPECT_EQ(DemuxedRate(kTs / "mts" / "test.ts"), 30.0);
    EXPECT_EQ(DemuxedRate(kTs / "lpms" / "transmux.ts"), 30.0);
}

// A 25 fps stream whose decode times run `dtsLead` ticks ahead of its presentation times,
// the first presentation time `firstPts` (33-bit ticks, wrapping); no decode times at 0.
double RateOfStampedStream(int64_t firstPts, int64_t dtsLead) {
    constexpr int kVideoPid = 0x100;
    constexpr int64_t kWrap = int64_t{1} << 33;
    constexpr int kTicksAt25 = 3600;
    test::TempDir dir;
    test::Bytes ts = test::PatPacket(0x1000);
    const test::Bytes pmt = test::PmtPacket(0x1000, {{0x1B, kVideoPid}});
    ts.insert(ts.end(), pmt.begin(), pmt.end());
    for (int i = 0; i < kFramesMeasured; ++i) {
        const int64_t pts = (firstPts + i * kTicksAt25) % kWrap;
        const int64_t dts = dtsLead == 0 ? -1 : (pts - dtsLead + kWrap) % kWrap;  // -1: none
        const test::Bytes pes = test::Pes(0xE0, test::AccessUnit(i % 10 == 0), pts, dts);
        for (const test::Bytes& packet : test::PesPackets(kVideoPid, pes)) {
            ts.insert(ts.end(), packet.begin(), packet.end());
        }
    }
    const fs::path file = dir.path() / "stamped.ts";
    test::WriteBytes(file, ts);
    return DemuxedRate(file);
}

// Presentation and decode times are never mixed, whatever sign either has, and the time
// stamps' wrap at 2^33 ticks (and the player's at 2^32) does not upset the measurement.
TEST(FrameRate, TimesBeforeZeroAndWrappedTimesGiveTheStreamsRate) {
    constexpr int64_t kSixTenths = 54000;
    constexpr int64_t kWrap33 = int64_t{1} << 33;
    constexpr int64_t kWrap32 = int64_t{1} << 32;
    const struct {
        const char* what;
        int64_t firstPts;
        int64_t dtsLead;
    } cases[] = {
        {"decode times start 0.6 s before zero", 0, kSixTenths},
        {"decode times start 0.6 s before the first presentation", 90000, kSixTenths},
        {"times wrap at 2^33 ticks", kWrap33 - 20 * 3600, 2 * 3600},
        {"times cross 2^31 ticks", kWrap32 / 2 - 20 * 3600, 2 * 3600},
        {"presentation times only", 90000, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(RateOfStampedStream(c.firstPts, c.dtsLead), 25.0);
    }
}

TEST(FrameRate, GeneratedRecordingsAtTwentyFiveAndFiftyFpsAreMeasuredSo) {
    for (const int fps : {25, 50, 24}) {
        SCOPED_TRACE(fps);
        test::TempDir card;
        RecordingOptions options;
        options.outRoot = card.path();
        options.files = 1;
        options.secondsPerFile = 2;
        options.fps = fps;
        options.width = 96;
        options.height = 64;
        const RecordingResult result = WriteRecording(options);
        ASSERT_TRUE(result.ok) << result.error;
        const std::vector<test::TestFrame> frames = test::DemuxVideoFrames(result.files.at(0));
        ASSERT_EQ(frames.size(), static_cast<size_t>(2 * fps));
        EXPECT_EQ(frames[30].frameRate, kUnmeasuredFrameRate) << "before the 32nd frame";
        EXPECT_EQ(frames[31].frameRate, fps);
        EXPECT_EQ(frames.back().frameRate, fps);
    }
}

}  // namespace
}  // namespace velmaro
