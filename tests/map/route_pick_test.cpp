// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Matching a click on the route to a moment of the recording: known distances, the nearest of
// several fixes, misses and bad input dropped; and the worker that reads a recording's fixes.
#include "map/route_pick.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <limits>
#include <mutex>
#include <thread>

#include "export/track_source.h"
#include "map/route_track_loader.h"
#include "tests/export/export_support.h"

namespace velmaro {
namespace {

TrackPoint Fix(double lat, double lng, double cameraTime, bool valid = true) {
    TrackPoint point;
    point.valid = valid;
    point.fix.latitude = lat;
    point.fix.longitude = lng;
    point.cameraTime = cameraTime;
    return point;
}

TEST(RoutePick, GroundDistancesMatchKnownAnswers) {
    // One degree along a meridian on the mean-radius sphere.
    EXPECT_NEAR(GroundDistanceMetres(24.0, 120.5, 25.0, 120.5), 111195.08, 0.1);
    // A degree of longitude shrinks with the cosine of the latitude.
    EXPECT_NEAR(GroundDistanceMetres(60.0, 10.0, 60.0, 11.0), 55597.5, 1.0);
    // Across the antimeridian the short way round.
    EXPECT_NEAR(GroundDistanceMetres(0.0, 179.9995, 0.0, -179.9995), 111.2, 0.1);
    EXPECT_DOUBLE_EQ(GroundDistanceMetres(-33.9, 151.2, -33.9, 151.2), 0.0);
}

TEST(RoutePick, TheNearestValidFixWinsAndItsSecondIsTheMoment) {
    const TrackPoints points = {
        Fix(24.0770, 120.5280, 1000.9),
        Fix(24.0775, 120.5285, 1001.2, false),  // a text without an accepted fix
        Fix(24.0780, 120.5290, 1002.7),
        Fix(24.0790, 120.5300, 1003.5),
    };
    // 10 m or so from the third point, nearer the invalid one than to the first.
    EXPECT_EQ(NearestFix(points, 24.07790, 120.52895), 2u);
    EXPECT_EQ(RoutePickTime(points, 24.07790, 120.52895), 1002);
    EXPECT_EQ(RoutePickTime(points, 24.0770, 120.5280), 1000);
}

TEST(RoutePick, AStandstillJumpsToWhereTheCarArrived) {
    const TrackPoints points = {Fix(-33.9, 151.2, 50.0), Fix(-33.9, 151.2, 51.0),
                                Fix(-33.9, 151.2, 52.0)};
    EXPECT_EQ(NearestFix(points, -33.9, 151.2), 0u);
}

TEST(RoutePick, ClicksFarFromEveryFixAreMisses) {
    const TrackPoints points = {Fix(24.0770, 120.5280, 10.0)};
    // About 190 m north, then about 210 m north.
    EXPECT_EQ(RoutePickTime(points, 24.0770 + 190.0 / 111195.08, 120.5280), 10);
    EXPECT_FALSE(RoutePickTime(points, 24.0770 + 210.0 / 111195.08, 120.5280));
    EXPECT_FALSE(RoutePickTime({}, 24.0770, 120.5280));
    EXPECT_FALSE(RoutePickTime({Fix(24.0770, 120.5280, 10.0, false)}, 24.0770, 120.5280));
}

TEST(RoutePick, PositionsOffTheGlobeOrNotNumbersAreDropped) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const TrackPoints points = {Fix(24.0770, 120.5280, 10.0), Fix(nan, 120.5280, 11.0),
                                Fix(91.0, 0.0, 12.0)};
    EXPECT_FALSE(IsGlobePosition(nan, 0.0));
    EXPECT_FALSE(IsGlobePosition(0.0, inf));
    EXPECT_FALSE(IsGlobePosition(90.5, 0.0));
    EXPECT_FALSE(IsGlobePosition(0.0, -180.5));
    EXPECT_TRUE(IsGlobePosition(-90.0, 180.0));
    EXPECT_FALSE(RoutePickTime(points, nan, 120.5280));
    EXPECT_FALSE(RoutePickTime(points, 24.0770, inf));
    // Fixes that are not numbers never win.
    EXPECT_EQ(RoutePickTime(points, 24.0770, 120.5280), 10);
    TrackPoints broken = {Fix(24.0770, 120.5280, nan)};
    EXPECT_FALSE(RoutePickTime(broken, 24.0770, 120.5280));
}

// The worker hands over exactly what reading the file on the calling thread gives.
TEST(RouteTrackLoader, DeliversTheFixesOfTheRecordingRead) {
    test::TempDir card;
    const RecordingResult recording = WriteRecording(test::SmallCard(card, 1, 3));
    ASSERT_TRUE(recording.ok) << recording.error;
    const std::string path = recording.files[0];

    std::mutex mutex;
    std::condition_variable ended;
    std::string endedPath;
    TrackResult delivered;
    RouteTrackLoader loader([&](const std::string& p, const TrackResult& result) {
        const std::lock_guard lock(mutex);
        endedPath = p;
        delivered = result;
        ended.notify_all();
    });
    ASSERT_TRUE(loader.Start(path));
    std::unique_lock lock(mutex);
    ASSERT_TRUE(ended.wait_for(lock, std::chrono::seconds(30), [&] { return !endedPath.empty(); }));
    const TrackResult direct = CollectRecordingTrack(path);
    ASSERT_TRUE(delivered.ok) << delivered.error;
    EXPECT_EQ(endedPath, path);
    ASSERT_EQ(delivered.points.size(), direct.points.size());
    ASSERT_FALSE(direct.points.empty());
    const TrackPoint& last = direct.points.back();
    EXPECT_EQ(RoutePickTime(delivered.points, last.fix.latitude, last.fix.longitude),
              RoutePickTime(direct.points, last.fix.latitude, last.fix.longitude));
}

TEST(RouteTrackLoader, AMissingFileIsReportedOnceAsAFailure) {
    std::atomic<int> ends{0};
    std::atomic<bool> ok{true};
    RouteTrackLoader loader([&](const std::string&, const TrackResult& result) {
        ok.store(result.ok);
        ends.fetch_add(1);
    });
    ASSERT_TRUE(loader.Start("/nonexistent/DCIM/100MEDIA/REC0001.TS"));
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (loader.IsRunning() && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    loader.Stop();
    EXPECT_EQ(ends.load(), 1);
    EXPECT_FALSE(ok.load());
}

}  // namespace
}  // namespace velmaro
