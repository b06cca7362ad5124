// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// How far the camera's clock is off: the camera stamps its files with its own wall clock, set by
// hand and never corrected, while the GPS receiver's time is right to the second. Both are
// compared as the navigator shows times, in this machine's local zone: the camera's wall clock
// as it stands, and the GPS UTC time of the same moment turned into local time. A camera set
// to another zone than this machine therefore shows as that many hours off, which is what the
// navigator would otherwise show wrongly.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace velmaro {

// Differences up to this are the file time's own coarseness (whole seconds, the end of a file
// minus its length) and a camera clock drifting a little; nobody wants to hear about them.
inline constexpr int64_t kClockToleranceSeconds = 90;

// The camera's clock minus the GPS time, in seconds (negative: the camera is behind), for one
// moment given as `cameraSeconds` (seconds since 1970 that local-time routines show as the
// camera's wall clock, as the recording list carries times) and `gpsUtcMs` (true UTC).
int64_t CameraClockOffset(int64_t cameraSeconds, int64_t gpsUtcMs);

// The camera's clock minus UTC in minutes, the offset of the zone it was set to, for one moment
// given as in CameraClockOffset: told when the two differ by whole quarter hours, within the
// tolerance and at most 14 hours, else nothing.
std::optional<int32_t> CameraZoneOffset(int64_t cameraSeconds, int64_t gpsUtcMs);

// The offset when it is worth telling, else nothing.
std::optional<int64_t> NoticeableClockOffset(int64_t offsetSeconds);

// "camera clock is 1 h 00 min behind GPS time", "... 2 min 05 s ahead of GPS time": whole
// minutes from an hour on, else minutes and seconds.
std::string DescribeClockOffset(int64_t offsetSeconds);

}  // namespace velmaro
