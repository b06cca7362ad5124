// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// A click on the map's route while a generated recording plays: the player goes back to the
// moment the car was at the clicked point, and the picture shown is from that second.
#include <gtest/gtest.h>

#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <cmath>
#include <memory>
#include <vector>

#include "app/app_settings.h"
#include "controls/skin_button.h"
#include "playback/playback_channel.h"
#include "tests/ui/main_window_support.h"
#include "ui/main/app_shared.h"
#include "ui/main/main_window.h"
#include "ui/map/map_view.h"
#include "ui/map/route_seeker.h"
#include "ui/panel/play_panel.h"

namespace velmaro {
namespace {

using test::WaitGui;
using P = PlayPanel;

constexpr int kFileSeconds = 12;
constexpr int kDrawnPoints = 5;  // the page draws a point per poll, every 1.5 s

QVariant Eval(MapView& map, const QString& script) {
    QVariant value;
    bool done = false;
    map.View()->page()->runJavaScript(script, [&](const QVariant& v) {
        value = v;
        done = true;
    });
    EXPECT_TRUE(WaitGui([&] { return done; })) << script.toStdString();
    return value;
}

TEST(MainWindowRouteClick, AClickOnTheRoutePlaysFromTheMomentTheCarWasThere) {
    test::QuietSound();
    test::TempDir card;
    RecordingOptions options;
    options.outRoot = card.path();
    options.files = 1;
    options.secondsPerFile = kFileSeconds;
    options.width = 320;
    options.height = 240;
    const RecordingResult recording = WriteRecording(options);
    ASSERT_TRUE(recording.ok) << recording.error;
    const FileStats& file = recording.stats[0];

    AppShared shared;
    auto window = std::make_unique<MainWindow>(shared, 1);
    window->show();
    auto* map = dynamic_cast<MapView*>(window->Map());
    ASSERT_NE(map, nullptr);
    PlayPanel& panel = *window->PlayCtrl();
    ASSERT_TRUE(panel.OpenRecording(QString::fromStdString(file.path)));
    ASSERT_TRUE(WaitGui([&] { return map->MapReady() && shared.session.Channel() != nullptr; },
                        std::chrono::seconds(60)));
    PlaybackChannel& channel = *shared.session.Channel();

    // Let the car drive on a while, then hold the picture where it is.
    QVariantList path;
    ASSERT_TRUE(WaitGui(
        [&] {
            path = Eval(*map, QStringLiteral("describeMap().path")).toList();
            return path.size() >= kDrawnPoints;
        },
        std::chrono::seconds(30)));
    QTest::mouseClick(panel.Button(P::kIdPause), Qt::LeftButton);
    const double heldPts = channel.state.Shown().pts;

    // Click on the second point drawn, early in the drive.
    std::vector<qint64> playedFrom;
    QObject::connect(window->RouteSeek(), &RouteSeeker::PlayingFrom,
                     [&](qint64 time) { playedFrom.push_back(time); });
    const QVariantList point = path[1].toList();
    Eval(*map, QStringLiteral("map.fire('click', {latlng: L.latLng(%1, %2)})")
                   .arg(point[0].toDouble(), 0, 'f', 9)
                   .arg(point[1].toDouble(), 0, 'f', 9));
    ASSERT_TRUE(WaitGui([&] { return !playedFrom.empty(); })) << "the click reached the player";
    ASSERT_EQ(playedFrom.size(), 1u);
    const qint64 second = playedFrom[0] - file.startTime;
    EXPECT_GE(second, 0);
    EXPECT_LT(static_cast<double>(second), heldPts - 2.0) << "went back along the route";

    // A step shows the picture of that second: this file's times start at 1 s.
    QTest::mouseClick(panel.Button(P::kIdNextFrame), Qt::LeftButton);
    const double want = static_cast<double>(second) + 1.0;
    EXPECT_TRUE(WaitGui([&] {
        const ShownPicture shown = channel.state.Shown();
        return shown.valid && std::fabs(shown.pts - want) <= 1.5;
    })) << "shown "
        << channel.state.Shown().pts << ", wanted about " << want << " (held at " << heldPts << ")";

    // A click a kilometre off the route leaves the picture alone.
    Eval(*map, QStringLiteral("map.fire('click', {latlng: L.latLng(%1, %2)})")
                   .arg(point[0].toDouble() + 0.01, 0, 'f', 9)
                   .arg(point[1].toDouble(), 0, 'f', 9));
    QTest::qWait(500);
    EXPECT_EQ(playedFrom.size(), 1u);
}

}  // namespace
}  // namespace velmaro
