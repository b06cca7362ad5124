// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "map/route_pick.h"

#include <cmath>
#include <numbers>

namespace velmaro {
namespace {

constexpr double kEarthRadiusMetres = 6371008.8;  // mean radius
constexpr double kMaxLatitude = 90.0;
constexpr double kMaxLongitude = 180.0;

double Radians(double degrees) {
    return degrees * std::numbers::pi / 180.0;
}

}  // namespace

bool IsGlobePosition(double latitude, double longitude) {
    return std::isfinite(latitude) && std::isfinite(longitude) &&
           std::fabs(latitude) <= kMaxLatitude && std::fabs(longitude) <= kMaxLongitude;
}

// Haversine: well conditioned for the short distances a click is about.
double GroundDistanceMetres(double latitude1, double longitude1, double latitude2,
                            double longitude2) {
    const double dLat = Radians(latitude2 - latitude1);
    const double dLng = Radians(longitude2 - longitude1);
    const double sinLat = std::sin(dLat / 2.0);
    const double sinLng = std::sin(dLng / 2.0);
    const double h = sinLat * sinLat +
                     std::cos(Radians(latitude1)) * std::cos(Radians(latitude2)) * sinLng * sinLng;
    return 2.0 * kEarthRadiusMetres * std::asin(std::sqrt(std::fmin(1.0, h)));
}

std::optional<size_t> NearestFix(const TrackPoints& points, double latitude, double longitude,
                                 double radiusMetres) {
    if (!IsGlobePosition(latitude, longitude)) {
        return std::nullopt;
    }
    std::optional<size_t> nearest;
    double nearestMetres = radiusMetres;
    for (size_t i = 0; i < points.size(); ++i) {
        const TrackPoint& point = points[i];
        if (!point.valid || !IsGlobePosition(point.fix.latitude, point.fix.longitude)) {
            continue;
        }
        const double metres =
            GroundDistanceMetres(latitude, longitude, point.fix.latitude, point.fix.longitude);
        if (metres < nearestMetres || (!nearest && metres <= nearestMetres)) {
            nearest = i;
            nearestMetres = metres;
        }
    }
    return nearest;
}

std::optional<int64_t> RoutePickTime(const TrackPoints& points, double latitude, double longitude) {
    const std::optional<size_t> index = NearestFix(points, latitude, longitude);
    if (!index || !std::isfinite(points[*index].cameraTime)) {
        return std::nullopt;
    }
    return static_cast<int64_t>(std::floor(points[*index].cameraTime));
}

}  // namespace velmaro
