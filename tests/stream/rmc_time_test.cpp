// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The UTC instant of an RMC sentence: known answers for the shapes receivers write, refusals
// for times and dates no calendar holds, and GPSBabel's decode of a real receiver log.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "export/track_text.h"
#include "stream/rmc_time.h"
#include "tests/test_support.h"

namespace velmaro {
namespace {

struct TimeCase {
    const char* text;
    std::optional<const char*> utc;  // as UtcText writes it; nothing: refused
};

TEST(RmcTime, ReadsTheTimeAndDateOfTheSentenceAsUtc) {
    const TimeCase cases[] = {
        {"$GPRMC,123519,A,4807.0380,N,01131.0000,E,022.4,084.4,230394,003.1,W,A*6A",
         "1994-03-23T12:35:19Z"},
        {"X:0.1 $GPRMC,032908.379,A,4231.8291,N,08807.3033,W,0.17,138.92,070804,,*12",
         "2004-08-07T03:29:08.379Z"},
        {"$GPRMC,093156.5,A,5333.4037,N,00951.9345,E,0.20,171.41,170807,,,A*6A",
         "2007-08-17T09:31:56.500Z"},
        {"$GPRMC,235959.999,A,4231.829,N,08807.304,W,0.16,140.40,311299,,*1B",
         "1999-12-31T23:59:59.999Z"},
        {"$GPRMC,000000,A,4231.8291,N,08807.3033,W,0,0,290224,,*00", "2024-02-29T00:00:00Z"},
        // A receiver without a fix still knows the time.
        {"$GPRMC,081500,V,,,,,,,120626,,,N*00", "2026-06-12T08:15:00Z"},
        // Other talkers' recommended minimum.
        {"$GNRMC,101010.00,A,4807.0380,N,01131.0000,E,0,0,010180,,,A*00", "1980-01-01T10:10:10Z"},
        {"$GPRMC,240000,A,4807.0380,N,01131.0000,E,0,0,230394,,*00", std::nullopt},
        {"$GPRMC,123560,A,4807.0380,N,01131.0000,E,0,0,230394,,*00", std::nullopt},
        {"$GPRMC,123519,A,4807.0380,N,01131.0000,E,0,0,290223,,*00", std::nullopt},
        {"$GPRMC,123519,A,4807.0380,N,01131.0000,E,0,0,001394,,*00", std::nullopt},
        {"$GPRMC,1235,A,4807.0380,N,01131.0000,E,0,0,230394,,*00", std::nullopt},
        {"$GPRMC,12:35:19,A,4807.0380,N,01131.0000,E,0,0,230394,,*00", std::nullopt},
        {"$GPRMC,123519,A,4807.0380,N,01131.0000,E,0,0,23039,,*00", std::nullopt},
        {"$GPRMC,123519,A,4807.0380,N,01131.0000,E,0,0", std::nullopt},
        {"$GPRMC,123519", std::nullopt},
        {"GPRMC,123519,A,4807.0380,N,01131.0000,E,0,0,230394,,*00", std::nullopt},
        {"X:1 Y:2 Z:3", std::nullopt},
    };
    for (const TimeCase& c : cases) {
        const std::optional<int64_t> ms = ParseRmcUtcMs(c.text);
        ASSERT_EQ(ms.has_value(), c.utc.has_value()) << c.text;
        if (ms) {
            EXPECT_EQ(UtcText(*ms), *c.utc) << c.text;
        }
    }
}

TEST(RmcTime, NothingAfterTheFirstNulCounts) {
    const std::string text =
        std::string("$GPRMC,123519,A,4807.0380,N,01131.0000,E,0,0,") + '\0' + "230394,,*00";
    EXPECT_FALSE(ParseRmcUtcMs(text).has_value());
}

// GPSBabel's GPX of its reference log gives each $GPRMC line's time: ours must be the same.
TEST(RmcTime, AgreesWithGpsBabelOnARealReceiverLog) {
    const std::filesystem::path dir = std::filesystem::path(VELMARO_DATA_DIR) / "nmea/gpsbabel";
    std::istringstream log(test::ReadText(dir / "nmea"));
    std::vector<std::string> ours;
    for (std::string line; std::getline(log, line);) {
        if (line.starts_with("$GPRMC")) {
            const std::optional<int64_t> ms = ParseRmcUtcMs(line);
            ASSERT_TRUE(ms.has_value()) << line;
            ours.push_back(UtcText(*ms));
        }
    }
    const std::string gpx = test::ReadText(dir / "nmea.gpx");
    const std::regex time("<trkpt[^>]*>\\s*<ele>[^<]*</ele>\\s*<time>([^<]+)</time>");
    std::vector<std::string> theirs;
    for (auto it = std::sregex_iterator(gpx.begin(), gpx.end(), time); it != std::sregex_iterator();
         ++it) {
        theirs.push_back((*it)[1]);
    }
    ASSERT_EQ(ours.size(), 154u);
    EXPECT_EQ(ours, theirs);
}

}  // namespace
}  // namespace velmaro
