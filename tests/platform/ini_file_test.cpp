// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ini_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/test_support.h"

namespace velmaro {
namespace {

namespace fs = std::filesystem;
using test::ReadText;
using test::TempDir;
using test::WriteText;

std::string Utf16Le(std::u16string_view text, bool bom = true) {
    std::string bytes = bom ? "\xFF\xFE" : "";
    for (const char16_t unit : text) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    return bytes;
}

IniFile Parsed(std::string_view text) {
    IniFile file;
    file.Parse(text);
    return file;
}

TEST(IniFile, LookupsIgnoreCaseAndBlanksLikeThePlatform) {
    const IniFile file = Parsed(
        "[Config]\n  Snapshot Path =  /home/u/Capture/  \r\n[ Настройки ]\nЯзык=ru\n"
        "[quoted]\na=\"  padded  \"\nb='x'\nc=\"unbalanced\n");
    EXPECT_EQ(file.GetString("CONFIG", "snapshot path", "-"), "/home/u/Capture/");
    EXPECT_EQ(file.GetString(" config ", " Snapshot Path ", "-"), "/home/u/Capture/");
    EXPECT_EQ(file.GetString("настройки", "ЯЗЫК", "-"), "ru");
    EXPECT_EQ(file.GetString("quoted", "a", "-"), "  padded  ");
    EXPECT_EQ(file.GetString("quoted", "b", "-"), "x");
    EXPECT_EQ(file.GetString("quoted", "c", "-"), "\"unbalanced");
}

TEST(IniFile, AnythingMissingGivesTheCallersDefault) {
    IniFile missing;
    EXPECT_EQ(missing.Load("/nonexistent/velmaro/Config.ini"), IniStatus::kMissing);
    EXPECT_EQ(missing.GetString("Config", "UIMode", "dflt"), "dflt");
    EXPECT_EQ(missing.GetInt("Config", "UIMode", -1), -1);

    const IniFile file =
        Parsed("orphan=1\n[Config]\n;commented=1\nbare line\n=no name\nempty=\n[Other]\nkey=2\n");
    EXPECT_EQ(file.GetString("Config", "orphan", "d"), "d") << "keys before any section";
    EXPECT_EQ(file.GetString("Config", ";commented", "d"), "d");
    EXPECT_EQ(file.GetString("Config", "bare line", "d"), "d") << "a line without '='";
    EXPECT_EQ(file.GetString("Config", "", "d"), "d");
    EXPECT_EQ(file.GetString("Config", "empty", "d"), "") << "an empty value is a value";
    EXPECT_EQ(file.GetString("Config", "key", "d"), "d") << "keys do not leak across sections";
    EXPECT_EQ(file.GetString("Nope", "key", "d"), "d");
}

TEST(IniFile, FirstMatchingSectionAndKeyWin) {
    const IniFile file = Parsed("[A]\nk=1\nK=2\n[a]\nk=3\nonly=4\n");
    EXPECT_EQ(file.GetString("a", "k", ""), "1");
    EXPECT_EQ(file.GetString("a", "only", "d"), "d") << "a later duplicate section is unreachable";
    EXPECT_EQ(file.SectionNames(), (std::vector<std::string>{"A", "a"}));
    EXPECT_EQ(file.KeyNames("A"), (std::vector<std::string>{"k", "K"}));
}

TEST(IniFile, ValuesAreCutTo259Utf16Units) {
    const std::string emoji = "\xF0\x9F\x98\x80";  // two UTF-16 units
    const IniFile file =
        Parsed("[S]\nlong=" + std::string(300, 'a') + "\nfits=" + std::string(257, 'b') + emoji +
               "x\nsplit=" + std::string(258, 'c') + emoji + "\n");
    EXPECT_EQ(file.GetString("S", "long", ""), std::string(kProfileValueLimit, 'a'));
    EXPECT_EQ(file.GetString("S", "fits", ""), std::string(257, 'b') + emoji);
    EXPECT_EQ(file.GetString("S", "split", ""), std::string(258, 'c'))
        << "a surrogate pair is never split";
    EXPECT_EQ(Parsed(std::string("[S]\nk=a\0b\n", 10)).GetString("S", "k", ""), "a")
        << "a read ends at NUL like the C string it is";
}

TEST(IniFile, IntegersFollowThePlatformsParsing) {
    const IniFile file = Parsed(
        "[S]\nplain=42\ntrailing=42abc\ngarbage=abc\nempty=\nneg=-7\npos=+3\nhex=0x1F\n"
        "wrap=4294967297\nquoted='5'\nbin=0b101\nleading0=010\n");
    EXPECT_EQ(file.GetInt("S", "plain", -1), 42);
    EXPECT_EQ(file.GetInt("S", "trailing", -1), 42);
    EXPECT_EQ(file.GetInt("S", "garbage", -1), 0);
    EXPECT_EQ(file.GetInt("S", "empty", -1), -1);
    EXPECT_EQ(file.GetInt("S", "missing", -1), -1);
    EXPECT_EQ(file.GetInt("S", "neg", 0), -7);
    EXPECT_EQ(file.GetInt("S", "pos", 0), 3);
    EXPECT_EQ(file.GetInt("S", "hex", 0), 31);
    EXPECT_EQ(file.GetInt("S", "wrap", 0), 1);
    EXPECT_EQ(file.GetInt("S", "quoted", 0), 5);
    EXPECT_EQ(file.GetInt("S", "bin", 0), 5);
    EXPECT_EQ(file.GetInt("S", "leading0", 0), 10);
}

TEST(IniFile, ReadsUtf16WithBomEvenWhenTruncated) {
    const std::string bytes = Utf16Le(u"[Language String]\r\nStop=停止\r\nPlay=播放\r\n");
    const IniFile file = Parsed(bytes);
    EXPECT_EQ(file.SourceEncoding(), IniEncoding::kUtf16Le);
    EXPECT_EQ(file.GetString("language string", "stop", ""), "停止");

    // Cut in the middle of a character: everything before it still reads.
    const IniFile odd = Parsed(bytes.substr(0, bytes.size() - 5));
    EXPECT_EQ(odd.GetString("Language String", "Stop", ""), "停止");
    EXPECT_EQ(odd.GetString("Language String", "Play", ""), "播");

    const IniFile lone = Parsed(Utf16Le(u"[S]\r\nk=a") + "\x3D\xD8");  // unpaired high surrogate
    EXPECT_EQ(lone.GetString("S", "k", ""), "a\xEF\xBF\xBD");

    std::string bigEndian = "\xFE\xFF";
    for (const char c : std::string_view("[S]\nk=v\n")) {
        bigEndian += '\0';
        bigEndian += c;
    }
    EXPECT_EQ(Parsed(bigEndian).GetString("S", "k", ""), "v");
    EXPECT_EQ(Parsed("\xEF\xBB\xBF[S]\nk=v\n").GetString("S", "k", ""), "v");
}

TEST(IniFile, SetStringChangesOnlyWhatItMust) {
    IniFile file = Parsed(
        "; written by the camera tool\r\n[Config]\r\nUIMode = 2\r\nunknown=kept\r\n\r\n"
        "; map settings\r\n[Map]\r\nzoom=3\r\n");
    ASSERT_EQ(file.SetString("config", "uimode", "1"), IniStatus::kOk);
    ASSERT_EQ(file.SetString("Config", "DisplayMode", "0"), IniStatus::kOk);
    ASSERT_EQ(file.SetString("New", "k", "v"), IniStatus::kOk);
    EXPECT_EQ(file.Serialize(),
              "; written by the camera tool\r\n[Config]\r\nUIMode=1\r\nunknown=kept\r\n"
              "DisplayMode=0\r\n\r\n; map settings\r\n[Map]\r\nzoom=3\r\n\r\n[New]\r\nk=v\r\n");

    IniFile unterminated = Parsed("[S]\nk=1");
    ASSERT_EQ(unterminated.SetString("S", "j", "2"), IniStatus::kOk);
    EXPECT_EQ(unterminated.Serialize(), "[S]\nk=1\nj=2\n");
}

TEST(IniFile, SetStringRejectsTextThatWouldBreakTheFile) {
    IniFile file = Parsed("[Config]\nk=1\n");
    const std::string before = file.Serialize();
    EXPECT_EQ(file.SetString("Config", "k", "x\n[Evil]\ny=1"), IniStatus::kInvalidArgument);
    EXPECT_EQ(file.SetString("Config", "a=b", "1"), IniStatus::kInvalidArgument);
    EXPECT_EQ(file.SetString("Config", "[x]", "1"), IniStatus::kInvalidArgument);
    EXPECT_EQ(file.SetString("Config", ";x", "1"), IniStatus::kInvalidArgument);
    EXPECT_EQ(file.SetString("Config", "  ", "1"), IniStatus::kInvalidArgument);
    EXPECT_EQ(file.SetString("Con\nfig", "k", "1"), IniStatus::kInvalidArgument);
    EXPECT_EQ(file.SetString("Config", "k", std::string("a\0b", 3)), IniStatus::kInvalidArgument);
    EXPECT_EQ(file.Serialize(), before);

    // Values a read would alter are stored so that they read back unchanged.
    for (const std::string value : {"  padded  ", "'quoted'", "\"\"", "\"", "a;b=c", ""}) {
        ASSERT_EQ(file.SetString("Config", "k", value), IniStatus::kOk);
        EXPECT_EQ(Parsed(file.Serialize()).GetString("Config", "k", "-"), value);
    }
}

TEST(IniFileOnDisk, WriteReplacesTheFileAndKeepsItsLinesAndPermissions) {
    const TempDir folder;
    const fs::path path = folder.path() / "Config.ini";
    WriteText(path, "; mine\n[Config]\nUIMode=0\n");
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);

    ASSERT_EQ(WriteProfileString(path, "Config", "UIMode", "2"), IniStatus::kOk);
    EXPECT_EQ(ReadText(path), "; mine\n[Config]\nUIMode=2\n");
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    EXPECT_EQ(ReadProfileInt(path, "config", "uimode", -1), 2);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), fs::directory_iterator()), 1)
        << "no temporary file left behind";

    ASSERT_EQ(WriteProfileString(folder.path() / "fresh.ini", "S", "k", "v"), IniStatus::kOk);
    EXPECT_EQ(ReadText(folder.path() / "fresh.ini"), "[S]\nk=v\n");
}

TEST(IniFileOnDisk, Utf16FileIsRewrittenAsUtf8WithItsContent) {
    const TempDir folder;
    const fs::path path = folder.path() / "de_DE.ini";
    WriteText(path, Utf16Le(u"[Language String]\r\nStop=Stopp\r\n"));
    ASSERT_EQ(WriteProfileString(path, "Language String", "Play", "Wiedergabe"), IniStatus::kOk);
    EXPECT_EQ(ReadText(path), "\xEF\xBB\xBF[Language String]\r\nStop=Stopp\r\nPlay=Wiedergabe\r\n");
}

TEST(IniFileOnDisk, NonUtf8BytesSurviveARewriteOfAnotherKey) {
    const TempDir folder;
    const fs::path path = folder.path() / "Config.ini";
    WriteText(path, "[Config]\nSnapshot Path=/home/j\xFCrgen/\n");
    ASSERT_EQ(WriteProfileString(path, "Config", "UIMode", "1"), IniStatus::kOk);
    EXPECT_EQ(ReadText(path), "[Config]\nSnapshot Path=/home/j\xFCrgen/\nUIMode=1\n");
    EXPECT_EQ(ReadProfileString(path, "Config", "Snapshot Path", ""), "/home/j\xFCrgen/");
}

TEST(IniFileOnDisk, UnwritableOrUnreadablePlacesFailWithoutDamage) {
    const TempDir folder;
    const fs::path notAFolder = folder.path() / "plain-file";
    WriteText(notAFolder, "data");
    EXPECT_EQ(WriteProfileString(notAFolder / "Config.ini", "S", "k", "v"),
              IniStatus::kWriteFailed);
    EXPECT_EQ(ReadText(notAFolder), "data");
    EXPECT_EQ(WriteProfileString("/proc/velmaro-no-such/Config.ini", "S", "k", "v"),
              IniStatus::kWriteFailed);

    // Something that cannot be read is never replaced by a file holding one key.
    const fs::path folderAsFile = folder.path() / "Config.ini";
    fs::create_directory(folderAsFile);
    IniFile file;
    EXPECT_EQ(file.Load(folderAsFile), IniStatus::kUnreadable);
    EXPECT_EQ(WriteProfileString(folderAsFile, "S", "k", "v"), IniStatus::kUnreadable);
    EXPECT_TRUE(fs::is_directory(folderAsFile));

    const fs::path fifo = folder.path() / "fifo.ini";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(file.Load(fifo), IniStatus::kUnreadable) << "a FIFO must not block the reader";
    EXPECT_EQ(ReadProfileString(fifo, "S", "k", "d"), "d");
}

TEST(IniFileOnDisk, WritingThroughASymlinkUpdatesItsTarget) {
    const TempDir folder;
    const fs::path target = folder.path() / "real.ini";
    const fs::path link = folder.path() / "Config.ini";
    WriteText(target, "[S]\nk=1\n");
    fs::create_symlink(target, link);
    ASSERT_EQ(WriteProfileString(link, "S", "k", "2"), IniStatus::kOk);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadText(target), "[S]\nk=2\n");
}

}  // namespace
}  // namespace velmaro
