// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Marks given as times: the forms a time may take, the file it may follow, the byte it becomes
// in a generated recording, and the clip and track tools that take them.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "stream/recording_index.h"
#include "tests/test_support.h"
#include "tools/common/mark_times.h"
#include "tools/make_recording/recording_writer.h"
#include "tools/probe/recording_probe.h"

namespace velmaro {
namespace {

namespace fs = std::filesystem;
using test::ShellQuote;
using test::TempDir;

constexpr int kSeconds = 4;
constexpr int kWidth = 320;
constexpr int kHeight = 240;
constexpr int kFps = 25;

RecordingResult WriteCard(const std::string& root) {
    RecordingOptions o;
    o.outRoot = root;
    o.files = 2;
    o.secondsPerFile = kSeconds;
    o.width = kWidth;
    o.height = kHeight;
    o.fps = kFps;
    return WriteRecording(o);
}

test::CommandResult RunTool(const std::string& tool, const std::string& arguments) {
    return test::RunCommand(ShellQuote(std::string(VELMARO_BIN_DIR) + "/" + tool) + " " +
                            arguments + " 2>&1");
}

TEST(RecordingTime, ReadsSecondsMinutesAndHoursAndRefusesOtherText) {
    const struct {
        const char* text;
        std::optional<double> seconds;
    } cases[] = {
        {"12.5", 12.5},
        {"0", 0.0},
        {"0:12.5", 12.5},
        {"2:03", 123.0},
        {"1:02:03", 3723},
        {"1:02:03.25", 3723.25},
        {"90", 90.0},
        {"", std::nullopt},
        {"-1", std::nullopt},
        {"1:60", std::nullopt},
        {"1:2:3:4", std::nullopt},
        {"1.5:00", std::nullopt},
        {"12.", std::nullopt},
        {".5", std::nullopt},
        {"1e3", std::nullopt},
        {"1::2", std::nullopt},
        {"0:12.5x", std::nullopt},
        {" 12", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParseRecordingTime(c.text), c.seconds) << '"' << c.text << '"';
    }
}

TEST(RecordingTime, TakesATimeOffTheEndOfAFileOnlyWhenItIsOne) {
    const struct {
        const char* text;
        const char* path;
        std::optional<double> seconds;
    } cases[] = {
        {"REC_0001.ts@12.5", "REC_0001.ts", 12.5},
        {"/card/REC_0001.ts@0:02", "/card/REC_0001.ts", 2.0},
        {"a@b/REC.ts@3", "a@b/REC.ts", 3.0},
        {"a@b/REC.ts", "a@b/REC.ts", std::nullopt},
        {"REC.ts@", "REC.ts@", std::nullopt},
        {"@5", "@5", std::nullopt},
        {"REC.ts", "REC.ts", std::nullopt},
    };
    for (const auto& c : cases) {
        const FileAtTime split = SplitFileAtTime(c.text);
        EXPECT_EQ(split.path, c.path) << c.text;
        EXPECT_EQ(split.seconds, c.seconds) << c.text;
    }
}

// The byte a time becomes is where the reader starts for that share of the recording.
TEST(PositionAtTime, IsTheTimesShareOfTheDurationOfTheFilesSize) {
    const TempDir dir;
    const RecordingResult card = WriteCard(dir.path());
    ASSERT_TRUE(card.ok) << card.error;
    const std::string& file = card.files.front();
    const int64_t size = static_cast<int64_t>(fs::file_size(file));
    const struct {
        double seconds;
        int64_t perMille;
    } cases[] = {{0.0, 0}, {1.0, 250}, {2.5, 625}, {kSeconds, 999}};
    for (const auto& c : cases) {
        std::string error;
        EXPECT_EQ(PositionAtTime(file, c.seconds, error), c.perMille * size / 1000) << c.seconds;
        EXPECT_EQ(error, "");
    }
}

TEST(PositionAtTime, RefusesTimesPastTheEndAndFilesItCannotReadNamingTheFile) {
    const TempDir dir;
    const RecordingResult card = WriteCard(dir.path());
    ASSERT_TRUE(card.ok) << card.error;
    test::WriteText(dir.File("empty.ts"), "");
    const struct {
        std::string path;
        double seconds;
        const char* reason;
    } cases[] = {
        {card.files.front(), kSeconds + 0.5, "past its end"},
        {dir.File("missing.ts"), 1.0, "No such file"},
        {dir.File("empty.ts"), 1.0, "no timed video"},
        {dir.path(), 1.0, "not a regular file"},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_FALSE(PositionAtTime(c.path, c.seconds, error).has_value()) << c.path;
        EXPECT_NE(error.find(c.path), std::string::npos) << error;
        EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    }
}

TEST(RecordingProbe, FindsThePictureSizeAndFrameRateAnAviClipDefaultsTo) {
    const TempDir dir;
    const RecordingResult card = WriteCard(dir.path());
    ASSERT_TRUE(card.ok) << card.error;
    ProbeReport report;
    std::string error;
    ASSERT_TRUE(ProbeRecording(card.files.front(), report, error)) << error;
    EXPECT_EQ(report.pictureWidth, kWidth);
    EXPECT_EQ(report.pictureHeight, kHeight);
    EXPECT_TRUE(report.rateMeasured);
    EXPECT_NEAR(report.frameRate, kFps, 0.01);
}

// The AVI main header: microseconds per frame first, the picture size at bytes 32 and 36.
uint32_t AviHeaderField(const std::vector<uint8_t>& avi, size_t offset) {
    const char kTag[] = "avih";
    for (size_t i = 0; i + 8 + offset + 4 <= avi.size(); ++i) {
        if (std::memcmp(avi.data() + i, kTag, 4) == 0) {
            uint32_t value = 0;
            std::memcpy(&value, avi.data() + i + 8 + offset, sizeof value);
            return value;
        }
    }
    return 0;
}

TEST(ExportTool, WritesAnAviClipBetweenTimesAtTheRecordingsSizeAndRate) {
    const TempDir dir;
    const RecordingResult card = WriteCard(dir.path());
    ASSERT_TRUE(card.ok) << card.error;
    const std::string clip = dir.File("clip.avi");
    const test::CommandResult run =
        RunTool("velmaro-export", "--no-srt --in " + ShellQuote(card.files.front() + "@1") +
                                      " --out " + ShellQuote(card.files.back()) +
                                      " --out-time 0:02 " + ShellQuote(clip));
    ASSERT_EQ(run.status, 0) << run.out;
    const std::vector<uint8_t> avi = test::ReadBytes(clip);
    EXPECT_EQ(AviHeaderField(avi, 0), 1000000u / kFps);
    EXPECT_EQ(AviHeaderField(avi, 32), static_cast<uint32_t>(kWidth));
    EXPECT_EQ(AviHeaderField(avi, 36), static_cast<uint32_t>(kHeight));
}

TEST(ExportTool, TellsTimeErrorsApartFromUsageErrors) {
    const TempDir dir;
    const RecordingResult card = WriteCard(dir.path());
    ASSERT_TRUE(card.ok) << card.error;
    const std::string in = ShellQuote(card.files.front());
    const std::string clip = ShellQuote(dir.File("clip.ts"));
    const struct {
        std::string arguments;
        int status;
        const char* says;
    } cases[] = {
        {"--in " + in + "@9 --out " + in + "@10 " + clip, 1, "past its end"},
        {"--in " + ShellQuote(dir.File("gone.ts")) + "@1 --out " + in + "@2 " + clip, 1, "gone.ts"},
        {"--in " + in + "@1 --in-time 2 --out " + in + "@3 " + clip, 2, "--in-time too"},
        {"--in " + in + "@1 --in-pos 0 --out " + in + "@3 " + clip, 2, "--in-pos and a time"},
        {"--in " + in + " --in-time 1:75 --out " + in + "@3 " + clip, 2, "is not TIME"},
    };
    for (const auto& c : cases) {
        const test::CommandResult run = RunTool("velmaro-export", c.arguments);
        EXPECT_EQ(run.status, c.status) << c.arguments << "\n" << run.out;
        EXPECT_NE(run.out.find(c.says), std::string::npos) << run.out;
    }
}

TEST(TrackTool, TakesACardRootForTheDayAsItsRecordingsFolder) {
    const TempDir dir;
    const RecordingResult card = WriteCard(dir.path());
    ASSERT_TRUE(card.ok) << card.error;
    const std::string day = "--day 2026-06-12 ";
    const test::CommandResult fromRoot =
        RunTool("velmaro-track", day + ShellQuote(dir.path()) + " " + dir.File("root.csv"));
    ASSERT_EQ(fromRoot.status, 0) << fromRoot.out;
    const test::CommandResult fromFolder = RunTool(
        "velmaro-track", day + ShellQuote(dir.File("DCIM/100MEDIA")) + " " + dir.File("f.csv"));
    ASSERT_EQ(fromFolder.status, 0) << fromFolder.out;
    EXPECT_EQ(test::ReadText(dir.File("root.csv")), test::ReadText(dir.File("f.csv")));
    EXPECT_NE(test::ReadText(dir.File("root.csv")), "");
}

TEST(TrackTool, SaysADayFolderIsMissingRatherThanEmpty) {
    const TempDir dir;
    const test::CommandResult run =
        RunTool("velmaro-track", "--day 2026-06-12 " + dir.File("gone") + " " + dir.File("d.csv"));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "velmaro-track: cannot find " + dir.File("gone") + "\n");
}

}  // namespace
}  // namespace velmaro
