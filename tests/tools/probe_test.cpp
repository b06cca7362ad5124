// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// velmaro-probe, run as a program: its counts of what the demultiplexer delivers are checked
// against ffprobe, against what the sample writer says it wrote, and against third-party
// streams; damaged and foreign input must be probed without a crash.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "stream/telemetry.h"
#include "tests/test_support.h"
#include "tools/make_recording/recording_writer.h"

namespace velmaro {
namespace {

namespace fs = std::filesystem;
using Row = std::map<std::string, std::string>;
using test::ShellQuote;
using test::TempDir;
using test::WriteBytes;

const fs::path kProbe = fs::path(VELMARO_BIN_DIR) / "velmaro-probe";
const fs::path kData = fs::path(VELMARO_DATA_DIR) / "ts";
constexpr int kPacket = 188;
constexpr double kClock = 90000.0;

// A command's standard output and its messages (standard error), each caught apart.
struct CapturedRun {
    int status = -1;
    std::string out;
    std::string err;
};

CapturedRun RunCapturingErrors(const std::string& command) {
    const TempDir scratch;
    const std::string errPath = scratch.File("stderr");
    const test::CommandResult run = test::RunCommand(command + " 2>" + ShellQuote(errPath));
    return {run.status, run.out, test::ReadText(errPath)};
}

CapturedRun RunProbe(const std::string& arguments) {
    return RunCapturingErrors(ShellQuote(kProbe.string()) + " " + arguments);
}

std::vector<std::string> Split(const std::string& line, char separator) {
    std::vector<std::string> parts;
    std::istringstream in(line);
    for (std::string part; std::getline(in, part, separator);) {
        parts.push_back(part);
    }
    return parts;
}

// The probe's --format=tsv table, one row per file keyed by path.
std::map<std::string, Row> ProbeTable(const std::string& paths) {
    const CapturedRun run = RunProbe("--format=tsv " + paths);
    EXPECT_EQ(run.status, 0) << run.err;
    std::istringstream lines(run.out);
    std::string header;
    std::getline(lines, header);
    const std::vector<std::string> names = Split(header, '\t');
    std::map<std::string, Row> table;
    for (std::string line; std::getline(lines, line);) {
        const std::vector<std::string> values = Split(line, '\t');
        EXPECT_EQ(values.size(), names.size()) << line;
        Row row;
        for (size_t i = 0; i < names.size() && i < values.size(); ++i) {
            row[names[i]] = values[i];
        }
        table[row["path"]] = row;
    }
    return table;
}

long long Int(const Row& row, const std::string& column) {
    return std::stoll(row.at(column));
}

double Real(const Row& row, const std::string& column) {
    return std::stod(row.at(column));
}

long long VideoFrames(const Row& row) {
    return Int(row, "key_frames") + Int(row, "inter_frames");
}

// ffprobe's packets of one stream. Its AAC parser splits a PES holding several ADTS frames into
// one packet per frame, and only the first keeps the PES's file position; the player queues a
// PES as one item, so `positioned` is what matches its audio count.
struct FfprobeStream {
    int packets = 0;
    int keyPackets = 0;
    int positioned = 0;
};

std::string FfprobeCsv(const std::string& arguments, const std::string& file) {
    return RunCapturingErrors("ffprobe -v error " + arguments + " -of csv " + ShellQuote(file)).out;
}

std::map<int, int> PidOfStreamIndex(const std::string& file) {
    std::map<int, int> pids;
    for (const std::string& line : Split(FfprobeCsv("-show_entries stream=index,id", file), '\n')) {
        const std::vector<std::string> f = Split(line, ',');
        const size_t at = f.size() > 3 && f[0] == "program" ? 1 : 0;  // the program's own copy
        if (f.size() >= at + 3 && f[at] == "stream") {
            pids[std::stoi(f[at + 1])] = std::stoi(f[at + 2], nullptr, 16);
        }
    }
    return pids;
}

// Keyed by PID.
std::map<int, FfprobeStream> Ffprobe(const std::string& file) {
    const std::map<int, int> pids = PidOfStreamIndex(file);
    const std::string csv =
        FfprobeCsv("-show_packets -show_entries packet=stream_index,pos,flags", file);
    std::map<int, FfprobeStream> streams;
    for (const std::string& line : Split(csv, '\n')) {
        const std::vector<std::string> f = Split(line, ',');  // packet,index,pos,flags[,side data]
        if (f.size() < 4 || f[0] != "packet") {
            continue;
        }
        FfprobeStream& s = streams[pids.at(std::stoi(f[1]))];
        ++s.packets;
        s.keyPackets += f[3].starts_with('K') ? 1 : 0;
        s.positioned += f[2] != "N/A" ? 1 : 0;
    }
    return streams;
}

struct Card {
    TempDir dir;
    RecordingResult result;
};

std::unique_ptr<Card> MakeCard(RecordingOptions options) {
    auto card = std::make_unique<Card>();
    options.outRoot = card->dir.path();
    options.width = 320;
    options.height = 240;
    card->result = WriteRecording(options);
    EXPECT_TRUE(card->result.ok) << card->result.error;
    return card;
}

// Every byte is a packet, skipped garbage or the unusable tail.
void ExpectBytesAccountedFor(const Row& row) {
    EXPECT_EQ(Int(row, "packets") * kPacket + Int(row, "garbage_bytes") + Int(row, "tail_bytes"),
              Int(row, "size"))
        << row.at("path");
}

void ExpectFix(const Row& row, const std::string& prefix, const std::string& text) {
    GSensorRecord gsensor;
    GpsRecord fix;
    ASSERT_TRUE(ParseTelemetry(text, gsensor, fix)) << text;
    EXPECT_NEAR(Real(row, prefix + "_lat"), fix.latitude, 1e-6);
    EXPECT_NEAR(Real(row, prefix + "_lon"), fix.longitude, 1e-6);
    EXPECT_NEAR(Real(row, prefix + "_kmh"), fix.speed, 0.006);
    EXPECT_NEAR(Real(row, prefix + "_course"), fix.course, 0.006);
}

TEST(Probe, CardCountsMatchFfprobeAndTheWriter) {
    ASSERT_TRUE(fs::exists(kProbe)) << kProbe;
    RecordingOptions options;
    options.files = 3;
    options.secondsPerFile = 2;
    const auto card = MakeCard(options);
    auto table = ProbeTable(ShellQuote(card->dir.path()));  // the card root: DCIM/*MEDIA below it
    ASSERT_EQ(table.size(), 3u);
    for (const FileStats& stats : card->result.stats) {
        SCOPED_TRACE(stats.path);
        const Row& row = table[stats.path];
        auto ff = Ffprobe(stats.path);
        EXPECT_EQ(row.at("pmt_pid"), "0x0100");
        EXPECT_EQ(row.at("pmt_streams"), "1b:0x1011,0f:0x1100,a0:0x1200");
        EXPECT_EQ(VideoFrames(row), ff[0x1011].packets);
        EXPECT_EQ(VideoFrames(row), stats.videoFrames);
        EXPECT_EQ(Int(row, "key_frames"), ff[0x1011].keyPackets);
        EXPECT_EQ(Int(row, "key_frames"), stats.keyFrames);
        EXPECT_EQ(Int(row, "audio_frames"), ff[0x1100].packets);
        EXPECT_EQ(ff[0x1100].positioned, ff[0x1100].packets);  // one AAC frame per PES here
        EXPECT_EQ(Int(row, "audio_frames"), stats.audioFrames);
        EXPECT_EQ(Int(row, "telemetry_texts"), ff[0x1200].packets);
        EXPECT_EQ(Int(row, "telemetry_texts"), static_cast<long long>(stats.telemetry.size()));
        EXPECT_EQ(Int(row, "gps_fixes"), Int(row, "telemetry_texts"));
        // Without the end-of-file flush the last frame of each stream would be missing.
        EXPECT_EQ(Int(row, "end_video"), 1);
        EXPECT_EQ(Int(row, "end_audio"), 1);
        EXPECT_EQ(row.at("frame_rate"), "30");
        EXPECT_EQ(row.at("rate_measured"), "yes");
        EXPECT_NEAR(Real(row, "first_pts"), stats.firstVideoPts / kClock, 1e-6);
        EXPECT_NEAR(Real(row, "last_pts"), stats.lastVideoPts / kClock, 1e-6);
        ExpectFix(row, "first", stats.telemetry.front());
        ExpectFix(row, "last", stats.telemetry.back());
        EXPECT_EQ(Int(row, "garbage_bytes") + Int(row, "tail_bytes"), 0);
        ExpectBytesAccountedFor(row);
    }
    const CapturedRun text = RunProbe(ShellQuote(card->result.files.front()));
    EXPECT_NE(text.out.find("completed at end of file: video 1, audio 1"), std::string::npos)
        << text.out;
}

TEST(Probe, SixtyFramesPerSecondAndOtherPidsComeFromTheTables) {
    RecordingOptions options;
    options.files = 1;
    options.secondsPerFile = 1;  // 60 frames: enough for the 32 the measurement needs
    options.fps = 60;
    options.pmtPid = 0x0042;
    options.videoPid = 0x0200;
    options.audioPid = 0x0300;
    options.dataPid = 0x0400;
    const auto card = MakeCard(options);
    const FileStats& stats = card->result.stats.front();
    const Row row = ProbeTable(ShellQuote(stats.path))[stats.path];
    EXPECT_EQ(row.at("frame_rate"), "60");
    EXPECT_EQ(row.at("rate_measured"), "yes");
    EXPECT_EQ(row.at("pmt_pid"), "0x0042");
    EXPECT_EQ(row.at("video_pid") + row.at("audio_pid") + row.at("data_pid"), "0x02000x03000x0400");
    EXPECT_EQ(VideoFrames(row), stats.videoFrames);
    EXPECT_EQ(Int(row, "audio_frames"), stats.audioFrames);
}

// The reader routes a packet only when the next packet's sync byte follows it, so the packet in
// front of each garbage run is skipped with the run. Walking the file with the knowledge that
// garbage never holds 0x47 finds those packets; whatever PES they began is merged into the one
// before it, so it is missing from the counts.
struct GarbageWalk {
    long long packets = 0;  // routed
    long long lost = 0;
    long long garbage = 0;  // bytes of the runs themselves
    long long lostVideo = 0, lostKeys = 0, lostAudio = 0, lostTexts = 0;
};

bool HoldsIdrSlice(const uint8_t* payload, int size) {
    for (int i = 0; i + 3 < size; ++i) {
        if (payload[i] == 0 && payload[i + 1] == 0 && payload[i + 2] == 1 &&
            (payload[i + 3] & 0x1F) == 5) {
            return true;
        }
    }
    return false;
}

void CountLostPesStart(const uint8_t* p, const RecordingOptions& o, GarbageWalk& walk) {
    const int pid = ((p[1] & 0x1F) << 8) | p[2];
    if ((p[1] & 0x40) == 0) {
        return;
    }
    const int payload = ((p[3] >> 4) & 3) == 3 ? 5 + p[4] : 4;
    walk.lostVideo += pid == o.videoPid ? 1 : 0;
    walk.lostKeys += pid == o.videoPid && HoldsIdrSlice(p + payload, kPacket - payload) ? 1 : 0;
    walk.lostAudio += pid == o.audioPid ? 1 : 0;
    walk.lostTexts += pid == o.dataPid ? 1 : 0;
}

GarbageWalk WalkGarbage(const std::string& path, const RecordingOptions& o) {
    const std::vector<uint8_t> bytes = test::ReadBytes(path);
    GarbageWalk walk;
    for (size_t at = 0; at < bytes.size();) {
        if (bytes[at] != 0x47) {
            ++walk.garbage;
            ++at;
            continue;
        }
        const size_t next = at + kPacket;
        if (next < bytes.size() && bytes[next] != 0x47) {
            ++walk.lost;
            CountLostPesStart(&bytes[at], o, walk);
        } else {
            ++walk.packets;
        }
        at = next;
    }
    return walk;
}

TEST(Probe, GarbageRunsCostThePacketInFrontOfThem) {
    RecordingOptions options;
    options.files = 3;
    options.secondsPerFile = 2;
    options.garbage = true;
    const auto card = MakeCard(options);
    auto table = ProbeTable(ShellQuote(card->dir.path()));
    long long lostPesStarts = 0;
    for (const FileStats& stats : card->result.stats) {
        SCOPED_TRACE(stats.path);
        const Row& row = table[stats.path];
        const GarbageWalk walk = WalkGarbage(stats.path, options);
        EXPECT_EQ(walk.lost, stats.garbageRuns);
        EXPECT_EQ(Int(row, "packets"), walk.packets);
        EXPECT_EQ(Int(row, "garbage_bytes"), walk.garbage + walk.lost * kPacket);
        EXPECT_EQ(VideoFrames(row), stats.videoFrames - walk.lostVideo);
        EXPECT_EQ(Int(row, "key_frames"), stats.keyFrames - walk.lostKeys);
        EXPECT_EQ(Int(row, "audio_frames"), stats.audioFrames - walk.lostAudio);
        EXPECT_EQ(Int(row, "telemetry_texts"),
                  static_cast<long long>(stats.telemetry.size()) - walk.lostTexts);
        EXPECT_LE(Int(row, "gps_fixes"), Int(row, "telemetry_texts"));
        ExpectBytesAccountedFor(row);
        lostPesStarts += walk.lostVideo + walk.lostAudio + walk.lostTexts;
    }
    EXPECT_GT(lostPesStarts, 0) << "the seed should make a garbage run cost a frame";
}

TEST(Probe, TruncatedFileAndFileWithoutTelemetry) {
    RecordingOptions options;
    options.files = 3;
    options.secondsPerFile = 2;
    options.truncateLast = true;
    options.filesWithoutTelemetry = {2};
    const auto card = MakeCard(options);
    auto table = ProbeTable(ShellQuote(card->dir.path()));
    const auto& stats = card->result.stats;
    ASSERT_EQ(stats.size(), 3u);

    const Row& silent = table[stats[1].path];
    EXPECT_EQ(silent.at("pmt_streams"), "1b:0x1011,0f:0x1100");
    EXPECT_EQ(silent.at("data_pid"), "-");
    EXPECT_EQ(Int(silent, "telemetry_texts"), 0);
    EXPECT_EQ(silent.at("first_lat") + silent.at("last_lat"), "--");
    EXPECT_EQ(VideoFrames(silent), stats[1].videoFrames);

    const Row& cut = table[stats[2].path];
    ASSERT_TRUE(stats[2].truncated);
    EXPECT_GT(Int(cut, "tail_bytes"), 0);  // the torn last packet
    EXPECT_LT(Int(cut, "tail_bytes"), kPacket);
    EXPECT_GT(VideoFrames(cut), 0);
    EXPECT_LE(VideoFrames(cut), stats[2].videoFrames);
    EXPECT_LE(Int(cut, "key_frames"), stats[2].keyFrames);
    EXPECT_LE(Int(cut, "audio_frames"), stats[2].audioFrames);
    EXPECT_LE(Int(cut, "telemetry_texts"), static_cast<long long>(stats[2].telemetry.size()));
    ExpectBytesAccountedFor(cut);
}

// Third-party H.264 + AAC streams with B-frames (times from DTS) and several AAC frames per PES.
TEST(Probe, ThirdPartyStreamsMatchFfprobe) {
    const std::map<std::string, std::string> files = {
        {(kData / "lpms" / "test_short.ts").string(), "60"},
        {(kData / "mts" / "test.ts").string(), "30"},
    };
    std::string paths;
    for (const auto& [file, rate] : files) {
        ASSERT_TRUE(fs::exists(file)) << file;
        paths += ShellQuote(file) + " ";
    }
    auto table = ProbeTable(paths);
    for (const auto& [file, rate] : files) {
        SCOPED_TRACE(file);
        const Row& row = table[file];
        auto ff = Ffprobe(file);
        EXPECT_EQ(row.at("video_pid") + row.at("audio_pid") + row.at("data_pid"), "0x01000x0101-");
        EXPECT_EQ(VideoFrames(row), ff[0x100].packets);
        EXPECT_EQ(Int(row, "key_frames"), ff[0x100].keyPackets);
        EXPECT_EQ(Int(row, "audio_frames"), ff[0x101].positioned);
        EXPECT_GT(ff[0x101].packets, ff[0x101].positioned);  // ffprobe splits the PES
        EXPECT_EQ(Int(row, "telemetry_texts"), 0);
        EXPECT_EQ(row.at("frame_rate"), rate);
        EXPECT_EQ(Int(row, "error_packets"), 0);
        ExpectBytesAccountedFor(row);
    }
}

// Rates other than 30 and 60 are shown as measured: to a thousandth, without trailing zeros.
TEST(Probe, MeasuredRatesShowAsTheyAre) {
    const std::map<std::string, std::string> files = {
        {(kData / "tsduck-test" / "test-072.ts").string(), "25"},
        {(kData / "lpms" / "skip_3.ts").string(), "29.97"},
    };
    std::string paths;
    for (const auto& [file, rate] : files) {
        paths += ShellQuote(file) + " ";
    }
    auto table = ProbeTable(paths);
    for (const auto& [file, rate] : files) {
        EXPECT_EQ(table[file].at("frame_rate"), rate) << file;
        EXPECT_EQ(table[file].at("rate_measured"), "yes") << file;
    }
    const CapturedRun text = RunProbe(ShellQuote((kData / "lpms" / "skip_3.ts").string()));
    EXPECT_NE(text.out.find("29.97 fps (measured)"), std::string::npos) << text.out;
}

std::vector<uint8_t> RandomBytes(size_t size, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> bytes(size);
    for (uint8_t& b : bytes) {
        b = static_cast<uint8_t>(rng());
    }
    return bytes;
}

TEST(Probe, GarbageAndEmptyFilesGiveNothingWithoutCrashing) {
    const TempDir dir;
    const std::string random = dir.File("random.ts");
    const std::string synced = dir.File("synced.ts");
    const std::string empty = dir.File("empty.ts");
    const std::string stub = dir.File("stub.ts");
    WriteBytes(random, RandomBytes(200000, 7));
    // Sync bytes on the grid, random headers otherwise: every packet is found, and half of
    // them are PAT sections of random length and content for the table parser.
    std::vector<uint8_t> grid = RandomBytes(kPacket * 500, 8);
    for (size_t at = 0; at < grid.size(); at += kPacket) {
        grid[at] = 0x47;
        if ((at / kPacket) % 2 == 0) {
            const uint8_t patStart[] = {0x40, 0x00, 0x10, 0x00, 0x00};  // PUSI, PID 0, table 0
            std::copy(std::begin(patStart), std::end(patStart), grid.begin() + at + 1);
        }
    }
    WriteBytes(synced, grid);
    WriteBytes(empty, {});
    WriteBytes(stub, {0x47, 0x40, 0x00, 0x10});
    auto table = ProbeTable(ShellQuote(random) + " " + ShellQuote(synced) + " " +
                            ShellQuote(empty) + " " + ShellQuote(stub));
    ASSERT_EQ(table.size(), 4u);
    for (const auto& [path, row] : table) {
        SCOPED_TRACE(path);
        ExpectBytesAccountedFor(row);
        if (path != synced) {
            EXPECT_EQ(VideoFrames(row) + Int(row, "audio_frames") + Int(row, "telemetry_texts"), 0);
            EXPECT_EQ(row.at("pmt_streams"), "-");
        }
    }
    EXPECT_EQ(Int(table[synced], "packets"), 500);
    EXPECT_GT(Int(table[synced], "error_packets"), 0);
    EXPECT_EQ(Int(table[stub], "tail_bytes"), 4);
}

TEST(Probe, PathsOptionsAndExitStatus) {
    RecordingOptions options;
    options.files = 1;
    options.secondsPerFile = 1;
    const auto card = MakeCard(options);
    const TempDir plain;
    fs::copy_file(card->result.files.front(), plain.File("FILE0001.TS"));
    WriteBytes(plain.File("notes.txt"), {'x'});
    fs::create_directory(plain.File("sub"));
    fs::copy_file(card->result.files.front(), plain.File("sub/deeper.ts"));

    auto table = ProbeTable(ShellQuote(plain.path()));  // a plain folder: only its own files
    ASSERT_EQ(table.size(), 1u);
    EXPECT_EQ(VideoFrames(table.begin()->second), card->result.stats.front().videoFrames);

    const std::string missing = plain.File("no-such.ts");
    CapturedRun run = RunProbe("--format=tsv " + ShellQuote(card->result.files.front()) + " " +
                               ShellQuote(missing));
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find(missing), std::string::npos) << run.err;
    EXPECT_NE(run.out.find(card->result.files.front()), std::string::npos);  // still probed

    const TempDir empty;
    run = RunProbe(ShellQuote(empty.path()));
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("no .ts files"), std::string::npos) << run.err;

    EXPECT_EQ(RunProbe("--format=xml " + ShellQuote(plain.path())).status, 2);
    EXPECT_EQ(RunProbe("--bogus").status, 2);
    EXPECT_EQ(RunProbe("--make-sample").status, 2);
    run = RunProbe("");  // nothing to probe: the forms, and no sample card left behind
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("Usage: velmaro-probe"), std::string::npos) << run.err;
    run = RunProbe("--help");
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("Usage: velmaro-probe"), std::string::npos);
}

}  // namespace
}  // namespace velmaro
