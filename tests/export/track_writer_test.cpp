// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The track and subtitle texts from hand-made points: known answers for every column and cue,
// the GPX checked by the GPX 1.1 schema with its track point extension and read back by
// GPSBabel, the KML's timed track counted by XPath, and names no XML could hold as they are.
#include <gtest/gtest.h>

#include <clocale>
#include <string>
#include <utility>

#include "export/subtitle_writer.h"
#include "export/track_text.h"
#include "export/track_writer.h"
#include "tests/export/track_checks.h"
#include "tests/test_support.h"

namespace velmaro {
namespace {

using test::TempDir;

constexpr int64_t kNoon = 1781265600000;  // 2026-06-12T12:00:00Z

TrackPoint Fix(double lat, double lon, double kmh, double course, double cameraTime,
               std::optional<int64_t> utc) {
    TrackPoint p;
    p.valid = true;
    p.fix = {lat, lon, kmh, course};
    p.gsensor = {0.25, -1.0, 0.5};
    p.utcMs = utc;
    p.cameraTime = cameraTime;
    return p;
}

TrackPoint NoFix(double cameraTime, std::optional<int64_t> utc) {
    TrackPoint p;
    p.gsensor = {0.0, -1.0, 0.0};
    p.utcMs = utc;
    p.cameraTime = cameraTime;
    return p;
}

// Three fixes around an invalid text, then a fix after a gap of a minute (another recording).
TrackPoints SamplePoints() {
    return {
        Fix(48.1173, 11.516666667, 41.4848, 84.4, 1000.0, kNoon),
        NoFix(1001.0, kNoon + 1000),
        Fix(48.1174, 11.5168, 36.0, 90.0, 1002.0, kNoon + 2000),
        Fix(-33.87, 180.0, 0.0, 359.5, 1062.0, kNoon + 62500),
    };
}

TEST(TrackWriter, ChoosesTheFormatByTheNamesSuffixInAnyCase) {
    EXPECT_EQ(TrackFormatForPath("/a/day.gpx"), TrackFormat::kGpx);
    EXPECT_EQ(TrackFormatForPath("/a/DAY.KML"), TrackFormat::kKml);
    EXPECT_EQ(TrackFormatForPath("day.Csv"), TrackFormat::kCsv);
    EXPECT_EQ(TrackFormatForPath("/a.gpx/day"), TrackFormat::kNone);
    EXPECT_EQ(TrackFormatForPath("/a/day.txt"), TrackFormat::kNone);
}

TEST(TrackWriter, CsvHasEveryTextAndMarksTheOnesWithoutAFix) {
    EXPECT_EQ(CsvText(SamplePoints()),
              "time_utc,latitude,longitude,speed_kmh,course,x,y,z,fix\n"
              "2026-06-12T12:00:00Z,48.117300000,11.516666667,41.485,84.40,0.2500,-1.0000,"
              "0.5000,valid\n"
              "2026-06-12T12:00:01Z,,,,,0.0000,-1.0000,0.0000,invalid\n"
              "2026-06-12T12:00:02Z,48.117400000,11.516800000,36.000,90.00,0.2500,-1.0000,"
              "0.5000,valid\n"
              "2026-06-12T12:01:02.500Z,-33.870000000,180.000000000,0.000,359.50,0.2500,-1.0000,"
              "0.5000,valid\n");
}

TEST(TrackWriter, NumbersDoNotFollowTheLocale) {
    const char* before = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = before ? before : "C";
    if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr) {
        GTEST_SKIP() << "no German locale";
    }
    const std::string csv = CsvText(SamplePoints());
    std::setlocale(LC_NUMERIC, saved.c_str());
    EXPECT_NE(csv.find("48.117300000,11.516666667"), std::string::npos);
}

TEST(TrackWriter, GpxHoldsTheFixesInSegmentsWithSpeedAndCourseInTheExtension) {
    const std::string gpx = GpxText(SamplePoints(), "sample");
    EXPECT_EQ(test::Count(gpx, "<trkpt "), 3u);
    EXPECT_EQ(test::Count(gpx, "<trkseg>"), 2u);
    EXPECT_NE(gpx.find("<trkpt lat=\"48.117300000\" lon=\"11.516666667\">"), std::string::npos);
    EXPECT_NE(gpx.find("<time>2026-06-12T12:00:00Z</time>"), std::string::npos);
    EXPECT_NE(gpx.find("<gpxtpx:speed>11.524</gpxtpx:speed>"), std::string::npos) << "m/s";
    EXPECT_NE(gpx.find("<gpxtpx:course>84.40</gpxtpx:course>"), std::string::npos);
    EXPECT_EQ(test::Count(gpx, "<gpxtpx:speed>"), 3u);
    EXPECT_EQ(test::Count(gpx, "<gpxtpx:course>"), 3u);
    // 180 E is written as the same meridian from the west, which the schema allows.
    EXPECT_NE(gpx.find("lon=\"-180.000000000\""), std::string::npos);
}

// The extension's course stops short of 360, so headings that round up to it are north.
TEST(TrackWriter, GpxPassesTheSchemaAndGpsBabelReadsEveryPoint) {
    TrackPoints points = SamplePoints();
    points.push_back(Fix(-33.87, 179.9, 1.0, 359.996, 1063.0, kNoon + 63500));
    points.push_back(Fix(-33.87, 179.9, 1.0, 360.0, 1064.0, kNoon + 64500));
    const TempDir dir;
    const std::string path = dir.File("track.gpx");
    std::string error;
    ASSERT_TRUE(SaveTextFile(path, GpxText(points, "sample"), error)) << error;
    EXPECT_EQ(test::SchemaErrors(path), "");
    EXPECT_EQ(test::GpsBabelTrackPoints(path), 5);
    EXPECT_EQ(test::Count(test::ReadText(path), "<gpxtpx:course>0.00</gpxtpx:course>"), 2u);
}

TEST(TrackWriter, KmlDrawsEachSegmentAsALineAndAsATrackWithATimePerPlace) {
    const TempDir dir;
    const std::string path = dir.File("t.kml");
    test::WriteText(path, KmlText(SamplePoints(), "sample"));
    EXPECT_EQ(test::WellFormedErrors(path), "");
    const auto number = [&](const std::string& xpath) { return test::XPathNumber(path, xpath); };
    EXPECT_EQ(number("count(//kml:LineString)"), 2);
    EXPECT_EQ(number("count(//gx:Track)"), 2);
    EXPECT_EQ(number("count(//gx:Track/kml:when)"), 3) << "one per fix";
    EXPECT_EQ(number("count(//gx:Track[count(kml:when) != count(gx:coord)])"), 0);
    EXPECT_EQ(number("count(//gx:Track/kml:when[preceding-sibling::gx:coord])"), 0)
        << "the times come first, then the places";
    EXPECT_EQ(number("count(//kml:Folder/kml:Placemark/kml:TimeStamp)"), 3);

    const std::string kml = test::ReadText(path);
    EXPECT_NE(kml.find("<begin>2026-06-12T12:00:00Z</begin>"), std::string::npos);
    EXPECT_NE(kml.find("<end>2026-06-12T12:00:02Z</end>"), std::string::npos);
    EXPECT_NE(kml.find("11.516666667,48.117300000,0"), std::string::npos);
    EXPECT_NE(kml.find("<gx:coord>11.516666667 48.117300000 0</gx:coord>"), std::string::npos);
}

// Output names come from the user and file names from cards in any old encoding; whatever they
// hold, the file stays well-formed UTF-8 and the GPX valid.
TEST(TrackWriter, AnyNameGivesAWellFormedFile) {
    struct Named {
        std::string name;
        std::string written;
    };
    const std::string bad = "\xEF\xBF\xBD";  // U+FFFD
    const Named cases[] = {
        {"drive <1> & \"more\"", "drive &lt;1&gt; &amp; &quot;more&quot;"},
        {"Stra\xDF"
         "e",
         "Stra" + bad + "e"},  // Latin-1, not UTF-8
        {"Stra\xC3\x9F"
         "e",
         "Stra\xC3\x9F"
         "e"},                                              // the same in UTF-8
        {"over\xC0\xAFlong", "over" + bad + bad + "long"},  // an overlong '/'
        {"half\xED\xA0\x80", "half" + bad + bad + bad},     // a surrogate
        {"cut\xE2\x82", "cut" + bad + bad},                 // a sequence cut short
        {"bell\x07", "bell" + bad},                         // no XML character
        {std::string("nul\0x", 5), "nul" + bad + "x"},
    };
    const TempDir dir;
    for (const Named& c : cases) {
        for (const auto& [file, text] : {std::pair{"n.gpx", GpxText(SamplePoints(), c.name)},
                                         std::pair{"n.kml", KmlText(SamplePoints(), c.name)}}) {
            const std::string path = dir.File(file);
            test::WriteText(path, text);
            EXPECT_EQ(test::WellFormedErrors(path), "") << c.written;
            EXPECT_NE(text.find("<name>" + c.written + "</name>"), std::string::npos) << text;
        }
        EXPECT_EQ(test::SchemaErrors(dir.File("n.gpx")), "") << c.written;
    }
}

TEST(TrackWriter, AFixWithoutADateStillGoesIntoTheTrackWithoutATime) {
    const TrackPoints points = {Fix(10.0, 20.0, 1.0, 2.0, 0.0, std::nullopt)};
    const std::string gpx = GpxText(points, "x");
    EXPECT_EQ(test::Count(gpx, "<trkpt "), 1u);
    EXPECT_EQ(gpx.find("<time>"), std::string::npos);
    EXPECT_EQ(CsvText(points).substr(CsvText(points).find('\n') + 1, 1), ",");
}

TEST(SubtitleWriter, OneCuePerTextOnTheClipsClockInTheChosenUnit) {
    TrackPoints points = SamplePoints();
    points.resize(3);
    const test::ScopedEnv utc("TZ", "UTC");
    const double origin = 999.5;  // the clip's first picture, half a second before the first text
    EXPECT_EQ(SrtText(points, origin, kSubtitleKmh),
              "1\n00:00:00,500 --> 00:00:01,500\n1970-01-01 00:16:40\n41 km/h  48.11730N "
              "11.51667E\n\n"
              "2\n00:00:01,500 --> 00:00:02,500\n1970-01-01 00:16:41\nNo GPS fix\n\n"
              "3\n00:00:02,500 --> 00:00:03,500\n1970-01-01 00:16:42\n36 km/h  48.11740N "
              "11.51680E\n\n");
    EXPECT_NE(SrtText(points, origin, kSubtitleMph).find("\n26 mph  "), std::string::npos);
    EXPECT_NE(SrtText(points, origin, kSubtitleKnot).find("\n22 kn  "), std::string::npos);
    EXPECT_NE(SrtText(points, origin, 7).find("\n41 km/h  "), std::string::npos);
}

TEST(SubtitleWriter, CuesNeverStartBeforeZeroOrRunBackward) {
    TrackPoints points = {NoFix(10.0, std::nullopt), NoFix(9.0, std::nullopt),
                          NoFix(10.25, std::nullopt)};
    const std::string srt = SrtText(points, 10.5, kSubtitleKmh);
    EXPECT_NE(srt.find("1\n00:00:00,000 --> 00:00:01,000\n"), std::string::npos);
    EXPECT_NE(srt.find("2\n00:00:00,000 --> 00:00:01,000\n"), std::string::npos);
    EXPECT_NE(srt.find("3\n00:00:00,000 --> 00:00:01,000\n"), std::string::npos);
}

TEST(SubtitleWriter, TheSidecarIsNamedAfterTheClip) {
    EXPECT_EQ(SubtitlePathFor("/x/clip.ts"), "/x/clip.srt");
    EXPECT_EQ(SubtitlePathFor("/x/clip.AVI"), "/x/clip.srt");
    EXPECT_EQ(SubtitlePathFor("/x.y/clip"), "/x.y/clip.srt");
    EXPECT_EQ(SubtitlePathFor("/x/.hidden"), "/x/.hidden.srt");
}

}  // namespace
}  // namespace velmaro
