// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The parser of one telemetry text of a recording: G-sensor axes tagged `X:`, `Y:`, `Z:` and a
// GPS fix from an NMEA `$GPRMC` sentence, into the records of telemetry_records.h.
#pragma once

#include <string_view>

#include "stream/telemetry_records.h"

namespace velmaro {

// How a telemetry text's GPS sentence may look. The default is the camera's own shape only.
struct TelemetryOptions {
    // Also takes the RMC sentences many GPS receivers send: `$GNRMC` or `$GPRMC` with minutes
    // to four or five decimals (ddmm.mmmmm, dddmm.mmmmm), provided their `*hh` checksum (XOR of
    // the bytes between `$` and `*`) matches. A sentence whose checksum does not match is read
    // as without this switch, so the camera's own sentences are taken exactly as before.
    bool otherReceivers = false;
};

// The choice of this run (Config.ini's "GPS_Other_Receivers", a tool's --other-gps). Every reader
// of telemetry that passes no options of its own follows it, so the day scan, the clock check,
// the exports, route clicks and the probe take the same fixes as playback. Set once at start-up,
// before any reader runs; readable from any thread.
void SetRunTelemetryOptions(const TelemetryOptions& options);
TelemetryOptions RunTelemetryOptions();

// Parses one telemetry text, read as zero-terminated: nothing at or after the first NUL counts,
// and nothing past the view is read.
//
// Each G-sensor axis whose tag is present is stored in `gsensor`, whatever the result; absent
// tags leave the previous values. Returns true when the text holds an accepted `$GPRMC`
// sentence. A sentence is refused unless its status is `A`, its latitude is ddmm.mmmm and its
// longitude dddmm.mmmm with a digit in every other place, minutes below 60, at most 90 and 180
// degrees, hemispheres N/S and E/W, a speed of at most 1,000 knots and a course from 0 to 360
// degrees, each of these two plain digits with at most one dot (an empty one reads as 0). Fix
// values are written to the non-null outputs as their fields are read and pass, so a sentence
// rejected at a later field leaves the earlier outputs changed. A sentence cut short (its last
// field is examined only when a comma closes it) is accepted with the fields it has once its
// E/W letter is read, and refused before: a fix always has a whole position. The checksum is not
// verified, except for the other receivers' sentences that `options` lets in.
bool ParseTelemetry(std::string_view text, GSensorRecord& gsensor, double* latitude,
                    double* longitude, double* speed, double* course,
                    const TelemetryOptions& options = RunTelemetryOptions());

// The same, writing the fix into `fix` (with the same partial-write behaviour).
bool ParseTelemetry(std::string_view text, GSensorRecord& gsensor, GpsRecord& fix,
                    const TelemetryOptions& options = RunTelemetryOptions());

}  // namespace velmaro
