// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The player's side of a route click, on a generated recording: a click made before the
// recording's fixes have been read waits for them and is then played once; later clicks are
// answered from what was read; clicks off the route or without a channel do nothing.
#include "ui/map/route_seeker.h"

#include <gtest/gtest.h>

#include <vector>

#include "export/track_source.h"
#include "playback/playback_channel.h"
#include "tests/ui/main_window_support.h"

namespace velmaro {
namespace {

using test::WaitGui;

TEST(RouteSeeker, AnEarlyClickWaitsForTheFixesAndLaterOnesAreAnsweredAtOnce) {
    test::TempDir card;
    RecordingOptions options;
    options.outRoot = card.path();
    options.files = 1;
    options.secondsPerFile = 10;  // the generated car starts from a standstill
    options.width = 320;
    options.height = 240;
    const RecordingResult recording = WriteRecording(options);
    ASSERT_TRUE(recording.ok) << recording.error;
    const FileStats& file = recording.stats[0];
    const TrackResult track = CollectRecordingTrack(file.path);
    ASSERT_TRUE(track.ok) << track.error;
    ASSERT_GE(track.points.size(), 2u);
    const GpsRecord first = track.points.front().fix;
    const GpsRecord last = track.points.back().fix;

    // A channel that is not playing: it only names the recording.
    PlaybackChannel channel{ChannelLinks{}};
    channel.reader.SetPath(file.path);
    PlaybackChannel* playing = nullptr;
    RouteSeeker seeker([&] { return playing; }, nullptr);
    std::vector<qint64> times;
    QObject::connect(&seeker, &RouteSeeker::PlayingFrom, [&](qint64 t) { times.push_back(t); });

    seeker.Pick(last.latitude, last.longitude);
    EXPECT_TRUE(times.empty()) << "nothing plays without a channel";
    playing = &channel;

    seeker.Pick(last.latitude, last.longitude);
    EXPECT_TRUE(times.empty()) << "the fixes are still being read";
    ASSERT_TRUE(WaitGui([&] { return !times.empty(); }));
    QTest::qWait(100);
    ASSERT_EQ(times.size(), 1u);
    EXPECT_GE(times[0], file.startTime);
    EXPECT_LE(times[0], file.endTime);

    // Read once: the answer comes at once, earlier along the route an earlier moment.
    seeker.Pick(first.latitude, first.longitude);
    ASSERT_EQ(times.size(), 2u);
    EXPECT_LT(times[1], times[0]);
    EXPECT_GE(times[1], file.startTime);

    // A kilometre off the route is no click on it.
    seeker.Pick(first.latitude + 0.01, first.longitude);
    EXPECT_EQ(times.size(), 2u);
}

}  // namespace
}  // namespace velmaro
