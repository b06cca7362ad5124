// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The map view with its real page in Qt WebEngine: what the page draws after pushes that mimic
// a drive, what the player writes into it, and its window. Each test loads the page once and
// walks through its cases, since starting the browser is the slow part.
#include "ui/map/map_view.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>
#include <QJsonDocument>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <cmath>
#include <cstdio>
#include <vector>

#include "app/app_settings.h"
#include "map/gps_offset.h"
#include "tests/test_support.h"
#include "tests/ui/main_window_support.h"
#include "ui/map/map_web_page.h"

namespace velmaro {
namespace {

namespace fs = std::filesystem;
using test::TempDir;
using test::WaitGui;
using test::WriteText;

constexpr auto kLoadPatience = std::chrono::seconds(60);
constexpr int kTileZoom = 16;
constexpr int kTileReach = 3;  // tiles each side of the centre tile

// "$GPRMC" with the position in degrees and minutes, speed in knots, course in degrees.
std::string Sentence(double lat, double lng, double knots, double course, char status = 'A') {
    const auto dm = [](double deg) {
        const double a = std::fabs(deg);
        return std::floor(a) * 100.0 + (a - std::floor(a)) * 60.0;
    };
    char text[160];
    std::snprintf(text, sizeof text,
                  "X:0.1 Y:0.2 Z:0.3 $GPRMC,083000,%c,%09.4f,%c,%010.4f,%c,%.1f,%.1f,120626,,,A*00",
                  status, dm(lat), lat < 0 ? 'S' : 'N', dm(lng), lng < 0 ? 'W' : 'E', knots,
                  course);
    return text;
}

GpsRecord FixOf(const std::string& sentence) {
    GSensorRecord g;
    GpsRecord fix;
    EXPECT_TRUE(ParseTelemetry(sentence, g, fix)) << sentence;
    return fix;
}

// Runs `script` in the page and waits for its value.
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

struct Drawn {
    QStringList titles;
    QStringList icons;
    QVariantList markers;
    QVariantList path;
    QString layer;
};

// One poll of the page, then what it shows.
Drawn Refresh(MapView& map) {
    const QVariantMap d = Eval(map, QStringLiteral("refreshMap(); describeMap()")).toMap();
    Drawn drawn;
    drawn.markers = d.value(QStringLiteral("markers")).toList();
    for (const QVariant& m : drawn.markers) {
        drawn.titles << m.toMap().value(QStringLiteral("title")).toString();
        drawn.icons << m.toMap().value(QStringLiteral("icon")).toString();
    }
    drawn.path = d.value(QStringLiteral("path")).toList();
    drawn.layer = d.value(QStringLiteral("layer")).toString();
    return drawn;
}

double PointLat(const QVariant& p) {
    return p.toList().value(0).toDouble();
}
double PointLng(const QVariant& p) {
    return p.toList().value(1).toDouble();
}

QString PagePath() {
    return QString::fromStdString((fs::path(VELMARO_BIN_DIR) / kMapPageFile).string());
}

// A folder of plain 256 x 256 tiles around a position, as a user's local tile cache.
void MakeTiles(const fs::path& root, double lat, double lng) {
    const double n = std::pow(2.0, kTileZoom);
    const double rad = lat * M_PI / 180.0;
    const int cx = static_cast<int>((lng + 180.0) / 360.0 * n);
    const int cy =
        static_cast<int>((1.0 - std::log(std::tan(rad) + 1.0 / std::cos(rad)) / M_PI) / 2.0 * n);
    QImage tile(256, 256, QImage::Format_RGB32);
    tile.fill(QColor(200, 230, 201));
    for (int x = cx - kTileReach; x <= cx + kTileReach; ++x) {
        const fs::path column = root / std::to_string(kTileZoom) / std::to_string(x);
        fs::create_directories(column);
        for (int y = cy - kTileReach; y <= cy + kTileReach; ++y) {
            tile.save(QString::fromStdString((column / (std::to_string(y) + ".png")).string()));
        }
    }
}

// Settings pointed at a Config.ini of the test's own, restored afterwards.
class MapFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        saved_ = Settings();
        Settings().configFile = dir_.path() / "Config.ini";
        Settings().defaultLatitude = kStartLat;
        Settings().defaultLongitude = kStartLng;
    }
    void TearDown() override {
        Settings() = saved_;
        ProcessGpsOffsetTable().Clear();
    }
    void Config(const std::string& body) { WriteText(Settings().configFile, "[Config]\n" + body); }
    // A map view on the shipped page, loaded and with its map built.
    std::unique_ptr<MapView> LoadedMap(QWidget* parent = nullptr) {
        auto map = std::make_unique<MapView>(parent, PagePath().toStdString());
        map->resize(350, 198);
        map->show();
        EXPECT_TRUE(WaitGui([&] { return map->MapReady(); }, kLoadPatience));
        return map;
    }

    static constexpr double kStartLat = 24.0777;
    static constexpr double kStartLng = 120.5289;
    TempDir dir_;
    AppSettings saved_;
};

TEST_F(MapFixture, PageDrawsADriveAsTheFixesArrive) {
    const fs::path tiles = dir_.path() / "tiles";
    MakeTiles(tiles, kStartLat, kStartLng);
    Config("GPS_Offset_Auto=0\nGPS_Offset_X=0.001\nGPS_Offset_Y=0.002\nMap_Road_Tiles=file://" +
           tiles.string() + "/{z}/{x}/{y}.png\nMap_Road_Attribution=Local <b>tiles</b>\n");
    auto map = LoadedMap();
    ASSERT_TRUE(map->MapReady());
    map->ResetTrack(1);

    // Opens at the last known position, zoom 16, on the road layer from the local folder.
    const QVariantMap first = Eval(*map, QStringLiteral("describeMap()")).toMap();
    EXPECT_EQ(first.value(QStringLiteral("zoom")).toInt(), 16);
    EXPECT_NEAR(first.value(QStringLiteral("center")).toList().value(0).toDouble(), kStartLat,
                1e-6);
    EXPECT_NEAR(first.value(QStringLiteral("center")).toList().value(1).toDouble(), kStartLng,
                1e-6);
    EXPECT_TRUE(WaitGui([&] {
        return Eval(*map,
                    QStringLiteral("document.querySelectorAll('img.leaflet-tile-loaded').length"))
                   .toInt() > 0;
    }));
    EXPECT_TRUE(Eval(*map, QStringLiteral("document.querySelector('img.leaflet-tile-loaded').src"))
                    .toString()
                    .startsWith(QStringLiteral("file://")));
    const QString credit =
        Eval(*map, QStringLiteral("document.querySelector('.leaflet-control-attribution')"
                                  ".textContent"))
            .toString();
    EXPECT_TRUE(credit.contains(QStringLiteral("Local <b>tiles</b>"))) << credit.toStdString();

    // The first fix: a start marker, the car heading north, one point, all shifted by the
    // offsets on the road layer (X on the latitude, Y on the longitude).
    map->UpdatePosition(1, FixOf(Sentence(24.0777, 120.5289, 20, 5)));
    const GpsRecord a = map->LatestFix();
    Drawn d = Refresh(*map);
    EXPECT_EQ(d.titles, QStringList({"Start Point", "Car Point"}));
    EXPECT_EQ(d.icons.value(1), QStringLiteral("heading/n.png"));
    ASSERT_EQ(d.path.size(), 1);
    EXPECT_NEAR(PointLat(d.path[0]), a.latitude + 0.001, 1e-9);
    EXPECT_NEAR(PointLng(d.path[0]), a.longitude + 0.002, 1e-9);

    // The same position again adds nothing.
    map->UpdatePosition(1, FixOf(Sentence(24.0777, 120.5289, 20, 5)));
    d = Refresh(*map);
    EXPECT_EQ(d.titles.size(), 2);
    EXPECT_EQ(d.path.size(), 1);

    // Moving: the previous car marker goes, the new one turns with the course.
    map->UpdatePosition(1, FixOf(Sentence(24.0787, 120.5289, 20, 350)));
    d = Refresh(*map);
    EXPECT_EQ(d.titles, QStringList({"Start Point", "Car Point"}));
    EXPECT_EQ(d.icons.value(1), QStringLiteral("heading/n.png"));
    EXPECT_EQ(d.path.size(), 2);
    map->UpdatePosition(1, FixOf(Sentence(24.0797, 120.5299, 20, 12)));
    d = Refresh(*map);
    EXPECT_EQ(d.icons.value(1), QStringLiteral("heading/nne.png"));
    EXPECT_EQ(d.path.size(), 3);
    EXPECT_TRUE(WaitGui([&] {
        return Eval(*map, QStringLiteral("(function(){var i=document.querySelector("
                                         "'img.leaflet-marker-icon[src$=\"heading/nne.png\"]');"
                                         "return i&&i.complete?i.naturalWidth:0;})()"))
                   .toInt() == 32;
    })) << "the heading icon is drawn";

    // A fix of another track: nothing changes.
    map->UpdatePosition(7, FixOf(Sentence(25.0, 121.0, 20, 90)));
    d = Refresh(*map);
    EXPECT_EQ(d.path.size(), 3);

    // Imagery is drawn without the offset; changing to it with an offset restarts the track.
    map->UpdatePosition(1, FixOf(Sentence(24.0807, 120.5309, 20, 180)));
    const GpsRecord e = map->LatestFix();
    Eval(*map, QStringLiteral(
                   "document.querySelectorAll('.leaflet-control-layers-selector')[1].click()"));
    d = Refresh(*map);
    EXPECT_EQ(d.layer, QStringLiteral("imagery"));
    EXPECT_EQ(d.titles, QStringList({"Start Point", "Car Point"}));
    EXPECT_EQ(d.icons.value(1), QStringLiteral("heading/s.png"));
    ASSERT_EQ(d.path.size(), 1);
    EXPECT_NEAR(PointLat(d.path[0]), e.latitude, 1e-9);
    EXPECT_NEAR(PointLng(d.path[0]), e.longitude, 1e-9);

    // A new track clears everything; its first fix starts again.
    map->ResetTrack(2);
    d = Refresh(*map);
    EXPECT_TRUE(d.titles.isEmpty());
    EXPECT_TRUE(d.path.isEmpty());
    map->UpdatePosition(2, FixOf(Sentence(24.0817, 120.5319, 20, 240)));
    d = Refresh(*map);
    EXPECT_EQ(d.titles, QStringList({"Start Point", "Car Point"}));
    EXPECT_EQ(d.icons.value(1), QStringLiteral("heading/wsw.png")) << "sww's file";

    // "stopped" after a track marks its end where the track was last drawn.
    Eval(*map, QStringLiteral("document.getElementById('map_status').value='stopped';"
                              "document.getElementById('map_lng').value='0'"));
    d = Refresh(*map);
    EXPECT_EQ(d.titles, QStringList({"Start Point", "Car Point", "End Point"}));
    EXPECT_EQ(d.markers.value(2).toMap().value(QStringLiteral("lat")),
              d.markers.value(1).toMap().value(QStringLiteral("lat")));
    d = Refresh(*map);
    EXPECT_EQ(d.titles.size(), 3) << "only once";
}

// A tile server on the loopback: answers every request with one PNG tile and keeps the user
// agents it was asked with.
class TileServer {
  public:
    TileServer() {
        QImage tile(256, 256, QImage::Format_RGB32);
        tile.fill(QColor(170, 200, 230));
        QBuffer buffer(&png_);
        buffer.open(QIODevice::WriteOnly);
        tile.save(&buffer, "PNG");
        QObject::connect(&server_, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection()) {
                QObject::connect(socket, &QTcpSocket::readyRead, socket,
                                 [this, socket] { Answer(socket); });
            }
        });
        server_.listen(QHostAddress::LocalHost);
    }
    QString Template() const {
        return QStringLiteral("http://127.0.0.1:%1/{z}/{x}/{y}.png").arg(server_.serverPort());
    }
    const QStringList& Agents() const { return agents_; }

  private:
    void Answer(QTcpSocket* socket) {
        const QByteArray request = socket->readAll();
        for (const QByteArray& line : request.split('\n')) {
            if (line.toLower().startsWith("user-agent:")) {
                agents_ << QString::fromLatin1(line.mid(11).trimmed());
            }
        }
        socket->write(
            "HTTP/1.1 200 OK\r\nContent-Type: image/png\r\nConnection: close\r\n"
            "Content-Length: " +
            QByteArray::number(png_.size()) + "\r\n\r\n" + png_);
        socket->disconnectFromHost();
    }

    QTcpServer server_;
    QByteArray png_;
    QStringList agents_;
};

// Clicks are fired at Leaflet as the map does for a real one, at points given in pixels of the
// zoom shown from a drawn point of the track (unrounded, so the expected answers are exact).
QString ClickNear(double lat, double lng, int dx, int dy) {
    return QStringLiteral(
               "map.fire('click', {latlng: map.unproject("
               "map.project(L.latLng(%1, %2)).add(L.point(%3, %4)))})")
        .arg(lat, 0, 'f', 9)
        .arg(lng, 0, 'f', 9)
        .arg(dx)
        .arg(dy);
}

struct Pick {
    double lat = 0.0;
    double lng = 0.0;
};

// The picks the view reported while `script` ran and the page's messages came through.
std::vector<Pick> PicksOf(MapView& map, const QString& script) {
    std::vector<Pick> picks;
    const QMetaObject::Connection c =
        QObject::connect(&map, &MapView::RoutePicked, [&](double lat, double lng) {
            picks.push_back({lat, lng});
        });
    Eval(map, script);
    // The channel's message crosses to the player after the script has returned.
    WaitGui([&] { return !picks.empty(); }, std::chrono::milliseconds(1500));
    QObject::disconnect(c);
    return picks;
}

TEST_F(MapFixture, AClickOnTheTrackReportsThePointInTheReceiversCoordinates) {
    Config("GPS_Offset_Auto=0\nGPS_Offset_X=0.001\nGPS_Offset_Y=0.002\n");
    auto map = LoadedMap();
    ASSERT_TRUE(map->MapReady());
    map->ResetTrack(1);
    ASSERT_TRUE(WaitGui([&] { return Eval(*map, QStringLiteral("routeSink !== null")).toBool(); }))
        << "the page reaches the player through the web channel";

    // A drive north, then east; drawn shifted by the offsets.
    const double fixes[][2] = {{24.0777, 120.5289}, {24.0787, 120.5289}, {24.0787, 120.5299}};
    for (const auto& f : fixes) {
        map->UpdatePosition(1, FixOf(Sentence(f[0], f[1], 20, 0)));
        Refresh(*map);
    }
    Drawn d = Refresh(*map);
    ASSERT_EQ(d.path.size(), 3);
    const double drawnLat = PointLat(d.path[1]);
    const double drawnLng = PointLng(d.path[1]);

    // Right on the corner: the receiver's position of it comes back, without the offsets.
    std::vector<Pick> picks = PicksOf(*map, ClickNear(drawnLat, drawnLng, 0, 0));
    ASSERT_EQ(picks.size(), 1u);
    EXPECT_NEAR(picks[0].lat, 24.0787, 1e-6);
    EXPECT_NEAR(picks[0].lng, 120.5289, 1e-6);

    // A few pixels beside the northbound leg: the point of the leg beside the click.
    const double midLat = (PointLat(d.path[0]) + drawnLat) / 2.0;
    picks = PicksOf(*map, ClickNear(midLat, drawnLng, 6, 0));
    ASSERT_EQ(picks.size(), 1u);
    EXPECT_NEAR(picks[0].lat, midLat - 0.001, 1e-6);
    EXPECT_NEAR(picks[0].lng, 120.5289, 1e-6);

    // Well away from the line: not a click on the route.
    EXPECT_TRUE(PicksOf(*map, ClickNear(midLat, drawnLng, 40, 0)).empty());

    // What the page hands over is checked: only numbers on the globe go on.
    EXPECT_TRUE(PicksOf(*map, QStringLiteral("routeSink.pick('24.0787', 120.5289)")).empty());
    EXPECT_TRUE(PicksOf(*map, QStringLiteral("routeSink.pick(NaN, 120.5289)")).empty());
    EXPECT_TRUE(PicksOf(*map, QStringLiteral("routeSink.pick(95, 120.5289)")).empty());
    EXPECT_TRUE(PicksOf(*map, QStringLiteral("routeSink.pick({}, [])")).empty());

    // On imagery the track is drawn as received, and comes back the same.
    Eval(*map, QStringLiteral(
                   "document.querySelectorAll('.leaflet-control-layers-selector')[1].click()"));
    map->UpdatePosition(1, FixOf(Sentence(24.0797, 120.5299, 20, 0)));
    d = Refresh(*map);
    ASSERT_EQ(d.layer, QStringLiteral("imagery"));
    ASSERT_EQ(d.path.size(), 1);
    const GpsRecord last = map->LatestFix();
    picks = PicksOf(*map, ClickNear(PointLat(d.path[0]), PointLng(d.path[0]), 0, 0));
    ASSERT_EQ(picks.size(), 1u);
    EXPECT_NEAR(picks[0].lat, last.latitude, 1e-6);
    EXPECT_NEAR(picks[0].lng, last.longitude, 1e-6);

    // A new track has nothing to click until it is drawn.
    map->ResetTrack(2);
    Refresh(*map);
    EXPECT_TRUE(PicksOf(*map, ClickNear(PointLat(d.path[0]), PointLng(d.path[0]), 0, 0)).empty());
}

TEST_F(MapFixture, TilesFromAServerAreAskedForInThePlayersName) {
    TileServer server;
    Config("Map_Road_Tiles=" + server.Template().toStdString() + "\n");
    auto map = LoadedMap();
    EXPECT_TRUE(WaitGui([&] {
        return Eval(*map,
                    QStringLiteral("document.querySelectorAll('img.leaflet-tile-loaded').length"))
                   .toInt() > 0;
    }));
    ASSERT_FALSE(server.Agents().isEmpty());
    EXPECT_TRUE(server.Agents().front().startsWith(QStringLiteral("Velmaro/")))
        << server.Agents().front().toStdString();
}

// The map centre and whether it follows the car, as the page reports them.
struct View {
    double lat = 0.0;
    double lng = 0.0;
    bool following = false;
};

View ViewOf(MapView& map) {
    const QVariantMap d = Eval(map, QStringLiteral("describeMap()")).toMap();
    const QVariantList centre = d.value(QStringLiteral("center")).toList();
    return {centre.value(0).toDouble(), centre.value(1).toDouble(),
            d.value(QStringLiteral("following")).toBool()};
}

// The position `dx`, `dy` pixels from the map's centre at the zoom shown.
GpsRecord FixAside(MapView& map, int dx, int dy) {
    const QVariantList at =
        Eval(map, QStringLiteral("(function(){var p=map.unproject(map.project(map.getCenter())"
                                 ".add(L.point(%1,%2)));return [p.lat,p.lng];})()")
                      .arg(dx)
                      .arg(dy))
            .toList();
    GpsRecord fix;
    fix.latitude = at.value(0).toDouble();
    fix.longitude = at.value(1).toDouble();
    return fix;
}

// A fix that arrives while the page still loads is where the map opens, with the car drawn
// before the page's first poll.
TEST_F(MapFixture, AFixGivenWhileThePageLoadsIsCentredAndDrawnAtOnce) {
    Config("GPS_Offset_Auto=0\n");
    auto map = std::make_unique<MapView>(nullptr, PagePath().toStdString());
    map->resize(350, 198);
    map->show();
    map->ResetTrack(1);
    GpsRecord fix;
    fix.latitude = 25.033964;
    fix.longitude = 121.564468;
    map->UpdatePosition(1, fix);
    ASSERT_FALSE(map->MapReady()) << "the fix must come before the page is there";
    ASSERT_TRUE(WaitGui([&] { return map->MapReady(); }, kLoadPatience));

    const View opened = ViewOf(*map);
    EXPECT_NEAR(opened.lat, fix.latitude, 1e-6);
    EXPECT_NEAR(opened.lng, fix.longitude, 1e-6);
    const QVariantList markers = Eval(*map, QStringLiteral("describeMap().markers")).toList();
    ASSERT_EQ(markers.size(), 2);
    EXPECT_EQ(markers[1].toMap().value(QStringLiteral("title")).toString(),
              QStringLiteral("Car Point"));
}

// The car stays in view: the map recentres on it once it nears an edge or leaves the view, and
// leaves the map where the user dragged it for a few seconds before following again.
TEST_F(MapFixture, TheMapFollowsTheCarOutOfViewButNotAgainstADrag) {
    Config("GPS_Offset_Auto=0\n");
    auto map = LoadedMap();  // 350 x 198 pixels, 40 of them a margin on each side
    map->ResetTrack(1);
    map->UpdatePosition(1, FixAside(*map, 0, 0));
    Refresh(*map);

    struct Case {
        const char* name;
        int dx;
        int dy;
        bool pans;
    };
    const Case cases[] = {{"well inside", 60, 30, false},
                          {"within the margin of the right edge", 150, 0, true},
                          {"beyond the bottom edge", 0, 250, true},
                          {"far away up left", -5000, -4000, true},
                          {"within the margin of the top edge", 0, -70, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const View before = ViewOf(*map);
        const GpsRecord fix = FixAside(*map, c.dx, c.dy);
        map->UpdatePosition(1, fix);
        Refresh(*map);
        const View after = ViewOf(*map);
        EXPECT_NEAR(after.lat, c.pans ? fix.latitude : before.lat, 1e-6);
        EXPECT_NEAR(after.lng, c.pans ? fix.longitude : before.lng, 1e-6);
    }

    // Leaflet's drag handler tells the map as a user's drag does.
    Eval(*map, QStringLiteral("map.fire('dragstart'); map.fire('dragend')"));
    const View dragged = ViewOf(*map);
    EXPECT_FALSE(dragged.following);
    map->UpdatePosition(1, FixAside(*map, 0, 400));
    Refresh(*map);
    EXPECT_NEAR(ViewOf(*map).lat, dragged.lat, 1e-9) << "the user's view is kept";
    EXPECT_NEAR(ViewOf(*map).lng, dragged.lng, 1e-9);

    ASSERT_TRUE(WaitGui([&] { return ViewOf(*map).following; }, std::chrono::seconds(10)));
    const GpsRecord later = FixAside(*map, 400, 0);
    map->UpdatePosition(1, later);
    Refresh(*map);
    EXPECT_NEAR(ViewOf(*map).lat, later.latitude, 1e-6) << "followed again after the pause";
    EXPECT_NEAR(ViewOf(*map).lng, later.longitude, 1e-6);
}

TEST_F(MapFixture, AnUnusableTileAddressIsNamedAndTheTrackIsStillDrawn) {
    Config("Map_Road_Tiles=https://tiles.example/{foo}/{z}/{x}/{y}.png\n");
    auto map = LoadedMap();
    ASSERT_TRUE(map->MapReady());
    EXPECT_TRUE(map->LastMessage().contains(QStringLiteral("Map_Road_Tiles")))
        << map->LastMessage().toStdString();

    map->ResetTrack(1);
    map->UpdatePosition(1, FixOf(Sentence(24.0777, 120.5289, 20, 5)));
    const Drawn d = Refresh(*map);
    EXPECT_EQ(d.titles, QStringList({"Start Point", "Car Point"}));
    EXPECT_EQ(d.path.size(), 1);
}

TEST_F(MapFixture, HeadingIconsFollowTheAngleTable) {
    auto map = LoadedMap();
    const std::vector<std::pair<double, const char*>> table = {
        {0, "n"},    {5, "n"},     {11, "n"},    {11.5, "nne"}, {12, "nne"}, {34, "nne"},
        {35, "ne"},  {57, "nee"},  {80, "e"},    {102, "see"},  {125, "se"}, {147, "sse"},
        {170, "s"},  {192, "ssw"}, {215, "sw"},  {237, "sww"},  {260, "w"},  {282, "nww"},
        {305, "nw"}, {327, "nnw"}, {349, "nnw"}, {350, "n"},    {359.9, "n"}};
    for (const auto& [angle, name] : table) {
        EXPECT_EQ(Eval(*map, QStringLiteral("headingName(%1)").arg(angle)).toString(),
                  QString::fromLatin1(name))
            << angle;
    }
    EXPECT_EQ(Eval(*map, QStringLiteral("headingFile('sww')")).toString(),
              QStringLiteral("heading/wsw.png"));
}

TEST_F(MapFixture, UpdatePositionPushesTheEightValuesTheWayTheConfigSays) {
    Config("GPS_Offset_Auto=0\nGPS_Offset_X=0.001\nGPS_Offset_Y=0.002\n");
    auto map = LoadedMap();
    ASSERT_TRUE(map->MapReady());
    const auto values = [&] {
        return Eval(*map,
                    QStringLiteral("['map_lng','map_lat','offset_lng','offset_lat','map_status',"
                                   "'SpeedBar','AngleBar','Index'].map(function(i){"
                                   "return document.getElementById(i).value;}).join(' ')"))
            .toString();
    };
    map->ResetTrack(3);
    EXPECT_EQ(values(), QStringLiteral("0 0 0 0 clear 0 0 -1"));

    // Decimal-comma locale: the page still gets points.
    const GpsRecord given = FixOf(Sentence(24.0777, 120.5289, 10, 90.5));
    const std::string old = std::setlocale(LC_ALL, nullptr);
    std::setlocale(LC_ALL, "de_DE.UTF-8");
    map->UpdatePosition(3, given);
    std::setlocale(LC_ALL, old.c_str());
    const GpsRecord fix = map->LatestFix();
    EXPECT_EQ(values(), QStringLiteral("%1 %2 0.002 0.001 running %3 90.5 3")
                            .arg(QString::fromStdString(FormatMapNumber(fix.longitude)),
                                 QString::fromStdString(FormatMapNumber(fix.latitude)),
                                 QString::fromStdString(FormatMapNumber(fix.speed))));
    EXPECT_EQ(Settings().defaultLongitude, fix.longitude);
    EXPECT_EQ(Settings().defaultLatitude, fix.latitude);

    // Another track's fix is kept but neither stored nor pushed.
    const QString before = values();
    map->UpdatePosition(4, FixOf(Sentence(30.0, 100.0, 10, 90)));
    EXPECT_NEAR(map->LatestFix().latitude, 30.0, 1e-6);
    EXPECT_EQ(values(), before);
    EXPECT_EQ(Settings().defaultLatitude, fix.latitude);

    // Without the key the grid decides: its cell here, offsets 0 elsewhere.
    std::vector<uint8_t> grid = {'$', 'G', 'P', 'S', 'O', 'F', 'F', 0};
    const auto put = [&grid](const auto v) {
        const auto* b = reinterpret_cast<const uint8_t*>(&v);
        grid.insert(grid.end(), b, b + sizeof v);
    };
    put(0.01);
    put(uint64_t{1});
    put(uint64_t{1});
    put(120.52);
    grid.insert(grid.end(), 16, 0);
    put(uint32_t{1});
    put(uint32_t{0});
    put(0.0);
    put(24.07);
    grid.insert(grid.end(), 16, 0);
    put(0.0051);
    put(-0.0027);
    ASSERT_EQ(ProcessGpsOffsetTable().Parse(grid), GpsOffsetStatus::kOk);
    Config("");
    map->UpdatePosition(3, FixOf(Sentence(24.0777, 120.5289, 10, 90)));
    EXPECT_TRUE(values().contains(QStringLiteral(" 0.0051 -0.0027 running ")))
        << values().toStdString();
    map->UpdatePosition(3, FixOf(Sentence(48.85, 2.35, 10, 90)));
    EXPECT_TRUE(values().contains(QStringLiteral(" 0 0 running "))) << values().toStdString();

    // Script calls: a result, a name the page lacks, a function that throws.
    QVariant result;
    EXPECT_TRUE(map->CallScript(QStringLiteral("headingName"), {QStringLiteral("100")},
                                [&](const QVariant& v) { result = v; }));
    EXPECT_TRUE(WaitGui([&] { return result.isValid(); }));
    EXPECT_EQ(result.toString(), QStringLiteral("e"));
    EXPECT_TRUE(map->CallScript(QStringLiteral("noSuchFunction")));
    EXPECT_TRUE(WaitGui([&] { return map->LastMessage() == QStringLiteral("Unknown name."); }));
    Eval(*map, QStringLiteral("window.failing=function(){throw new Error('x');}"));
    EXPECT_TRUE(map->CallScript(QStringLiteral("failing")));
    EXPECT_TRUE(
        WaitGui([&] { return map->LastMessage() == QStringLiteral("Exception occurred."); }));

    // The page's script reads no local file outside its folder.
    const QString read =
        Eval(*map, QStringLiteral("(function(){try{var x=new XMLHttpRequest();"
                                  "x.open('GET','file:///etc/hostname',false);x.send();"
                                  "return 'read:'+x.responseText;}catch(e){return 'refused';}})()"))
            .toString();
    EXPECT_EQ(read, QStringLiteral("refused"));
}

TEST_F(MapFixture, MissingPageLeavesABlankViewWithoutAWord) {
    MapView map(nullptr, dir_.path() / "map" / "mapdlg.htm");
    map.show();
    map.ResetTrack(1);
    map.UpdatePosition(1, FixOf(Sentence(24.0777, 120.5289, 10, 90)));
    QTest::qWait(500);
    EXPECT_FALSE(map.MapReady());
    EXPECT_TRUE(map.LastMessage().isEmpty());
    EXPECT_FALSE(map.CallScript(QStringLiteral("setMap")));
    EXPECT_EQ(map.LastMessage(), QString::fromUtf8("函数GetJScrip调用失败！"));
}

TEST_F(MapFixture, FloatingAndDockingKeepTheDockedRectangle) {
    QWidget main;
    main.resize(1280, 800);
    main.show();
    auto map = LoadedMap(&main);
    const QRect docked(924, 596, 350, 198);
    map->SetDockedRect(docked);
    map->setGeometry(docked);
    QPointer<MapView> alive(map.get());

    map->FloatWindow();
    EXPECT_TRUE(map->IsFloating());
    EXPECT_TRUE(map->isWindow());
    EXPECT_EQ(map->size(), QSize(600, 420));
    const QRect screen = map->screen()->geometry();
    // Centred, give or take what a window manager adds as a frame.
    EXPECT_LE((map->geometry().center() - screen.center()).manhattanLength(), 40);

    map->close();  // the close box
    EXPECT_FALSE(map->IsFloating());
    EXPECT_EQ(map->parentWidget(), &main);
    EXPECT_EQ(map->geometry(), docked);
    EXPECT_TRUE(map->isVisible());
    EXPECT_TRUE(alive);

    map->FloatWindow();
    QTest::keyClick(map.get(), Qt::Key_Escape);
    EXPECT_FALSE(map->IsFloating());
    EXPECT_EQ(map->geometry(), docked);
    EXPECT_TRUE(map->MapReady()) << "the page survives the moves";
    EXPECT_EQ(Eval(*map, QStringLiteral("describeMap().zoom")).toInt(), 16);
}

TEST(MapRequestGuard, ScriptsOnlyFromThePageFolderTilesFromAnywhere) {
    TempDir dir;
    fs::create_directories(dir.path() / "map");
    WriteText(dir.path() / "map" / "page.js", "");
    WriteText(dir.path() / "other.js", "");
    const MapRequestGuard guard(QString::fromStdString((dir.path() / "map").string()), nullptr);
    using R = QWebEngineUrlRequestInfo;
    const auto file = [&](const fs::path& p) {
        return QUrl::fromLocalFile(QString::fromStdString(p.string()));
    };
    EXPECT_TRUE(guard.Allows(file(dir.path() / "map" / "page.js"), R::ResourceTypeScript));
    EXPECT_FALSE(guard.Allows(file(dir.path() / "other.js"), R::ResourceTypeScript));
    EXPECT_FALSE(guard.Allows(file(dir.path() / "map" / ".." / "other.js"), R::ResourceTypeXhr));
    EXPECT_TRUE(guard.Allows(file(dir.path() / "tiles" / "1.png"), R::ResourceTypeImage));
    const QUrl tile(QStringLiteral("https://tile.openstreetmap.org/16/1/2.png"));
    EXPECT_TRUE(guard.Allows(tile, R::ResourceTypeImage));
    EXPECT_FALSE(
        guard.Allows(QUrl(QStringLiteral("https://example.org/x.js")), R::ResourceTypeScript));
    EXPECT_FALSE(guard.Allows(tile, R::ResourceTypeXhr));
    EXPECT_FALSE(
        guard.Allows(QUrl(QStringLiteral("ftp://example.org/x.png")), R::ResourceTypeImage));
}

TEST(MapRequestGuard, ScriptsFromTheSystemsLeafletThroughThePagesLink) {
    TempDir dir;
    fs::create_directories(dir.path() / "map");
    fs::create_directories(dir.path() / "javascript" / "leaflet");
    WriteText(dir.path() / "javascript" / "leaflet" / "leaflet.js", "");
    WriteText(dir.path() / "javascript" / "other.js", "");
    fs::create_directory_symlink("../javascript/leaflet", dir.path() / "map" / "leaflet");
    const MapRequestGuard guard(QString::fromStdString((dir.path() / "map").string()), nullptr);
    using R = QWebEngineUrlRequestInfo;
    const auto file = [&](const fs::path& p) {
        return QUrl::fromLocalFile(QString::fromStdString(p.string()));
    };
    EXPECT_TRUE(
        guard.Allows(file(dir.path() / "map" / "leaflet" / "leaflet.js"), R::ResourceTypeScript));
    EXPECT_TRUE(guard.Allows(file(dir.path() / "javascript" / "leaflet" / "leaflet.js"),
                             R::ResourceTypeScript))
        << "the request may name the link's target";
    EXPECT_FALSE(guard.Allows(file(dir.path() / "map" / "leaflet" / ".." / "other.js"),
                              R::ResourceTypeScript))
        << "nothing beside the library";
}

}  // namespace
}  // namespace velmaro
