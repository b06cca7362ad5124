// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The switch for other GPS receivers' RMC sentences: what it lets in (checksummed `$GNRMC` and
// `$GPRMC` with five-decimal minutes), what it keeps out, and that the camera's own sentences
// read the same with it on or off.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <string>
#include <string_view>

#include "stream/telemetry.h"

namespace velmaro {
namespace {

constexpr double kTolerance = 1e-9;
constexpr TelemetryOptions kCameraOnly{};
constexpr TelemetryOptions kOtherReceivers{.otherReceivers = true};

// The sentence between `$` and `*` with its checksum put after the mark.
std::string Checksummed(std::string_view body) {
    unsigned sum = 0;
    for (char c : body) {
        sum ^= static_cast<unsigned char>(c);
    }
    char tail[4];
    std::snprintf(tail, sizeof tail, "*%02X", sum);
    return "$" + std::string(body) + tail;
}

struct Parsed {
    bool accepted = false;
    GpsRecord fix;
    GSensorRecord gsensor;
};

Parsed Parse(std::string_view text, const TelemetryOptions& options) {
    Parsed parsed;
    parsed.accepted = ParseTelemetry(text, parsed.gsensor, parsed.fix, options);
    return parsed;
}

struct ReceiverCase {
    const char* body;  // without `$` and checksum
    double latitude;
    double longitude;
    double speedKmh;
    double course;
};

// Sentences as u-blox-like and multi-system receivers send them.
const ReceiverCase kAccepted[] = {
    {"GNRMC,123519.00,A,4807.03812,N,01131.00005,E,022.4,084.4,230394,,,A", 48.0 + 7.03812 / 60,
     11.0 + 31.00005 / 60, 22.4 * 1.852, 84.4},
    {"GPRMC,083000.00,A,3351.12345,S,15112.54321,E,0.013,,120626,,,D", -(33.0 + 51.12345 / 60),
     151.0 + 12.54321 / 60, 0.013 * 1.852, 0.0},
    {"GNRMC,001122.00,A,0000.00001,N,17959.99999,W,5.0,359.9,010126,,,A", 0.00001 / 60,
     -(179.0 + 59.99999 / 60), 5.0 * 1.852, 359.9},
    {"GNRMC,001122.00,A,4807.0380,N,01131.0000,E,022.4,084.4,230394,,,A", 48.0 + 7.038 / 60,
     11.0 + 31.0 / 60, 22.4 * 1.852, 84.4},  // four decimals under GN are taken too
};

TEST(ReceiverSentences, ChecksummedSentencesOfOtherReceiversGiveTheirFix) {
    for (const ReceiverCase& c : kAccepted) {
        const std::string sentence = Checksummed(c.body);
        SCOPED_TRACE(sentence);
        const Parsed on = Parse("X:0.01 Y:-0.02 Z:0.98 " + sentence, kOtherReceivers);
        ASSERT_TRUE(on.accepted);
        EXPECT_NEAR(on.fix.latitude, c.latitude, kTolerance);
        EXPECT_NEAR(on.fix.longitude, c.longitude, kTolerance);
        EXPECT_NEAR(on.fix.speed, c.speedKmh, kTolerance);
        EXPECT_NEAR(on.fix.course, c.course, kTolerance);
        EXPECT_DOUBLE_EQ(on.gsensor.z, 0.98);
        EXPECT_FALSE(Parse(sentence, kCameraOnly).accepted) << "the switch is off by default";
    }
}

TEST(ReceiverSentences, AWrongMissingOrCutChecksumGivesNoFix) {
    const std::string good =
        Checksummed("GNRMC,123519.00,A,4807.03812,N,01131.00005,E,022.4,084.4,230394,,,A");
    ASSERT_TRUE(Parse(good, kOtherReceivers).accepted);
    const std::string body = good.substr(0, good.find('*'));
    std::string wrongDigit = good;
    wrongDigit.back() = wrongDigit.back() == '0' ? '1' : '0';
    std::string changedByte = good;
    changedByte[changedByte.find("03812")] = '1';  // a different fix under the old checksum
    for (const std::string& text :
         {wrongDigit, changedByte, body, body + "*", body + "*6", body + "*G1", good.substr(1)}) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(Parse(text, kOtherReceivers).accepted);
    }
    // Lower-case hex digits are a matching checksum as well.
    std::string lower = good;
    for (size_t i = lower.find('*') + 1; i < lower.size(); ++i) {
        lower[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(lower[i])));
    }
    EXPECT_TRUE(Parse(lower, kOtherReceivers).accepted);
}

// Status, mode and shape rules hold for checksummed sentences too.
TEST(ReceiverSentences, CheckedSentencesStillNeedAValidFixOfAKnownShape) {
    for (std::string_view body : {
             "GNRMC,123519.00,V,4807.03812,N,01131.00005,E,022.4,084.4,230394,,,N",
             "GNRMC,123519.00,A,4807.03812,N,01131.00005,E,022.4,084.4,230394,,,N",
             "GNRMC,123519.00,A,4807.038123,N,01131.00005,E,022.4,084.4,230394,,,A",
             "GNRMC,123519.00,A,4807.03812,N,01131.000051,E,022.4,084.4,230394,,,A",
             "GNRMC,123519.00,A,4860.00000,N,01131.00005,E,022.4,084.4,230394,,,A",
             "GNRMC,123519.00,A,4807.03812,X,01131.00005,E,022.4,084.4,230394,,,A",
             "GNRMC,123519.00,A,48 7.03812,N,01131.00005,E,022.4,084.4,230394,,,A",
             "GLRMC,123519.00,A,4807.03812,N,01131.00005,E,022.4,084.4,230394,,,A",
             "GNRMC,220516,A,5133.82,N,00042.24,W,173.8,231.8,130694,004.2,W",
         }) {
        SCOPED_TRACE(body);
        EXPECT_FALSE(Parse(Checksummed(body), kOtherReceivers).accepted);
    }
}

// The camera writes four decimals and a checksum nobody verified; with the switch on such a
// sentence reads exactly as with it off, whether its checksum matches or not.
TEST(ReceiverSentences, CameraSentencesReadTheSameWithTheSwitchOn) {
    const std::string_view camera[] = {
        "$GPRMC,123519,A,4807.0380,N,01131.0000,E,022.4,084.4,230394,003.1,W,A*6A",
        "$GPRMC,123519,A,4807.0380,N,01131.0000,E,022.4,084.4,230394,003.1,W,A*00",
        "$GPRMC,123519,A,4807.0380,S,01131.0000,W,022.4,084.4,230394,003.1,W,A*",
        "$GPRMC,123519,A,4807.0380,N,01131.0000,E,022.4,084.4,",
        "$GPRMC,123519,A,4807.0380,N,01131.0000,E,022.4,084",
        "$GPRMC,123519,V,4807.0380,N,01131.0000,E,022.4,084.4,230394,003.1,W,A*6A",
        "$GPRMC,123519,A,4807.03800,N,01131.00000,E,022.4,084.4,230394,003.1,W,A*00",
        "X:1.5 $GNRMC,1,A,4807.03812,N,01131.00005,E,1,2,3*00 $GPRMC,1,A,4807.0380,N,"
        "01131.0000,E,1,2,3,4,5,A*00",
    };
    for (std::string_view text : camera) {
        SCOPED_TRACE(text);
        const Parsed off = Parse(text, kCameraOnly);
        const Parsed on = Parse(text, kOtherReceivers);
        EXPECT_EQ(on.accepted, off.accepted);
        EXPECT_DOUBLE_EQ(on.fix.latitude, off.fix.latitude);
        EXPECT_DOUBLE_EQ(on.fix.longitude, off.fix.longitude);
        EXPECT_DOUBLE_EQ(on.fix.speed, off.fix.speed);
        EXPECT_DOUBLE_EQ(on.fix.course, off.fix.course);
    }
}

// A text may hold other sentences (or a broken one) before the RMC that counts.
TEST(ReceiverSentences, TheFirstRmcWithAMatchingChecksumCounts) {
    const std::string broken =
        "$GNRMC,1,A,1111.11111,N,02222.22222,E,1.0,2.0,010126,,,A*00";  // wrong checksum
    const std::string good = Checksummed("GPRMC,2,A,3333.33333,S,04444.44444,W,3.0,4.0,010126,,,A");
    const std::string gga =
        Checksummed("GNGGA,2,3333.33333,S,04444.44444,W,1,08,0.9,545.4,M,46.9,M,,");
    const Parsed parsed = Parse(broken + "\r\n" + gga + "\r\n" + good + "\r\n", kOtherReceivers);
    ASSERT_TRUE(parsed.accepted);
    EXPECT_NEAR(parsed.fix.latitude, -(33.0 + 33.33333 / 60), kTolerance);
    EXPECT_NEAR(parsed.fix.longitude, -(44.0 + 44.44444 / 60), kTolerance);
}

}  // namespace
}  // namespace velmaro
