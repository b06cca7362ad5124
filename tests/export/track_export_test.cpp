// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Tracks and subtitle sidecars of generated cards: a day, a stretch and a recording give exactly
// the texts the generator wrote there, the GPX of a day passes the schema and GPSBabel reads as
// many points as the day has fixes, and a 30 s clip gets one cue per telemetry second.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <iterator>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "app/recording_day.h"
#include "export/clip_subtitles.h"
#include "export/subtitle_writer.h"
#include "export/track_export.h"
#include "export/track_source.h"
#include "export/track_writer.h"
#include "stream/recording_files.h"
#include "tests/export/export_support.h"
#include "tests/export/track_checks.h"
#include "tools/make_recording/ts_muxer.h"

namespace velmaro {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

constexpr int64_t kSecondsPerDay = 86400;

size_t ValidFixes(const RecordingResult& card) {
    size_t n = 0;
    for (const FileStats& file : card.stats) {
        for (const std::string& text : file.telemetry) {
            GSensorRecord gsensor;
            GpsRecord fix;
            n += ParseTelemetry(text, gsensor, fix) ? 1 : 0;
        }
    }
    return n;
}

size_t Texts(const RecordingResult& card) {
    size_t n = 0;
    for (const FileStats& file : card.stats) {
        n += file.telemetry.size();
    }
    return n;
}

// A day of three recordings, and one more recording on the next day in the same folder.
class CardDay : public ::testing::Test {
  protected:
    void SetUp() override {
        RecordingOptions options = test::SmallCard(card_, 3, 6);
        options.filesWithoutTelemetry = {2};
        day_ = WriteRecording(options);
        ASSERT_TRUE(day_.ok) << day_.error;
        options.files = 1;
        options.firstNumber = 10;
        options.filesWithoutTelemetry.clear();
        options.startTime += kSecondsPerDay;
        nextDay_ = WriteRecording(options);
        ASSERT_TRUE(nextDay_.ok) << nextDay_.error;
        date_ = LocalDateOf(options.startTime - kSecondsPerDay);
        nextDate_ = LocalDateOf(options.startTime);
    }

    TrackOutcome Export(TrackScope scope, const std::string& name) {
        TrackRequest request;
        request.scope = scope;
        request.outputPath = out_.File(name);
        request.recordingPath = day_.files[0];
        request.day = date_;
        return RunTrackExport(request);
    }

    TempDir card_;
    TempDir out_;
    RecordingResult day_;
    RecordingResult nextDay_;
    CivilDate date_;
    CivilDate nextDate_;
};

TEST_F(CardDay, TheGpxOfADayPassesTheSchemaAndHoldsEveryFixOfThatDayOnly) {
    const TrackOutcome outcome = Export(TrackScope::kDay, "day.gpx");
    ASSERT_TRUE(outcome.ok) << outcome.error;
    EXPECT_EQ(outcome.texts, Texts(day_));
    EXPECT_EQ(outcome.fixes, ValidFixes(day_));
    const std::string gpx = out_.File("day.gpx");
    EXPECT_EQ(test::SchemaErrors(gpx), "");
    EXPECT_EQ(test::GpsBabelTrackPoints(gpx), static_cast<int>(ValidFixes(day_)));
    // The recording without telemetry leaves a gap of its length: the track is split there.
    EXPECT_EQ(test::Count(test::ReadText(gpx), "<trkseg>"), 2u);
}

TEST_F(CardDay, TheCsvOfADayHasARowPerTextStampedWithTheSentencesTime) {
    ASSERT_TRUE(Export(TrackScope::kDay, "day.csv").ok);
    const std::string csv = test::ReadText(out_.File("day.csv"));
    EXPECT_EQ(test::Count(csv, "\n"), Texts(day_) + 1);
    const std::string& first = day_.stats[0].telemetry.front();
    const std::string hhmmss = first.substr(first.find("$GPRMC,") + 7, 6);
    EXPECT_NE(csv.find(hhmmss.substr(0, 2) + ":" + hhmmss.substr(2, 2) + ":" + hhmmss.substr(4, 2) +
                       "Z,"),
              std::string::npos);
}

// Times moved to GPS by a day: the next day then holds the first day's recordings only.
TEST_F(CardDay, ADayOnMovedTimesHoldsTheRecordingsShownOnIt) {
    const TrackResult moved =
        CollectDayTrack(FolderOf(day_.files[0]), nextDate_, {}, kSecondsPerDay);
    ASSERT_TRUE(moved.ok) << moved.error;
    EXPECT_EQ(moved.points.size(), Texts(day_));
}

TEST_F(CardDay, ARecordingsTrackHoldsItsOwnTextsAndAKmlDrawsThem) {
    const TrackOutcome outcome = Export(TrackScope::kRecording, "rec.kml");
    ASSERT_TRUE(outcome.ok) << outcome.error;
    EXPECT_EQ(outcome.texts, day_.stats[0].telemetry.size());
    const std::string kml = test::ReadText(out_.File("rec.kml"));
    EXPECT_EQ(test::Count(kml, "<TimeStamp>"), day_.stats[0].telemetry.size());
    EXPECT_EQ(test::Count(kml, "<LineString>"), 1u);
}

TEST_F(CardDay, AStretchHoldsTheTextsBetweenTheMarks) {
    // From the start of the first file to the end of the third: everything but the file
    // without telemetry.
    TrackResult all = CollectStretchTrack({day_.files[0], 0, day_.files[2], day_.stats[2].bytes});
    ASSERT_TRUE(all.ok) << all.error;
    EXPECT_EQ(all.files, 3);
    EXPECT_EQ(all.points.size(), Texts(day_));
    // Half of the first file: its later texts only, in order.
    TrackResult half = CollectStretchTrack(
        {day_.files[0], day_.stats[0].bytes / 2, day_.files[0], day_.stats[0].bytes});
    ASSERT_TRUE(half.ok) << half.error;
    const size_t n = day_.stats[0].telemetry.size();
    EXPECT_GE(half.points.size(), n / 2 - 1);
    EXPECT_LE(half.points.size(), n / 2 + 1);
    for (size_t i = 1; i < half.points.size(); ++i) {
        EXPECT_GT(half.points[i].cameraTime, half.points[i - 1].cameraTime);
    }
}

TEST_F(CardDay, UnusableRequestsSaveNothingAndSayWhy) {
    EXPECT_FALSE(Export(TrackScope::kDay, "day.txt").ok);
    TrackRequest request;
    request.scope = TrackScope::kStretch;
    request.outputPath = out_.File("s.gpx");
    request.marks = {day_.files[2], 0, day_.files[0], 100};
    TrackOutcome outcome = RunTrackExport(request);
    EXPECT_FALSE(outcome.ok);
    EXPECT_FALSE(outcome.error.empty());
    request.scope = TrackScope::kDay;
    request.recordingPath = day_.files[0];
    request.day = {1999, 1, 1};
    EXPECT_FALSE(RunTrackExport(request).ok);
    request.scope = TrackScope::kRecording;
    request.recordingPath = out_.File("missing.ts");
    outcome = RunTrackExport(request);
    EXPECT_FALSE(outcome.ok);
    EXPECT_NE(outcome.error.find("missing.ts"), std::string::npos);
    EXPECT_TRUE(test::NamesIn(out_.path()).empty());
}

TEST_F(CardDay, TheWorkerReportsItsOutcomeOnce) {
    std::mutex mutex;
    std::vector<TrackOutcome> ends;
    TrackExport worker([&](const TrackOutcome& o) {
        std::lock_guard lock(mutex);
        ends.push_back(o);
    });
    TrackRequest request;
    request.scope = TrackScope::kDay;
    request.outputPath = out_.File("w.gpx");
    request.recordingPath = day_.files[1];
    request.day = date_;
    ASSERT_TRUE(worker.Start(request));
    ASSERT_TRUE(test::WaitUntil([&] { return !worker.IsRunning(); }));
    worker.Stop();
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_TRUE(ends[0].ok) << ends[0].error;
    EXPECT_TRUE(fs::exists(out_.File("w.gpx")));
}

// A text whose sentence has no whole position or a damaged speed stays a row of the CSV, marked
// invalid, and is no point of the GPX: a status alone once became a point at longitude 0.
// The texts as a recording carries them, one a second, read back by the export's collector.
TelemetryCollector CollectedTexts(const std::vector<std::string>& texts) {
    std::vector<uint8_t> ts;
    TsMuxer muxer(TsLayout{}, &ts);
    muxer.WriteTables();
    int64_t pts = 0;
    for (const std::string& text : texts) {
        muxer.WriteData({text.begin(), text.end()}, pts += 90000);
    }
    TelemetryCollector collector;
    for (size_t at = 0; at + TsMuxer::kPacketSize <= ts.size(); at += TsMuxer::kPacketSize) {
        collector.Feed(ts.data() + at, static_cast<int64_t>(at));
    }
    collector.Finish();
    return collector;
}

TEST(TrackPoints, TextsWithoutAUsableFixGiveNoPointOfTheTrack) {
    const std::string sensors = "X:0.1 Y:-0.9 Z:0.2 ";
    const std::string texts[] = {
        "$GPRMC,000343.03,A,4807.0380,N,01131.0000,E,022.4,084.4,120626,,,A*6A",
        "$GPRMC,000344.03,A,*",
        "$GPRMC,000345.03,A,4807.0380,N,*",
        "$GPRMC,000346.03,A,4807.0380,N,01131.0000,E,45.1e153.1,084.4,120626,,,A*6A",
    };
    std::vector<std::string> payloads;
    for (const std::string& text : texts) {
        payloads.push_back(sensors + text);
    }
    const TelemetryCollector collector = CollectedTexts(payloads);
    TrackPoints points;
    GSensorRecord gsensor;
    AppendPoints(collector, 0, INT64_MAX, 0.0, gsensor, points);
    ASSERT_EQ(points.size(), std::size(texts));
    EXPECT_EQ(test::Count(GpxText(points, "t"), "<trkpt "), 1u);
    EXPECT_EQ(test::Count(KmlText(points, "t"), "<Point>"), 1u);
    EXPECT_EQ(test::Count(CsvText(points), ",invalid\n"), 3u);
}

// The receivers' choice of the run reaches the track and the clip's cues, which read their
// texts through the same points: a checksummed $GNRMC is a fix only with it on.
TEST(TrackPoints, AnotherReceiversSentenceIsAFixOnlyWhenTheRunTakesThem) {
    const std::string text =
        "X:0.1 Y:-0.9 Z:0.2 "
        "$GNRMC,000347.00,A,4807.03812,N,01131.00005,E,022.4,084.4,120626,,,A*49";
    const TelemetryCollector collector = CollectedTexts({text});
    for (const bool others : {false, true}) {
        SetRunTelemetryOptions({.otherReceivers = others});
        TrackPoints points;
        GSensorRecord gsensor;
        AppendPoints(collector, 0, INT64_MAX, 0.0, gsensor, points);
        ASSERT_EQ(points.size(), 1u);
        EXPECT_EQ(points[0].valid, others);
        EXPECT_EQ(test::Count(GpxText(points, "t"), "<trkpt "), others ? 1u : 0u);
    }
    SetRunTelemetryOptions({});
}

// The cue start times of an .srt as ffprobe reads them, one per line.
std::vector<double> CueStarts(const std::string& srt) {
    const test::CommandResult run = test::RunCommand(
        "ffprobe -v error -show_entries packet=pts_time -of csv=p=0 " + test::ShellQuote(srt));
    std::vector<double> starts;
    std::istringstream lines(run.out);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty()) {
            starts.push_back(std::stod(line));
        }
    }
    return run.status == 0 ? starts : std::vector<double>{};
}

class ClipSubtitles : public ::testing::Test {
  protected:
    void SetUp() override {
        card_ = WriteRecording(test::SmallCard(dir_, 1, 30));
        ASSERT_TRUE(card_.ok) << card_.error;
    }

    test::ExportRun Export(const std::string& name, bool subtitles, bool replace = true) {
        ExportRequest request = test::ClipRequest(out_.File(name), card_.files[0], 0,
                                                  card_.files[0], card_.stats[0].bytes, false);
        request.writeSubtitles = subtitles;
        request.replaceSubtitles = replace;
        return test::RunExport(request);
    }

    TempDir dir_;
    TempDir out_;
    RecordingResult card_;
};

TEST_F(ClipSubtitles, AThirtySecondClipGetsThirtyCuesOneASecond) {
    for (const char* name : {"clip.ts", "clip.avi"}) {
        const test::ExportRun run = Export(name, true);
        ASSERT_EQ(run.outcome.end, ExportEnd::kFinished) << run.outcome.reason;
        EXPECT_EQ(run.outcome.reason, "");
        const std::string srt = out_.File("clip.srt");
        const std::vector<double> starts = CueStarts(srt);
        ASSERT_EQ(starts.size(), 30u) << name;
        ASSERT_EQ(card_.stats[0].telemetry.size(), 30u);
        for (size_t i = 0; i < starts.size(); ++i) {
            EXPECT_NEAR(starts[i], static_cast<double>(i), 0.05) << name << " cue " << i;
        }
        const std::string text = test::ReadText(srt);
        EXPECT_NE(text.find(" km/h  48."), std::string::npos);
    }
}

TEST_F(ClipSubtitles, NoSidecarWhenTheOptionIsOffOrTheExportFails) {
    ASSERT_EQ(Export("off.ts", false).outcome.end, ExportEnd::kFinished);
    EXPECT_FALSE(fs::exists(out_.File("off.srt")));
    // A mark-out in a file that never comes: the export runs out and saves nothing.
    ExportRequest request = test::ClipRequest(out_.File("lost.ts"), card_.files[0], 0,
                                              dir_.File("DCIM/100MEDIA/REC_0099.ts"), 10, false);
    request.writeSubtitles = true;
    EXPECT_NE(test::RunExport(request).outcome.end, ExportEnd::kFinished);
    EXPECT_FALSE(fs::exists(out_.File("lost.srt")));
    EXPECT_FALSE(fs::exists(out_.File("lost.ts")));
}

// A NAME.srt already there is the user's until they agree to give it up; anything but a
// regular file there is never touched.
TEST_F(ClipSubtitles, AnExistingSidecarIsReplacedOnlyWithConsent) {
    const std::string mine = out_.File("clip2.srt");
    test::WriteText(mine, "my own notes\n");
    const test::ExportRun kept = Export("clip2.ts", true, false);
    ASSERT_EQ(kept.outcome.end, ExportEnd::kFinished);
    EXPECT_NE(kept.outcome.reason.find("was not replaced"), std::string::npos);
    EXPECT_EQ(test::ReadText(mine), "my own notes\n");
    ASSERT_EQ(Export("clip2.ts", true, true).outcome.end, ExportEnd::kFinished);
    EXPECT_EQ(CueStarts(mine).size(), 30u);

    fs::create_directory(out_.File("clip3.srt"));
    fs::create_directory(out_.File("clip3.srt/inside"));
    EXPECT_EQ(SidecarPlaceFor(out_.File("clip3.ts")), SidecarPlace::kInTheWay);
    const test::ExportRun blocked = Export("clip3.ts", true, true);
    EXPECT_NE(blocked.outcome.reason.find("not a regular file"), std::string::npos);
    EXPECT_TRUE(fs::is_directory(out_.File("clip3.srt/inside")));
}

}  // namespace
}  // namespace velmaro
