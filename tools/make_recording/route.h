// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The drive behind the telemetry of the sample recordings: a car that starts from standstill,
// speeds up and slows down between 0 and 120 km/h, turns smoothly, and moves consistently with
// its speed and course. Once a second it yields the camera's telemetry text: G-sensor values and
// an NMEA $GPRMC sentence.
#pragma once

#include <cstdint>
#include <random>
#include <string>

namespace velmaro {

struct RouteFix {
    double latitude = 0.0;   // decimal degrees, north positive
    double longitude = 0.0;  // decimal degrees, east positive
    double speedKmh = 0.0;
    double course = 0.0;  // degrees clockwise from north
};

// "ddmm.mmmm" / "dddmm.mmmm" (unsigned; the hemisphere goes in its own field).
std::string NmeaLatitude(double degrees);
std::string NmeaLongitude(double degrees);
// The two hex digits of the XOR of the characters between '$' and '*'.
std::string NmeaChecksum(const std::string& sentence);

class Route {
  public:
    // Starts near Munich (48.14N 11.58E); south: Sydney (33.87S 151.21E); west: New York
    // (40.71N 74.01W); both: Buenos Aires (34.60S 58.38W).
    Route(bool south, bool west, uint32_t seed);

    const RouteFix& Fix() const { return fix_; }
    // Moves the car on by one second.
    void Advance();
    // The telemetry text of the current second; `utc` gives the sentence's time and date.
    std::string Text(int64_t utc);
    // The same with a knock on the G-sensor: this one sample jumps by kSpike (about 3 g).
    std::string Text(int64_t utc, bool spike);

  private:
    double SpeedAt(double t) const;
    double CourseAt(double metres) const;
    double Uniform(double low, double high);

    std::mt19937 rng_;
    double phase_ = 0.0;
    double baseCourse_ = 0.0;
    double seconds_ = 0.0;
    double metres_ = 0.0;  // distance driven
    double previousSpeed_ = 0.0;
    double previousCourse_ = 0.0;
    RouteFix fix_;
};

}  // namespace velmaro
