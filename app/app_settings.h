// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The settings record AppSettings and its file Config.ini (section "Config"), plus the start-up
// helpers the application object needs that do not depend on Qt: where the executable and its
// read-only data are, the UI-size decision, the version text, the command-line file.
//
// Config.ini lives in the user's configuration folder ($XDG_CONFIG_HOME/velmaro), not beside
// the executable: an installed program's folder is not writable. Several players may run at
// once and share it; each write replaces the file atomically.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "app/incident_detect.h"

namespace velmaro {

inline constexpr std::string_view kConfigFileName = "Config.ini";
inline constexpr std::string_view kConfigSection = "Config";

// Keys of section "Config", spelled as the file has always spelled them.
namespace config_key {
inline constexpr std::string_view kLanguageFile = "Language File";
inline constexpr std::string_view kSnapshotPath = "Snapshot Path";
inline constexpr std::string_view kUiMode = "UIMode";
inline constexpr std::string_view kDefaultLongitude = "m_default_lng";
inline constexpr std::string_view kDefaultLatitude = "m_default_lat";
inline constexpr std::string_view kDisplayMode = "DisplayMode";
inline constexpr std::string_view kUnitOfSpeed = "UnitOfSpeed";
inline constexpr std::string_view kSoundAmplification = "m_dSoundAmplification";
inline constexpr std::string_view kGpsOffsetAuto = "GPS_Offset_Auto";
inline constexpr std::string_view kGpsOffsetX = "GPS_Offset_X";
inline constexpr std::string_view kGpsOffsetY = "GPS_Offset_Y";
inline constexpr std::string_view kSubtitleOnExport = "SubtitleOnExport";
inline constexpr std::string_view kGpsOtherReceivers = "GPS_Other_Receivers";
inline constexpr std::string_view kIncidentThreshold = "IncidentThresholdG";
inline constexpr std::string_view kVolume = "Volume";
inline constexpr std::string_view kVolumeControlsSystem = "VolumeControlsSystem";
}  // namespace config_key

// UI sizes: fixed for a run, layouts are pixel tables per mode.
enum UiMode : int {
    kUiModeUndecided = -1,
    kUiMode960x600 = 0,
    kUiMode1280x800 = 1,
    kUiMode1920x1080 = 2,
};

// Where the map starts before any GPS fix was ever shown.
inline constexpr double kDefaultLongitude = 120.528903;
inline constexpr double kDefaultLatitude = 24.077715;
inline constexpr int kDefaultSoundAmplification = 1;
inline constexpr int kMaxVolumePercent = 100;

struct ScreenSize {
    int width = 0;
    int height = 0;
};

// The settings record. Field names follow the keys of Config.ini where the file names them.
struct AppSettings {
    std::string exeFolder;  // folder of the executable, with a trailing '/'
    int activeLanguage = 0;
    int pendingLanguage = 0;  // chosen in the preferences dialog; active once saved
    double defaultLongitude = kDefaultLongitude;
    double defaultLatitude = kDefaultLatitude;
    int soundAmplification = kDefaultSoundAmplification;  // 1..10
    std::string snapshotPath;                             // with a trailing '/'
    int uiMode = kUiModeUndecided;
    int pendingUiMode = kUiModeUndecided;  // stored at exit, takes effect at the next start
    int displayMode = 0;                   // 0 "YV12", 1 "RGB"
    int unitOfSpeed = 0;                   // 0 "Km/h", 1 "Mile/h", 2 "Knot"
    int subtitleOnExport = 1;              // 1: an exported clip gets NAME.srt beside it
    std::filesystem::path configFile;      // Config.ini
    // |ΔG| within a second that makes an incident, in the camera's units (usually g).
    double incidentThreshold = kDefaultIncidentThreshold;
    bool languageUnsaved = false;  // "Language File" could not be written when chosen
    // "GPS_Other_Receivers" is exactly 1: telemetry may carry other receivers' checksummed
    // sentences (see TelemetryOptions). Read only; the file keeps what the user wrote.
    bool gpsOtherReceivers = false;
    int volume = kMaxVolumePercent;  // the player's own, 0..100
    // "VolumeControlsSystem" is exactly 1: the volume slider drives the system's master volume
    // as it once did. Read only, like gpsOtherReceivers.
    bool volumeControlsSystem = false;
};

// The initial values, with the folders taken from the environment at the time of the call.
AppSettings DefaultSettings();
// The process-wide record, filled with DefaultSettings() before its first use.
AppSettings& Settings();

// "a.b.c.d" from the build's version: four 16-bit parts, missing parts 0.
std::string FormatVersionText(std::string_view raw);
// The release as the package and every --version name it ("0.1.0").
const std::string& VersionText();
// The same release in the four-part form the preferences show ("0.1.0.0").
const std::string& FileVersionText();

std::string ExecutableFolder();
// Read-only data (Language/, map/, offset_min.bin): beside the executable in the build tree,
// else <prefix>/share/velmaro/ of an installed executable in <prefix>/bin/. When neither
// exists, the path beside the executable (where nothing will be found).
std::filesystem::path FindDataPath(const std::filesystem::path& exeFolder,
                                   std::string_view relative);
std::filesystem::path DataPath(std::string_view relative);

std::filesystem::path ConfigFilePath();
std::string DefaultSnapshotFolder();

// 0 below 1280x800, 1 below 1920x1080, else 2.
int ScreenClass(ScreenSize screen);
// A stored size is kept only when it is valid and smaller than what the screen holds.
int DecideUiMode(int storedUiMode, ScreenSize screen);

// The recording to open at once: the whole command line with every double quote removed.
std::string CommandLineFile(std::string_view commandLine);
// The same from the arguments after the program name, joined as the command line held them.
std::string CommandLineFile(const std::vector<std::string>& arguments);

// Accesses to Config.ini of `settings`, each reading or writing the file fresh.
std::string ReadConfigString(const AppSettings& settings, std::string_view key,
                             std::string_view fallback);
int ReadConfigInt(const AppSettings& settings, std::string_view key, int current);
// A decimal number with a point whatever the locale, read as far as it is numeric; text that
// is no number gives 0, a missing key or a value out of range gives `fallback`.
double ReadConfigNumber(const AppSettings& settings, std::string_view key, double fallback);
bool WriteConfigInt(const AppSettings& settings, std::string_view key, int value);
// Keeps the player's volume (limited to 0..100) in the record and in Config.ini at once, so a
// player that ends without saving still starts at it next time.
bool SaveVolume(AppSettings& settings, int percent);
// "GPS_Offset_Auto" is exactly 1 (or missing): load the offset table at start-up.
bool GpsOffsetAutoEnabled(const AppSettings& settings);

// Every number is read within its range; a value outside it (or no number) is replaced by the
// default and said on standard error, so what is written back at exit reads the same again.
void LoadSettings(AppSettings& settings, ScreenSize primaryScreen);
// False when Config.ini could not be written; the record keeps the values either way.
bool SaveSettings(AppSettings& settings);
// Makes pendingLanguage active and stores the stem of the active row as "Language File".
// When that write fails, SaveSettings tries it again at exit.
bool SaveLanguage(AppSettings& settings);

}  // namespace velmaro
