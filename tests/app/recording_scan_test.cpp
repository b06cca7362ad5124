// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The navigator's whole-file scan and its day worker on generated cards (knocks, a cut end,
// garbage, a camera clock an hour behind) and on real third-party streams, clean and damaged.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>

#include "app/day_scan.h"
#include "app/recording_scan.h"
#include "export/track_source.h"
#include "stream/recording_index.h"
#include "tests/test_support.h"
#include "tools/make_recording/recording_writer.h"

namespace velmaro {
namespace {

namespace fs = std::filesystem;
const fs::path kTs = fs::path(VELMARO_DATA_DIR) / "ts";

RecordingScan Scan(const std::string& path) {
    std::atomic<bool> stop{false};
    RecordingScan scan;
    std::string error;
    EXPECT_TRUE(ScanRecordingFile(path, stop, scan, error)) << error;
    return scan;
}

RecordingEntry EntryOf(const FileStats& stats) {
    RecordingEntry e;
    e.number = stats.number;
    e.path = stats.path;
    e.startTime = stats.startTime;
    e.endTime = stats.endTime;
    return e;
}

// Three 4 s files: a knock at second 6 (2 s into the second file), the last file cut short, the
// camera's clock an hour behind GPS time.
struct KnockCard {
    KnockCard() {
        RecordingOptions o;
        o.outRoot = dir.path();
        o.files = 3;
        o.secondsPerFile = 4;
        o.width = 160;
        o.height = 96;
        o.gSpikes = {6};
        o.truncateLast = true;
        o.clockOffset = -3600;
        result = WriteRecording(o);
    }
    test::TempDir dir;
    RecordingResult result;
};

const KnockCard& Knocks() {
    static const KnockCard card;
    return card;
}

TEST(RecordingScan, FindsTheKnockTheCutEndAndTheCameraClockOfAGeneratedCard) {
    const RecordingResult& r = Knocks().result;
    ASSERT_TRUE(r.ok) << r.error;
    const RecordingFindings first = FindingsOf(EntryOf(r.stats[0]), Scan(r.files[0]), 1.5);
    EXPECT_EQ(first.incidents.size(), 0u);
    EXPECT_FALSE(first.damaged);
    ASSERT_TRUE(first.clockOffset);
    EXPECT_EQ(*first.clockOffset, -3600);

    const RecordingScan knocked = Scan(r.files[1]);
    EXPECT_EQ(knocked.samples.size(), 4u);
    const RecordingFindings second = FindingsOf(EntryOf(r.stats[1]), knocked, 1.5);
    ASSERT_EQ(second.incidents.size(), 1u);
    EXPECT_EQ(second.incidents[0].seconds, 2.0);
    EXPECT_GT(second.incidents[0].deltaG, 2.5);
    EXPECT_EQ(IncidentTime(second.entry, second.incidents[0]), r.stats[1].startTime + 2);
    const int perMille = IncidentPerMille(second, second.incidents[0]);
    EXPECT_GT(perMille, 300);
    EXPECT_LT(perMille, 700);
    EXPECT_FALSE(second.damaged);

    const RecordingFindings third = FindingsOf(EntryOf(r.stats[2]), Scan(r.files[2]), 1.5);
    EXPECT_TRUE(third.damaged);
    EXPECT_TRUE(third.cutEnd);
    EXPECT_EQ(third.resyncs, 0u);
    // A threshold above the knock hides it.
    EXPECT_TRUE(FindingsOf(EntryOf(r.stats[1]), knocked, 4.0).incidents.empty());
}

// A recording, a 10 GB hole and the recording again: the hole is stepped over, not read, and
// both halves are scanned; the export's reader does the same.
TEST(RecordingScan, ASparseFilesHoleIsSteppedOverAndCountsAsDamage) {
    const RecordingResult& r = Knocks().result;
    ASSERT_TRUE(r.ok) << r.error;
    const std::string bytes = test::ReadText(r.files[1]);
    test::TempDir dir;
    const std::string sparse = (dir.path() / "SPARSE.TS").string();
    constexpr int64_t kHole = int64_t{10} << 30;
    {
        std::ofstream out(sparse, std::ios::binary);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.seekp(static_cast<std::streamoff>(bytes.size() + kHole));
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    const RecordingScan scan = Scan(sparse);
    EXPECT_GE(scan.holeBytes, static_cast<uint64_t>(kHole) - (1 << 20));
    EXPECT_TRUE(scan.Damaged());
    EXPECT_EQ(scan.samples.size(), 2 * Scan(r.files[1]).samples.size());

    TelemetryCollector collector;
    std::string error;
    ASSERT_TRUE(CollectFileTelemetry(sparse, collector, error)) << error;
    EXPECT_EQ(collector.Texts().size(), 2 * r.stats[1].telemetry.size());
}

TEST(RecordingScan, GarbageBetweenPacketsIsCountedAsResyncs) {
    test::TempDir dir;
    RecordingOptions o;
    o.outRoot = dir.path();
    o.files = 1;
    o.secondsPerFile = 2;
    o.width = 160;
    o.height = 96;
    o.garbage = true;
    const RecordingResult r = WriteRecording(o);
    ASSERT_TRUE(r.ok) << r.error;
    const RecordingScan scan = Scan(r.files[0]);
    EXPECT_EQ(scan.resyncs, 3u);
    EXPECT_TRUE(scan.Damaged());
    EXPECT_FALSE(scan.CutEnd());
    EXPECT_EQ(scan.samples.size(), 2u);
}

TEST(RecordingScan, ARealCleanStreamIsUndamagedAndLostPacketsAreCounted) {
    const fs::path clean = kTs / "tsduck-test" / "test-072.ts";
    const RecordingScan scan = Scan(clean.string());
    // The stream's analysis report: 9,692 packets, no unexpected discontinuities.
    EXPECT_EQ(scan.packets, 9692u);
    EXPECT_EQ(scan.lostPackets, 0u);
    EXPECT_EQ(scan.resyncs, 0u);
    EXPECT_FALSE(scan.Damaged());
    EXPECT_TRUE(scan.samples.empty());  // no telemetry stream

    // Three consecutive video packets taken out are three lost packets.
    std::vector<uint8_t> bytes = test::ReadBytes(clean);
    const auto pid = [&](size_t i) {
        return ((bytes[i * 188 + 1] & 0x1F) << 8) | bytes[i * 188 + 2];
    };
    size_t at = 5000;
    while (!(pid(at) == 0x65 && pid(at + 1) == 0x65 && pid(at + 2) == 0x65)) {
        ++at;
    }
    bytes.erase(bytes.begin() + static_cast<ptrdiff_t>(at * 188),
                bytes.begin() + static_cast<ptrdiff_t>((at + 3) * 188));
    RecordingScanner scanner;
    scanner.Feed(bytes.data(), bytes.size());
    const RecordingScan cut = scanner.Finish();
    EXPECT_EQ(cut.lostPackets, 3u);
    EXPECT_TRUE(cut.Damaged());
}

TEST(RecordingScan, PiecesOfAnySizeGiveTheSameScanAsTheWholeFile) {
    const std::vector<uint8_t> bytes = test::ReadBytes(Knocks().result.files[2]);
    RecordingScanner whole;
    whole.Feed(bytes.data(), bytes.size());
    const RecordingScan a = whole.Finish();
    RecordingScanner pieces;
    for (size_t at = 0, step = 1; at < bytes.size(); at += step, step = step * 7 % 1013 + 1) {
        pieces.Feed(bytes.data() + at, std::min(step, bytes.size() - at));
    }
    const RecordingScan b = pieces.Finish();
    EXPECT_EQ(a.packets, b.packets);
    EXPECT_EQ(a.tailBytes, b.tailBytes);
    EXPECT_EQ(a.samples.size(), b.samples.size());
    EXPECT_EQ(a.size, static_cast<int64_t>(bytes.size()));
}

TEST(RecordingScan, UnreadableOrStoppedScansReportNothing) {
    std::atomic<bool> stop{false};
    RecordingScan scan;
    std::string error;
    EXPECT_FALSE(ScanRecordingFile("/nonexistent/REC_0001.ts", stop, scan, error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(ScanRecordingFile(Knocks().dir.path().string(), stop, scan, error));
    stop = true;
    EXPECT_FALSE(ScanRecordingFile(Knocks().result.files[0], stop, scan, error));
}

TEST(DayScan, TheDaysRecordingsAreChosenByOverlap) {
    const CivilDate day{2026, 6, 12};
    const int64_t midnight = LocalTimeOf(day, 0, 0, 0);
    std::vector<RecordingEntry> list(4);
    list[0] = {1, "a", midnight - 100, midnight - 1, 0};  // the day before
    list[1] = {2, "b", midnight - 60, midnight + 60, 0};  // across midnight
    list[2] = {3, "c", midnight + 3600, midnight + 3660, 0};
    list[3] = {4, "d", midnight + 86400, midnight + 86460, 0};  // the next day
    const std::vector<RecordingEntry> got = EntriesOfDay(day, list);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].path, "b");
    EXPECT_EQ(got[1].path, "c");
}

TEST(DayScan, EveryFileIsReportedInOrderThenDoneAndStopEndsAScanAtOnce) {
    const RecordingResult& r = Knocks().result;
    std::mutex mutex;
    std::condition_variable cv;
    std::vector<RecordingFindings> reported;
    bool done = false;
    DayScanner scanner(
        [&](RecordingFindings f) {
            std::lock_guard lock(mutex);
            reported.push_back(std::move(f));
        },
        [&] {
            std::lock_guard lock(mutex);
            done = true;
            cv.notify_all();
        });
    std::vector<RecordingEntry> entries;
    for (const FileStats& s : r.stats) {
        entries.push_back(EntryOf(s));
    }
    entries.push_back({9, "/nonexistent/REC_0009.ts", 0, 0, 0});
    scanner.Start(entries, 1.5);
    {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(cv.wait_for(lock, test::kPatience, [&] { return done; }));
        ASSERT_EQ(reported.size(), 4u);
        EXPECT_EQ(reported[1].incidents.size(), 1u);
        EXPECT_TRUE(reported[2].damaged);
        EXPECT_FALSE(reported[3].readable);
    }
    // A new start stops the old scan first; a stop right away leaves no report behind.
    scanner.Start(entries, 1.5);
    scanner.Stop();
    EXPECT_FALSE(scanner.Running());
    std::lock_guard lock(mutex);
    const size_t after = reported.size();
    EXPECT_LE(after, 8u);
}

}  // namespace
}  // namespace velmaro
