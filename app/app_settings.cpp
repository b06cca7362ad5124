// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/app_settings.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <optional>

#include "app/language_table.h"
#include "platform/ini_file.h"
#include "platform/log.h"

namespace velmaro {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kAppFolderName = "velmaro";
constexpr std::string_view kSnapshotFolderName = "Capture";
constexpr std::string_view kUserDirsFile = "user-dirs.dirs";
constexpr std::string_view kPicturesDirKey = "XDG_PICTURES_DIR";
constexpr std::string_view kHomeVariable = "$HOME";
constexpr int kRealDecimals = 6;  // reals are written as "%f"
constexpr size_t kVersionParts = 4;
constexpr uint32_t kVersionPartMask = 0xFFFF;

// The ranges of the numbers the player writes back at exit; a value outside is replaced by the
// default, so the file never keeps a number the player would write differently.
constexpr int kLastDisplayMode = 1;
constexpr int kLastSpeedUnit = 2;
constexpr int kLeastAmplification = 1;
constexpr int kMostAmplification = 10;
constexpr double kMostLongitude = 180.0;
constexpr double kMostLatitude = 90.0;
constexpr double kMostIncidentThreshold = 100.0;  // g; no sensor reports more

struct RealRange {
    double least;  // the least value allowed, or just above it when `leastOpen`
    double most;
    bool leastOpen = false;
};

constexpr ScreenSize kMediumScreen{1280, 800};
constexpr ScreenSize kLargeScreen{1920, 1080};

std::string WithTrailingSlash(std::string folder) {
    if (folder.empty() || folder.back() != '/') {
        folder += '/';
    }
    return folder;
}

std::optional<std::string> AbsoluteEnv(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || value[0] != '/') {
        return std::nullopt;  // unset, empty or relative: not usable as a base folder
    }
    return std::string(value);
}

std::string HomeFolder() {
    if (std::optional<std::string> home = AbsoluteEnv("HOME")) {
        return *home;
    }
    const passwd* entry = ::getpwuid(::getuid());
    if (entry != nullptr && entry->pw_dir != nullptr && entry->pw_dir[0] == '/') {
        return entry->pw_dir;
    }
    return "/";
}

fs::path ConfigHome() {
    if (std::optional<std::string> configHome = AbsoluteEnv("XDG_CONFIG_HOME")) {
        return *configHome;
    }
    return fs::path(HomeFolder()) / ".config";
}

// One line of user-dirs.dirs, read the way GLib reads it: NAME="$HOME/sub" or NAME="/abs".
std::optional<std::string> ParseUserDirLine(std::string_view line, std::string_view home) {
    line.remove_prefix(std::min(line.find_first_not_of(" \t"), line.size()));
    if (!line.starts_with(kPicturesDirKey)) {
        return std::nullopt;
    }
    line.remove_prefix(kPicturesDirKey.size());
    line.remove_prefix(std::min(line.find_first_not_of(" \t"), line.size()));
    if (!line.starts_with('=')) {
        return std::nullopt;
    }
    line.remove_prefix(1);
    line.remove_prefix(std::min(line.find_first_not_of(" \t"), line.size()));
    if (!line.starts_with('"')) {
        return std::nullopt;
    }
    line.remove_prefix(1);
    const bool relative = line.starts_with(kHomeVariable);
    if (relative) {
        line.remove_prefix(kHomeVariable.size());
    } else if (!line.starts_with('/')) {
        return std::nullopt;
    }
    const size_t close = line.rfind('"');
    if (close == std::string_view::npos) {
        return std::nullopt;
    }
    line = line.substr(0, close);
    return relative ? std::string(home) + std::string(line) : std::string(line);
}

std::optional<std::string> PicturesFromUserDirs(const std::string& home) {
    std::ifstream file(ConfigHome() / kUserDirsFile);
    std::optional<std::string> found;
    std::string line;
    while (std::getline(file, line)) {
        if (std::optional<std::string> folder = ParseUserDirLine(line, home)) {
            found = std::move(folder);  // the last assignment wins, as in a shell
        }
    }
    return found;
}

std::string PicturesFolder() {
    if (std::optional<std::string> pictures = AbsoluteEnv("XDG_PICTURES_DIR")) {
        return *pictures;
    }
    const std::string home = HomeFolder();
    if (std::optional<std::string> pictures = PicturesFromUserDirs(home)) {
        return *pictures;
    }
    return (fs::path(home) / "Pictures").string();
}

std::string FormatReal(double value) {
    std::array<char, 64> text{};
    const auto result = std::to_chars(text.data(), text.data() + text.size(), value,
                                      std::chars_format::fixed, kRealDecimals);
    return result.ec == std::errc() ? std::string(text.data(), result.ptr) : std::string("0");
}

// Reads a real the way atof does (leading blanks, optional sign, the longest number; text
// that is no number gives 0) but independent of the locale's decimal separator. Values that
// are not finite would put the map nowhere: those keep `current`.
double ParseReal(std::string_view text, double current) {
    text.remove_prefix(std::min(text.find_first_not_of(" \t\r\n\v\f"), text.size()));
    if (text.starts_with('+')) {
        text.remove_prefix(1);
    }
    double value = 0.0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec == std::errc::invalid_argument) {
        return 0.0;
    }
    if (result.ec != std::errc() || !std::isfinite(value)) {
        return current;
    }
    return value;
}

double ReadConfigReal(const AppSettings& settings, std::string_view key, double current) {
    return ParseReal(ReadConfigString(settings, key, FormatReal(current)), current);
}

// A whole number as the file has always been read (leading blanks, a sign, the digits that
// follow; text after them ignored), but a number too long for 64 bits is no number rather
// than one wrapped into range.
std::optional<int64_t> ParseWhole(std::string_view text) {
    text.remove_prefix(std::min(text.find_first_not_of(" \t\r\n\v\f"), text.size()));
    if (text.starts_with('+')) {
        text.remove_prefix(1);
    }
    int64_t value = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec != std::errc()) {
        return std::nullopt;
    }
    return value;
}

void SayReplaced(const AppSettings& settings, std::string_view key, const std::string& text,
                 const std::string& replacement) {
    LogWarning("%s: %.*s=%s is out of range; %s is used instead",
               settings.configFile.string().c_str(), static_cast<int>(key.size()), key.data(),
               text.c_str(), replacement.c_str());
}

// The integer of `key` within least..most; a missing key gives `fallback` silently, a value
// outside (or no number) gives it with a warning.
int ReadRangedInt(const AppSettings& settings, std::string_view key, int least, int most,
                  int fallback) {
    const std::string text = ReadConfigString(settings, key, "");
    if (text.empty()) {
        return fallback;
    }
    const std::optional<int64_t> value = ParseWhole(text);
    if (value && *value >= least && *value <= most) {
        return static_cast<int>(*value);
    }
    SayReplaced(settings, key, text, std::to_string(fallback));
    return fallback;
}

double ReadRangedReal(const AppSettings& settings, std::string_view key, RealRange range,
                      double fallback) {
    const std::string text = ReadConfigString(settings, key, "");
    if (text.empty()) {
        return fallback;
    }
    const double value = ParseReal(text, std::nan(""));
    const bool aboveLeast = range.leastOpen ? value > range.least : value >= range.least;
    if (aboveLeast && value <= range.most) {
        return value;
    }
    SayReplaced(settings, key, text, FormatReal(fallback));
    return fallback;
}

bool EnsureConfigFolder(const AppSettings& settings) {
    std::error_code error;
    const fs::path folder = settings.configFile.parent_path();
    fs::create_directories(folder, error);
    return fs::is_directory(folder, error);
}

IniStatus WriteConfigString(const AppSettings& settings, std::string_view key,
                            std::string_view value) {
    if (!EnsureConfigFolder(settings)) {
        return IniStatus::kWriteFailed;
    }
    return WriteProfileString(settings.configFile, kConfigSection, key, value);
}

bool StoreSettings(const AppSettings& settings, IniFile& file) {
    bool stored = true;
    const auto set = [&](std::string_view key, std::string_view value) {
        stored = file.SetString(kConfigSection, key, value) == IniStatus::kOk && stored;
    };
    set(config_key::kSnapshotPath, settings.snapshotPath);
    set(config_key::kUiMode, std::to_string(settings.uiMode));
    set(config_key::kDefaultLongitude, FormatReal(settings.defaultLongitude));
    set(config_key::kDefaultLatitude, FormatReal(settings.defaultLatitude));
    set(config_key::kDisplayMode, std::to_string(settings.displayMode));
    set(config_key::kUnitOfSpeed, std::to_string(settings.unitOfSpeed));
    set(config_key::kSoundAmplification, std::to_string(settings.soundAmplification));
    if (settings.languageUnsaved) {
        set(config_key::kLanguageFile, LanguageStem(settings.activeLanguage));
    }
    set(config_key::kSubtitleOnExport, std::to_string(settings.subtitleOnExport));
    set(config_key::kIncidentThreshold, FormatReal(settings.incidentThreshold));
    set(config_key::kVolume, std::to_string(settings.volume));
    return stored;
}

}  // namespace

double ReadConfigNumber(const AppSettings& settings, std::string_view key, double fallback) {
    return ReadConfigReal(settings, key, fallback);
}

AppSettings DefaultSettings() {
    AppSettings settings;
    settings.exeFolder = ExecutableFolder();
    settings.snapshotPath = DefaultSnapshotFolder();
    settings.configFile = ConfigFilePath();
    return settings;
}

AppSettings& Settings() {
    static AppSettings settings = DefaultSettings();
    return settings;
}

std::string FormatVersionText(std::string_view raw) {
    std::array<uint32_t, kVersionParts> parts{};
    for (uint32_t& part : parts) {
        const size_t dot = raw.find('.');
        const std::string_view piece = raw.substr(0, dot);
        std::from_chars(piece.data(), piece.data() + piece.size(), part);
        part &= kVersionPartMask;
        raw = dot == std::string_view::npos ? std::string_view() : raw.substr(dot + 1);
    }
    return std::to_string(parts[0]) + "." + std::to_string(parts[1]) + "." +
           std::to_string(parts[2]) + "." + std::to_string(parts[3]);
}

const std::string& VersionText() {
    static const std::string text = VELMARO_VERSION_TEXT;
    return text;
}

const std::string& FileVersionText() {
    static const std::string text = FormatVersionText(VELMARO_VERSION_TEXT);
    return text;
}

std::string ExecutableFolder() {
    std::error_code error;
    const fs::path executable = fs::read_symlink("/proc/self/exe", error);
    if (error || executable.empty()) {
        return "./";
    }
    return WithTrailingSlash(executable.parent_path().string());
}

fs::path FindDataPath(const fs::path& exeFolder, std::string_view relative) {
    const fs::path beside = exeFolder / relative;
    const fs::path installed =
        (exeFolder / ".." / "share" / kAppFolderName / relative).lexically_normal();
    std::error_code error;
    for (const fs::path& candidate : {beside, installed}) {
        if (fs::exists(candidate, error)) {
            return candidate;
        }
    }
    return beside;
}

fs::path DataPath(std::string_view relative) {
    return FindDataPath(Settings().exeFolder, relative);
}

fs::path ConfigFilePath() {
    return ConfigHome() / kAppFolderName / kConfigFileName;
}

std::string DefaultSnapshotFolder() {
    return WithTrailingSlash((fs::path(PicturesFolder()) / kSnapshotFolderName).string());
}

int ScreenClass(ScreenSize screen) {
    if (screen.width < kMediumScreen.width || screen.height < kMediumScreen.height) {
        return kUiMode960x600;
    }
    if (screen.width < kLargeScreen.width || screen.height < kLargeScreen.height) {
        return kUiMode1280x800;
    }
    return kUiMode1920x1080;
}

int DecideUiMode(int storedUiMode, ScreenSize screen) {
    const int screenClass = ScreenClass(screen);
    const bool valid = storedUiMode >= kUiMode960x600 && storedUiMode <= kUiMode1920x1080;
    return valid && storedUiMode < screenClass ? storedUiMode : screenClass;
}

std::string CommandLineFile(std::string_view commandLine) {
    std::string path;
    for (const char c : commandLine) {
        if (c != '"') {
            path += c;
        }
    }
    const size_t first = path.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return {};
    }
    return path.substr(first, path.find_last_not_of(" \t") - first + 1);
}

std::string CommandLineFile(const std::vector<std::string>& arguments) {
    std::string commandLine;
    for (const std::string& argument : arguments) {
        commandLine += commandLine.empty() ? argument : " " + argument;
    }
    return CommandLineFile(std::string_view(commandLine));
}

std::string ReadConfigString(const AppSettings& settings, std::string_view key,
                             std::string_view fallback) {
    std::string value = ReadProfileString(settings.configFile, kConfigSection, key, "");
    return value.empty() ? std::string(fallback) : value;
}

int ReadConfigInt(const AppSettings& settings, std::string_view key, int current) {
    return ReadProfileInt(settings.configFile, kConfigSection, key, current);
}

bool WriteConfigInt(const AppSettings& settings, std::string_view key, int value) {
    return WriteConfigString(settings, key, std::to_string(value)) == IniStatus::kOk;
}

bool SaveVolume(AppSettings& settings, int percent) {
    settings.volume = std::clamp(percent, 0, kMaxVolumePercent);
    return WriteConfigInt(settings, config_key::kVolume, settings.volume);
}

bool GpsOffsetAutoEnabled(const AppSettings& settings) {
    return ReadConfigInt(settings, config_key::kGpsOffsetAuto, 1) == 1;
}

void LoadSettings(AppSettings& settings, ScreenSize primaryScreen) {
    // A path written on another system ("C:\Capture\") or a relative one would scatter
    // snapshots into whatever the current folder is: only absolute paths replace the default.
    const std::string snapshot =
        ReadConfigString(settings, config_key::kSnapshotPath, settings.snapshotPath);
    if (snapshot.starts_with('/')) {
        settings.snapshotPath = snapshot;
    }
    const int stored = ReadConfigInt(settings, config_key::kUiMode, settings.uiMode);
    settings.uiMode = DecideUiMode(stored, primaryScreen);
    settings.pendingUiMode = settings.uiMode;
    settings.defaultLongitude =
        ReadRangedReal(settings, config_key::kDefaultLongitude, {-kMostLongitude, kMostLongitude},
                       settings.defaultLongitude);
    settings.defaultLatitude =
        ReadRangedReal(settings, config_key::kDefaultLatitude, {-kMostLatitude, kMostLatitude},
                       settings.defaultLatitude);
    settings.displayMode = ReadRangedInt(settings, config_key::kDisplayMode, 0, kLastDisplayMode,
                                         settings.displayMode);
    settings.unitOfSpeed =
        ReadRangedInt(settings, config_key::kUnitOfSpeed, 0, kLastSpeedUnit, settings.unitOfSpeed);
    settings.soundAmplification =
        ReadRangedInt(settings, config_key::kSoundAmplification, kLeastAmplification,
                      kMostAmplification, settings.soundAmplification);
    // Only a plain 0 turns the sidecar off: a garbled value must not silently drop it.
    const std::string subtitles = ReadConfigString(settings, config_key::kSubtitleOnExport,
                                                   std::to_string(settings.subtitleOnExport));
    settings.subtitleOnExport = subtitles.find_first_not_of(" \t0") == std::string::npos &&
                                        subtitles.find('0') != std::string::npos
                                    ? 0
                                    : 1;
    settings.gpsOtherReceivers = ReadConfigInt(settings, config_key::kGpsOtherReceivers, 0) == 1;
    settings.incidentThreshold =
        ReadRangedReal(settings, config_key::kIncidentThreshold,
                       {0.0, kMostIncidentThreshold, true}, settings.incidentThreshold);
    settings.volume =
        ReadRangedInt(settings, config_key::kVolume, 0, kMaxVolumePercent, settings.volume);
    settings.volumeControlsSystem =
        ReadConfigInt(settings, config_key::kVolumeControlsSystem, 0) == 1;
}

// All keys go through one read and one atomic replacement of the file, so a concurrent
// player never sees half of them.
bool SaveSettings(AppSettings& settings) {
    settings.uiMode = settings.pendingUiMode;
    IniFile file;
    if (!EnsureConfigFolder(settings) || file.Load(settings.configFile) == IniStatus::kUnreadable) {
        return false;
    }
    const bool stored = StoreSettings(settings, file);
    const bool saved = file.Save(settings.configFile) == IniStatus::kOk && stored;
    settings.languageUnsaved = settings.languageUnsaved && !saved;
    return saved;
}

bool SaveLanguage(AppSettings& settings) {
    if (settings.pendingLanguage != settings.activeLanguage &&
        !LanguageStem(settings.pendingLanguage).empty()) {
        settings.activeLanguage = settings.pendingLanguage;
    }
    const std::string_view stem = LanguageStem(settings.activeLanguage);
    if (stem.empty()) {
        return false;
    }
    const bool saved =
        WriteConfigString(settings, config_key::kLanguageFile, stem) == IniStatus::kOk;
    settings.languageUnsaved = !saved;
    return saved;
}

}  // namespace velmaro
