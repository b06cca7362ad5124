// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/language_table.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/app_settings.h"
#include "platform/ini_file.h"
#include "tests/test_support.h"

namespace velmaro {
namespace {

namespace fs = std::filesystem;

const fs::path kShippedLanguages =
    (fs::path(__FILE__).parent_path() / "../../resources/Language").lexically_normal();

// Lines of a UTF-8 source file under resources/Language/source, comments skipped.
std::vector<std::string> SourceLines(const fs::path& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.front() != '#') {
            lines.push_back(line);
        }
    }
    return lines;
}

// A Language folder with the given files, a Config.ini in a temp XDG_CONFIG_HOME, and a
// settings record pointing at it.
class LanguageFixture : public ::testing::Test {
  protected:
    LanguageFixture() {
        fs::create_directories(Folder());
        settings_.configFile = root_.path() / "Config.ini";
    }
    fs::path Folder() const { return root_.path() / "Language"; }
    void AddFile(const std::string& name, const std::string& text = "[Language String]\n") const {
        test::WriteText(Folder() / name, text);
    }
    void Choose(const std::string& locale) { ChooseLanguage(settings_, table_, Folder(), locale); }

    test::TempDir root_;
    AppSettings settings_;
    LanguageTable table_;
};

TEST(LanguageTableRows, FortyRowsWithUniqueStemsAndOnlyEnglishPresent) {
    const LanguageTable table;
    ASSERT_EQ(table.size(), 40u);
    std::set<std::string_view> stems;
    for (size_t i = 0; i < table.size(); ++i) {
        EXPECT_EQ(table[i].present, i == 0 ? 1 : 0);
        EXPECT_FALSE(table[i].displayName.empty());
        stems.insert(table[i].stem);
        EXPECT_EQ(FindLanguage(table[i].stem), static_cast<int>(i));
    }
    EXPECT_EQ(stems.size(), 40u);
    EXPECT_EQ(table[0].stem, "en_US");
    EXPECT_EQ(table[8].stem, "de_DE");
    EXPECT_EQ(table[39].stem, "vi_VN");
    EXPECT_EQ(LanguageStem(40), "");
    EXPECT_EQ(LanguageStem(-1), "");
    EXPECT_EQ(FindLanguage("DE_de"), -1);
}

TEST(LanguageTableRows, SystemLocaleMapsOnlyTheRecognisedPairs) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"de_DE.UTF-8", "de_DE"}, {"de_AT.UTF-8", "en_US"},
        {"es_ES@euro", "es_ES"},  {"es_MX", "en_US"},
        {"zh_CN", "zh_CN"},       {"zh_TW.Big5", "zh_TW"},
        {"zh-Hant-TW", "zh_TW"},  {"zh_HK", "en_US"},
        {"ja_JP", "jp_JP"},       {"cs_CZ", "cz_CZ"},
        {"ru", "ru_RU"},          {"pt_BR", "en_US"},
        {"fr_FR", "fr_FR"},       {"lt_LT", "lt_LT"},
        {"C", "en_US"},           {"", "en_US"},
        {"POSIX", "en_US"},       {"it-it", "it_IT"}};
    for (const auto& [locale, stem] : cases) {
        EXPECT_EQ(SystemLanguageStem(locale), stem) << locale;
    }
}

TEST_F(LanguageFixture, WantedLanguageBecomesActiveOnlyWithItsFile) {
    Choose("fr_FR.UTF-8");
    EXPECT_EQ(settings_.activeLanguage, kEnglishLanguage) << "no Language files at all";

    AddFile("DE_de.ini");
    AddFile("fr_FR.ini");
    AddFile("notes.txt");
    fs::create_directory(Folder() / "it_IT.ini");
    ASSERT_EQ(WriteProfileString(settings_.configFile, "Config", "Language File", "de_DE"),
              IniStatus::kOk);
    Choose("fr_FR.UTF-8");
    EXPECT_EQ(settings_.activeLanguage, kEnglishLanguage) << "de_DE wanted, but DE_de.ini differs";
    EXPECT_EQ(table_[FindLanguage("fr_FR")].present, 1) << "other files still mark their rows";
    EXPECT_EQ(table_[FindLanguage("de_DE")].present, 0);
    EXPECT_EQ(table_[FindLanguage("it_IT")].present, 0) << "a directory is no language file";

    AddFile("de_DE.ini");
    Choose("fr_FR.UTF-8");
    EXPECT_EQ(settings_.activeLanguage, FindLanguage("de_DE"));
    EXPECT_EQ(settings_.pendingLanguage, settings_.activeLanguage);
}

TEST_F(LanguageFixture, EmptyLanguageFileFollowsTheSystemAndIsNotWrittenBack) {
    ASSERT_EQ(WriteProfileString(settings_.configFile, "Config", "Language File", ""),
              IniStatus::kOk);
    Choose("es_ES.UTF-8");
    EXPECT_EQ(settings_.activeLanguage, kEnglishLanguage) << "es_ES.ini does not exist";

    AddFile("es_ES.ini");
    Choose("es_ES.UTF-8");
    EXPECT_EQ(settings_.activeLanguage, FindLanguage("es_ES"));
    EXPECT_EQ(ReadProfileString(settings_.configFile, "Config", "Language File", "?"), "");
}

TEST_F(LanguageFixture, LookupReadsTheActiveFileAndFallsBackToTheKey) {
    AddFile("de_DE.ini",
            "[Language String]\nPlay=Wiedergabe\nTip=\nLong=" + std::string(300, 'x') + "\n");
    ASSERT_EQ(WriteProfileString(settings_.configFile, "Config", "Language File", "de_DE"),
              IniStatus::kOk);
    Choose("C");
    const int german = settings_.activeLanguage;
    ASSERT_EQ(german, FindLanguage("de_DE"));
    EXPECT_EQ(table_.Lookup(german, "Play"), "Wiedergabe");
    EXPECT_EQ(table_.Lookup(german, "Stop"), "Stop") << "a missing key shows in English";
    EXPECT_EQ(table_.Lookup(german, "Tip"), "") << "an empty translation stays empty";
    EXPECT_EQ(table_.Lookup(german, "Long"), std::string(kProfileValueLimit, 'x'));
    EXPECT_EQ(table_.Lookup(kEnglishLanguage, "Play"), "Play");
    EXPECT_EQ(table_.Lookup(FindLanguage("fr_FR"), "Play"), "Play") << "row without a file";
    EXPECT_EQ(table_.Lookup(99, "Play"), "Play");

    fs::remove(Folder() / "de_DE.ini");
    EXPECT_EQ(table_.Lookup(german, "Play"), "Play") << "read at every lookup";
}

// The map is no longer that service's: its button says "Map", in English too, while the key
// stays what stored language files use.
TEST_F(LanguageFixture, RenamedMapKeyReadsMapInEnglishAndWhereAFileLacksIt) {
    AddFile("de_DE.ini", "[Language String]\nPlay=Wiedergabe\n");
    ASSERT_EQ(WriteProfileString(settings_.configFile, "Config", "Language File", "de_DE"),
              IniStatus::kOk);
    Choose("C");
    EXPECT_EQ(table_.Lookup(kEnglishLanguage, "Google Map"), "Map");
    EXPECT_EQ(table_.Lookup(settings_.activeLanguage, "Google Map"), "Map");
    AddFile("de_DE.ini", "[Language String]\nGoogle Map=Karte\n");
    EXPECT_EQ(table_.Lookup(settings_.activeLanguage, "Google Map"), "Karte");
}

TEST(ShippedLanguageFiles, EachIsUtf16AndTranslatesTheWholeVocabulary) {
    ASSERT_TRUE(fs::is_directory(kShippedLanguages / "source")) << kShippedLanguages;
    const std::span<const std::string_view> vocabulary = LanguageVocabulary();
    const std::vector<std::string> listed =
        SourceLines(kShippedLanguages / "source/vocabulary.txt");
    ASSERT_EQ(std::vector<std::string>(vocabulary.begin(), vocabulary.end()), listed);

    std::set<std::string> shipped;
    for (const fs::directory_entry& entry : fs::directory_iterator(kShippedLanguages)) {
        if (!entry.is_regular_file() || entry.path().extension() != ".ini") {
            continue;
        }
        const std::string stem = entry.path().stem().string();
        SCOPED_TRACE(stem);
        shipped.insert(stem);
        EXPECT_GE(FindLanguage(stem), 0) << "file name is no stem of the table";

        const std::string bytes = test::ReadText(entry.path());
        EXPECT_TRUE(bytes.starts_with("\xFF\xFE")) << "UTF-16LE with BOM";
        EXPECT_NE(bytes.find(std::string("\r\0\n\0", 4)), std::string::npos) << "CRLF lines";

        IniFile file;
        ASSERT_EQ(file.Load(entry.path()), IniStatus::kOk);
        EXPECT_EQ(file.KeyNames(kLanguageSection).size(), vocabulary.size()) << "no extra keys";
        for (const std::string& line :
             SourceLines(kShippedLanguages / "source" / (stem + ".txt"))) {
            const size_t tab = line.find('\t');
            ASSERT_NE(tab, std::string::npos) << line;
            const std::string key = line.substr(0, tab);
            EXPECT_EQ(file.GetString(kLanguageSection, key, ""), line.substr(tab + 1))
                << "file out of date with its source: " << key;
        }
        for (const std::string_view key : vocabulary) {
            const std::string text = file.GetString(kLanguageSection, key, "");
            EXPECT_FALSE(text.empty()) << key;
            if (key.ends_with(':')) {
                EXPECT_TRUE(text.ends_with(':')) << key << " -> " << text;
            }
            for (const std::string_view literal : {"1280*800", "1920*1080"}) {
                if (key.find(literal) != std::string_view::npos) {
                    EXPECT_NE(text.find(literal), std::string::npos) << key << " -> " << text;
                }
            }
        }
    }
    for (const std::string required : {"de_DE", "fr_FR", "es_ES", "ru_RU", "zh_CN"}) {
        EXPECT_TRUE(shipped.contains(required)) << required;
    }
}

}  // namespace
}  // namespace velmaro
