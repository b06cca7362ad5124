// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The camera's settings file: bytes checked against hand-packed values (checksums from an
// independent CRC-32), every option value through the file and back, and every way a card's file
// can be refused.
#include "camera/camera_settings.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "tests/test_support.h"

namespace velmaro {
namespace {

namespace fs = std::filesystem;
using test::CommandResult;
using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

std::tm LocalTime(int year, int month, int day, int hour, int minute) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    return t;
}

// German, 2012-05-06 23:59, time zone "-9:30", "Level 5" recording G-sensor, all else default.
CameraSettings Example() {
    CameraSettings s = DefaultCameraSettings(LocalTime(2012, 5, 6, 23, 59));
    s.language = 3;
    s.timeZone = 3;
    s.recGSensorSensitivity = 4;
    return s;
}

// The last index of every list and the last moment the file can carry.
CameraSettings Highest() {
    CameraSettings s;
    for (const CameraOption& option : CameraOptions()) {
        s.*option.field = static_cast<unsigned>(option.texts.size() - 1);
    }
    SetCameraClock(s, LocalTime(2235, 12, 31, 23, 59));
    return s;
}

struct KnownAnswer {
    const char* name;
    CameraSettings settings;
    uint8_t marker;
    CameraSettingsBytes bytes;
};

const KnownAnswer kKnownAnswers[] = {
    // Y = 32: byte 4 low nibble 2, byte 5 high nibble 0; hour 23 splits into 5 and 0xC0 | 59.
    // recGSensorSensitivity 4 = 0b0100: low bits of byte 11 are 01, top bits of byte 12 are 00.
    {"example",
     Example(),
     0xFD,
     {0xD6, 0x51, 0xC9, 0x96, 0x32, 0x05, 0x35, 0xFB, 0x0C, 0x50, 0x02, 0x05, 0x04, 0x02, 0x00,
      0xFD}},
    {"example as the camera marks it",
     Example(),
     0xFC,
     {0xA1, 0x56, 0xF9, 0x00, 0x32, 0x05, 0x35, 0xFB, 0x0C, 0x50, 0x02, 0x05, 0x04, 0x02, 0x00,
      0xFC}},
    // Defaults: time zone 28 -> 0x70; recGSensorSensitivity 2 sits wholly in byte 12 (0x80).
    {"defaults on a leap day",
     DefaultCameraSettings(LocalTime(2024, 2, 29, 8, 7)),
     0xFD,
     {0xBF, 0xF4, 0x39, 0x7F, 0x02, 0xC2, 0xEA, 0x07, 0x70, 0x50, 0x02, 0x04, 0x84, 0x02, 0x00,
      0xFD}},
    {"every field at its highest",
     Highest(),
     0xFC,
     {0x80, 0xC8, 0x34, 0x48, 0xCF, 0xFC, 0xFD, 0xFB, 0x9D, 0x54, 0x23, 0x29, 0x09, 0x44, 0x80,
      0xFC}},
    {"every field at its lowest",
     [] {
         CameraSettings s;
         SetCameraClock(s, LocalTime(1980, 1, 1, 0, 0));
         return s;
     }(),
     0xFD,
     {0x6A, 0x80, 0xD7, 0xFA, 0x00, 0x01, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
      0xFD}},
};

TEST(CameraSettingsFile, PacksKnownAnswers) {
    for (const KnownAnswer& known : kKnownAnswers) {
        SCOPED_TRACE(known.name);
        EXPECT_EQ(PackCameraSettings(known.settings, known.marker), known.bytes);
        EXPECT_EQ(UnpackCameraSettings(known.bytes), known.settings);
        const CameraSettingsRead read = ParseCameraSettings(known.bytes);
        if (known.marker == kCameraMarkerAccepted) {
            ASSERT_EQ(read.status, CameraFileStatus::kOk);
            EXPECT_EQ(read.settings, known.settings);
        } else {
            EXPECT_EQ(read.status, CameraFileStatus::kWrittenByPlayer);
            EXPECT_FALSE(read.settings);
        }
    }
}

TEST(CameraSettingsFile, ChecksumIsZlibCrc32StoredBigEndian) {
    const CameraSettingsBytes bytes = PackCameraSettings(Example());
    EXPECT_EQ(CameraSettingsChecksum(bytes), 0xD651C996u);
    EXPECT_EQ(StoredCameraSettingsChecksum(bytes), 0xD651C996u);
}

TEST(CameraSettingsFile, EveryOptionValueRoundTrips) {
    const CameraSettings base = DefaultCameraSettings(LocalTime(2030, 7, 15, 12, 30));
    for (const CameraOption& option : CameraOptions()) {
        for (unsigned index = 0; index < option.texts.size(); ++index) {
            SCOPED_TRACE(std::string(option.name) + " #" + std::to_string(index));
            CameraSettings s = base;
            s.*option.field = index;
            const CameraSettingsRead read =
                ParseCameraSettings(PackCameraSettings(s, kCameraMarkerAccepted));
            ASSERT_EQ(read.status, CameraFileStatus::kOk);
            EXPECT_EQ(*read.settings, s);
        }
    }
}

TEST(CameraSettingsFile, EveryClockValueRoundTrips) {
    const CameraSettings base = DefaultCameraSettings(LocalTime(2030, 7, 15, 12, 30));
    for (const CameraClockField& field : CameraClockFields()) {
        for (unsigned value = field.minimum; value <= field.maximum; ++value) {
            SCOPED_TRACE(std::string(field.name) + " " + std::to_string(value));
            CameraSettings s = base;
            s.*field.field = value;
            EXPECT_EQ(UnpackCameraSettings(PackCameraSettings(s, kCameraMarkerAccepted)), s);
        }
    }
}

// A value too wide for its bits loses its high bits; its neighbours must not see them. The
// all-zero record shows any bit that spills over, the all-highest one any bit lost.
TEST(CameraSettingsFile, OversizeValuesStayInTheirOwnBits) {
    CameraSettings zero;
    SetCameraClock(zero, LocalTime(1980, 0, 0, 0, 0));
    for (const CameraSettings& base : {zero, Highest()}) {
        for (const CameraOption& option : CameraOptions()) {
            SCOPED_TRACE(option.name);
            CameraSettings s = base;
            s.*option.field = (1u << option.bits) | 1u;
            CameraSettings expected = base;
            expected.*option.field = 1;
            EXPECT_EQ(UnpackCameraSettings(PackCameraSettings(s)), expected);
        }
        for (const CameraClockField& field : CameraClockFields()) {
            SCOPED_TRACE(field.name);
            CameraSettings s = base;
            s.*field.field += 1u << field.bits;
            EXPECT_EQ(UnpackCameraSettings(PackCameraSettings(s)), base);
        }
    }
}

TEST(CameraSettingsFile, YearsWrapModulo256) {
    CameraSettings s = Example();
    s.year = 1979;
    EXPECT_EQ(UnpackCameraSettings(PackCameraSettings(s)).year, 2235u);
    s.year = 2236;
    EXPECT_EQ(UnpackCameraSettings(PackCameraSettings(s)).year, 1980u);
}

TEST(CameraSettingsFile, RefusesWhatTheCameraDidNotMark) {
    for (const uint8_t marker : {0x00, 0xFB, 0xFE, 0xFF}) {
        EXPECT_EQ(ParseCameraSettings(PackCameraSettings(Example(), marker)).status,
                  CameraFileStatus::kWrongMarker)
            << +marker;
    }
    EXPECT_EQ(ParseCameraSettings(PackCameraSettings(Example())).status,
              CameraFileStatus::kWrittenByPlayer);
}

TEST(CameraSettingsFile, AnyChangedByteFailsTheChecksum) {
    const CameraSettingsBytes good = PackCameraSettings(Example(), kCameraMarkerAccepted);
    for (size_t i = 0; i < good.size(); ++i) {
        for (const uint8_t flip : {0x01, 0x80}) {
            CameraSettingsBytes bad = good;
            bad[i] ^= flip;
            EXPECT_EQ(ParseCameraSettings(bad).status, CameraFileStatus::kBadChecksum)
                << "byte " << i << " ^ " << +flip;
        }
    }
}

TEST(CameraSettingsFile, ShortAndLongInput) {
    const CameraSettingsBytes good = PackCameraSettings(Example(), kCameraMarkerAccepted);
    for (size_t size = 0; size < good.size(); ++size) {
        const CameraSettingsRead read = ParseCameraSettings(std::span(good.data(), size));
        EXPECT_EQ(read.status, CameraFileStatus::kTooShort) << size;
        EXPECT_FALSE(read.settings);
    }
    // Only the first 16 bytes count, as they always have.
    std::vector<uint8_t> longer(good.begin(), good.end());
    longer.push_back(0xAA);
    EXPECT_EQ(ParseCameraSettings(longer).status, CameraFileStatus::kOk);
    const std::vector<uint8_t> zeros(16, 0);
    EXPECT_EQ(ParseCameraSettings(zeros).status, CameraFileStatus::kBadChecksum);
}

TEST(CameraSettingsOptions, ListsAndDefaults) {
    struct Expected {
        const char* name;
        size_t count;
        unsigned defaultIndex;
        const char* defaultText;
        unsigned bits;
    };
    const Expected expected[] = {
        {"language", 13, 0, "English", 4},
        {"timeZone", 40, 28, "8", 6},
        {"tvStandard", 2, 0, "NTSC", 2},
        {"frequency", 2, 1, "60Hz", 2},
        {"mic", 2, 1, "ON", 2},
        {"whiteBalance", 5, 0, "AUTO", 4},
        {"effect", 3, 0, "NORMAL", 4},
        {"sensorSensitivity", 4, 2, "Level 3", 4},
        {"recResolution", 3, 0, "1920x1080 30fps", 4},
        {"recQuality", 3, 1, "GOOD", 2},
        {"recGSensorSensitivity", 5, 2, "Level 3", 4},
        {"capResolution", 3, 1, "5M", 4},
        {"capMode", 2, 0, "NORMAL", 2},
        {"capPeriod", 5, 0, "OFF", 4},
        {"capGSensorSensitivity", 5, 2, "Level 3", 4},
        {"speedUnit", 3, 0, "OFF", 2},
    };
    ASSERT_EQ(CameraOptions().size(), std::size(expected));
    const CameraSettings defaults = DefaultCameraSettings(LocalTime(2024, 1, 2, 3, 4));
    for (size_t i = 0; i < std::size(expected); ++i) {
        const CameraOption& option = CameraOptions()[i];
        SCOPED_TRACE(expected[i].name);
        EXPECT_EQ(option.name, expected[i].name);
        EXPECT_EQ(option.texts.size(), expected[i].count);
        EXPECT_EQ(option.bits, expected[i].bits);
        EXPECT_EQ(defaults.*option.field, expected[i].defaultIndex);
        EXPECT_EQ(CameraOptionText(option, option.defaultIndex), expected[i].defaultText);
        EXPECT_FALSE(CameraOptionText(option, static_cast<unsigned>(expected[i].count)));
    }
    const CameraOption& zones = *FindCameraOption("timeZone");
    EXPECT_EQ(zones.texts[0], "-12");
    EXPECT_EQ(zones.texts[3], "-9:30");
    EXPECT_EQ(zones.texts[24], "5:45");
    EXPECT_EQ(zones.texts[39], "14");
    EXPECT_EQ(FindCameraOption("effect")->texts[1], "Black & White");
    EXPECT_EQ(FindCameraOption("language")->texts[12], "KOREA");
    EXPECT_EQ(FindCameraOption("capPeriod")->texts[4], "30 min");
    EXPECT_EQ(defaults.year, 2024u);
    EXPECT_EQ(defaults.month, 1u);
    EXPECT_EQ(defaults.day, 2u);
    EXPECT_EQ(defaults.hour, 3u);
    EXPECT_EQ(defaults.minute, 4u);
}

TEST(CameraSettingsOptions, RangeCheck) {
    std::string problem;
    EXPECT_TRUE(CameraSettingsInRange(Highest(), &problem));
    EXPECT_TRUE(CameraSettingsInRange(DefaultCameraSettings(LocalTime(2024, 2, 29, 0, 0))));
    EXPECT_FALSE(
        CameraSettingsInRange(DefaultCameraSettings(LocalTime(2023, 2, 29, 0, 0)), &problem));
    EXPECT_EQ(problem, "day");
    CameraSettings s = Example();
    s.capMode = 2;
    EXPECT_FALSE(CameraSettingsInRange(s, &problem));
    EXPECT_EQ(problem, "capMode");
    s = Example();
    s.year = 1979;
    EXPECT_FALSE(CameraSettingsInRange(s, &problem));
    EXPECT_EQ(problem, "year");
}

TEST(CameraSettingsCard, WrittenFileIsNotReadBackButTheCamerasIs) {
    const TempDir card;
    const CameraSettingsWrite written = WriteCameraSettings(card.path(), Example());
    ASSERT_TRUE(written.ok()) << CameraFileStatusText(written.status, written.systemError);
    const std::vector<uint8_t> bytes = ReadBytes(card.path() / "usrset.dat");
    EXPECT_EQ(bytes,
              std::vector<uint8_t>(kKnownAnswers[0].bytes.begin(), kKnownAnswers[0].bytes.end()));
    EXPECT_EQ(ReadCameraSettings(card.path()).status, CameraFileStatus::kWrittenByPlayer);

    const CameraSettingsBytes camera = PackCameraSettings(Example(), kCameraMarkerAccepted);
    WriteBytes(card.path() / "usrset.dat", {camera.begin(), camera.end()});
    const CameraSettingsRead read = ReadCameraSettings(card.path());
    ASSERT_EQ(read.status, CameraFileStatus::kOk);
    EXPECT_EQ(read.settings, Example());
}

TEST(CameraSettingsCard, ReplacesTheFileAndLeavesNoTemporaryFile) {
    const TempDir card;
    WriteBytes(card.path() / "usrset.dat", std::vector<uint8_t>(100, 0x55));
    ASSERT_TRUE(WriteCameraSettings(card.path(), Highest()).ok());
    EXPECT_EQ(ReadBytes(card.path() / "usrset.dat").size(), kCameraSettingsSize);
    EXPECT_EQ(std::distance(fs::directory_iterator(card.path()), fs::directory_iterator()), 1);
}

TEST(CameraSettingsCard, FailuresAreReported) {
    const TempDir card;
    const CameraSettingsWrite missingFolder = WriteCameraSettings(card.path() / "gone", Example());
    EXPECT_EQ(missingFolder.status, CameraFileStatus::kWriteFailed);
    EXPECT_EQ(missingFolder.systemError, ENOENT);
    WriteBytes(card.path() / "file", {1});
    EXPECT_EQ(WriteCameraSettings(card.path() / "file", Example()).systemError, ENOTDIR);
    // A folder where the file goes: the rename fails, and the temporary file goes away again.
    fs::create_directories(card.path() / "dir" / "usrset.dat");
    EXPECT_EQ(WriteCameraSettings(card.path() / "dir", Example()).status,
              CameraFileStatus::kWriteFailed);
    EXPECT_EQ(std::distance(fs::directory_iterator(card.path() / "dir"), fs::directory_iterator()),
              1);

    EXPECT_EQ(ReadCameraSettings(card.path() / "gone").status, CameraFileStatus::kMissing);
    EXPECT_EQ(ReadCameraSettings(card.path()).status, CameraFileStatus::kMissing);
    EXPECT_EQ(ReadCameraSettings(card.path() / "dir").status, CameraFileStatus::kUnreadable);
    WriteBytes(card.path() / "usrset.dat", {0xFC, 0xFC, 0xFC});
    EXPECT_EQ(ReadCameraSettings(card.path()).status, CameraFileStatus::kTooShort);
    WriteBytes(card.path() / "usrset.dat", std::vector<uint8_t>(16, 0xFC));
    EXPECT_EQ(ReadCameraSettings(card.path()).status, CameraFileStatus::kBadChecksum);
    EXPECT_NE(CameraFileStatusText(CameraFileStatus::kWriteFailed, ENOSPC).find("space"),
              std::string::npos);
}

// velmaro-usrset, run as a program; its messages come with its output.
CommandResult RunUsrset(const std::string& arguments) {
    const fs::path tool = fs::path(VELMARO_BIN_DIR) / "velmaro-usrset";
    return test::RunCommand(test::ShellQuote(tool.string()) + " " + arguments + " 2>&1");
}

TEST(CameraSettingsTool, WritesShowsAndRefuses) {
    ASSERT_TRUE(fs::exists(fs::path(VELMARO_BIN_DIR) / "velmaro-usrset"));
    const TempDir card;
    const std::string folder = "'" + card.path().string() + "'";
    const CommandResult write = RunUsrset(
        "--write --defaults --set language=germany --set timeZone=-9:30 --set "
        "'recGSensorSensitivity=Level 5' --set year=2012 --set month=5 --set day=6 --set hour=23 "
        "--set minute=59 " +
        folder);
    ASSERT_EQ(write.status, 0) << write.out;
    EXPECT_EQ(ReadBytes(card.path() / "usrset.dat"),
              std::vector<uint8_t>(kKnownAnswers[0].bytes.begin(), kKnownAnswers[0].bytes.end()));

    const CommandResult refused = RunUsrset(folder);
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.out.find("0xFD"), std::string::npos) << refused.out;
    const CommandResult anyMarker = RunUsrset("--any-marker " + folder);
    EXPECT_EQ(anyMarker.status, 0);
    EXPECT_NE(anyMarker.out.find("GERMANY"), std::string::npos) << anyMarker.out;

    EXPECT_EQ(RunUsrset("--write --set mic=maybe " + folder).status, 2);
    EXPECT_EQ(RunUsrset("--write --set month=2 --set day=30 " + folder).status, 2);
    EXPECT_EQ(RunUsrset("--write --set noSuchSetting=1 " + folder).status, 2);
    // Refused values must not have touched the file.
    EXPECT_EQ(ReadBytes(card.path() / "usrset.dat"),
              std::vector<uint8_t>(kKnownAnswers[0].bytes.begin(), kKnownAnswers[0].bytes.end()));
    WriteBytes(card.path() / "usrset.dat", std::vector<uint8_t>(16, 0x00));
    const CommandResult damaged = RunUsrset(folder);
    EXPECT_EQ(damaged.status, 1);
    EXPECT_NE(damaged.out.find("checksum"), std::string::npos) << damaged.out;
}

}  // namespace
}  // namespace velmaro
