// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The player's side of the map page's protocol: the hidden input elements it writes, as the
// script text that writes them, and the offsets and tile sources it takes from Config.ini.
// The page reads every number with parseFloat, so numbers are written as C-locale text
// whatever the user's locale; the status is one of three fixed words.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace velmaro {

struct AppSettings;

inline constexpr std::string_view kMapPageFile = "map/mapdlg.htm";
inline constexpr std::string_view kMapStatusStopped = "stopped";
inline constexpr std::string_view kMapStatusRunning = "running";
inline constexpr std::string_view kMapStatusClear = "clear";

// Tile sources of the page's two base layers: URL templates ({z}/{x}/{y}, also file://) and the
// attribution text their provider asks for. Missing keys keep the page's own defaults.
namespace map_key {
inline constexpr std::string_view kRoadTiles = "Map_Road_Tiles";
inline constexpr std::string_view kRoadAttribution = "Map_Road_Attribution";
inline constexpr std::string_view kImageryTiles = "Map_Imagery_Tiles";
inline constexpr std::string_view kImageryAttribution = "Map_Imagery_Attribution";
}  // namespace map_key

// The elements the player pushes, always all eight and in this order.
struct MapElements {
    double map_lng = 0.0;
    double map_lat = 0.0;
    double offset_lng = 0.0;
    double offset_lat = 0.0;
    std::string map_status{kMapStatusStopped};
    double SpeedBar = 0.0;
    double AngleBar = 0.0;
    int Index = -1;
};

inline constexpr std::array<std::string_view, 8> kMapElementIds = {
    "map_lng",    "map_lat",  "offset_lng", "offset_lat",
    "map_status", "SpeedBar", "AngleBar",   "Index"};

// Shortest text that reads back to the same double, with a point; a value that is not finite
// goes over as 0 so the page never draws at NaN.
std::string FormatMapNumber(double value);
// A JavaScript string literal (double quotes) holding `text`, safe to splice into a script.
std::string ScriptStringLiteral(std::string_view text);

// Script that sets the `value` of each element to its text.
std::string MapPushScript(const MapElements& elements);
// Script that writes the start centre ("%f", six decimals) into "default_lng"/"default_lat".
std::string MapDefaultCentreScript(double longitude, double latitude);
// Whether a tile URL template from Config.ini is one the page can use: an http, https or file
// address whose only placeholders are {s}, {z}, {x}, {y} and {r}. Any other placeholder makes
// Leaflet throw while it builds the map, which would lose the route and the car as well.
bool IsUsableTileUrl(std::string_view url);

struct MapTileSources {
    std::string script;                    // writes the usable sources; empty when none is set
    std::vector<std::string> refusedKeys;  // keys whose URL is not usable: their default stays
};
// The tile sources configured in Config.ini, as the script that writes them.
MapTileSources ReadMapTileSources(const AppSettings& settings);

struct MapOffsets {
    double longitude = 0.0;
    double latitude = 0.0;
};

// The corrections for a fix, read fresh from Config.ini so a change by hand counts at the next
// fix: "GPS_Offset_Auto" exactly 1 (or missing) takes the cell of the offset grid (0, 0 without
// one); otherwise "GPS_Offset_X" is the latitude and "GPS_Offset_Y" the longitude correction.
MapOffsets ReadMapOffsets(const AppSettings& settings, double longitude, double latitude);

}  // namespace velmaro
