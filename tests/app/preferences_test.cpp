// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/preferences.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "app/language_table.h"
#include "platform/ini_file.h"
#include "tests/test_support.h"

namespace velmaro {
namespace {

namespace fs = std::filesystem;

struct UiModeCase {
    ScreenSize screen;
    int choice;
    int selection;
    std::string_view message;
};

TEST(PreferencesUiMode, ChoicesTheScreenCannotHoldFallBackWithTheReason) {
    const UiModeCase cases[] = {
        {{1366, 768}, 1, 0, kScreenBelow1280x800},
        {{1366, 768}, 2, 0, kScreenBelow1280x800},
        {{1366, 768}, 0, 0, {}},
        {{1600, 900}, 2, 1, kScreenBelow1920x1080},
        {{1600, 900}, 1, 1, {}},
        {{1280, 800}, 1, 1, {}},
        {{1920, 1079}, 2, 1, kScreenBelow1920x1080},
        {{1279, 1200}, 1, 0, kScreenBelow1280x800},
        {{1920, 1080}, 2, 2, {}},
        {{2560, 1440}, 2, 2, {}},
        {{0, 0}, 2, 0, kScreenBelow1280x800},  // no screen known
    };
    for (const UiModeCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.screen.width) + "x" + std::to_string(c.screen.height) +
                     " choice " + std::to_string(c.choice));
        const UiModeCheck check = CheckUiModeChoice(c.choice, c.screen);
        EXPECT_EQ(check.selection, c.selection);
        EXPECT_EQ(check.message, c.message);
    }
}

TEST(PreferencesLists, StoredValuesOutsideTheirListsSelectTheNearestEntry) {
    EXPECT_EQ(AmplificationSelection(1), 0);
    EXPECT_EQ(AmplificationSelection(10), 9);
    EXPECT_EQ(AmplificationSelection(25), 9) << "Config.ini is read without clamping";
    EXPECT_EQ(AmplificationSelection(0), 0);
    EXPECT_EQ(AmplificationFactor(9), 10);
    EXPECT_EQ(AmplificationFactor(-1), 1) << "no entry selected never means silence";
    EXPECT_EQ(ChoiceSelection(7, kSpeedUnitChoices), 2);
    EXPECT_EQ(ChoiceSelection(-3, kDisplayModeChoices), 0);
}

TEST(PreferencesSnapshotFolder, TypedTextBecomesAnAbsoluteFolderOrNothing) {
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"/srv/shots", "/srv/shots/"},
        {"  /srv/my shots/  ", "/srv/my shots/"},
        {"~", "/home/ann/"},
        {"~/Bilder", "/home/ann/Bilder/"},
        {"/", "/"},
        {"", ""},
        {"   ", ""},
        {"shots", ""},
        {"C:\\Capture\\", ""},
        {"~ann/x", ""},
    };
    for (const auto& [text, folder] : cases) {
        EXPECT_EQ(SnapshotFolderFromText(text, "/home/ann"), folder) << "'" << text << "'";
    }
}

// A settings record whose Config.ini lies in a temp folder.
class PreferencesApply : public ::testing::Test {
  protected:
    PreferencesApply() {
        settings.configFile = dir.path() / "velmaro" / "Config.ini";
        settings.snapshotPath = "/old/shots/";
        settings.uiMode = settings.pendingUiMode = kUiMode1280x800;
        settings.soundAmplification = 3;
    }
    // The dialog confirmed with what it shows for `settings`.
    PreferenceChoices Unchanged() const {
        PreferenceChoices c;
        c.uiMode = UiModeSelection(settings);
        c.displayMode = settings.displayMode;
        c.unitOfSpeed = settings.unitOfSpeed;
        c.amplification = AmplificationSelection(settings.soundAmplification);
        c.language = settings.pendingLanguage;
        return c;
    }
    std::string Config() const { return test::ReadText(settings.configFile); }

    test::TempDir dir;
    AppSettings settings;
};

TEST_F(PreferencesApply, OkStoresTheChoicesAndOnlyTheLanguageReachesTheFileAtOnce) {
    PreferenceChoices c = Unchanged();
    c.snapshotFolder = "/new/shots/";
    c.displayMode = 1;
    c.unitOfSpeed = 2;
    c.amplification = 9;
    c.language = FindLanguage("de_DE");
    const PreferencesOutcome outcome = ApplyPreferences(settings, c);
    EXPECT_FALSE(outcome.restartNeeded);
    EXPECT_TRUE(outcome.languageStored);
    EXPECT_EQ(settings.snapshotPath, "/new/shots/");
    EXPECT_EQ(settings.displayMode, 1);
    EXPECT_EQ(settings.unitOfSpeed, 2);
    EXPECT_EQ(settings.soundAmplification, 10) << "1000 % is factor 10";
    EXPECT_EQ(settings.activeLanguage, FindLanguage("de_DE"));
    EXPECT_EQ(settings.pendingUiMode, kUiMode1280x800);
    EXPECT_EQ(Config(), "[Config]\nLanguage File=de_DE\n");

    c.snapshotFolder.clear();  // a typed text that is no absolute folder
    ApplyPreferences(settings, c);
    EXPECT_EQ(settings.snapshotPath, "/new/shots/");
}

TEST_F(PreferencesApply, OnlyASizeOtherThanThisRunsAsksForARestart) {
    PreferenceChoices c = Unchanged();
    EXPECT_FALSE(ApplyPreferences(settings, c).restartNeeded);
    EXPECT_EQ(settings.pendingUiMode, kUiMode1280x800);

    c.uiMode = kUiMode960x600;
    EXPECT_TRUE(ApplyPreferences(settings, c).restartNeeded);
    EXPECT_EQ(settings.pendingUiMode, kUiMode960x600);
    EXPECT_EQ(settings.uiMode, kUiMode1280x800) << "the size of this run stays";

    // Opened again, the dialog shows the size of the next start; OK unchanged keeps it.
    EXPECT_EQ(UiModeSelection(settings), kUiMode960x600);
    EXPECT_FALSE(ApplyPreferences(settings, Unchanged()).restartNeeded);
    EXPECT_EQ(settings.pendingUiMode, kUiMode960x600);

    c.uiMode = kUiMode1280x800;  // back to the size in use
    EXPECT_FALSE(ApplyPreferences(settings, c).restartNeeded);
    EXPECT_EQ(settings.pendingUiMode, kUiMode1280x800);
}

// Config.ini is shared with the user's editor and other versions: a rewrite changes our lines
// only, whatever else the file holds and however its lines end.
TEST_F(PreferencesApply, ConfigFileKeepsEverythingItDidNotWrite) {
    const std::string foreign =
        "; written by hand\r\n[Window]\r\nLeft=12\r\n\r\n[Config]\r\n"
        "Language File=en_US\r\n# a note\r\nGPS_Offset_X=0.0012\r\nFuture Key=  spaced  \r\n"
        "[Plugins]\r\nmap=osm\r\n";
    fs::create_directories(settings.configFile.parent_path());
    test::WriteText(settings.configFile, foreign);

    PreferenceChoices c = Unchanged();
    c.language = FindLanguage("fr_FR");
    c.amplification = 4;
    ApplyPreferences(settings, c);
    std::string expected = foreign;
    expected.replace(expected.find("en_US"), 5, "fr_FR");
    EXPECT_EQ(Config(), expected);

    ASSERT_TRUE(SaveSettings(settings));
    expected.insert(expected.find("[Plugins]"),
                    "Snapshot Path=/old/shots/\r\nUIMode=1\r\nm_default_lng=120.528903\r\n"
                    "m_default_lat=24.077715\r\nDisplayMode=0\r\nUnitOfSpeed=0\r\n"
                    "m_dSoundAmplification=5\r\nSubtitleOnExport=1\r\n"
                    "IncidentThresholdG=1.500000\r\nVolume=100\r\n");
    EXPECT_EQ(Config(), expected);
}

TEST_F(PreferencesApply, ALanguageThatCouldNotBeWrittenIsWrittenAtExit) {
    const fs::path folder = settings.configFile.parent_path();
    test::WriteText(folder, "a file where the folder should be");
    PreferenceChoices c = Unchanged();
    c.language = FindLanguage("it_IT");
    EXPECT_FALSE(ApplyPreferences(settings, c).languageStored);
    EXPECT_EQ(settings.activeLanguage, FindLanguage("it_IT")) << "in use for this run anyway";
    EXPECT_FALSE(SaveSettings(settings));

    fs::remove(folder);  // the folder became writable before the player ended
    ASSERT_TRUE(SaveSettings(settings));
    EXPECT_EQ(ReadProfileString(settings.configFile, "Config", "Language File", ""), "it_IT");

    // Once stored, exits leave a language changed by hand in the file alone.
    ASSERT_EQ(WriteProfileString(settings.configFile, "Config", "Language File", "ru_RU"),
              IniStatus::kOk);
    ASSERT_TRUE(SaveSettings(settings));
    EXPECT_EQ(ReadProfileString(settings.configFile, "Config", "Language File", ""), "ru_RU");
}

}  // namespace
}  // namespace velmaro
