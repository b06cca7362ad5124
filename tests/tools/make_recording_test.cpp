// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The sample-recording generator, checked against independent tools (ffprobe, ffmpeg) and a
// byte-level walk of the transport stream written here from ISO/IEC 13818-1.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "tests/media/colour_bars.h"
#include "tests/test_support.h"
#include "tools/make_recording/recording_writer.h"

namespace velmaro {
namespace {

namespace fs = std::filesystem;
using Fields = std::map<std::string, std::string>;
using test::CommandResult;
using test::kBars;
using test::RunCommand;
using test::ShellQuote;
using test::TempDir;

// ffprobe -of compact=p=0 output: one map of key=value fields per line.
std::vector<Fields> Probe(const std::string& file, const std::string& entries) {
    const std::string out = RunCommand("ffprobe -v error -show_entries " + entries +
                                       " -of compact=p=0 " + ShellQuote(file))
                                .out;
    std::vector<Fields> rows;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        Fields fields;
        std::istringstream parts(line);
        for (std::string part; std::getline(parts, part, '|');) {
            if (const size_t eq = part.find('='); eq != std::string::npos) {
                fields[part.substr(0, eq)] = part.substr(eq + 1);
            }
        }
        if (!fields.empty()) {
            rows.push_back(std::move(fields));
        }
    }
    return rows;
}

// The streams of a file once each (ffprobe also lists them again under their program).
std::vector<Fields> Streams(const std::string& file, const std::string& fields) {
    std::vector<Fields> streams;
    for (Fields& row : Probe(file, "stream=index," + fields)) {
        if (static_cast<size_t>(std::stoi(row.at("index"))) == streams.size()) {
            streams.push_back(std::move(row));
        }
    }
    return streams;
}

uint32_t Crc(const uint8_t* data, size_t size) {
    uint32_t crc = 0xFFFFFFFF;
    for (size_t i = 0; i < size; ++i) {
        crc ^= static_cast<uint32_t>(data[i]) << 24;
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 0x80000000) != 0 ? (crc << 1) ^ 0x04C11DB7 : crc << 1;
        }
    }
    return crc;
}

// What a byte-level walk of a clean file finds.
struct Walk {
    std::vector<int> packetPids;                           // in file order
    std::map<int, int> pmtStreams;                         // stream type -> PID, from the first PMT
    std::map<int, std::vector<std::vector<uint8_t>>> pes;  // PID -> complete PES packets
    int tables = 0;                                        // PAT + PMT packets with a valid CRC
};

Walk WalkFile(const std::vector<uint8_t>& bytes) {
    Walk walk;
    std::map<int, int> counters;
    std::map<int, std::vector<uint8_t>> open;
    EXPECT_EQ(bytes.size() % 188, 0u);
    for (size_t at = 0; at + 188 <= bytes.size(); at += 188) {
        const uint8_t* p = bytes.data() + at;
        EXPECT_EQ(p[0], 0x47) << "at " << at;
        const int pid = ((p[1] & 0x1F) << 8) | p[2];
        const bool start = (p[1] & 0x40) != 0;
        const int afc = (p[3] >> 4) & 3;
        walk.packetPids.push_back(pid);
        if (counters.count(pid) != 0) {
            EXPECT_EQ(p[3] & 0x0F, (counters[pid] + 1) & 0x0F) << "continuity on PID " << pid;
        }
        counters[pid] = p[3] & 0x0F;
        const size_t offset = afc == 3 ? 5u + p[4] : 4u;
        EXPECT_TRUE(afc == 1 || afc == 3);
        if (pid == 0 || pid == 0x100) {
            const uint8_t* section = p + 5 + p[4];
            const size_t length = 3u + (((section[1] & 0x0F) << 8) | section[2]);
            EXPECT_EQ(Crc(section, length), 0u) << "CRC of the section on PID " << pid;
            ++walk.tables;
            for (size_t e = 12 + (((section[10] & 0x0F) << 8) | section[11]);
                 pid == 0x100 && walk.pmtStreams.size() < 3 && e + 5 <= length - 4;
                 e += 5 + (((section[e + 3] & 0x0F) << 8) | section[e + 4])) {
                walk.pmtStreams[section[e]] = ((section[e + 1] & 0x1F) << 8) | section[e + 2];
            }
            continue;
        }
        if (start && !open[pid].empty()) {
            walk.pes[pid].push_back(std::move(open[pid]));
            open[pid].clear();
        }
        open[pid].insert(open[pid].end(), p + offset, p + 188);
    }
    for (auto& [pid, pes] : open) {
        if (!pes.empty()) {
            walk.pes[pid].push_back(std::move(pes));
        }
    }
    return walk;
}

// NAL unit types in order; every start code must be the 4-byte form.
std::vector<int> NalTypes(const std::vector<uint8_t>& au) {
    std::vector<int> types;
    for (size_t i = 0; i + 3 < au.size(); ++i) {
        if (au[i] == 0 && au[i + 1] == 0 && au[i + 2] == 1) {
            EXPECT_TRUE(i > 0 && au[i - 1] == 0) << "3-byte start code at " << i;
            types.push_back(au[i + 3] & 0x1F);
        }
    }
    return types;
}

void ExpectTelemetryText(const std::string& text, char ns, char ew) {
    static const std::regex kText(
        R"(X:-?\d+\.\d{3} Y:-?\d+\.\d{3} Z:-?\d+\.\d{3}\n)"
        R"((\$GPRMC,\d{6},A,\d{4}\.\d{4},([NS]),\d{5}\.\d{4},([EW]),\d{3}\.\d,\d{3}\.\d,\d{6},,,A)\*([0-9A-F]{2})\r\n)");
    std::smatch m;
    ASSERT_TRUE(std::regex_match(text, m, kText)) << text;
    EXPECT_EQ(m[2].str()[0], ns);
    EXPECT_EQ(m[3].str()[0], ew);
    unsigned sum = 0;
    for (char c : m[1].str().substr(1)) {
        sum ^= static_cast<unsigned char>(c);
    }
    EXPECT_EQ(std::stoul(m[4].str(), nullptr, 16), sum) << text;
}

struct Fix {
    double lat, lon, kmh, course;
    std::string time, date;
};

Fix ParseFix(const std::string& text) {
    std::vector<std::string> f;
    std::istringstream in(text.substr(text.find("$GPRMC")));
    for (std::string field; std::getline(in, field, ',');) {
        f.push_back(field);
    }
    Fix fix{};
    fix.lat = std::stod(f[3].substr(0, 2)) + std::stod(f[3].substr(2)) / 60.0;
    fix.lat *= f[4] == "S" ? -1 : 1;
    fix.lon = std::stod(f[5].substr(0, 3)) + std::stod(f[5].substr(3)) / 60.0;
    fix.lon *= f[6] == "W" ? -1 : 1;
    fix.kmh = std::stod(f[7]) * 1.852;
    fix.course = std::stod(f[8]);
    fix.time = f[1];
    fix.date = f[9];
    return fix;
}

int64_t ModificationTime(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? static_cast<int64_t>(st.st_mtime) : -1;
}

// Pictures decoded by ffmpeg into tightly packed raw frames of `pixelFormat`.
std::string DecodeRaw(const std::string& file, const std::string& pixelFormat, int frames) {
    return RunCommand("ffmpeg -nostdin -v error -i " + ShellQuote(file) + " -frames:v " +
                      std::to_string(frames) + " -f rawvideo -pix_fmt " + pixelFormat + " -")
        .out;
}

// One planar YUV 4:2:0 picture as ffmpeg writes it (chroma planes rounded up).
struct Yuv420 {
    int width = 0;
    int height = 0;
    const uint8_t* data = nullptr;

    int Y(int x, int y) const { return data[y * width + x]; }
    int U(int x, int y) const { return data[width * height + (y / 2) * ChromaWidth() + x / 2]; }
    int V(int x, int y) const {
        return data[width * height + ChromaWidth() * ChromaHeight() + (y / 2) * ChromaWidth() +
                    x / 2];
    }
    int ChromaWidth() const { return (width + 1) / 2; }
    int ChromaHeight() const { return (height + 1) / 2; }
    size_t Bytes() const { return size_t(width) * height + 2u * ChromaWidth() * ChromaHeight(); }
};

// The number the generator writes along the top edge, read from the luma plane.
int PictureNumber(const Yuv420& picture) {
    return test::ReadPictureNumber(picture.width, picture.height,
                                   [&](int x, int y) { return picture.Y(x, y) > 128; });
}

// In packed RGB24 (as ffmpeg converts the pictures), the centre of each bar on one row shows the
// bar's colour.
void ExpectBarCentresInRgbRow(const std::string& rgb, int width, int row) {
    for (int bar = 0; bar < kColourBarCount; ++bar) {
        const auto [left, right] = test::BarSpan(bar, width);
        const size_t at = (static_cast<size_t>(row) * width + (left + right) / 2) * 3;
        SCOPED_TRACE(kBars[bar].name);
        EXPECT_NEAR(static_cast<uint8_t>(rgb[at]), kBars[bar].r, 6);
        EXPECT_NEAR(static_cast<uint8_t>(rgb[at + 1]), kBars[bar].g, 6);
        EXPECT_NEAR(static_cast<uint8_t>(rgb[at + 2]), kBars[bar].b, 6);
    }
}

TEST(RecordingWriter, SmallCardIsAcceptedByFfprobeAndFfmpeg) {
    TempDir dir;
    RecordingOptions options;
    options.outRoot = dir.path();
    options.secondsPerFile = 2;
    options.width = 640;
    options.height = 360;
    options.filesWithoutTelemetry = {3};
    const RecordingResult result = WriteRecording(options);
    ASSERT_TRUE(result.ok) << result.error;
    ASSERT_EQ(result.files.size(), 3u);

    for (size_t f = 0; f < 3; ++f) {
        const std::string& file = result.files[f];
        const FileStats& stats = result.stats[f];
        SCOPED_TRACE(file);
        char name[32];
        std::snprintf(name, sizeof name, "REC_%04zu.ts", f + 1);
        EXPECT_EQ(file, (fs::path(dir.path()) / "DCIM" / "100MEDIA" / name).string());
        EXPECT_EQ(ModificationTime(file), options.startTime + 2 * static_cast<int64_t>(f + 1));
        EXPECT_EQ(stats.videoFrames, 60);
        EXPECT_EQ(stats.keyFrames, 4);
        EXPECT_NEAR(stats.audioFrames, 2 * 48000 / 1024, 1);
        const bool telemetry = f != 2;
        EXPECT_EQ(stats.hasTelemetry, telemetry);
        EXPECT_EQ(stats.telemetry.size(), telemetry ? 2u : 0u);
        EXPECT_EQ(stats.firstVideoPts, 90000) << "each file's times start again";

        // ffprobe: streams, PIDs, codecs, rates.
        const std::vector<Fields> streams =
            Streams(file, "id,codec_type,codec_name,sample_rate,channels,r_frame_rate");
        ASSERT_EQ(streams.size(), telemetry ? 3u : 2u);
        EXPECT_EQ(streams[0].at("codec_name"), "h264");
        EXPECT_EQ(streams[0].at("id"), "0x1011");
        EXPECT_EQ(streams[0].at("r_frame_rate"), "30/1");
        EXPECT_EQ(streams[1].at("codec_name"), "aac");
        EXPECT_EQ(streams[1].at("id"), "0x1100");
        EXPECT_EQ(streams[1].at("sample_rate"), "48000");
        EXPECT_EQ(streams[1].at("channels"), "1");
        if (telemetry) {
            // ffprobe 5.1 lists stream type 0xA0 with codec_type "unknown" (not "data").
            EXPECT_EQ(streams[2].at("id"), "0x1200");
        }

        // ffprobe: packets per stream and key-frame flags every 15 pictures.
        std::map<std::string, int> packets;
        int video = 0;
        for (const Fields& packet : Probe(file, "packet=stream_index,flags")) {
            const std::string& index = packet.at("stream_index");
            ++packets[index];
            if (index == "0") {
                EXPECT_EQ(packet.at("flags")[0] == 'K', video % 15 == 0) << "picture " << video;
                ++video;
            }
        }
        EXPECT_EQ(packets["0"], stats.videoFrames);
        EXPECT_EQ(packets["1"], stats.audioFrames);
        EXPECT_EQ(packets["2"], static_cast<int>(stats.telemetry.size()));

        const CommandResult decode =
            RunCommand("ffmpeg -nostdin -v error -i " + ShellQuote(file) + " -f null - 2>&1");
        EXPECT_EQ(decode.status, 0);
        EXPECT_EQ(decode.out, "") << "ffmpeg's errors";

        // Our own walk: tables first, PMT contents, CRCs, continuity, PES layout.
        const Walk walk = WalkFile(test::ReadBytes(file));
        ASSERT_GE(walk.packetPids.size(), 3u);
        EXPECT_EQ(walk.packetPids[0], 0);
        EXPECT_EQ(walk.packetPids[1], 0x100);
        EXPECT_EQ(walk.packetPids[2], 0x1011);
        EXPECT_EQ(walk.tables, 2 * stats.keyFrames);
        std::map<int, int> expected = {{0x1B, 0x1011}, {0x0F, 0x1100}};
        if (telemetry) {
            expected[0xA0] = 0x1200;
        }
        EXPECT_EQ(walk.pmtStreams, expected);
        ASSERT_EQ(walk.pes.at(0x1011).size(), static_cast<size_t>(stats.videoFrames));
        for (size_t i = 0; i < walk.pes.at(0x1011).size(); ++i) {
            const std::vector<uint8_t>& pes = walk.pes.at(0x1011)[i];
            EXPECT_EQ(pes[3], 0xE0);
            EXPECT_EQ(pes[7] >> 6, 3) << "PTS and DTS";
            const std::vector<int> nals = NalTypes({pes.begin() + 9 + pes[8], pes.end()});
            ASSERT_GE(nals.size(), 2u);
            EXPECT_EQ(nals[0], 9) << "access unit delimiter first";
            if (i % 15 == 0) {
                ASSERT_GE(nals.size(), 4u);
                EXPECT_EQ(nals[1], 7);
                EXPECT_EQ(nals[2], 8);
                EXPECT_EQ(nals.back(), 5);
            } else {
                EXPECT_EQ(nals.back(), 1);
            }
        }
        for (const std::vector<uint8_t>& pes : walk.pes.at(0x1100)) {
            EXPECT_EQ(pes[3], 0xC0);
            EXPECT_EQ(pes[7] >> 6, 2) << "PTS only";
            const uint8_t* adts = pes.data() + 9 + pes[8];
            EXPECT_EQ(adts[0], 0xFF);
            EXPECT_EQ(adts[1], 0xF1);
            const size_t length = ((adts[3] & 3u) << 11) | (adts[4] << 3) | (adts[5] >> 5);
            EXPECT_EQ(length, pes.size() - 9 - pes[8]);
        }
        EXPECT_EQ(walk.pes.count(0x1200), telemetry ? 1u : 0u);
        for (size_t i = 0; telemetry && i < walk.pes.at(0x1200).size(); ++i) {
            const std::vector<uint8_t>& pes = walk.pes.at(0x1200)[i];
            EXPECT_EQ(pes[3], 0xBD);
            EXPECT_EQ(std::string(pes.begin() + 9 + pes[8], pes.end()), stats.telemetry[i]);
        }
    }
}

TEST(RecordingWriter, TelemetryFollowsAPlausibleRoute) {
    TempDir dir;
    RecordingOptions options;
    options.outRoot = dir.path();
    options.files = 2;
    options.secondsPerFile = 40;
    options.width = 64;
    options.height = 48;
    options.south = true;
    options.west = true;
    options.startTime = ParseLocalTime("2025-12-31 23:59:30");
    const RecordingResult result = WriteRecording(options);
    ASSERT_TRUE(result.ok) << result.error;
    std::vector<std::string> texts = result.stats[0].telemetry;
    texts.insert(texts.end(), result.stats[1].telemetry.begin(), result.stats[1].telemetry.end());
    ASSERT_EQ(texts.size(), 80u);
    double fastest = 0.0;
    for (size_t i = 0; i < texts.size(); ++i) {
        SCOPED_TRACE(texts[i]);
        ExpectTelemetryText(texts[i], 'S', 'W');
        const Fix fix = ParseFix(texts[i]);
        const std::time_t utc = options.startTime + static_cast<int64_t>(i);
        std::tm t{};
        gmtime_r(&utc, &t);
        char time[40], date[40];
        std::snprintf(time, sizeof time, "%02d%02d%02d", t.tm_hour, t.tm_min, t.tm_sec);
        std::snprintf(date, sizeof date, "%02d%02d%02d", t.tm_mday, t.tm_mon + 1, t.tm_year % 100);
        EXPECT_EQ(fix.time, time);
        EXPECT_EQ(fix.date, date);
        EXPECT_GE(fix.kmh, 0.0);
        EXPECT_LE(fix.kmh, 120.5);
        EXPECT_NEAR(fix.lat, -34.60, 0.05);
        EXPECT_NEAR(fix.lon, -58.38, 0.05);
        fastest = std::max(fastest, fix.kmh);
        if (i == 0) {
            continue;
        }
        // The distance moved in one second matches the speeds at both ends.
        const Fix before = ParseFix(texts[i - 1]);
        const double north = (fix.lat - before.lat) * 111195.0;
        const double east = (fix.lon - before.lon) * 111195.0 * std::cos(fix.lat * M_PI / 180.0);
        const double metres = std::hypot(north, east);
        EXPECT_NEAR(metres, (fix.kmh + before.kmh) / 2 / 3.6, 2.5) << "second " << i;
        EXPECT_LE(std::fabs(std::remainder(fix.course - before.course, 360.0)), 30.0);
        EXPECT_LE(std::fabs(fix.kmh - before.kmh), 15.0) << "no jumps in speed";
    }
    EXPECT_GT(fastest, 100.0);
    EXPECT_LT(ParseFix(texts[0]).kmh, 1.0) << "the drive starts from standstill";
}

TEST(RecordingWriter, ContinuousTimestampsAndBadOptions) {
    TempDir dir;
    RecordingOptions options;
    options.outRoot = dir.path();
    options.files = 2;
    options.secondsPerFile = 1;
    options.width = 160;
    options.height = 96;
    options.restartTimestamps = false;
    RecordingResult result = WriteRecording(options);
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.stats[1].firstVideoPts, 2 * 90000);
    EXPECT_EQ(Streams(result.files[1], "start_time").at(0).at("start_time"), "2.000000");

    options.fps = 121;
    result = WriteRecording(options);
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.error.find("frame rate"), std::string::npos);
    options.fps = 30;
    options.width = 161;
    EXPECT_FALSE(WriteRecording(options).ok);
}

TEST(RecordingWriter, ColourBarsComeOutOfFfmpegAsSharpBt601Bars) {
    TempDir dir;
    RecordingOptions options;
    options.outRoot = dir.path();
    options.files = 1;
    options.secondsPerFile = 1;
    // Not whole macroblocks, and chroma planes of odd size (321x181).
    options.width = 642;
    options.height = 362;
    options.pattern = PicturePattern::kColourBars;
    const RecordingResult result = WriteRecording(options);
    ASSERT_TRUE(result.ok) << result.error;
    const std::string& file = result.files.at(0);
    EXPECT_EQ(ColourBarWidth(642), 80) << "bar edges on multiples of 16";

    const std::vector<Fields> streams =
        Streams(file, "width,height,color_range,color_space,color_primaries,color_transfer");
    ASSERT_FALSE(streams.empty());
    EXPECT_EQ(streams[0].at("width"), "642");
    EXPECT_EQ(streams[0].at("height"), "362");
    EXPECT_EQ(streams[0].at("color_range"), "tv");
    EXPECT_EQ(streams[0].at("color_space"), "smpte170m");
    EXPECT_EQ(streams[0].at("color_primaries"), "smpte170m");
    EXPECT_EQ(streams[0].at("color_transfer"), "smpte170m");
    const CommandResult decode =
        RunCommand("ffmpeg -nostdin -v error -i " + ShellQuote(file) + " -f null - 2>&1");
    EXPECT_EQ(decode.status, 0);
    EXPECT_EQ(decode.out, "") << "ffmpeg's errors";

    // The codes as decoded, in the first picture (an IDR) and the last (predicted from it).
    const std::string yuv = DecodeRaw(file, "yuv420p", 30);
    Yuv420 picture{642, 362, nullptr};
    ASSERT_EQ(yuv.size(), 30 * picture.Bytes());
    for (const int index : {0, 29}) {
        SCOPED_TRACE("picture " + std::to_string(index));
        picture.data = reinterpret_cast<const uint8_t*>(yuv.data()) + index * picture.Bytes();
        EXPECT_EQ(PictureNumber(picture), index);
        for (int bar = 0; bar < kColourBarCount; ++bar) {
            const test::Bar& want = kBars[bar];
            const auto [left, right] = test::BarSpan(bar, 642);
            // Across the whole bar up to its edges, below the picture-number blocks.
            for (const int y : {40, 181, 361}) {
                for (const int x : {left, (left + right) / 2, right - 1}) {
                    SCOPED_TRACE(std::string(want.name) + " at " + std::to_string(x) + "," +
                                 std::to_string(y));
                    EXPECT_NEAR(picture.Y(x, y), want.y, 2);
                    EXPECT_NEAR(picture.U(x, y), want.u, 2);
                    EXPECT_NEAR(picture.V(x, y), want.v, 2);
                }
            }
        }
    }

    // ffmpeg's own conversion to RGB gives the bars' colours back.
    const std::string rgb = DecodeRaw(file, "rgb24", 1);
    ASSERT_EQ(rgb.size(), 642u * 362 * 3);
    ExpectBarCentresInRgbRow(rgb, 642, 181);
}

TEST(RecordingWriter, ColourBarWidthKeepsEdgesOnMacroblocksWhereThePictureAllows) {
    EXPECT_EQ(ColourBarWidth(1280), 160);
    EXPECT_EQ(ColourBarWidth(1920), 240);
    EXPECT_EQ(ColourBarWidth(1000), 112) << "125 rounded down to whole macroblocks";
    EXPECT_EQ(ColourBarWidth(320), 32);
    EXPECT_EQ(ColourBarWidth(96), 12) << "narrow pictures: even widths";
    EXPECT_EQ(ColourBarWidth(32), 4);
    for (int width = 32; width <= 2000; width += 2) {
        const int bar = ColourBarWidth(width);
        ASSERT_EQ(bar % 2, 0) << width;
        ASSERT_LE(bar * kColourBarCount, width) << width;
        ASSERT_GT(bar, 0) << width;
    }
}

TEST(MakeRecordingCli, OptionsNumbersTimesTruncationGarbage) {
    TempDir dir;
    const std::string tool = std::string(VELMARO_BIN_DIR) + "/make-recording";
    const auto [status, out] =
        RunCommand(ShellQuote(tool) + " --out " + ShellQuote(dir.path()) +
                   " --files 2 --seconds 1 --size 320x240 --fps 60 --gop 30 --prefix CAM"
                   " --first-number 7 --no-telemetry 8 --truncate-last --garbage --south"
                   " --start '2025-01-02 03:04:05' --seed 9 2>&1");
    ASSERT_EQ(status, 0) << out;
    const std::string folder = dir.File("DCIM/100MEDIA/");
    const std::string first = folder + "CAM_0007.ts";
    const std::string last = folder + "CAM_0008.ts";
    ASSERT_TRUE(fs::exists(first) && fs::exists(last)) << out;
    const int64_t start = ParseLocalTime("2025-01-02 03:04:05");
    EXPECT_EQ(ModificationTime(first), start + 1);
    EXPECT_EQ(ModificationTime(last), start + 2);
    EXPECT_NE(fs::file_size(last) % 188, 0u) << "cut in the middle of a packet";
    EXPECT_NE(fs::file_size(first) % 188, 0u) << "garbage between packets";

    // Despite the garbage, ffprobe finds every stream and all pictures of the first file.
    const std::vector<Fields> streams = Streams(first, "id,codec_name,r_frame_rate");
    ASSERT_EQ(streams.size(), 3u);
    EXPECT_EQ(streams[0].at("codec_name"), "h264");
    EXPECT_EQ(streams[0].at("r_frame_rate"), "60/1");
    EXPECT_EQ(streams[1].at("codec_name"), "aac");
    EXPECT_EQ(streams[2].at("id"), "0x1200");
    int pictures = 0;
    int keys = 0;
    int texts = 0;
    for (const Fields& packet : Probe(first, "packet=stream_index,flags")) {
        texts += packet.at("stream_index") == "2" ? 1 : 0;
        if (packet.at("stream_index") == "0") {
            keys += packet.at("flags")[0] == 'K' ? 1 : 0;
            ++pictures;
        }
    }
    EXPECT_EQ(pictures, 60);
    EXPECT_EQ(keys, 2);
    EXPECT_EQ(texts, 1) << "one telemetry text in a file of 1 s";

    // File 8: no telemetry stream in its PMT (the PMT is the second packet, before any cut).
    const std::vector<uint8_t> bytes = test::ReadBytes(last);
    ASSERT_GT(bytes.size(), 376u);
    const Walk walk = WalkFile({bytes.begin(), bytes.begin() + 376});
    EXPECT_EQ(walk.pmtStreams, (std::map<int, int>{{0x1B, 0x1011}, {0x0F, 0x1100}}));
    EXPECT_EQ(Streams(last, "id").size(), 2u);
    EXPECT_NE(out.find("CAM_0008.ts"), std::string::npos);
    EXPECT_NE(out.find("(truncated)"), std::string::npos);
}

TEST(MakeRecordingCli, BarsOptionWritesColourBars) {
    TempDir dir;
    const std::string tool = std::string(VELMARO_BIN_DIR) + "/make-recording";
    const auto [status, out] = RunCommand(ShellQuote(tool) + " --out " + ShellQuote(dir.path()) +
                                          " --files 1 --seconds 1 --size 320x180 --bars 2>&1");
    ASSERT_EQ(status, 0) << out;
    const std::string file = dir.File("DCIM/100MEDIA/REC_0001.ts");
    const std::string rgb = DecodeRaw(file, "rgb24", 1);
    ASSERT_EQ(rgb.size(), 320u * 180 * 3) << out;
    ExpectBarCentresInRgbRow(rgb, 320, 120);
}

// How far the content of row `y` moved left from `before` to `after`: the shift in [0, most]
// that matches best.
int LeftwardShift(const Yuv420& before, const Yuv420& after, int y, int most) {
    int best = -1;
    long bestCost = 0;
    for (int shift = 0; shift <= most; ++shift) {
        long cost = 0;
        for (int x = most; x < before.width - most; ++x) {
            cost += std::abs(after.Y(x - shift, y) - before.Y(x, y));
        }
        if (best < 0 || cost < bestCost) {
            best = shift;
            bestCost = cost;
        }
    }
    return best;
}

// Mean absolute luma difference between horizontal neighbours, and between two pictures.
double Detail(const Yuv420& picture) {
    double sum = 0;
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 1; x < picture.width; ++x) {
            sum += std::abs(picture.Y(x, y) - picture.Y(x - 1, y));
        }
    }
    return sum / (static_cast<double>(picture.height) * (picture.width - 1));
}

TEST(MakeRecordingCli, FootageIsNoisyMovingDetailCodedLikeACameraAtItsBitRate) {
    TempDir dir;
    const std::string tool = std::string(VELMARO_BIN_DIR) + "/make-recording";
    const auto [status, out] = RunCommand(ShellQuote(tool) + " --out " + ShellQuote(dir.path()) +
                                          " --files 1 --seconds 3 --size 640x360 --footage 2>&1");
    ASSERT_EQ(status, 0) << out;
    const std::string file = dir.File("DCIM/100MEDIA/REC_0001.ts");

    // 11 Mb/s at 1920x1080 is 1.22 Mb/s at 640x360; a one-second buffer lets it vary a little.
    double videoBytes = 0;
    for (const Fields& packet : Probe(file, "packet=size -select_streams v")) {
        videoBytes += std::stod(packet.at("size"));
    }
    EXPECT_NEAR(videoBytes * 8 / 3, 11e6 * 640 * 360 / (1920 * 1080), 0.2e6);
    // CABAC and the deblocking filter, as cameras code (x264 states its settings in the stream).
    const std::vector<uint8_t> bytes = test::ReadBytes(file);
    const std::string text(bytes.begin(), bytes.end());
    EXPECT_NE(text.find("cabac=1"), std::string::npos);
    EXPECT_NE(text.find("deblock=1"), std::string::npos);

    const std::string yuv = DecodeRaw(file, "yuv420p", 25);
    const size_t pictureBytes = Yuv420{640, 360, nullptr}.Bytes();
    Yuv420 pictures[25];
    ASSERT_EQ(yuv.size(), 25 * pictureBytes);
    for (int i = 0; i < 25; ++i) {
        pictures[i] = {640, 360, reinterpret_cast<const uint8_t*>(yuv.data()) + i * pictureBytes};
        EXPECT_EQ(PictureNumber(pictures[i]), i);
    }
    // Fine detail and noise everywhere: neighbours differ by one and a half codes on average,
    // after the encoder has smoothed some of it away (the moving pattern: about 0.6).
    EXPECT_GT(Detail(pictures[20]), 1.2);
    // Near things pass faster than far ones. Pictures 20 to 24 sit at the top of the camera's
    // bob, so rows only move sideways.
    const int far = LeftwardShift(pictures[20], pictures[24], 30, 64);
    const int near = LeftwardShift(pictures[20], pictures[24], 340, 64);
    EXPECT_LE(far, 6);
    EXPECT_GE(near, 20);
}

TEST(MakeRecordingCli, HelpAndBadOptions) {
    const std::string tool = ShellQuote(std::string(VELMARO_BIN_DIR) + "/make-recording");
    CommandResult run = RunCommand(tool + " --help");
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("Usage: make-recording"), std::string::npos);
    EXPECT_NE(run.out.find("--bars"), std::string::npos);
    EXPECT_NE(run.out.find("--footage"), std::string::npos);
    run = RunCommand(tool + " --out /tmp/never --fps 121 2>&1");
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.out.find("frame rate"), std::string::npos) << run.out;
    run = RunCommand(tool + " --out /tmp/never --bogus 2>&1");
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.out.find("unknown option --bogus"), std::string::npos) << run.out;
    run = RunCommand(tool + " --files 2>&1");
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.out.find("--files"), std::string::npos) << run.out;
    EXPECT_FALSE(fs::exists("/tmp/never"));
}

}  // namespace
}  // namespace velmaro
