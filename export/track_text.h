// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Texts the track and subtitle writers share: numbers written the same in every locale, and
// times as ISO 8601 UTC or as the camera's calendar time.
#pragma once

#include <cstdint>
#include <string>

namespace velmaro {

// `value` with exactly `decimals` digits after a point, whatever LC_NUMERIC says; a value that
// is not finite is written as 0.
std::string FixedText(double value, int decimals);

// "YYYY-MM-DDThh:mm:ssZ", with ".mmm" before the Z when the milliseconds are not zero.
std::string UtcText(int64_t utcMs);

// "YYYY-MM-DD hh:mm:ss" of calendar seconds as the navigator shows them (local time routines).
std::string CalendarText(double calendarSeconds);

// A latitude or longitude as "48.11730N" / "11.51667E": five decimals and the hemisphere.
std::string LatitudeText(double latitude);
std::string LongitudeText(double longitude);

}  // namespace velmaro
