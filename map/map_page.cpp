#include "map/map_page.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "app/app_settings.h"
#include "map/gps_offset.h"

namespace velmaro {
namespace {

constexpr size_t kNumberTextSize = 32;
constexpr size_t kCentreTextSize = 100;
constexpr unsigned kControlLimit = 0x20;

void AppendSetValue(std::string& script, std::string_view id, std::string_view value) {
    script += "document.getElementById(";
    script += ScriptStringLiteral(id);
    script += ").value=";
    script += ScriptStringLiteral(value);
    script += ";";
}

// "%f" of the C library, but with a point in every locale.
std::string FormatSixDecimals(double value) {
    if (!std::isfinite(value)) {
        value = 0.0;
    }
    std::array<char, kCentreTextSize> text{};
    const auto result =
        std::to_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed, 6);
    return result.ec == std::errc() ? std::string(text.data(), result.ptr) : std::string("0");
}

void AppendTileSource(std::string& script, const AppSettings& settings, std::string_view urlKey,
                      std::string_view attributionKey, std::string_view urlId,
                      std::string_view attributionId) {
    const std::string url = ReadConfigString(settings, urlKey, "");
    if (url.empty()) {
        return;
    }
    // Another provider wants its own credit; the page's default belongs to its default tiles.
    AppendSetValue(script, urlId, url);
    AppendSetValue(script, attributionId, ReadConfigString(settings, attributionKey, ""));
}

}  // namespace

std::string FormatMapNumber(double value) {
    if (!std::isfinite(value)) {
        return "0";
    }
    std::array<char, kNumberTextSize> text{};
    const auto result = std::to_chars(text.data(), text.data() + text.size(), value);
    return result.ec == std::errc() ? std::string(text.data(), result.ptr) : std::string("0");
}

std::string ScriptStringLiteral(std::string_view text) {
    std::string literal = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            literal += '\\';
            literal += c;
        } else if (byte < kControlLimit || c == '<' || c == '>') {
            // Control characters and angle brackets as escapes: nothing in the text can end the
            // literal or the script around it.
            std::array<char, 8> escape{};
            std::snprintf(escape.data(), escape.size(), "\\u%04x", byte);
            literal += escape.data();
        } else {
            literal += c;
        }
    }
    literal += '"';
    return literal;
}

std::string MapPushScript(const MapElements& e) {
    const std::array<std::string, kMapElementIds.size()> values = {FormatMapNumber(e.map_lng),
                                                                   FormatMapNumber(e.map_lat),
                                                                   FormatMapNumber(e.offset_lng),
                                                                   FormatMapNumber(e.offset_lat),
                                                                   e.map_status,
                                                                   FormatMapNumber(e.SpeedBar),
                                                                   FormatMapNumber(e.AngleBar),
                                                                   std::to_string(e.Index)};
    std::string script;
    for (size_t i = 0; i < kMapElementIds.size(); ++i) {
        AppendSetValue(script, kMapElementIds[i], values[i]);
    }
    return script;
}

std::string MapDefaultCentreScript(double longitude, double latitude) {
    std::string script;
    AppendSetValue(script, "default_lng", FormatSixDecimals(longitude));
    AppendSetValue(script, "default_lat", FormatSixDecimals(latitude));
    return script;
}

std::string MapTileSourcesScript(const AppSettings& settings) {
    std::string script;
    AppendTileSource(script, settings, map_key::kRoadTiles, map_key::kRoadAttribution, "road_tiles",
                     "road_attribution");
    AppendTileSource(script, settings, map_key::kImageryTiles, map_key::kImageryAttribution,
                     "imagery_tiles", "imagery_attribution");
    return script;
}

MapOffsets ReadMapOffsets(const AppSettings& settings, double longitude, double latitude) {
    MapOffsets offsets;
    if (GpsOffsetAutoEnabled(settings)) {
        if (const auto cell = LookupGpsOffset(longitude, latitude)) {
            offsets.longitude = cell->longitudeOffset;
            offsets.latitude = cell->latitudeOffset;
        }
        return offsets;
    }
    offsets.latitude = ReadConfigNumber(settings, config_key::kGpsOffsetX, 0.0);
    offsets.longitude = ReadConfigNumber(settings, config_key::kGpsOffsetY, 0.0);
    return offsets;
}

}  // namespace velmaro
