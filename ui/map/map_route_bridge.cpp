// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/map/map_route_bridge.h"

#include "map/route_pick.h"

namespace velmaro {

// Strings, nulls and objects are refused rather than coerced: "abc" must not become 0.
void MapRouteBridge::pick(const QJsonValue& latitude, const QJsonValue& longitude) {
    if (!latitude.isDouble() || !longitude.isDouble()) {
        return;
    }
    const double lat = latitude.toDouble();
    const double lng = longitude.toDouble();
    if (IsGlobePosition(lat, lng)) {
        emit Picked(lat, lng);
    }
}

}  // namespace velmaro
