// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// A click on the drawn route stands for a moment of the recording: the fix nearest the clicked
// point, when one lies close enough for the click to have meant it. The clicked point comes
// from the map page, so it is checked like any other outside input before it is used.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "export/track_point.h"

namespace velmaro {

// Farther than this from every fix, a click is taken as a miss rather than a wish to jump.
constexpr double kRoutePickRadiusMetres = 200.0;

// Finite and on the globe.
bool IsGlobePosition(double latitude, double longitude);

// Great-circle distance on a spherical earth.
double GroundDistanceMetres(double latitude1, double longitude1, double latitude2,
                            double longitude2);

// The index of the valid fix nearest the point, if one lies within `radiusMetres`; the first
// of equally near ones, so a car that stood still jumps to where it arrived.
std::optional<size_t> NearestFix(const TrackPoints& points, double latitude, double longitude,
                                 double radiusMetres = kRoutePickRadiusMetres);

// The moment to play from for a click: the nearest fix's camera time in whole calendar seconds
// (rounded down, so the picture starts at or before the car passed the point).
std::optional<int64_t> RoutePickTime(const TrackPoints& points, double latitude, double longitude);

}  // namespace velmaro
