// What the track tests ask of outside tools: xmllint against the shipped GPX 1.1 schema and
// GPSBabel's reading of a GPX, plus counting in texts. Nothing here knows about gtest.
#pragma once

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

// xmllint's complaints when `gpx` does not validate against the GPX 1.1 schema; empty when it
// does.
inline std::string SchemaErrors(const std::string& gpx) {
    const CommandResult run =
        RunCommand("xmllint --noout --schema " + ShellQuote(VELMARO_TEST_DATA_DIR "/gpx.xsd") +
                   " " + ShellQuote(gpx) + " 2>&1");
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

}  // namespace velmaro::test
