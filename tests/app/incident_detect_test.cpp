// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Incidents from G-sensor samples, and how far off the camera's clock is: known answers.
#include <gtest/gtest.h>

#include <cmath>
#include <ctime>
#include <limits>
#include <optional>

#include "app/clock_check.h"
#include "app/incident_detect.h"

namespace velmaro {
namespace {

GSample At(double seconds, double x, double y = -0.98, double z = 0.0, int64_t pos = 0) {
    return {seconds, {x, y, z}, pos};
}

TEST(IncidentDetection, OneSpikeIsOneIncidentAtItsFirstJumpWithTheLargestJump) {
    // Once a second; the spike at 3 s jumps in (|(1.8, 0.6, -2.2)| = 2.905) and back out.
    const std::vector<GSample> samples = {At(0, 0.01), At(1, 0.02),
                                          At(2, 0.0),  At(3, 1.8, -0.38, -2.2, 3000),
                                          At(4, 0.0),  At(5, 0.01)};
    const std::vector<Incident> found = FindIncidents(samples, 1.5);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].seconds, 3.0);
    EXPECT_EQ(found[0].filePos, 3000);
    EXPECT_NEAR(found[0].deltaG, std::sqrt(1.8 * 1.8 + 0.6 * 0.6 + 2.2 * 2.2), 1e-3);
}

TEST(IncidentDetection, JumpsCountOnlyAboveTheThresholdAndWithinASecond) {
    struct Case {
        const char* what;
        std::vector<GSample> samples;
        double threshold;
        size_t incidents;
    } cases[] = {
        {"steady driving", {At(0, 0.1), At(1, 0.3), At(2, -0.2), At(3, 0.1)}, 1.5, 0},
        {"exactly the threshold is not above it", {At(0, 0.0), At(1, 1.5)}, 1.5, 0},
        {"just above", {At(0, 0.0), At(1, 1.51)}, 1.5, 1},
        {"the same change over two seconds is no jump", {At(0, 0.0), At(2, 2.0)}, 1.5, 0},
        {"a ramp at 10 Hz counts over its second",
         {At(0.0, 0.0), At(0.25, 0.5), At(0.5, 1.0), At(0.75, 1.6), At(1.0, 1.6)},
         1.5,
         1},
        {"two knocks five seconds apart",
         {At(0, 0), At(1, 3), At(2, 0), At(7, 3), At(8, 0)},
         1.5,
         2},
        {"a clock reset inside the file compares with nothing",
         {At(5, 0.0), At(1, 3.0), At(2, 3.0)},
         1.5,
         0},
        {"nothing at all", {}, 1.5, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FindIncidents(c.samples, c.threshold).size(), c.incidents) << c.what;
    }
}

TEST(IncidentDetection, AThresholdThatIsNoPositiveNumberFallsBackToTheDefault) {
    EXPECT_EQ(UsableIncidentThreshold(2.5), 2.5);
    EXPECT_EQ(UsableIncidentThreshold(0.0), kDefaultIncidentThreshold);
    EXPECT_EQ(UsableIncidentThreshold(-1.0), kDefaultIncidentThreshold);
    EXPECT_EQ(UsableIncidentThreshold(std::numeric_limits<double>::quiet_NaN()),
              kDefaultIncidentThreshold);
    EXPECT_EQ(UsableIncidentThreshold(std::numeric_limits<double>::infinity()),
              kDefaultIncidentThreshold);
}

TEST(CameraClockCheck, OffsetIsCameraMinusGpsRoundedAndToldWhenOverNinetySeconds) {
    // 2026-06-12 08:30:00 UTC = 1781253000.
    constexpr int64_t kGps = 1781253000;
    EXPECT_EQ(CameraClockOffset(kGps - 3600, kGps * 1000), -3600);
    EXPECT_EQ(CameraClockOffset(kGps, kGps * 1000 + 400), 0);
    EXPECT_EQ(CameraClockOffset(kGps, kGps * 1000 - 600), 1);
    EXPECT_EQ(CameraClockOffset(kGps + 95, kGps * 1000), 95);
    EXPECT_FALSE(NoticeableClockOffset(90));
    EXPECT_FALSE(NoticeableClockOffset(-90));
    EXPECT_EQ(NoticeableClockOffset(91), 91);
    EXPECT_EQ(NoticeableClockOffset(-3600), -3600);
}

// The camera's wall clock for a moment `zoneSeconds` east of UTC, as the recording list counts it.
int64_t CameraSecondsAt(int64_t utcSeconds, int64_t zoneSeconds) {
    const std::time_t wallAsUtc = static_cast<std::time_t>(utcSeconds + zoneSeconds);
    std::tm wall{};
    gmtime_r(&wallAsUtc, &wall);
    wall.tm_isdst = -1;
    return static_cast<int64_t>(std::mktime(&wall));
}

TEST(CameraClockCheck, TheZoneIsTheOffsetFromUtcInWholeQuarterHoursWithinTheTolerance) {
    constexpr int64_t kGps = 1781253000;  // 2026-06-12 08:30:00 UTC
    const struct {
        int64_t cameraAhead;  // seconds
        std::optional<int32_t> zoneMinutes;
    } cases[] = {
        {0, 0},
        {2 * 3600, 120},
        {2 * 3600 + 90, 120},
        {2 * 3600 - 90, 120},
        {-(3 * 3600 + 1800), -210},
        {5 * 3600 + 2700, 345},
        {14 * 3600, 840},
        {2 * 3600 + 91, std::nullopt},  // a clock off by more than its drift: no zone
        {7 * 60, std::nullopt},
        {15 * 3600, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CameraZoneOffset(CameraSecondsAt(kGps, c.cameraAhead), kGps * 1000),
                  c.zoneMinutes)
            << c.cameraAhead;
    }
}

TEST(CameraClockCheck, TheOffsetReadsAsADriverWouldSayIt) {
    EXPECT_EQ(DescribeClockOffset(-3600), "camera clock is 1 h 00 min behind GPS time");
    EXPECT_EQ(DescribeClockOffset(3600 + 25 * 60 + 40),
              "camera clock is 1 h 26 min ahead of GPS time");
    EXPECT_EQ(DescribeClockOffset(125), "camera clock is 2 min 05 s ahead of GPS time");
    EXPECT_EQ(DescribeClockOffset(-91), "camera clock is 1 min 31 s behind GPS time");
    EXPECT_EQ(DescribeClockOffset(-9 * 3600), "camera clock is 9 h 00 min behind GPS time");
}

}  // namespace
}  // namespace velmaro
