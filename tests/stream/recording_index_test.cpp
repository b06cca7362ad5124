// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Recording names and numbers, the duration walk over crafted, generated and third-party streams,
// and the recording list filled on the caller's thread or in the background.
#include "stream/recording_index.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <random>
#include <sstream>
#include <thread>

#include "platform/recording_sink.h"
#include "stream/recording_files.h"
#include "tests/stream/ts_builder.h"
#include "tests/test_support.h"
#include "tools/make_recording/recording_writer.h"

namespace velmaro {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::TempDir;

constexpr int64_t kTicks = 90000;
constexpr int kNullPid = 0x1FFF;

void WriteFile(const std::string& path, const Bytes& bytes, int64_t mtime = 0) {
    test::WriteBytes(path, bytes);
    if (mtime != 0) {
        const timespec times[2] = {{mtime, 0}, {mtime, 0}};
        utimensat(AT_FDCWD, path.c_str(), times, 0);
    }
}

// --- crafted streams -------------------------------------------------------------------------

Bytes Join(const std::vector<Bytes>& parts) {
    Bytes all;
    for (const Bytes& p : parts) {
        all.insert(all.end(), p.begin(), p.end());
    }
    return all;
}

Bytes Tables(int videoPid) {
    return Join(
        {test::PatPacket(0x100), test::PmtPacket(0x100, {{0x1B, videoPid}, {0x0F, 0x1100}})});
}

Bytes Nulls(int packets);

// The tables, then more than a block of filler: the first block of a file is never examined.
Bytes Head(int videoPid) {
    return Join({Tables(videoPid), Nulls(50)});
}

Bytes Nulls(int packets) {
    const Bytes fill(kTsPacketSize - 4, 0xFF);
    Bytes all;
    for (int i = 0; i < packets; ++i) {
        const Bytes p = test::Packet(kNullPid, false, fill.data(), fill.size());
        all.insert(all.end(), p.begin(), p.end());
    }
    return all;
}

Bytes PesOn(int pid, const Bytes& pes, bool transportError = false) {
    Bytes all;
    for (Bytes p : test::PesPackets(pid, pes)) {
        p[1] |= transportError ? 0x80 : 0x00;
        all.insert(all.end(), p.begin(), p.end());
    }
    return all;
}

Bytes Video(int pid, int64_t pts, size_t sliceBytes = 400) {
    return PesOn(pid, test::Pes(0xE0, test::AccessUnit(false, sliceBytes), pts));
}

int32_t DurationOf(const Bytes& stream) {
    TempDir dir;
    WriteFile(dir.File("REC_0001.ts"), stream);
    return RecordingDuration(dir.File("REC_0001.ts"));
}

// The walk copies the reader's backward step: its first read lies a whole stride before the end,
// so the last 8 KiB of a file are never looked at.
TEST(RecordingDurationTest, LastVideoStartBeforeTheUnreadTail) {
    const Bytes stream =
        Join({Head(0x1011), Video(0x1011, 2 * kTicks), Nulls(100),
              Video(0x1011, 5 * kTicks + 89999), Nulls(50), Video(0x1011, 9 * kTicks), Nulls(5)});
    EXPECT_EQ(DurationOf(stream), 5);
}

TEST(RecordingDurationTest, PassesOverPesThatGiveNoPositiveTime) {
    Bytes noTime = {0x00, 0x00, 0x01, 0xE0, 0x00, 0x00, 0x80, 0x00, 0x00};
    noTime.insert(noTime.end(), 300, 0x55);
    const Bytes underOneSecond = Video(0x1011, kTicks / 2);
    const Bytes negativeTime = Video(0x1011, (int64_t{1} << 32) - 5 * kTicks);  // bit 31 set
    const Bytes headerOnly = PesOn(0x1011, test::Pes(0xE0, {}, 8 * kTicks));
    const Bytes transportError = PesOn(0x1011, test::Pes(0xE0, Bytes(300, 1), 7 * kTicks), true);
    const Bytes audio = Video(0x1100, 6 * kTicks);
    const Bytes stream =
        Join({Head(0x1011), Video(0x1011, 3 * kTicks), Nulls(60), underOneSecond, negativeTime,
              PesOn(0x1011, noTime), headerOnly, transportError, audio, Nulls(50)});
    EXPECT_EQ(DurationOf(stream), 3);
}

TEST(RecordingDurationTest, FirstBlockIsNeverExamined) {
    const Bytes head = Join({Tables(0x1011), Video(0x1011, 4 * kTicks)});
    const int headPackets = static_cast<int>(head.size()) / kTsPacketSize;
    Bytes exactly = Join({head, Nulls(87 - headPackets)});
    exactly.resize(16384, 0xFF);
    EXPECT_EQ(DurationOf(exactly), 0) << "16,384 bytes: the only block read begins the file";
    EXPECT_EQ(DurationOf(Join({head, Nulls(88 - headPackets)})), 4) << "one packet more";
}

TEST(RecordingDurationTest, VideoPidFromThePmtElseTheCameraPid) {
    const Bytes tail = Nulls(100);
    EXPECT_EQ(DurationOf(Join({Head(0x0300), Video(0x0300, 6 * kTicks), tail})), 6);
    EXPECT_EQ(DurationOf(Join({Nulls(50), Video(0x1011, 6 * kTicks), tail})), 6) << "no tables";
    EXPECT_EQ(DurationOf(Join({Nulls(50), Video(0x0300, 6 * kTicks), tail})), 0) << "no tables";
    EXPECT_EQ(DurationOf(
                  Join({Head(0x0300), Video(0x0300, 6 * kTicks), Video(0x1011, 8 * kTicks), tail})),
              6)
        << "the PMT's PID wins over the camera's";
}

TEST(RecordingDurationTest, PesTooBigForTheBufferIsPassedOver) {
    const Bytes stream = Join({Head(0x1011), Video(0x1011, 3 * kTicks), Nulls(60),
                               Video(0x1011, 8 * kTicks, 1100 * 1024), Nulls(50)});
    EXPECT_EQ(DurationOf(stream), 3);
}

TEST(RecordingDurationTest, DamagedAndMissingFilesGiveZeroWithoutHanging) {
    std::mt19937 rng(7);
    Bytes noise(300 * 1024);
    for (uint8_t& b : noise) {
        b = static_cast<uint8_t>(rng());
    }
    EXPECT_EQ(DurationOf(noise), 0);
    // Packets on the camera's video PID with random flags and adaptation fields; every other one
    // starts a PES with a random header.
    Bytes packets;
    for (int i = 0; i < 2000; ++i) {
        Bytes p(kTsPacketSize);
        for (uint8_t& b : p) {
            b = static_cast<uint8_t>(rng());
        }
        p[0] = kTsSyncByte;
        p[1] = static_cast<uint8_t>((p[1] & 0x40) | 0x10);  // no error indicator, PID 0x10xx
        p[2] = 0x11;
        if (i % 2 == 0) {
            p[1] |= 0x40;
            p[3] = static_cast<uint8_t>((p[3] & 0xCF) | 0x10);  // payload only
            p[4] = 0x00;
            p[5] = 0x00;
            p[6] = 0x01;
        }
        packets.insert(packets.end(), p.begin(), p.end());
    }
    EXPECT_GE(DurationOf(packets), 0);
    EXPECT_EQ(DurationOf(Bytes(100 * 1024, kTsSyncByte)), 0);

    TempDir dir;
    EXPECT_EQ(RecordingDuration(dir.File("missing_0001.ts")), 0);
    EXPECT_EQ(LastWriteTime(dir.File("missing_0001.ts")), 0);
    fs::create_directory(dir.File("folder_0002.ts"));
    EXPECT_EQ(RecordingDuration(dir.File("folder_0002.ts")), 0);
    ASSERT_EQ(mkfifo(dir.File("pipe_0003.ts").c_str(), 0644), 0);
    EXPECT_EQ(RecordingDuration(dir.File("pipe_0003.ts")), 0) << "returned: no writer needed";
    if (geteuid() != 0) {  // root reads any file
        WriteFile(dir.File("locked_0004.ts"), Join({Video(0x1011, 5 * kTicks), Nulls(100)}));
        chmod(dir.File("locked_0004.ts").c_str(), 0);
        EXPECT_EQ(RecordingDuration(dir.File("locked_0004.ts")), 0);
    }
}

// --- generated and third-party recordings -----------------------------------------------------

RecordingResult Generate(const std::string& root, void (*adjust)(RecordingOptions&) = nullptr) {
    RecordingOptions o;
    o.outRoot = root;
    o.files = 3;
    o.secondsPerFile = 3;
    o.width = 320;
    o.height = 240;
    if (adjust != nullptr) {
        adjust(o);
    }
    return WriteRecording(o);
}

int32_t WholeSeconds(int64_t pts) {
    return static_cast<int32_t>(pts / kTicks);
}

TEST(RecordingDurationTest, GeneratedFilesEndAtTheirLastVideoTime) {
    TempDir dir;
    const RecordingResult continuous =
        Generate(dir.File("a"), [](RecordingOptions& o) { o.restartTimestamps = false; });
    ASSERT_TRUE(continuous.ok) << continuous.error;
    for (const FileStats& s : continuous.stats) {
        EXPECT_EQ(RecordingDuration(s.path), WholeSeconds(s.lastVideoPts)) << s.path;
    }
    // Another camera's PIDs, garbage between packets, and a power cut in the last file.
    const RecordingResult damaged = Generate(dir.File("b"), [](RecordingOptions& o) {
        o.videoPid = 0x0200;
        o.garbage = true;
        o.truncateLast = true;
    });
    ASSERT_TRUE(damaged.ok) << damaged.error;
    for (const FileStats& s : damaged.stats) {
        const int32_t seconds = RecordingDuration(s.path);
        if (s.truncated) {
            EXPECT_GE(seconds, 1);
            EXPECT_LE(seconds, WholeSeconds(s.lastVideoPts));
        } else {
            EXPECT_EQ(seconds, WholeSeconds(s.lastVideoPts)) << s.path;
        }
    }
}

// ffprobe gives each video packet's time stamp and the offset of the TS packet that starts it.
// The walk routes a packet once the sync byte after it is in the examined part, which ends
// 8,192 bytes before the end of the file; the last such start in file order with a positive
// whole second is the answer (with B-frames that is not the largest time stamp).
TEST(RecordingDurationTest, ThirdPartyStreamAgreesWithFfprobe) {
    const std::string file = std::string(VELMARO_DATA_DIR) + "/ts/lpms/bad-cuvid.ts";
    if (!fs::exists(file) || test::RunCommand("command -v ffprobe").out.empty()) {
        GTEST_SKIP() << "needs " << file << " and ffprobe";
    }
    const int64_t examinedEnd = static_cast<int64_t>(fs::file_size(file)) - 8192;
    std::istringstream rows(
        test::RunCommand(
            "ffprobe -v error -select_streams v -show_entries packet=pts,pos -of csv=p=0 '" + file +
            "'")
            .out);
    int32_t expected = 0;
    int packets = 0;
    for (std::string row; std::getline(rows, row);) {
        long long pts = 0, pos = 0;
        if (std::sscanf(row.c_str(), "%lld,%lld", &pts, &pos) != 2) {
            continue;
        }
        ++packets;
        if (pos + kTsPacketSize < examinedEnd && WholeSeconds(pts) > 0) {
            expected = WholeSeconds(pts);
        }
    }
    ASSERT_GT(packets, 100);
    EXPECT_EQ(RecordingDuration(file), expected);
    EXPECT_GE(expected, 16);  // the stream lasts 16.7 s
}

// --- names ------------------------------------------------------------------------------------

TEST(RecordingNamesTest, NumberBetweenLastUnderscoreAndLastDot) {
    const std::map<std::string, int32_t> cases = {
        {"/media/c/DCIM/100MEDIA/REC_0007.ts", 7},
        {"/media/c/DCIM/100_MEDIA/REC0007.ts", -1},  // the underscore belongs to the folder
        {"/media/c/DCIM/100MEDIA/REC_.ts", -1},
        {"/media/c/DCIM/100MEDIA/REC_00a7.ts", -1},
        {"/media/c/DCIM/100MEDIA/REC_0007", -1},
        {"/media/c/DCIM/100MEDIA/REC_123456789.TS", 123456789},
        {"/media/c/DCIM/100MEDIA/REC_99999999999.ts", -1},  // does not fit in 32 bits
        {"_1.ts", -1},
    };
    for (const auto& [path, number] : cases) {
        EXPECT_EQ(RecordingNumber(path), number) << path;
    }
}

TEST(RecordingNamesTest, AdjacentRecordingHasExactlyTheNextNumber) {
    TempDir dir;
    const std::string d = dir.path().string() + "/";
    for (const char* name : {"REC_0012.ts", "REC_0011.ts", "REC_0002.ts", "REC_0001.ts"}) {
        WriteFile(d + name, {});
    }
    EXPECT_EQ(FindAdjacentRecording(d + "REC_0001.ts", +1), d + "REC_0002.ts");
    EXPECT_EQ(FindAdjacentRecording(d + "REC_0002.ts", -1), d + "REC_0001.ts");
    EXPECT_EQ(FindAdjacentRecording(d + "REC_0001.ts", -1), "");
    EXPECT_EQ(FindAdjacentRecording(d + "REC_0012.ts", +1), "");
    EXPECT_EQ(FindAdjacentRecording(d + "REC_0011.ts", +1), d + "REC_0012.ts");
    EXPECT_EQ(FindAdjacentRecording(d + "NONUMBER.ts", +1), "");

    for (const char* name : {"C_0020.ts", "B_0020.TS", "D_0020.ts", "A_0021.TS"}) {
        WriteFile(d + name, {});
    }
    fs::create_directory(d + "A_0020.ts");  // a folder is never a recording
    EXPECT_EQ(FindAdjacentRecording(d + "X_0019.ts", +1), d + "B_0020.TS");
    EXPECT_EQ(FindAdjacentRecording(d + "C_0020.ts", +1), d + "A_0021.TS");
}

// --- the list ---------------------------------------------------------------------------------

std::vector<std::string> NamesOf(const std::vector<RecordingEntry>& list) {
    std::vector<std::string> names;
    for (const RecordingEntry& e : list) {
        names.push_back(fs::path(e.path).filename().string());
    }
    return names;
}

TEST(ScanNowTest, SortsByNumberKeepingTheFolderOrderOfEqualNumbers) {
    TempDir dir;
    const std::string d = dir.path().string() + "/";
    const std::map<std::string, int32_t> recordings = {
        {"B_0002.ts", 2}, {"A_0002.ts", 2}, {"D_0002.TS", 2},  {"C_0002.ts", 2},   {"X_0001.ts", 1},
        {"NONUM.ts", -1}, {"odd_x.ts", -1}, {"Z_0010.ts", 10}, {"link_0004.ts", 4}};
    const int64_t mtime = DefaultStartTime();
    for (const auto& [name, number] : recordings) {
        if (name != "link_0004.ts") {
            WriteFile(d + name, Bytes(1000, 0x47), mtime + number);
        }
    }
    fs::create_symlink(d + "X_0001.ts", d + "link_0004.ts");
    fs::create_symlink(d + "gone.ts", d + "dead_0005.ts");
    fs::create_directory(d + "dir_0003.ts");
    WriteFile(d + "notes_0006.txt", {});
    chmod((d + "A_0002.ts").c_str(), 0444);

    std::vector<std::string> expected;  // the order the file system lists them in
    for (const fs::directory_entry& e : fs::directory_iterator(d)) {
        if (recordings.count(e.path().filename().string()) != 0) {
            expected.push_back(e.path().filename().string());
        }
    }
    std::stable_sort(expected.begin(), expected.end(), [&](const auto& a, const auto& b) {
        return recordings.at(a) < recordings.at(b);
    });

    RecordingIndex finder;
    finder.ScanNow(d + "X_0001.ts");
    const std::vector<RecordingEntry> list = finder.Entries();
    EXPECT_EQ(NamesOf(list), expected);
    for (const RecordingEntry& e : list) {
        const std::string name = fs::path(e.path).filename().string();
        EXPECT_EQ(e.number, recordings.at(name)) << name;
        EXPECT_EQ(e.readOnly, name == "A_0002.ts" ? 1 : 0) << name;
        EXPECT_EQ(e.endTime, mtime + (name == "link_0004.ts" ? 1 : e.number)) << name;
        EXPECT_EQ(e.startTime, e.endTime) << "too short to have a duration: " << name;
    }
    EXPECT_FALSE(finder.IsRunning());

    std::atomic<int32_t> stopped{0};
    EXPECT_TRUE(ScanFolder(d, stopped).empty()) << "nothing is listed once running is cleared";
}

TEST(ScanNowTest, TimesComeFromModificationTimesAndDurations) {
    TempDir dir;
    const RecordingResult rec = Generate(dir.path());
    ASSERT_TRUE(rec.ok) << rec.error;
    const std::string folder = FolderOf(rec.files[0]);
    WriteFile(folder + "REC_0004.ts", Bytes(16384, 0x47), rec.stats[2].endTime + 60);

    // A zone with daylight saving: reading the time back must not shift it.
    const char* oldTz = std::getenv("TZ");
    const std::string savedTz = oldTz != nullptr ? oldTz : "";
    setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    tzset();
    RecordingIndex finder;
    finder.ScanNow(rec.files[1]);
    oldTz != nullptr ? setenv("TZ", savedTz.c_str(), 1) : unsetenv("TZ");
    tzset();

    const std::vector<RecordingEntry> list = finder.Entries();
    ASSERT_EQ(list.size(), 4u);
    for (size_t i = 0; i < rec.stats.size(); ++i) {
        EXPECT_EQ(list[i].path, rec.stats[i].path);
        EXPECT_EQ(list[i].endTime, rec.stats[i].endTime);
        EXPECT_EQ(list[i].startTime, rec.stats[i].startTime) << "each file lasts 3 s";
        EXPECT_EQ(list[i].readOnly, 0);
    }
    EXPECT_EQ(list[3].startTime, list[3].endTime);
    EXPECT_EQ(list[3].endTime, rec.stats[2].endTime + 60);
}

// A sink that notes how long the list was when each message arrived, and can hold the finder in
// its first message until the test lets it go.
class ProbeSink : public MessageSink {
  public:
    const RecordingIndex* finder = nullptr;
    bool holdFirst = false;

    void Post(uint32_t msg, intptr_t, intptr_t) override {
        std::unique_lock lock(mutex_);
        seen_.push_back({msg, finder->Entries().size()});
        cv_.notify_all();
        cv_.wait(lock, [&] { return !holdFirst || released_; });
    }
    bool Send(uint32_t, intptr_t, intptr_t, std::stop_token) override { return false; }

    void WaitForFirst() {
        std::unique_lock lock(mutex_);
        cv_.wait(lock, [&] { return !seen_.empty(); });
    }
    void Release() {
        std::lock_guard lock(mutex_);
        released_ = true;
        cv_.notify_all();
    }
    std::vector<std::pair<uint32_t, size_t>> Seen() {
        std::lock_guard lock(mutex_);
        return seen_;
    }

  private:
    std::mutex mutex_;
    std::condition_variable cv_;
    std::vector<std::pair<uint32_t, size_t>> seen_;
    bool released_ = false;
};

using Seen = std::vector<std::pair<uint32_t, size_t>>;

// The finder clears running as it ends; Stop would cut a scan short, so it comes after.
void AwaitScan(RecordingIndex& finder) {
    while (finder.IsRunning()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    finder.Stop();
}

TEST(FindFilePathTest, LoadAnnouncesTheScanAndHandsOverACompleteList) {
    TempDir dir;
    const RecordingResult rec = Generate(dir.File("card"));
    ASSERT_TRUE(rec.ok) << rec.error;
    fs::create_directory(dir.File("empty"));
    struct Case {
        std::string path;
        Seen expected;
    };
    const Case cases[] = {
        {rec.files[2], {{kMsgTelemetry, 0}, {kMsgReset, 3}}},
        {dir.File("empty/REC_0001.ts"), {{kMsgTelemetry, 0}, {kMsgReset, 0}}},
        {FolderOf(rec.files[0]) + "REC0001.ts", {}},  // no number: no scan, no message
    };
    for (const Case& c : cases) {
        ProbeSink sink;
        RecordingIndex finder(&sink);
        sink.finder = &finder;
        finder.Append({RecordingEntry{}});
        ASSERT_TRUE(finder.Load(c.path));
        AwaitScan(finder);
        EXPECT_EQ(sink.Seen(), c.expected) << c.path;
        EXPECT_EQ(finder.Entries().size(), c.expected.empty() ? 0 : c.expected.back().second);
    }

    RecordingIndex finder;  // no sink at all
    ASSERT_TRUE(finder.Load(rec.files[0]));
    AwaitScan(finder);
    finder.Append({RecordingEntry{99, "/x/REC_0099.ts", 0, 0, 0}});
    EXPECT_EQ(NamesOf(finder.Entries()), (std::vector<std::string>{"REC_0001.ts", "REC_0002.ts",
                                                                   "REC_0003.ts", "REC_0099.ts"}));
}

// Many names for one generated file: a big folder without writing much.
std::string LinkedFolder(const TempDir& dir, int count) {
    const RecordingResult rec = Generate(dir.path(), [](RecordingOptions& o) { o.files = 1; });
    if (!rec.ok) {
        return "";
    }
    const std::string folder = dir.File("many/");
    fs::create_directory(folder);
    for (int i = 0; i < count; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "REC_%04d.ts", i);
        fs::create_hard_link(rec.files[0], folder + name);
    }
    return folder;
}

TEST(FindFilePathTest, StopEndsABackgroundScanWithoutHandingOverPartOfIt) {
    TempDir dir;
    const std::string folder = LinkedFolder(dir, 2000);
    ASSERT_FALSE(folder.empty());

    // Held in its first message, the finder has not listed a file when running is cleared.
    ProbeSink held;
    held.holdFirst = true;
    RecordingIndex finder(&held);
    held.finder = &finder;
    ASSERT_TRUE(finder.Load(folder + "REC_0000.ts"));
    held.WaitForFirst();
    std::thread stopper([&] { finder.Stop(); });
    while (finder.IsRunning()) {
        std::this_thread::yield();
    }
    held.Release();
    stopper.join();
    EXPECT_EQ(held.Seen(), (Seen{{kMsgTelemetry, 0}}));
    EXPECT_TRUE(finder.Entries().empty());

    // Stopped at whatever point: the list is all or nothing, and a later scan still works.
    RecordingSink sink;
    RecordingIndex busy(&sink);
    ASSERT_TRUE(busy.Load(folder + "REC_0000.ts"));
    busy.Stop();
    EXPECT_FALSE(busy.IsRunning());
    const size_t size = busy.Entries().size();
    EXPECT_EQ(size, sink.Count(kMsgReset) == 1 ? 2000u : 0u);
    busy.ScanNow(folder + "REC_0000.ts");
    EXPECT_EQ(busy.Entries().size(), 2000u);
}

TEST(FindFilePathTest, ReadersSeeNoListOrTheWholeList) {
    TempDir dir;
    constexpr size_t kFiles = 300;
    const std::string folder = LinkedFolder(dir, kFiles);
    ASSERT_FALSE(folder.empty());
    RecordingSink sink;
    RecordingIndex finder(&sink);
    std::map<size_t, int> sizesSeen;
    bool sortedAlways = true;
    ASSERT_TRUE(finder.Load(folder + "REC_0007.ts"));
    std::thread reader([&] {
        while (sink.Count(kMsgReset) == 0 && (finder.IsRunning() || sizesSeen.empty())) {
            ++sizesSeen[finder.Entries().size()];
            sortedAlways &= finder.WithEntries([](const std::vector<RecordingEntry>& list) {
                return std::is_sorted(list.begin(), list.end(), [](const auto& a, const auto& b) {
                    return a.number < b.number;
                });
            });
        }
        ++sizesSeen[finder.Entries().size()];
    });
    reader.join();
    finder.Stop();
    for (const auto& [size, times] : sizesSeen) {
        EXPECT_TRUE(size == 0 || size == kFiles) << size << " entries seen " << times << " times";
    }
    EXPECT_TRUE(sortedAlways);
    EXPECT_EQ(finder.Entries().size(), kFiles);
}

}  // namespace
}  // namespace velmaro

namespace velmaro {
namespace {

TEST(RecordingNamesEdges, LongZeroPaddedNumbersAndNoNeighbourBelowZero) {
    EXPECT_EQ(RecordingNumber("/c/REC_0000000007.ts"), 7);
    EXPECT_EQ(RecordingNumber("/c/REC_2147483647.ts"), 2147483647);
    EXPECT_EQ(RecordingNumber("/c/REC_2147483648.ts"), -1);
    const TempDir temp;
    const std::string dir = temp.path();
    for (const char* f : {"/REC_0000.ts", "/NONUM.ts"}) {
        std::FILE* file = std::fopen((dir + f).c_str(), "w");
        ASSERT_NE(file, nullptr);
        std::fclose(file);
    }
    EXPECT_EQ(FindAdjacentRecording(dir + "/REC_0000.ts", -1), "") << "no file before number 0";
}

}  // namespace
}  // namespace velmaro
