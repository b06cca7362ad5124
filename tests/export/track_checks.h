// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// What the track tests ask of outside tools: xmllint against the shipped GPX 1.1 schema (with
// the track point extension's elements checked too) and GPSBabel's reading of a GPX, plus
// counting in texts. Nothing here knows about gtest.
#pragma once

#include <cstdlib>
#include <string>
#include <string_view>

#include "tests/test_support.h"

namespace velmaro::test {

inline size_t Count(std::string_view text, std::string_view what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string_view::npos; at = text.find(what, at + 1)) {
        ++n;
    }
    return n;
}

// xmllint's complaints when `gpx` does not validate against the GPX 1.1 schema and the track
// point extension's; empty when it does.
inline std::string SchemaErrors(const std::string& gpx) {
    const CommandResult run =
        RunCommand("xmllint --noout --nonet --schema " +
                   ShellQuote(VELMARO_TEST_DATA_DIR "/gpx_with_track_point_extension.xsd") + " " +
                   ShellQuote(gpx) + " 2>&1");
    return run.status == 0 ? std::string()
                           : run.out + " (status " + std::to_string(run.status) + ")";
}

// How many track points GPSBabel reads from the GPX (written out again as its own GPX); -1 when
// it refuses the file.
inline int GpsBabelTrackPoints(const std::string& gpx) {
    const CommandResult run =
        RunCommand("gpsbabel -t -i gpx -f " + ShellQuote(gpx) + " -o gpx -F - 2>/dev/null");
    return run.status == 0 ? static_cast<int>(Count(run.out, "<trkpt ")) : -1;
}

// The number an XPath expression gives on a KML file (prefix kml for KML 2.2, gx for Google's
// extension); -1 when xmllint gives none.
inline int XPathNumber(const std::string& path, const std::string& xpath) {
    const std::string commands =
        "setns kml=http://www.opengis.net/kml/2.2\n"
        "setns gx=http://www.google.com/kml/ext/2.2\n"
        "xpath " +
        xpath + "\n";
    const CommandResult run = RunCommand("printf %s " + ShellQuote(commands) +
                                         " | xmllint --nonet --shell " + ShellQuote(path));
    constexpr std::string_view kAnswer = "Object is a number : ";
    const size_t at = run.out.find(kAnswer);
    return run.status == 0 && at != std::string::npos
               ? std::atoi(run.out.c_str() + at + kAnswer.size())
               : -1;
}

// xmllint's complaints when `path` is no well-formed XML; empty when it is.
inline std::string WellFormedErrors(const std::string& path) {
    const CommandResult run = RunCommand("xmllint --noout --nonet " + ShellQuote(path) + " 2>&1");
    return run.status == 0 ? std::string()
                           : run.out + " (status " + std::to_string(run.status) + ")";
}

}  // namespace velmaro::test
