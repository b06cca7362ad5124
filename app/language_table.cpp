// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/language_table.h"

#include <cstdlib>
#include <optional>
#include <system_error>

#include "app/app_settings.h"
#include "platform/ini_file.h"

namespace velmaro {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kLanguageFileExtension = ".ini";
constexpr std::string_view kLanguageFolder = "Language";
constexpr std::string_view kFallbackStem = "en_US";

struct LanguageRow {
    std::string_view stem;
    std::string_view displayName;
};

// Stems are file names that cameras have shipped for years ("cz_CZ", "jp_JP", "ua_UA"): they
// are kept exactly, whatever the standard codes are.
constexpr std::array<LanguageRow, kLanguageCount> kLanguageRows{{
    {"en_US", "English (English)"},
    {"zh_CN", "简体中文 (SimplifiedChinese)"},
    {"ar_AE", "Arabic (UAE)"},
    {"ba_BA", "Basque"},
    {"bg_BG", "Bulgarian"},
    {"ca_ES", "Catalan"},
    {"cz_CZ", "Czech"},
    {"da_DK", "Danish"},
    {"de_DE", "German (Germany)"},
    {"el_GR", "Greek"},
    {"es_ES", "Spanish (Castilian)"},
    {"es_AS", "Asturian"},
    {"et_EE", "Estonian"},
    {"fi_FI", "Finnish"},
    {"fr_FR", "French (France)"},
    {"fr_BR", "French (Breton)"},
    {"gl_ES", "Galician"},
    {"he_IL", "Hebrew"},
    {"hu_HU", "Hungarian"},
    {"it_IT", "Italian (Italy)"},
    {"jp_JP", "Japanese"},
    {"ko_KR", "Korean"},
    {"lt_LT", "Lithuanian"},
    {"lv_LV", "Latvian"},
    {"mt_MT", "Maltese"},
    {"nb_NO", "Norwegian (Bokmal)"},
    {"nn_NO", "Norwegian (Nynorsk)"},
    {"nl_NL", "Dutch (Netherlands)"},
    {"pl_PL", "Polish"},
    {"pt_BR", "Portuguese (Brazil)"},
    {"pt_PT", "Portuguese (Portugal)"},
    {"ro_RO", "Rumänisch"},
    {"ru_RU", "Russian"},
    {"sl_SI", "Slovenian"},
    {"sq_AL", "Albanian (Albania)"},
    {"sv_SE", "Swedish"},
    {"tr_TR", "Turkish"},
    {"ua_UA", "Ukrainian"},
    {"zh_TW", "繁體中文 (TraditionalChinese)"},
    {"vi_VN", "Vietnamese"},
}};

// The system languages the player recognises: exactly these language and territory pairs.
// A locale without a territory counts as the first pair of its language.
struct SystemLanguage {
    std::string_view language;
    std::string_view territory;
    std::string_view stem;
};

constexpr std::array<SystemLanguage, 12> kSystemLanguages{{
    {"zh", "CN", "zh_CN"},
    {"zh", "TW", "zh_TW"},
    {"cs", "CZ", "cz_CZ"},
    {"de", "DE", "de_DE"},
    {"el", "GR", "el_GR"},
    {"es", "ES", "es_ES"},
    {"fr", "FR", "fr_FR"},
    {"hu", "HU", "hu_HU"},
    {"it", "IT", "it_IT"},
    {"ja", "JP", "jp_JP"},
    {"ru", "RU", "ru_RU"},
    {"lt", "LT", "lt_LT"},
}};

constexpr std::string_view kVocabulary[] = {
    // play control panel: tooltips, open menu, messages
    "PrevFile", "NextFile", "Config", "Google Map", "Pause", "Open", "NextFrame", "SnapShot",
    "Stop", "Play", "BackWardPlay", "PreFrame", "Speed", "Volume", "Save The Playing File",
    "Mark In", "Mark Out", "Backup", "SD Card Setup", "Open SD Card", "Open File",
    "Record SD Card Not Find", "Finish Backup",
    // preferences dialog
    "Version", "Snapshot Path", "Language", "OK", "UIMode", "Display Mode", "Unit Of Speed",
    "Sound Amplification", "Browse", "Cancel", "UI has been modified, please restart the program",
    "Screen Resolution is Less than 1280*800", "Screen Resolution is Less than 1920*1080",
    // card setup dialog
    "SD Card", "SD Card:", "Set SD Card", "Setup", "Camera", "Record", "Set", "Default", "Format",
    "Clear", "Language:", "Time_Zone:", "Data_Time:", "Set_Time",
    "Set_Time:", "TV_Standard:", "Frequency:", "White_Balance:", "Effect:", "Sensor_SEN:", "MIC:",
    "Unit Of Speed:", "REC_Quality:", "REC_Resolution:", "REC_G-Sensor_SEN:", "CAP_Resolution:",
    "CAP_Mode:", "CAP_Period:", "CAP_G-Sensor_SEN:", "Save Error", "Save Success", "Tip",
    "Are you sure to default the settings?", "Are you sure to Format it?",
    "Are you sure to Clear it?", "Clear Fail", "Clear Success", "Choose the camera card",
    "Erase all %1 files (%2) on %3?", "All %1 files (%2) on %3 will be lost. Format it?",
    // play control panel: track export in the open menu
    "Export Track", "This Recording", "Marked Stretch", "This Day",
    // card setup: what became of a format or a clear
    "Format Success", "Format Fail",
    "The card is no longer mounted: take it out and insert it again",
    "The disk service (UDisks2) is not available", "Not authorised to format this card",
    "The card is busy: close the files open on it and try again", "No card is mounted there",
    "Only a removable card can be formatted", "No card is chosen",
    "Only a removable card can be cleared", "The card is no longer there",
    "The card's folder is a link to another place", "The system's root folder cannot be cleared",
    "A folder of the running system cannot be cleared", "The home folder cannot be cleared",
    "Entries left on the card:",
    // map: a tile source from Config.ini that cannot be used
    "The tile address in %1 cannot be used; the map shows its default tiles",
    // main window: the camera clock against GPS time
    "camera clock is %s behind GPS time", "camera clock is %s ahead of GPS time",
    "Show times by GPS", "Show camera times",
    // main window: what playback had to leave out
    "Pictures left out to keep up: %1", "Pictures too large to play: %1",
    // clip export
    "Leave out the sound (cabin conversations)", "Stop the clip being written?",
    // main window
    "Insert the camera's card, or open a recording: Ctrl+O",
    // preferences
    "The snapshot folder must be a full path, such as ~/Pictures/Velmaro",
    // play control panel: tooltips
    "Sound on", "Sound off", "Position", "mouse wheel",
    // main window: the time strip
    "Playing", "Paused", "Backward", "Time of the picture",
    // main window: keys
    "Play or pause", "Jump forward", "Jump back", "Faster", "Slower", "Loop the marked stretch",
    "Sound on or off", "Full screen", "Quit", "This list of keys", "Keys", "A-B loop",
    "Mark the stretch to loop first: I at its start, O at its end", "Back into the window",
    // clip export: the subtitle sidecar
    "Something other than a file stands where the subtitles would go:",
    "The clip's subtitle file exists already. Replace it?",
    // main window: names a screen reader speaks
    "Close", "Minimise", "Maximise", "Calendar", "Hours", "Minutes", "recorded", "no recording",
    "flagged", "Dashboard", "Heading", "Year", "Month"};

// English texts that differ from their keys: the key stays as language files have always
// spelled it, the user reads the current text.
struct EnglishText {
    std::string_view key;
    std::string_view text;
};
constexpr EnglishText kEnglishTexts[] = {
    {"Google Map", "Map"},  // the map is not that service's any more
    {"PrevFile", "Previous file"},
    {"NextFile", "Next file"},
    {"Config", "Preferences"},
    {"NextFrame", "Next frame"},
    {"SnapShot", "Snapshot"},
    {"BackWardPlay", "Play backward"},
    {"PreFrame", "Previous frame"},
    {"Save The Playing File", "Save the playing file"},
    {"Mark In", "Mark in"},
    {"Mark Out", "Mark out"},
    {"Backup", "Export clip"},
    {"SD Card Setup", "Camera card setup"},
    {"Open SD Card", "Open camera card"},
    {"Record SD Card Not Find", "No camera card found"},
    {"Finish Backup", "saved"},  // after the file's name
    {"UIMode", "Window size"},
    {"Display Mode", "Picture conversion"},
    {"Unit Of Speed", "Speed unit"},
    // card setup: the camera's settings, keyed by how its settings file has always named them
    {"SD Card", "Camera card"},
    {"SD Card:", "Camera card:"},
    {"Set SD Card", "Card actions"},
    {"Record", "Recording"},
    {"Camera", "Photos"},
    {"Language:", "Camera language:"},
    {"Time_Zone:", "Time zone:"},
    {"Data_Time:", "Date and time:"},
    {"Set_Time", "Set time"},
    {"Set_Time:", "Camera clock:"},
    {"TV_Standard:", "TV standard:"},
    {"Frequency:", "Mains frequency:"},
    {"White_Balance:", "White balance:"},
    {"Effect:", "Colour effect:"},
    {"Sensor_SEN:", "Light sensitivity:"},
    {"MIC:", "Microphone:"},
    {"Unit Of Speed:", "Speed unit:"},
    {"REC_Quality:", "Quality:"},
    {"REC_Resolution:", "Resolution:"},
    {"REC_G-Sensor_SEN:", "G-sensor sensitivity:"},
    {"CAP_Resolution:", "Photo resolution:"},
    {"CAP_Mode:", "Photo mode:"},
    {"CAP_Period:", "Photo interval:"},
    {"CAP_G-Sensor_SEN:", "Photo G-sensor sensitivity:"},
};

std::string English(std::string_view key) {
    for (const EnglishText& entry : kEnglishTexts) {
        if (entry.key == key) {
            return std::string(entry.text);
        }
    }
    return std::string(key);
}

char AsciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
char AsciiUpper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool IsAsciiLetters(std::string_view text) {
    for (const char c : text) {
        if (AsciiLower(c) < 'a' || AsciiLower(c) > 'z') {
            return false;
        }
    }
    return !text.empty();
}

struct LocaleParts {
    std::string language;   // lower case
    std::string territory;  // upper case, empty when the name has none
};

// "de_DE.UTF-8@euro", "pt-BR", "zh_Hant_TW": language first, a two-letter territory later;
// script subtags, encodings and modifiers are ignored.
LocaleParts SplitLocaleName(std::string_view name) {
    name = name.substr(0, name.find_first_of(".@"));
    LocaleParts parts;
    bool first = true;
    while (!name.empty()) {
        const size_t separator = name.find_first_of("_-");
        const std::string_view piece = name.substr(0, separator);
        if (first) {
            for (const char c : piece) {
                parts.language += AsciiLower(c);
            }
        } else if (piece.size() == 2 && IsAsciiLetters(piece) && parts.territory.empty()) {
            parts.territory = {AsciiUpper(piece[0]), AsciiUpper(piece[1])};
        }
        first = false;
        name =
            separator == std::string_view::npos ? std::string_view() : name.substr(separator + 1);
    }
    return parts;
}

std::string LanguageFileName(std::string_view stem) {
    return std::string(stem) + std::string(kLanguageFileExtension);
}

}  // namespace

std::string_view LanguageStem(int index) {
    if (index < 0 || static_cast<size_t>(index) >= kLanguageRows.size()) {
        return {};
    }
    return kLanguageRows[static_cast<size_t>(index)].stem;
}

int FindLanguage(std::string_view stem) {
    for (size_t i = 0; i < kLanguageRows.size(); ++i) {
        if (kLanguageRows[i].stem == stem) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

LanguageTable::LanguageTable() {
    for (size_t i = 0; i < kLanguageRows.size(); ++i) {
        rows_[i] = {i == kEnglishLanguage ? 1 : 0, kLanguageRows[i].stem,
                    kLanguageRows[i].displayName};
    }
}

int LanguageTable::Scan(const std::filesystem::path& folder, std::string_view wantedStem,
                        int active) {
    folder_ = folder;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        std::error_code typeError;
        if (it->is_directory(typeError)) {
            continue;
        }
        const std::string name = it->path().filename().string();
        for (size_t i = 0; i < rows_.size(); ++i) {
            if (name != LanguageFileName(rows_[i].stem)) {
                continue;
            }
            rows_[i].present = 1;
            if (active == kEnglishLanguage && rows_[i].stem == wantedStem) {
                active = static_cast<int>(i);
            }
            break;
        }
    }
    return active;
}

std::string LanguageTable::Lookup(int language, std::string_view key) const {
    if (language <= kEnglishLanguage || static_cast<size_t>(language) >= rows_.size() ||
        rows_[static_cast<size_t>(language)].present == 0) {
        return English(key);
    }
    const fs::path file = folder_ / LanguageFileName(rows_[static_cast<size_t>(language)].stem);
    return ReadProfileString(file, kLanguageSection, key, English(key));
}

LanguageTable& Languages() {
    static LanguageTable table;
    return table;
}

std::string GetLanguageString(std::string_view key) {
    return Languages().Lookup(Settings().activeLanguage, key);
}

std::string_view SystemLanguageStem(std::string_view localeName) {
    const LocaleParts parts = SplitLocaleName(localeName);
    for (const SystemLanguage& known : kSystemLanguages) {
        if (known.language == parts.language &&
            (parts.territory.empty() || known.territory == parts.territory)) {
            return known.stem;
        }
    }
    return kFallbackStem;
}

std::string SystemLocaleName() {
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && value[0] != '\0') {
            return value;
        }
    }
    return {};
}

void ChooseLanguage(AppSettings& settings, LanguageTable& table,
                    const std::filesystem::path& languageFolder, std::string_view localeName) {
    std::string wanted = ReadConfigString(settings, config_key::kLanguageFile, "");
    if (wanted.empty()) {
        wanted = SystemLanguageStem(localeName);
    }
    settings.activeLanguage = table.Scan(languageFolder, wanted, settings.activeLanguage);
    settings.pendingLanguage = settings.activeLanguage;
}

void ChooseLanguage() {
    ChooseLanguage(Settings(), Languages(), DataPath(kLanguageFolder), SystemLocaleName());
}

std::span<const std::string_view> LanguageVocabulary() {
    return kVocabulary;
}

}  // namespace velmaro
