// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The player's half of the map page's protocol: the element texts it writes and the offsets it
// chooses from Config.ini.
#include "map/map_page.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstring>
#include <limits>

#include "app/app_settings.h"
#include "map/gps_offset.h"
#include "tests/test_support.h"

namespace velmaro {
namespace {

using test::TempDir;
using test::WriteText;

void PutBytes(std::vector<uint8_t>& out, const void* data, size_t size) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    out.insert(out.end(), bytes, bytes + size);
}

template <typename T>
void Put(std::vector<uint8_t>& out, T value) {
    PutBytes(out, &value, sizeof value);  // the test machines are little-endian, as the file
}

// A grid of cell size 0.01 with one cell at (120.52, 24.07): offsets +0.0051 lng, -0.0027 lat.
std::vector<uint8_t> OneCellGrid() {
    std::vector<uint8_t> out;
    PutBytes(out, kGpsOffsetMagic.data(), kGpsOffsetMagic.size());
    Put(out, 0.01);
    Put<uint64_t>(out, 1);
    Put<uint64_t>(out, 1);
    Put(out, 120.52);
    out.insert(out.end(), 16, 0);
    Put<uint32_t>(out, 1);
    Put<uint32_t>(out, 0);
    Put(out, 0.0);
    Put(out, 24.07);
    out.insert(out.end(), 16, 0);
    Put(out, 0.0051);
    Put(out, -0.0027);
    return out;
}

class MapOffsetsFromConfig : public ::testing::Test {
  protected:
    void SetUp() override {
        settings_.configFile = dir_.path() / "Config.ini";
        ASSERT_EQ(ProcessGpsOffsetTable().Parse(OneCellGrid()), GpsOffsetStatus::kOk);
    }
    void TearDown() override { ProcessGpsOffsetTable().Clear(); }
    void Config(std::string_view body) {
        WriteText(settings_.configFile, std::string("[Config]\n") + std::string(body));
    }
    MapOffsets At(double lng, double lat) { return ReadMapOffsets(settings_, lng, lat); }

    TempDir dir_;
    AppSettings settings_;
};

TEST_F(MapOffsetsFromConfig, ManualModePutsXOnTheLatitudeAndYOnTheLongitude) {
    Config("GPS_Offset_Auto=0\nGPS_Offset_X=0.001\nGPS_Offset_Y=0.002\n");
    const MapOffsets offsets = At(120.5289, 24.0777);
    EXPECT_DOUBLE_EQ(offsets.latitude, 0.001);
    EXPECT_DOUBLE_EQ(offsets.longitude, 0.002);
}

TEST_F(MapOffsetsFromConfig, AutomaticModeTakesTheGridCellAndIsTheDefault) {
    for (const char* body : {"", "GPS_Offset_Auto=1\nGPS_Offset_X=5\n"}) {
        Config(body);
        const MapOffsets inside = At(120.5289, 24.0777);
        EXPECT_DOUBLE_EQ(inside.longitude, 0.0051) << body;
        EXPECT_DOUBLE_EQ(inside.latitude, -0.0027) << body;
        const MapOffsets outside = At(2.35, 48.85);
        EXPECT_EQ(outside.longitude, 0.0) << body;
        EXPECT_EQ(outside.latitude, 0.0) << body;
    }
}

// Any value other than exactly 1 is manual; manual values count as far as they are numbers,
// in a decimal-comma locale too, and are read again for every fix.
TEST_F(MapOffsetsFromConfig, ManualValuesAreReadFreshAndAsFarAsNumeric) {
    const std::string old = std::setlocale(LC_ALL, nullptr);
    std::setlocale(LC_ALL, "de_DE.UTF-8");
    Config("GPS_Offset_Auto=2\nGPS_Offset_X=0.5abc\nGPS_Offset_Y=garbage\n");
    MapOffsets offsets = At(120.5289, 24.0777);
    EXPECT_DOUBLE_EQ(offsets.latitude, 0.5);
    EXPECT_EQ(offsets.longitude, 0.0);
    Config("GPS_Offset_Auto=2\n");
    offsets = At(120.5289, 24.0777);
    EXPECT_EQ(offsets.latitude, 0.0);
    EXPECT_EQ(offsets.longitude, 0.0);
    std::setlocale(LC_ALL, old.c_str());
}

TEST(MapPushScript, WritesAllEightElementsInOrderAsCLocaleText) {
    const std::string old = std::setlocale(LC_ALL, nullptr);
    std::setlocale(LC_ALL, "de_DE.UTF-8");
    MapElements e;
    e.map_lng = 120.5289;
    e.map_lat = -24.0777;
    e.offset_lng = 0.002;
    e.offset_lat = 0.001;
    e.map_status = std::string(kMapStatusRunning);
    e.SpeedBar = 61.2;
    e.AngleBar = std::numeric_limits<double>::quiet_NaN();
    e.Index = 7;
    const std::string script = MapPushScript(e);
    std::setlocale(LC_ALL, old.c_str());
    const char* expected[][2] = {{"map_lng", "120.5289"},   {"map_lat", "-24.0777"},
                                 {"offset_lng", "0.002"},   {"offset_lat", "0.001"},
                                 {"map_status", "running"}, {"SpeedBar", "61.2"},
                                 {"AngleBar", "0"},         {"Index", "7"}};
    size_t at = 0;
    for (const auto& [id, value] : expected) {
        const std::string write =
            std::string("document.getElementById(\"") + id + "\").value=\"" + value + "\";";
        const size_t found = script.find(write, at);
        ASSERT_NE(found, std::string::npos) << write << " in " << script;
        at = found + write.size();
    }
    EXPECT_EQ(at, script.size());
}

TEST(MapPushScript, StartCentreHasSixDecimals) {
    EXPECT_EQ(MapDefaultCentreScript(120.5, 24.0777154),
              "document.getElementById(\"default_lng\").value=\"120.500000\";"
              "document.getElementById(\"default_lat\").value=\"24.077715\";");
}

TEST(MapPushScript, TextCannotLeaveItsStringLiteral) {
    EXPECT_EQ(ScriptStringLiteral("a\"b\\c"), "\"a\\\"b\\\\c\"");
    EXPECT_EQ(ScriptStringLiteral("x\n</script>"), "\"x\\u000a\\u003c/script\\u003e\"");
    EXPECT_EQ(ScriptStringLiteral("© OSM"), "\"© OSM\"");
}

TEST(MapTileSources, OnlyConfiguredSourcesAreWrittenEachWithItsOwnCredit) {
    TempDir dir;
    AppSettings settings;
    settings.configFile = dir.path() / "Config.ini";
    EXPECT_EQ(ReadMapTileSources(settings).script, "");
    WriteText(settings.configFile,
              "[Config]\nMap_Road_Tiles=file:///srv/tiles/{z}/{x}/{y}.png\n"
              "Map_Imagery_Tiles=https://a.example/{Z}/{x}/{y}.jpg\n");
    const MapTileSources sources = ReadMapTileSources(settings);
    EXPECT_EQ(sources.refusedKeys, std::vector<std::string>{"Map_Imagery_Tiles"});
    EXPECT_EQ(sources.script,
              "document.getElementById(\"road_tiles\").value="
              "\"file:///srv/tiles/{z}/{x}/{y}.png\";"
              "document.getElementById(\"road_attribution\").value=\"\";");
}

TEST(MapTileSources, OnlyKnownPlaceholdersAndSchemesAreUsable) {
    const struct {
        const char* url;
        bool usable;
    } cases[] = {
        {"https://{s}.tile.example/{z}/{x}/{y}{r}.png", true},
        {"HTTP://tiles.example/{z}/{x}/{y}.png", true},
        {"file:///srv/tiles/{z}/{x}/{y}.png", true},
        {"https://tiles.example/{foo}/{z}/{x}/{y}.png", false},
        {"https://tiles.example/{Z}/{x}/{y}.png", false},
        {"https://tiles.example/{z/{x}/{y}.png", false},
        {"https://tiles.example/z}/{x}/{y}.png", false},
        {"https://tiles.example/{z}/{x}/{y", false},
        {"javascript:alert(1)//{z}/{x}/{y}", false},
        {"ftp://tiles.example/{z}/{x}/{y}.png", false},
        {"https://tiles.example/a b/{z}/{x}/{y}.png", false},
        {"", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsUsableTileUrl(c.url), c.usable) << c.url;
    }
}

}  // namespace
}  // namespace velmaro
