// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "stream/telemetry.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace velmaro {
namespace {

constexpr std::string_view kSentence =
    "$GPRMC,123519,A,4807.0380,N,01131.0000,E,022.4,084.4,230394,003.1,W,A*6A";
constexpr double kExampleLatitude = 48.0 + 7.038 / 60.0;
constexpr double kExampleLongitude = 11.0 + 31.0 / 60.0;
constexpr double kExampleSpeed = 41.4848;  // 22.4 knots in km/h
constexpr double kExampleCourse = 84.4;
constexpr double kTolerance = 1e-9;

// Outputs start as NaN so that a test sees which ones the parser wrote.
constexpr double kUntouched = std::numeric_limits<double>::quiet_NaN();

struct Parsed {
    bool accepted = false;
    GSensorRecord gsensor{kUntouched, kUntouched, kUntouched};
    GpsRecord fix{kUntouched, kUntouched, kUntouched, kUntouched};
};

Parsed Parse(std::string_view text) {
    Parsed parsed;
    parsed.accepted = ParseTelemetry(text, parsed.gsensor, parsed.fix);
    return parsed;
}

// `base` with its field `index` (0 being the $GPRMC tag) replaced by `value`.
std::string WithField(int index, std::string_view value, std::string_view base = kSentence) {
    std::string text(base);
    size_t start = 0;
    for (int i = 0; i < index; ++i) {
        start = text.find(',', start) + 1;
    }
    text.replace(start, text.find(',', start) - start, value);
    return text;
}

void ExpectExampleFix(const Parsed& parsed) {
    EXPECT_TRUE(parsed.accepted);
    EXPECT_NEAR(parsed.fix.latitude, kExampleLatitude, kTolerance);
    EXPECT_NEAR(parsed.fix.longitude, kExampleLongitude, kTolerance);
    EXPECT_NEAR(parsed.fix.speed, kExampleSpeed, kTolerance);
    EXPECT_NEAR(parsed.fix.course, kExampleCourse, kTolerance);
}

TEST(TelemetryParse, CameraSentenceGivesTheFix) {
    const Parsed parsed = Parse(kSentence);
    ExpectExampleFix(parsed);
    EXPECT_NEAR(parsed.fix.latitude, 48.117300, 1e-6);
    EXPECT_NEAR(parsed.fix.longitude, 11.516667, 1e-6);

    // Each output may be left out; the others are still written.
    GSensorRecord gsensor;
    double course = 0.0;
    EXPECT_TRUE(ParseTelemetry(kSentence, gsensor, nullptr, nullptr, nullptr, &course));
    EXPECT_NEAR(course, kExampleCourse, kTolerance);
    EXPECT_TRUE(ParseTelemetry(kSentence, gsensor, nullptr, nullptr, nullptr, nullptr));
}

TEST(TelemetryParse, SouthernAndWesternHemispheresAreNegative) {
    const Parsed parsed = Parse(WithField(6, "W", WithField(4, "S")));
    EXPECT_TRUE(parsed.accepted);
    EXPECT_NEAR(parsed.fix.latitude, -kExampleLatitude, kTolerance);
    EXPECT_NEAR(parsed.fix.longitude, -kExampleLongitude, kTolerance);
}

TEST(TelemetryParse, FixIsFoundAfterSensorTagsAndOnlyAsGprmc) {
    const std::string camera = "X:0.12 Y:-0.98 Z:0.05\r\n" + std::string(kSentence) + "\r\n";
    const Parsed parsed = Parse(camera);
    ExpectExampleFix(parsed);
    EXPECT_EQ(parsed.gsensor.x, 0.12);
    EXPECT_EQ(parsed.gsensor.y, -0.98);
    EXPECT_EQ(parsed.gsensor.z, 0.05);

    std::string gnss(kSentence);
    gnss[2] = 'N';  // $GNRMC: another talker, not taken
    EXPECT_FALSE(Parse(gnss).accepted);
    EXPECT_TRUE(std::isnan(Parse(gnss).fix.latitude));
}

TEST(TelemetryParse, InvalidFixesAreRefused) {
    EXPECT_FALSE(Parse(WithField(2, "V")).accepted) << "status V";
    EXPECT_FALSE(Parse(WithField(2, "")).accepted) << "empty status";
    std::string modeN(kSentence);
    modeN[modeN.find('*') - 1] = 'N';
    EXPECT_FALSE(Parse(modeN).accepted) << "mode indicator N";
    std::string noMark(kSentence);
    noMark.resize(noMark.find('*'));
    EXPECT_FALSE(Parse(noMark).accepted) << "no checksum mark";
    EXPECT_FALSE(Parse("").accepted);
}

TEST(TelemetryParse, OnlyFourDecimalMinutesAreTaken) {
    for (std::string_view latitude : {"4807.038", "4807.03800", "48070.380", "480.70380", ""}) {
        EXPECT_FALSE(Parse(WithField(3, latitude)).accepted) << latitude;
    }
    for (std::string_view longitude : {"01131.000", "01131.00000", "0113.10000", "1131.00000"}) {
        EXPECT_FALSE(Parse(WithField(5, longitude)).accepted) << longitude;
    }
    // A second dot is no digit: not read as minutes 07.03 that stop early.
    EXPECT_FALSE(Parse(WithField(3, "4807.03.0")).accepted);
}

// Each place of ddmm.mmmm and dddmm.mmmm must hold a digit and the angle must exist on the
// globe: read as numbers, these fields once gave positions such as 151.85 degrees south.
TEST(TelemetryParse, GarbledOrImpossibleCoordinatesAreRefused) {
    struct Refused {
        int field;
        std::string_view value;
        const char* why;
    };
    const Refused cases[] = {
        {3, " 808.9993", "blank for a digit (once -151.85)"},
        {3, "N808.9993", "letter for a digit (once 308.15)"},
        {3, "-807.0380", "sign for a digit"},
        {3, "+807.0380", "sign for a digit"},
        {3, "48 7.0380", "blank inside the degrees"},
        {3, "4807.03 0", "blank inside the minutes"},
        {3, "4807.0e80", "exponent inside the minutes"},
        {3, "48O7.0380", "letter O for a zero"},
        {3, "9000.0001", "beyond the pole"},
        {3, "9100.0000", "91 degrees"},
        {3, "9900.0000", "99 degrees"},
        {3, "4860.0000", "60 minutes"},
        {3, "0099.9999", "99 minutes"},
        {5, "-0131.0000", "sign for a digit (once -0.48)"},
        {5, "-1131.0000", "sign for a digit"},
        {5, " 1131.0000", "blank for a digit"},
        {5, "E1131.0000", "letter for a digit"},
        {5, "0113a.0000", "letter for a digit"},
        {5, "01131.00-0", "sign inside the minutes"},
        {5, "18000.0001", "beyond the date line"},
        {5, "18100.0000", "181 degrees"},
        {5, "99959.9999", "999 degrees"},
        {5, "01160.0000", "60 minutes"},
    };
    for (const Refused& c : cases) {
        const Parsed parsed = Parse(WithField(c.field, c.value));
        EXPECT_FALSE(parsed.accepted) << c.value << ": " << c.why;
        const double written = c.field == 3 ? parsed.fix.latitude : parsed.fix.longitude;
        EXPECT_TRUE(std::isnan(written)) << c.value << ": the refused angle is not handed out";
    }
}

TEST(TelemetryParse, CoordinatesUpToThePolesAndTheDateLineAreTaken) {
    struct Accepted {
        std::string_view latitude;
        std::string_view north;
        std::string_view longitude;
        std::string_view east;
        double wantLatitude;
        double wantLongitude;
    };
    const Accepted cases[] = {
        {"9000.0000", "N", "18000.0000", "E", 90.0, 180.0},
        {"9000.0000", "S", "18000.0000", "W", -90.0, -180.0},
        {"0000.0000", "N", "00000.0000", "E", 0.0, 0.0},
        {"8959.9999", "S", "17959.9999", "W", -(89 + 59.9999 / 60), -(179 + 59.9999 / 60)},
        {"0030.0000", "N", "00130.0000", "E", 0.5, 1.5},
        {"3352.5900", "S", "07038.4140", "W", -(33 + 52.59 / 60), -(70 + 38.414 / 60)},
    };
    for (const Accepted& c : cases) {
        const std::string text = WithField(
            6, c.east, WithField(5, c.longitude, WithField(4, c.north, WithField(3, c.latitude))));
        const Parsed parsed = Parse(text);
        EXPECT_TRUE(parsed.accepted) << text;
        EXPECT_NEAR(parsed.fix.latitude, c.wantLatitude, kTolerance) << text;
        EXPECT_NEAR(parsed.fix.longitude, c.wantLongitude, kTolerance) << text;
        EXPECT_NEAR(parsed.fix.speed, kExampleSpeed, kTolerance) << text;
    }
}

// A speed or course out of its range refuses the sentence and is not handed out (a "-5.1" once
// showed as -9.4 km/h); the position read before it stays written, as for any late refusal.
TEST(TelemetryParse, SpeedsAndCoursesOutOfRangeAreRefused) {
    for (std::string_view speed : {"-5.1", "-0.1", "nan", "inf", "1e999", "1000.001"}) {
        const Parsed parsed = Parse(WithField(7, speed));
        EXPECT_FALSE(parsed.accepted) << speed;
        EXPECT_TRUE(std::isnan(parsed.fix.speed)) << speed;
        EXPECT_NEAR(parsed.fix.latitude, kExampleLatitude, kTolerance) << speed;
    }
    for (std::string_view course : {"nan", "inf", "-5", "360.01", "720"}) {
        const Parsed parsed = Parse(WithField(8, course));
        EXPECT_FALSE(parsed.accepted) << course;
        EXPECT_TRUE(std::isnan(parsed.fix.course)) << course;
    }

    struct Accepted {
        std::string_view speed;
        std::string_view course;
        double wantSpeed;
        double wantCourse;
    };
    const Accepted cases[] = {
        {"0", "0", 0.0, 0.0},
        {"000.0", "359.9", 0.0, 359.9},
        {"", "", 0.0, 0.0},  // a receiver standing still may leave both out
        {".5", "360.", 0.5 * 1.852, 360.0},
        {"1000", "360.00", 1000 * 1.852, 360.0},
    };
    for (const Accepted& c : cases) {
        const Parsed parsed = Parse(WithField(8, c.course, WithField(7, c.speed)));
        EXPECT_TRUE(parsed.accepted) << c.speed << " " << c.course;
        EXPECT_NEAR(parsed.fix.speed, c.wantSpeed, kTolerance) << c.speed;
        EXPECT_NEAR(parsed.fix.course, c.wantCourse, kTolerance) << c.course;
    }
}

// Read as numbers, damaged speed and course fields gave plausible-looking values, and a sentence
// ending before its position gave the place 0, 0; none of them is a fix.
TEST(TelemetryParse, GarbledSpeedCourseOrAMissingPositionGiveNoFix) {
    struct Garbled {
        std::string text;
        const char* why;
    };
    const Garbled cases[] = {
        {WithField(7, "45.1e153.1"), "exponent in the speed (once 8.35e154 km/h)"},
        {WithField(7, " 5.1"), "blank for a digit of the speed (once read as 5.1)"},
        {WithField(7, "45.1.1"), "second dot in the speed"},
        {WithField(7, "+45.1"), "sign in the speed"},
        {WithField(7, "1e1knots"), "letters in the speed"},
        {WithField(7, "."), "a dot without digits"},
        {WithField(8, "90.0 250905"), "comma lost: the date inside the course"},
        {WithField(8, "250905"), "comma lost: the date as the course"},
        {WithField(8, "084.4	"), "tab after the course"},
        {"$GPRMC,000344.03,A,*", "status only"},
        {"$GPRMC,000344.03,A,4807.0380,*6A", "latitude without its N/S"},
        {"$GPRMC,000344.03,A,4807.0380,N,*6A", "latitude without longitude"},
        {"$GPRMC,000344.03,A,4807.0380,N,01131.0000,*6A", "longitude without its E/W"},
        {"$GPRMC,000344.03,A,4807.0380,N,01131.0000,E*6A", "E/W not closed by a comma"},
    };
    for (const Garbled& c : cases) {
        const Parsed parsed = Parse(c.text);
        EXPECT_FALSE(parsed.accepted) << c.text << ": " << c.why;
        EXPECT_TRUE(std::isnan(parsed.fix.course)) << c.text << ": no course handed out";
    }
}

TEST(TelemetryParse, HemisphereLettersOtherThanNsewAreRefused) {
    for (std::string_view letter : {"", "n", "E", "X"}) {
        EXPECT_FALSE(Parse(WithField(4, letter)).accepted) << letter;
    }
    for (std::string_view letter : {"", "e", "N", "X"}) {
        EXPECT_FALSE(Parse(WithField(6, letter)).accepted) << letter;
    }
}

TEST(TelemetryParse, OutputsReadBeforeALateRejectionStayWritten) {
    Parsed parsed = Parse(WithField(6, "X"));
    EXPECT_FALSE(parsed.accepted);
    EXPECT_NEAR(parsed.fix.latitude, kExampleLatitude, kTolerance);
    EXPECT_NEAR(parsed.fix.longitude, kExampleLongitude, kTolerance) << "written unsigned";
    EXPECT_TRUE(std::isnan(parsed.fix.speed));
    EXPECT_TRUE(std::isnan(parsed.fix.course));

    parsed = Parse(WithField(5, "1131.0", WithField(4, "S")));
    EXPECT_FALSE(parsed.accepted);
    EXPECT_NEAR(parsed.fix.latitude, -kExampleLatitude, kTolerance);
    EXPECT_TRUE(std::isnan(parsed.fix.longitude));

    parsed = Parse(WithField(4, "?"));
    EXPECT_NEAR(parsed.fix.latitude, kExampleLatitude, kTolerance) << "not yet signed";
}

TEST(TelemetryParse, ShortSentencesWithAWholePositionAreTakenWithTheFieldsTheyHave) {
    const Parsed parsed = Parse("$GPRMC,123519,A,4807.0380,N,01131.0000,E,022.4*6A");
    EXPECT_TRUE(parsed.accepted);
    EXPECT_NEAR(parsed.fix.longitude, kExampleLongitude, kTolerance);
    EXPECT_TRUE(std::isnan(parsed.fix.speed)) << "no comma after the speed";
    EXPECT_TRUE(std::isnan(parsed.fix.course));
}

TEST(TelemetryParse, FieldsPastTheCourseAndTheChecksumAreNotChecked) {
    EXPECT_TRUE(Parse(WithField(9, "never")).accepted);
    std::string badSum(kSentence);
    badSum.replace(badSum.size() - 2, 2, "00");
    ExpectExampleFix(Parse(badSum));
}

TEST(TelemetryParse, SensorTagsAreTakenWhateverTheFix) {
    Parsed parsed = Parse("X:1.25");
    EXPECT_FALSE(parsed.accepted);
    EXPECT_EQ(parsed.gsensor.x, 1.25);
    EXPECT_TRUE(std::isnan(parsed.gsensor.y)) << "only the tag present is written";
    EXPECT_TRUE(std::isnan(parsed.gsensor.z));

    parsed = Parse("Z: -0.5g Y:+2 X:junk");
    EXPECT_EQ(parsed.gsensor.x, 0.0);
    EXPECT_EQ(parsed.gsensor.y, 2.0);
    EXPECT_EQ(parsed.gsensor.z, -0.5);

    parsed = Parse("X:1 X:2 Y:3 Z:4 " + WithField(2, "V"));
    EXPECT_FALSE(parsed.accepted);
    EXPECT_EQ(parsed.gsensor.x, 1.0) << "the first tag counts";
    EXPECT_EQ(parsed.gsensor.z, 4.0);
}

TEST(TelemetryParse, TextEndsAtTheFirstNul) {
    using namespace std::string_literals;
    Parsed parsed = Parse("X:1.5\0Y:2.5 "s + std::string(kSentence));
    EXPECT_EQ(parsed.gsensor.x, 1.5);
    EXPECT_TRUE(std::isnan(parsed.gsensor.y));
    EXPECT_FALSE(parsed.accepted);

    parsed = Parse(
        "X:1.5\0"s
        "7");
    EXPECT_EQ(parsed.gsensor.x, 1.5);

    std::string cut(kSentence);
    cut[cut.find("022.4")] = '\0';
    parsed = Parse(cut);
    EXPECT_FALSE(parsed.accepted) << "the checksum mark behind the NUL is not seen";
    EXPECT_TRUE(std::isnan(parsed.fix.latitude));
}

// Every prefix lives in a buffer of exactly its size, so a read past the view is a heap overflow
// under the sanitizer build.
TEST(TelemetryParse, TextCutAnywhereIsReadWithinItsBounds) {
    const std::string full = "X:-0.031 Y:0.992 Z:0.12 " + std::string(kSentence);
    const size_t mark = full.find('*');
    for (size_t size = 0; size <= full.size(); ++size) {
        const std::vector<char> bytes(full.begin(), full.begin() + static_cast<long>(size));
        const Parsed parsed = Parse(std::string_view(bytes.data(), bytes.size()));
        EXPECT_EQ(parsed.accepted, size > mark) << "cut at " << size;
        if (parsed.accepted) {
            ExpectExampleFix(parsed);
        }
    }
}

class NumericLocale {
  public:
    explicit NumericLocale(const char* name) : previous_(std::setlocale(LC_NUMERIC, nullptr)) {
        active_ = std::setlocale(LC_NUMERIC, name) != nullptr;
    }
    ~NumericLocale() { std::setlocale(LC_NUMERIC, previous_.c_str()); }
    NumericLocale(const NumericLocale&) = delete;
    NumericLocale& operator=(const NumericLocale&) = delete;

    bool DecimalComma() const { return active_ && *std::localeconv()->decimal_point == ','; }

  private:
    std::string previous_;
    bool active_ = false;
};

TEST(TelemetryParse, DecimalCommaLocaleDoesNotChangeTheNumbers) {
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "ru_RU.UTF-8"}) {
        NumericLocale locale(name);
        if (!locale.DecimalComma()) {
            continue;
        }
        const Parsed parsed = Parse("X:0.5 " + std::string(kSentence));
        ExpectExampleFix(parsed);
        EXPECT_EQ(parsed.gsensor.x, 0.5);
        return;
    }
    GTEST_SKIP() << "no locale with a decimal comma is installed";
}

}  // namespace
}  // namespace velmaro
