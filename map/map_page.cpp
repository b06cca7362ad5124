// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "map/map_page.h"

#include <algorithm>
#include <cctype>
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

constexpr std::string_view kTileSchemes[] = {"http://", "https://", "file://"};
constexpr std::string_view kTilePlaceholders[] = {"{s}", "{z}", "{x}", "{y}", "{r}"};

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) {
        return false;
    }
    for (size_t i = 0; i < prefix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) {
            return false;
        }
    }
    return true;
}

bool KnownPlaceholderAt(std::string_view url, size_t open) {
    for (const std::string_view placeholder : kTilePlaceholders) {
        if (url.compare(open, placeholder.size(), placeholder) == 0) {
            return true;
        }
    }
    return false;
}

void AppendTileSource(MapTileSources& sources, const AppSettings& settings, std::string_view urlKey,
                      std::string_view attributionKey, std::string_view urlId,
                      std::string_view attributionId) {
    const std::string url = ReadConfigString(settings, urlKey, "");
    if (url.empty()) {
        return;
    }
    if (!IsUsableTileUrl(url)) {
        sources.refusedKeys.emplace_back(urlKey);
        return;
    }
    // Another provider wants its own credit; the page's default belongs to its default tiles.
    AppendSetValue(sources.script, urlId, url);
    AppendSetValue(sources.script, attributionId, ReadConfigString(settings, attributionKey, ""));
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

bool IsUsableTileUrl(std::string_view url) {
    const bool knownScheme =
        std::any_of(std::begin(kTileSchemes), std::end(kTileSchemes),
                    [&](std::string_view scheme) { return StartsWithNoCase(url, scheme); });
    if (!knownScheme) {
        return false;
    }
    for (size_t i = 0; i < url.size(); ++i) {
        const auto byte = static_cast<unsigned char>(url[i]);
        if (byte <= ' ' || url[i] == '}') {
            return false;  // a brace outside a placeholder, or a space that ends the address
        }
        if (url[i] == '{') {
            if (!KnownPlaceholderAt(url, i)) {
                return false;
            }
            i += 2;  // past the letter and its closing brace
        }
    }
    return true;
}

MapTileSources ReadMapTileSources(const AppSettings& settings) {
    MapTileSources sources;
    AppendTileSource(sources, settings, map_key::kRoadTiles, map_key::kRoadAttribution,
                     "road_tiles", "road_attribution");
    AppendTileSource(sources, settings, map_key::kImageryTiles, map_key::kImageryAttribution,
                     "imagery_tiles", "imagery_attribution");
    return sources;
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
