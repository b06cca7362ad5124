// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The UTC instant of a recommended-minimum fix: the time (hhmmss with optional fraction) and the
// date (ddmmyy) fields of the first `$xxRMC` sentence of a telemetry text. The position parser
// leaves both out; the track export needs them to stamp its points.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace velmaro {

// Milliseconds since 1970-01-01 00:00:00 UTC, or nothing when the text holds no RMC sentence or
// its time or date is missing or out of range. Only the text before the first NUL counts. The
// status is not looked at: a receiver without a fix usually still knows the time. Two-digit
// years 80..99 are 1980..1999 and 00..79 are 2000..2079, as GPS receivers count.
std::optional<int64_t> ParseRmcUtcMs(std::string_view text);

}  // namespace velmaro
