// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/make_recording/route.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <numbers>

namespace velmaro {
namespace {

constexpr double kEarthRadius = 6371000.0;  // metres
constexpr double kRadian = std::numbers::pi / 180.0;

std::string Angle(double degrees, int degreeDigits) {
    // Rounded in 1/10000 minute so that 59.99996' becomes the next whole degree.
    const long long units = std::llround(std::fabs(degrees) * 60.0 * 10000.0);
    char text[32];
    std::snprintf(text, sizeof text, "%0*lld%02lld.%04lld", degreeDigits, units / 600000,
                  units % 600000 / 10000, units % 10000);
    return text;
}

}  // namespace

std::string NmeaLatitude(double degrees) {
    return Angle(degrees, 2);
}
std::string NmeaLongitude(double degrees) {
    return Angle(degrees, 3);
}

std::string NmeaChecksum(const std::string& sentence) {
    unsigned sum = 0;
    const size_t begin = sentence.find('$');
    const size_t end = sentence.find('*');
    for (size_t i = begin + 1; i < end && i < sentence.size(); ++i) {
        sum ^= static_cast<unsigned char>(sentence[i]);
    }
    char text[3];
    std::snprintf(text, sizeof text, "%02X", sum);
    return text;
}

Route::Route(bool south, bool west, uint32_t seed) : rng_(seed) {
    if (south && west) {
        fix_.latitude = -34.6037;
        fix_.longitude = -58.3816;
    } else if (south) {
        fix_.latitude = -33.8688;
        fix_.longitude = 151.2093;
    } else if (west) {
        fix_.latitude = 40.7128;
        fix_.longitude = -74.0060;
    } else {
        fix_.latitude = 48.1372;
        fix_.longitude = 11.5756;
    }
    phase_ = Uniform(0.0, 2.0 * std::numbers::pi);
    baseCourse_ = Uniform(0.0, 360.0);
    fix_.course = previousCourse_ = CourseAt(0.0);
}

double Route::Uniform(double low, double high) {
    return low + (high - low) * (static_cast<double>(rng_()) / 4294967296.0);
}

// A 70 s cycle from standstill to about 120 km/h and back, with a faster ripple on top.
double Route::SpeedAt(double t) const {
    const double v = 60.0 - 62.0 * std::cos(2.0 * std::numbers::pi * t / 70.0) +
                     8.0 * std::sin(2.0 * std::numbers::pi * t / 13.0 + phase_) *
                         std::sin(std::numbers::pi * std::min(t, 13.0) / 26.0);
    return std::clamp(v, 0.0, 120.0);
}

// Gentle bends left and right around a slowly turning main direction, as a function of the
// distance driven (metres): a standing car keeps its course, a fast one turns quicker.
double Route::CourseAt(double metres) const {
    const double c = baseCourse_ + 0.005 * metres +
                     55.0 * std::sin(2.0 * std::numbers::pi * metres / 3000.0) +
                     15.0 * std::sin(2.0 * std::numbers::pi * metres / 700.0 + phase_);
    return std::fmod(std::fmod(c, 360.0) + 360.0, 360.0);
}

void Route::Advance() {
    previousSpeed_ = fix_.speedKmh;
    previousCourse_ = fix_.course;
    constexpr int kSteps = 20;
    for (int i = 0; i < kSteps; ++i) {
        const double metres = SpeedAt(seconds_ + (i + 0.5) / kSteps) / 3.6 / kSteps;
        const double course = CourseAt(metres_ + metres / 2) * kRadian;
        metres_ += metres;
        fix_.latitude += metres * std::cos(course) / kEarthRadius / kRadian;
        fix_.longitude += metres * std::sin(course) /
                          (kEarthRadius * std::cos(fix_.latitude * kRadian)) / kRadian;
    }
    seconds_ += 1.0;
    fix_.speedKmh = SpeedAt(seconds_);
    fix_.course = CourseAt(metres_);
}

std::string Route::Text(int64_t utc) {
    return Text(utc, false);
}

std::string Route::Text(int64_t utc, bool spike) {
    // Camera axes: X lateral, Y vertical (gravity), Z along the car; values in g.
    const double turn = std::remainder(fix_.course - previousCourse_, 360.0) * kRadian;  // per s
    const double lateral = fix_.speedKmh / 3.6 * turn / 9.81;
    const double longitudinal = (fix_.speedKmh - previousSpeed_) / 3.6 / 9.81;
    const double bump = fix_.speedKmh > 1.0 ? 0.04 : 0.005;
    // A knock from the front left, added after the noise so the noise stays the same.
    constexpr double kSpikeX = 1.8;
    constexpr double kSpikeY = 0.6;
    constexpr double kSpikeZ = -2.2;
    double x = lateral + Uniform(-bump, bump);
    double y = -0.98 + Uniform(-bump, bump) * 1.5;
    double z = longitudinal + Uniform(-bump, bump);
    if (spike) {
        x += kSpikeX;
        y += kSpikeY;
        z += kSpikeZ;
    }

    double course = std::round(fix_.course * 10.0) / 10.0;
    if (course >= 360.0) {
        course -= 360.0;
    }
    const std::time_t seconds = static_cast<std::time_t>(utc);
    std::tm t{};
    gmtime_r(&seconds, &t);
    char body[160];
    std::snprintf(body, sizeof body,
                  "$GPRMC,%02d%02d%02d,A,%s,%c,%s,%c,%05.1f,%05.1f,%02d%02d%02d,,,A*", t.tm_hour,
                  t.tm_min, t.tm_sec, NmeaLatitude(fix_.latitude).c_str(),
                  fix_.latitude < 0 ? 'S' : 'N', NmeaLongitude(fix_.longitude).c_str(),
                  fix_.longitude < 0 ? 'W' : 'E', fix_.speedKmh / 1.852, course, t.tm_mday,
                  t.tm_mon + 1, t.tm_year % 100);
    std::string sentence = body;
    sentence += NmeaChecksum(sentence) + "\r\n";
    char sensor[64];
    std::snprintf(sensor, sizeof sensor, "X:%.3f Y:%.3f Z:%.3f\n", x, y, z);
    return sensor + sentence;
}

}  // namespace velmaro
