// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The languages the player knows and the lookup of user-visible texts. Every fixed text is
// written in English where it is used and passed through GetLanguageString: the English text
// is the key into Language/<stem>.ini (section "Language String") and the fallback.
#pragma once

#include <array>
#include <cstddef>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>

namespace velmaro {

struct AppSettings;

inline constexpr std::string_view kLanguageSection = "Language String";
inline constexpr size_t kLanguageCount = 40;
inline constexpr int kEnglishLanguage = 0;

struct LanguageEntry {
    int present = 0;               // 1 when Language/<stem>.ini was found at start-up
    std::string_view stem;         // file stem and the value of "Language File"
    std::string_view displayName;  // shown in the preferences dialog
};

// The stem of a row, empty for an index outside the table.
std::string_view LanguageStem(int index);
// Row of a stem (compared case-sensitively), -1 when the table has none.
int FindLanguage(std::string_view stem);

class LanguageTable {
  public:
    LanguageTable();  // English present, every other row absent

    size_t size() const { return rows_.size(); }
    const LanguageEntry& operator[](size_t index) const { return rows_[index]; }

    // Marks the rows whose file is in `folder` (exact, case-sensitive file names) and returns
    // the row to make active: `active` unless it is still English and `wantedStem` has a file.
    int Scan(const std::filesystem::path& folder, std::string_view wantedStem, int active);
    const std::filesystem::path& Folder() const { return folder_; }

    // The translation of `key` in row `language`, read fresh from its file; its English text
    // (the key itself unless the text changed since the key was named) when
    // the row is English, absent, or its file lacks the key.
    std::string Lookup(int language, std::string_view key) const;

  private:
    std::array<LanguageEntry, kLanguageCount> rows_;
    std::filesystem::path folder_;
};

// The process-wide table.
LanguageTable& Languages();

// The translation of `key` in the active language of Settings().
std::string GetLanguageString(std::string_view key);

// The stem for a locale name ("de_DE.UTF-8", "zh_CN", "pt-BR", "C"): only the language and
// territory pairs the player has always recognised map to their stem, everything else to
// "en_US".
std::string_view SystemLanguageStem(std::string_view localeName);
// The locale that messages are shown in: LC_ALL, else LC_MESSAGES, else LANG.
std::string SystemLocaleName();

// The start-up choice: "Language File" from Config.ini (else the system language) becomes
// active if its file exists in `languageFolder`; sets activeLanguage and pendingLanguage.
void ChooseLanguage(AppSettings& settings, LanguageTable& table,
                    const std::filesystem::path& languageFolder, std::string_view localeName);
// The same for the process: Settings(), Languages(), DataPath("Language"), SystemLocaleName().
void ChooseLanguage();

// Every English text the player passes to GetLanguageString: the vocabulary of a language
// file.
std::span<const std::string_view> LanguageVocabulary();

}  // namespace velmaro
