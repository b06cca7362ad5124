// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// What one telemetry text of a recording says once parsed: a G-sensor sample and a GPS fix.
// Whoever only shows or draws them includes this, not the parser.
#pragma once

namespace velmaro {

// One G-sensor sample, as written by the camera; the dashboard applies its own scale.
struct GSensorRecord {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
};
static_assert(sizeof(GSensorRecord) == 24, "kept as a plain record of three doubles");

struct GpsRecord {
    double latitude = 0.0;   // decimal degrees, north positive
    double longitude = 0.0;  // decimal degrees, east positive
    double speed = 0.0;      // km/h
    double course = 0.0;     // degrees over ground, as sent
};

}  // namespace velmaro
