// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/app_settings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <utility>

#include "app/language_table.h"
#include "platform/ini_file.h"
#include "tests/test_support.h"

namespace velmaro {
namespace {

namespace fs = std::filesystem;

// Sets (or unsets, with nullopt) an environment variable for the life of the object.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            old_ = old;
        }
        Apply(value);
    }
    ~ScopedEnv() { Apply(old_); }

  private:
    void Apply(const std::optional<std::string>& value) {
        if (value) {
            ::setenv(name_, value->c_str(), 1);
        } else {
            ::unsetenv(name_);
        }
    }
    const char* name_;
    std::optional<std::string> old_;
};

// A user's configuration folder in a temp folder, with Config.ini written as given.
class AppSettingsFile : public ::testing::Test {
  protected:
    AppSettingsFile() : configHome_("XDG_CONFIG_HOME", folder_.path().string()) {}

    fs::path ConfigFile() const { return folder_.path() / "velmaro" / "Config.ini"; }
    void WriteConfig(const std::string& text) const {
        fs::create_directories(ConfigFile().parent_path());
        test::WriteText(ConfigFile(), text);
    }

    test::TempDir folder_;
    ScopedEnv configHome_;
};

constexpr ScreenSize kSmall{1024, 768};
constexpr ScreenSize kLaptop{1280, 800};
constexpr ScreenSize kFullHd{1920, 1080};

TEST(AppSettingsUiMode, StoredSizeIsLoweredToWhatTheScreenHolds) {
    EXPECT_EQ(ScreenClass({1279, 1200}), kUiMode960x600);
    EXPECT_EQ(ScreenClass({2560, 799}), kUiMode960x600);
    EXPECT_EQ(ScreenClass(kLaptop), kUiMode1280x800);
    EXPECT_EQ(ScreenClass({1920, 1079}), kUiMode1280x800);
    EXPECT_EQ(ScreenClass(kFullHd), kUiMode1920x1080);

    EXPECT_EQ(DecideUiMode(2, kLaptop), 1);
    EXPECT_EQ(DecideUiMode(0, kFullHd), 0);
    EXPECT_EQ(DecideUiMode(1, kFullHd), 1);
    EXPECT_EQ(DecideUiMode(5, kFullHd), 2);
    EXPECT_EQ(DecideUiMode(-1, kLaptop), 1);
    EXPECT_EQ(DecideUiMode(1, kSmall), 0);
}

TEST(AppSettingsStartup, CommandLineVersionAndDataFolders) {
    EXPECT_EQ(CommandLineFile("\"/media/card/DCIM/100MEDIA/FILE 0001.ts\""),
              "/media/card/DCIM/100MEDIA/FILE 0001.ts");
    EXPECT_EQ(CommandLineFile(""), "");
    EXPECT_EQ(CommandLineFile(std::vector<std::string>{}), "");
    EXPECT_EQ(CommandLineFile(std::vector<std::string>{"\"/a/my", "file.ts\""}), "/a/my file.ts");

    EXPECT_EQ(FormatVersionText("1.2.3.4"), "1.2.3.4");
    EXPECT_EQ(FormatVersionText("1.2.3"), "1.2.3.0");
    EXPECT_EQ(FormatVersionText("65537.x.7.8"), "1.0.7.8") << "parts are 16 bits";
    EXPECT_EQ(VersionText(), VELMARO_VERSION_TEXT) << "the release as the package names it";
    EXPECT_EQ(FileVersionText(), FormatVersionText(VELMARO_VERSION_TEXT));

    const test::TempDir prefix;
    const fs::path bin = prefix.path() / "bin";
    fs::create_directories(bin);
    EXPECT_EQ(FindDataPath(bin, "Language"), bin / "Language") << "nothing anywhere";
    fs::create_directories(prefix.path() / "share/velmaro/Language");
    EXPECT_EQ(FindDataPath(bin, "Language"), prefix.path() / "share/velmaro/Language");
    fs::create_directories(bin / "Language");
    EXPECT_EQ(FindDataPath(bin, "Language"), bin / "Language") << "the build tree comes first";

    const std::string exe = ExecutableFolder();
    ASSERT_FALSE(exe.empty());
    EXPECT_EQ(exe.back(), '/');
#ifdef VELMARO_BIN_DIR
    EXPECT_TRUE(fs::equivalent(exe, VELMARO_BIN_DIR));
#endif
}

TEST_F(AppSettingsFile, DefaultsComeFromTheUsersFolders) {
    const ScopedEnv home("HOME", (folder_.path() / "home").string());
    {
        const ScopedEnv pictures("XDG_PICTURES_DIR", "/data/Bilder");
        const AppSettings settings = DefaultSettings();
        EXPECT_EQ(settings.configFile, ConfigFile());
        EXPECT_EQ(settings.snapshotPath, "/data/Bilder/Capture/");
        EXPECT_EQ(settings.uiMode, kUiModeUndecided);
        EXPECT_EQ(settings.defaultLongitude, kDefaultLongitude);
        EXPECT_EQ(settings.soundAmplification, 1);
    }
    const ScopedEnv pictures("XDG_PICTURES_DIR", std::nullopt);
    EXPECT_EQ(DefaultSettings().snapshotPath, (folder_.path() / "home/Pictures/Capture/").string());

    std::ofstream(folder_.path() / "user-dirs.dirs")
        << "# written by xdg-user-dirs-update\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
           "XDG_PICTURES_DIR=\"$HOME/Bilder\"\n";
    EXPECT_EQ(DefaultSettings().snapshotPath, (folder_.path() / "home/Bilder/Capture/").string());
}

TEST_F(AppSettingsFile, SettingsSurviveARoundTripAndKeepForeignKeys) {
    WriteConfig("; my notes\n[Config]\nGPS_Offset_X=0.0012\n");
    AppSettings saved = DefaultSettings();
    saved.snapshotPath = "/srv/snaps/";
    saved.pendingUiMode = 0;
    saved.defaultLongitude = 13.404954;
    saved.defaultLatitude = -52.520008;
    saved.displayMode = 1;
    saved.unitOfSpeed = 2;
    saved.soundAmplification = 7;
    saved.subtitleOnExport = 0;
    saved.incidentThreshold = 2.25;
    ASSERT_TRUE(SaveSettings(saved));
    EXPECT_EQ(saved.uiMode, 0);
    EXPECT_EQ(test::ReadText(ConfigFile()),
              "; my notes\n[Config]\nGPS_Offset_X=0.0012\nSnapshot Path=/srv/snaps/\nUIMode=0\n"
              "m_default_lng=13.404954\nm_default_lat=-52.520008\nDisplayMode=1\n"
              "UnitOfSpeed=2\nm_dSoundAmplification=7\n"
              "SubtitleOnExport=0\n"
              "IncidentThresholdG=2.250000\nVolume=100\n");

    AppSettings loaded = DefaultSettings();
    LoadSettings(loaded, kFullHd);
    EXPECT_EQ(loaded.snapshotPath, "/srv/snaps/");
    EXPECT_EQ(loaded.uiMode, 0);
    EXPECT_EQ(loaded.pendingUiMode, 0);
    EXPECT_DOUBLE_EQ(loaded.defaultLongitude, 13.404954);
    EXPECT_DOUBLE_EQ(loaded.defaultLatitude, -52.520008);
    EXPECT_EQ(loaded.displayMode, 1);
    EXPECT_EQ(loaded.unitOfSpeed, 2);
    EXPECT_EQ(loaded.soundAmplification, 7);
    EXPECT_EQ(loaded.subtitleOnExport, 0);
    EXPECT_EQ(loaded.incidentThreshold, 2.25);
}

TEST_F(AppSettingsFile, AnIncidentThresholdThatIsNoPositiveNumberGivesTheDefault) {
    const std::pair<const char*, double> cases[] = {
        {"", kDefaultIncidentThreshold},
        {"IncidentThresholdG=0.8\n", 0.8},
        {"IncidentThresholdG=0\n", kDefaultIncidentThreshold},
        {"IncidentThresholdG=-2\n", kDefaultIncidentThreshold},
        {"IncidentThresholdG=lots\n", kDefaultIncidentThreshold},
        {"IncidentThresholdG=nan\n", kDefaultIncidentThreshold},
    };
    for (const auto& [line, expected] : cases) {
        WriteConfig(std::string("[Config]\n") + line);
        AppSettings settings = DefaultSettings();
        LoadSettings(settings, kFullHd);
        EXPECT_EQ(settings.incidentThreshold, expected) << line;
    }
}

// A number out of its range is replaced by the default at load, and what is saved reads back
// the same: no value wraps, overflows the text or turns into another in between.
TEST_F(AppSettingsFile, NumbersOutOfRangeGiveTheDefaultAndEveryValueRoundTrips) {
    struct Case {
        const char* line;
        const char* key;
        double loaded;
    };
    const auto value = [](const AppSettings& s, std::string_view key) -> double {
        if (key == "UnitOfSpeed")
            return s.unitOfSpeed;
        if (key == "DisplayMode")
            return s.displayMode;
        if (key == "m_dSoundAmplification")
            return s.soundAmplification;
        if (key == "m_default_lng")
            return s.defaultLongitude;
        if (key == "m_default_lat")
            return s.defaultLatitude;
        return s.incidentThreshold;
    };
    const Case cases[] = {
        {"IncidentThresholdG=1e308\n", "IncidentThresholdG", kDefaultIncidentThreshold},
        {"IncidentThresholdG=inf\n", "IncidentThresholdG", kDefaultIncidentThreshold},
        {"IncidentThresholdG=99.5\n", "IncidentThresholdG", 99.5},
        {"UnitOfSpeed=99999999999999999999\n", "UnitOfSpeed", 0},
        {"UnitOfSpeed=4294967298\n", "UnitOfSpeed", 0},
        {"UnitOfSpeed=2\n", "UnitOfSpeed", 2},
        {"DisplayMode=-1\n", "DisplayMode", 0},
        {"m_dSoundAmplification=0\n", "m_dSoundAmplification", 1},
        {"m_dSoundAmplification=10\n", "m_dSoundAmplification", 10},
        {"m_default_lng=1e300\n", "m_default_lng", kDefaultLongitude},
        {"m_default_lat=-90\n", "m_default_lat", -90.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        WriteConfig(std::string("[Config]\n") + c.line);
        AppSettings settings = DefaultSettings();
        LoadSettings(settings, kFullHd);
        EXPECT_DOUBLE_EQ(value(settings, c.key), c.loaded);
        ASSERT_TRUE(SaveSettings(settings));
        AppSettings again = DefaultSettings();
        LoadSettings(again, kFullHd);
        EXPECT_DOUBLE_EQ(value(again, c.key), c.loaded);
    }
}

TEST_F(AppSettingsFile, TheSubtitleSidecarStaysOnUnlessTheFileSaysAPlainZero) {
    const std::pair<const char*, int> cases[] = {
        {"", 1},
        {"SubtitleOnExport=0\n", 0},
        {"SubtitleOnExport= 0\n", 0},
        {"SubtitleOnExport=1\n", 1},
        {"SubtitleOnExport=off\n", 1},
        {"SubtitleOnExport=\n", 1},
    };
    for (const auto& [line, expected] : cases) {
        WriteConfig(std::string("[Config]\n") + line);
        AppSettings settings = DefaultSettings();
        LoadSettings(settings, kFullHd);
        EXPECT_EQ(settings.subtitleOnExport, expected) << line;
    }
}

TEST_F(AppSettingsFile, LoadTakesStoredValuesAsTheyStandExceptUnusableOnes) {
    WriteConfig(
        "[config]\nuimode=2\nm_dSoundAmplification=25\nSnapshot Path=C:\\Capture\\\n"
        "m_default_lng=  7.5 east\nm_default_lat=nan\nDisplayMode=x\n");
    AppSettings settings = DefaultSettings();
    const std::string defaultSnapshot = settings.snapshotPath;
    LoadSettings(settings, kLaptop);
    EXPECT_EQ(settings.uiMode, 1) << "a stored 2 on a 1280x800 screen";
    EXPECT_EQ(settings.soundAmplification, 1) << "25 is out of range: the default";
    EXPECT_EQ(settings.snapshotPath, defaultSnapshot) << "not a path of this system";
    EXPECT_DOUBLE_EQ(settings.defaultLongitude, 7.5);
    EXPECT_DOUBLE_EQ(settings.defaultLatitude, kDefaultLatitude);
    EXPECT_EQ(settings.displayMode, 0) << "text that is no number gives the default";
    EXPECT_EQ(settings.unitOfSpeed, 0);

    ASSERT_TRUE(SaveSettings(settings));
    EXPECT_EQ(ReadProfileInt(ConfigFile(), "Config", "UIMode", -1), 1);
}

TEST_F(AppSettingsFile, MissingFileGivesDefaultsAndSingleKeysWork) {
    AppSettings settings = DefaultSettings();
    LoadSettings(settings, kFullHd);
    EXPECT_EQ(settings.uiMode, 2) << "no key: the largest size that fits";
    EXPECT_EQ(settings.defaultLatitude, kDefaultLatitude);
    EXPECT_EQ(ReadConfigString(settings, "Snapshot Path", "dflt"), "dflt");
    EXPECT_TRUE(GpsOffsetAutoEnabled(settings));

    ASSERT_TRUE(WriteConfigInt(settings, "GPS_Offset_Auto", 2));
    EXPECT_FALSE(GpsOffsetAutoEnabled(settings)) << "only exactly 1 loads the table";
    EXPECT_EQ(ReadConfigInt(settings, "gps_offset_auto", 9), 2);

    settings.pendingLanguage = FindLanguage("de_DE");
    ASSERT_TRUE(SaveLanguage(settings));
    EXPECT_EQ(settings.activeLanguage, FindLanguage("de_DE"));
    EXPECT_EQ(ReadConfigString(settings, "Language File", ""), "de_DE");
}

TEST_F(AppSettingsFile, UnwritableConfigFolderKeepsSettingsInMemory) {
    AppSettings settings = DefaultSettings();
    const fs::path blocker = folder_.path() / "blocker";
    std::ofstream(blocker) << "a file where a folder should be";
    settings.configFile = blocker / "velmaro" / "Config.ini";
    settings.pendingUiMode = 1;
    settings.unitOfSpeed = 2;
    EXPECT_FALSE(SaveSettings(settings));
    EXPECT_FALSE(WriteConfigInt(settings, "UIMode", 1));
    EXPECT_EQ(settings.uiMode, 1);
    EXPECT_EQ(settings.unitOfSpeed, 2);
    EXPECT_EQ(test::ReadText(blocker), "a file where a folder should be");

    // A Config.ini that cannot be read is never replaced by one holding only our keys.
    fs::create_directories(ConfigFile().parent_path());
    ASSERT_EQ(::mkfifo(ConfigFile().c_str(), 0600), 0);
    settings.configFile = ConfigFile();
    EXPECT_FALSE(SaveSettings(settings));
    EXPECT_FALSE(fs::is_regular_file(ConfigFile()));
}

// Other receivers' sentences only when the user wrote exactly 1; saving leaves the key as written.
TEST_F(AppSettingsFile, OtherGpsReceiversAreOnlyTakenWhenTheKeyIsOne) {
    const std::pair<const char*, bool> cases[] = {{"", false},
                                                  {"GPS_Other_Receivers=0\n", false},
                                                  {"gps_other_receivers=1\n", true},
                                                  {"GPS_Other_Receivers=yes\n", false},
                                                  {"GPS_Other_Receivers=2\n", false}};
    for (const auto& [line, on] : cases) {
        SCOPED_TRACE(line);
        WriteConfig(std::string("[Config]\n") + line);
        AppSettings settings = DefaultSettings();
        EXPECT_FALSE(settings.gpsOtherReceivers);
        LoadSettings(settings, kFullHd);
        EXPECT_EQ(settings.gpsOtherReceivers, on);
        ASSERT_TRUE(SaveSettings(settings));
        if (on) {
            EXPECT_EQ(ReadProfileInt(ConfigFile(), "Config", "GPS_Other_Receivers", -1), 1);
        }
    }
}

// The player's own volume: kept as written when usable, limited to 0..100 when not, written at
// once when the slider moves; the master-volume switch only for exactly 1.
TEST_F(AppSettingsFile, ThePlayersVolumeAndTheMasterVolumeSwitchRoundTrip) {
    struct Case {
        const char* lines;
        int volume;
        bool system;
    };
    const Case cases[] = {{"", 100, false},
                          {"Volume=35\n", 35, false},
                          {"Volume=0\n", 0, false},
                          {"Volume=250\n", 100, false},
                          {"Volume=-4\n", 100, false},
                          {"Volume=loud\n", 100, false},
                          {"Volume=60\nVolumeControlsSystem=1\n", 60, true},
                          {"VolumeControlsSystem=0\n", 100, false},
                          {"VolumeControlsSystem=yes\n", 100, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lines);
        WriteConfig(std::string("[Config]\n") + c.lines);
        AppSettings settings = DefaultSettings();
        LoadSettings(settings, kFullHd);
        EXPECT_EQ(settings.volume, c.volume);
        EXPECT_EQ(settings.volumeControlsSystem, c.system);
        ASSERT_TRUE(SaveSettings(settings));
        AppSettings again = DefaultSettings();
        LoadSettings(again, kFullHd);
        EXPECT_EQ(again.volume, c.volume);
        EXPECT_EQ(again.volumeControlsSystem, c.system) << "saving keeps the switch as written";
    }
    AppSettings settings = DefaultSettings();
    ASSERT_TRUE(SaveVolume(settings, 42));
    EXPECT_EQ(ReadProfileInt(ConfigFile(), "Config", "Volume", -1), 42);
    ASSERT_TRUE(SaveVolume(settings, 140));
    EXPECT_EQ(settings.volume, 100);
    EXPECT_EQ(ReadProfileInt(ConfigFile(), "Config", "Volume", -1), 100);
}

}  // namespace
}  // namespace velmaro
