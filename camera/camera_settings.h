// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The camera's settings file "usrset.dat" in the root of its card: 16 bytes holding every
// option as an index into a fixed list, the camera clock to the minute, a state marker and a
// CRC-32. The player writes marker 0xFD and only accepts 0xFC when reading, so a file it has
// just written is not shown again until the camera has taken it over and re-marked it.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace velmaro {

inline constexpr std::string_view kCameraSettingsFileName = "usrset.dat";
inline constexpr size_t kCameraSettingsSize = 16;
inline constexpr uint8_t kCameraMarkerWritten = 0xFD;   // what the player writes
inline constexpr uint8_t kCameraMarkerAccepted = 0xFC;  // what the player accepts

// The clock the file can carry: eight bits of years from 1980.
inline constexpr unsigned kCameraFirstYear = 1980;
inline constexpr unsigned kCameraLastYear = 2235;

// Option fields hold zero-based indices into their lists (the list order is the value the camera
// stores); the clock fields hold calendar values. Out-of-range values are kept as they come from
// a card: the dialog shows such a list without a selection.
struct CameraSettings {
    unsigned language = 0;
    unsigned timeZone = 0;
    unsigned tvStandard = 0;
    unsigned frequency = 0;
    unsigned mic = 0;
    unsigned whiteBalance = 0;
    unsigned effect = 0;
    unsigned sensorSensitivity = 0;
    unsigned recResolution = 0;
    unsigned recQuality = 0;
    unsigned recGSensorSensitivity = 0;
    unsigned capResolution = 0;
    unsigned capMode = 0;
    unsigned capPeriod = 0;
    unsigned capGSensorSensitivity = 0;
    unsigned speedUnit = 0;
    unsigned year = kCameraFirstYear;
    unsigned month = 1;
    unsigned day = 1;
    unsigned hour = 0;
    unsigned minute = 0;

    bool operator==(const CameraSettings&) const = default;
};

// One option list as the card setup dialog shows it. The texts are shown untranslated; the label
// goes through the language tables.
struct CameraOption {
    std::string_view name;   // the field's name, also the key of command-line tools
    std::string_view label;  // the dialog's static text beside the list
    unsigned CameraSettings::*field;
    std::span<const std::string_view> texts;
    unsigned defaultIndex;
    unsigned bits;  // width of the field in the file
};

// A clock field with its calendar range and its width in the file.
struct CameraClockField {
    std::string_view name;
    unsigned CameraSettings::*field;
    unsigned minimum;
    unsigned maximum;
    unsigned bits;
};

// Every option in the order the dialog fills its lists.
std::span<const CameraOption> CameraOptions();
std::span<const CameraClockField> CameraClockFields();
const CameraOption* FindCameraOption(std::string_view name);
const CameraClockField* FindCameraClockField(std::string_view name);
// The option's text, or nothing when the index lies outside its list.
std::optional<std::string_view> CameraOptionText(const CameraOption& option, unsigned index);

// The defaults, with the clock taken from the local time `localNow`.
CameraSettings DefaultCameraSettings(const std::tm& localNow);
CameraSettings DefaultCameraSettings(std::chrono::system_clock::time_point now);
// Sets the clock fields from a local broken-down time; seconds are not stored.
void SetCameraClock(CameraSettings& settings, const std::tm& local);

// True when every option index lies inside its list and the clock inside its calendar range:
// what a file must hold for the camera to make sense of it. `problem` names the first offender.
bool CameraSettingsInRange(const CameraSettings& settings, std::string* problem = nullptr);

using CameraSettingsBytes = std::array<uint8_t, kCameraSettingsSize>;

// Each value goes into its own bit range; bits that do not fit are dropped rather than spilling
// into the neighbouring field. Bytes 0-3 receive the checksum of bytes 4-15.
CameraSettingsBytes PackCameraSettings(const CameraSettings& settings,
                                       uint8_t marker = kCameraMarkerWritten);
// The exact inverse of the packing; checks nothing.
CameraSettings UnpackCameraSettings(const CameraSettingsBytes& bytes);
// CRC-32 (zlib's) of bytes 4-15, and the value stored big-endian in bytes 0-3.
uint32_t CameraSettingsChecksum(const CameraSettingsBytes& bytes);
uint32_t StoredCameraSettingsChecksum(const CameraSettingsBytes& bytes);

enum class CameraFileStatus {
    kOk,
    kMissing,          // no such file or folder
    kUnreadable,       // exists but cannot be opened or read, or is not a regular file
    kTooShort,         // fewer than 16 bytes
    kBadChecksum,      // bytes 0-3 do not match the CRC-32 of bytes 4-15
    kWrittenByPlayer,  // marker 0xFD: the camera has not taken the file over yet
    kWrongMarker,      // any other marker than 0xFC
    kWriteFailed,      // the file could not be created, written, synced or renamed into place
};

struct CameraSettingsRead {
    CameraFileStatus status = CameraFileStatus::kMissing;
    int systemError = 0;                     // errno for kMissing, kUnreadable and kWriteFailed
    std::optional<CameraSettings> settings;  // present exactly when status is kOk
};

struct CameraSettingsWrite {
    CameraFileStatus status = CameraFileStatus::kWriteFailed;
    int systemError = 0;
    bool ok() const { return status == CameraFileStatus::kOk; }
};

// A human-readable reason, including the system's text for an I/O error.
std::string CameraFileStatusText(CameraFileStatus status, int systemError = 0);

// What a card holds, judged as the player judges it: at least 16 bytes (the first 16 count), a
// matching checksum and marker 0xFC.
CameraSettingsRead ParseCameraSettings(std::span<const uint8_t> bytes);

std::filesystem::path CameraSettingsPath(const std::filesystem::path& root);
CameraSettingsRead ReadCameraSettings(const std::filesystem::path& root);
// Replaces <root>/usrset.dat with the packed settings (marker 0xFD): a temporary file beside it
// is written, synced and renamed over it, so a card pulled out mid-write keeps the old file.
CameraSettingsWrite WriteCameraSettings(const std::filesystem::path& root,
                                        const CameraSettings& settings);

}  // namespace velmaro
