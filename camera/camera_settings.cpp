// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "camera/camera_settings.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/unique_fd.h"

namespace velmaro {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kLanguages[] = {
    "English", "TCHINESE",   "SCHINESE",   "GERMANY", "ITALY",  "SPANISH", "FRENCH",
    "TURKISH", "PORTUGUESE", "NETHERLAND", "JAPAN",   "RUSSIA", "KOREA"};
constexpr std::string_view kTimeZones[] = {
    "-12", "-11",   "-10", "-9:30", "-9",   "-8",    "-7",   "-6",    "-5", "-4:30",
    "-4",  "-3:30", "-3",  "-2",    "-1",   "0",     "1",    "2",     "3",  "3:30",
    "4",   "4:30",  "5",   "5:30",  "5:45", "6",     "6:30", "7",     "8",  "8:45",
    "9",   "9:30",  "10",  "10:30", "11",   "11:30", "12",   "12:45", "13", "14"};
constexpr std::string_view kTvStandards[] = {"NTSC", "PAL"};
constexpr std::string_view kFrequencies[] = {"50Hz", "60Hz"};
constexpr std::string_view kOffOn[] = {"OFF", "ON"};
constexpr std::string_view kWhiteBalances[] = {"AUTO", "SUNNY", "CLOUDY", "FLUORESCENT",
                                               "TUNGSTEN"};
constexpr std::string_view kEffects[] = {"NORMAL", "Black & White", "CLASSIC"};
constexpr std::string_view kFourLevels[] = {"Level 1", "Level 2", "Level 3", "Level 4"};
constexpr std::string_view kFiveLevels[] = {"Level 1", "Level 2", "Level 3", "Level 4", "Level 5"};
constexpr std::string_view kRecResolutions[] = {"1920x1080 30fps", "1280x720 60fps",
                                                "1280x720 30fps"};
constexpr std::string_view kQualities[] = {"NORMAL", "GOOD", "BEST"};
constexpr std::string_view kCapResolutions[] = {"3M", "5M", "8M"};
constexpr std::string_view kCapModes[] = {"NORMAL", "G-Sensor"};
constexpr std::string_view kCapPeriods[] = {"OFF", "30 sec", "1 min", "5 min", "30 min"};
constexpr std::string_view kSpeedUnits[] = {"OFF", "KMH", "MPH"};

constexpr unsigned kDefaultTimeZone = 28;  // "8"

using S = CameraSettings;
constexpr CameraOption kOptions[] = {
    {"language", "Language:", &S::language, kLanguages, 0, 4},
    {"timeZone", "Time_Zone:", &S::timeZone, kTimeZones, kDefaultTimeZone, 6},
    {"tvStandard", "TV_Standard:", &S::tvStandard, kTvStandards, 0, 2},
    {"frequency", "Frequency:", &S::frequency, kFrequencies, 1, 2},
    {"mic", "MIC:", &S::mic, kOffOn, 1, 2},
    {"whiteBalance", "White_Balance:", &S::whiteBalance, kWhiteBalances, 0, 4},
    {"effect", "Effect:", &S::effect, kEffects, 0, 4},
    {"sensorSensitivity", "Sensor_SEN:", &S::sensorSensitivity, kFourLevels, 2, 4},
    {"recResolution", "REC_Resolution:", &S::recResolution, kRecResolutions, 0, 4},
    {"recQuality", "REC_Quality:", &S::recQuality, kQualities, 1, 2},
    {"recGSensorSensitivity", "REC_G-Sensor_SEN:", &S::recGSensorSensitivity, kFiveLevels, 2, 4},
    {"capResolution", "CAP_Resolution:", &S::capResolution, kCapResolutions, 1, 4},
    {"capMode", "CAP_Mode:", &S::capMode, kCapModes, 0, 2},
    {"capPeriod", "CAP_Period:", &S::capPeriod, kCapPeriods, 0, 4},
    {"capGSensorSensitivity", "CAP_G-Sensor_SEN:", &S::capGSensorSensitivity, kFiveLevels, 2, 4},
    {"speedUnit", "Unit Of Speed:", &S::speedUnit, kSpeedUnits, 0, 2},
};

constexpr CameraClockField kClockFields[] = {
    {"year", &S::year, kCameraFirstYear, kCameraLastYear, 8},
    {"month", &S::month, 1, 12, 4},
    {"day", &S::day, 1, 31, 5},
    {"hour", &S::hour, 0, 23, 5},
    {"minute", &S::minute, 0, 59, 6},
};

constexpr size_t kChecksumBytes = 4;
constexpr size_t kMarkerOffset = 15;
constexpr int kTmBaseYear = 1900;
constexpr int kTempNameAttempts = 16;

// The low `bits` bits of a value: what its range in the file can hold.
constexpr unsigned Low(unsigned value, unsigned bits) {
    return value & ((1u << bits) - 1u);
}

constexpr uint8_t Byte(unsigned value) {
    return static_cast<uint8_t>(value & 0xFFu);
}

void PackClock(const CameraSettings& s, CameraSettingsBytes& b) {
    const unsigned years = Low(s.year - kCameraFirstYear, 8);
    const unsigned hour = Low(s.hour, 5);
    b[4] = Byte(Low(s.language, 4) << 4 | years >> 4);
    b[5] = Byte(Low(years, 4) << 4 | Low(s.month, 4));
    b[6] = Byte(Low(s.day, 5) << 3 | hour >> 2);
    b[7] = Byte(Low(hour, 2) << 6 | Low(s.minute, 6));
}

void PackOptions(const CameraSettings& s, CameraSettingsBytes& b) {
    const unsigned recG = Low(s.recGSensorSensitivity, 4);
    b[8] = Byte(Low(s.timeZone, 6) << 2 | Low(s.tvStandard, 2));
    b[9] = Byte(Low(s.frequency, 2) << 6 | Low(s.mic, 2) << 4 | Low(s.whiteBalance, 4));
    b[10] = Byte(Low(s.effect, 4) << 4 | Low(s.sensorSensitivity, 4));
    b[11] = Byte(Low(s.recResolution, 4) << 4 | Low(s.recQuality, 2) << 2 | recG >> 2);
    b[12] = Byte(Low(recG, 2) << 6 | Low(s.capResolution, 4) << 2 | Low(s.capMode, 2));
    b[13] = Byte(Low(s.capPeriod, 4) << 4 | Low(s.capGSensorSensitivity, 4));
    b[14] = Byte(Low(s.speedUnit, 2) << 6);
}

unsigned DaysInMonth(unsigned year, unsigned month) {
    constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

CameraSettingsRead Failure(CameraFileStatus status, int systemError = 0) {
    CameraSettingsRead read;
    read.status = status;
    read.systemError = systemError;
    return read;
}

// Reads up to `buffer.size()` bytes; returns how many arrived, or -1 on a read error.
ssize_t ReadUpTo(int fd, std::span<uint8_t> buffer) {
    size_t got = 0;
    while (got < buffer.size()) {
        const ssize_t n = ::read(fd, buffer.data() + got, buffer.size() - got);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return -1;
        }
        if (n == 0) {
            break;
        }
        got += static_cast<size_t>(n);
    }
    return static_cast<ssize_t>(got);
}

bool WriteAll(int fd, std::span<const uint8_t> data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            errno = n == 0 ? EIO : errno;
            return false;
        }
        data = data.subspan(static_cast<size_t>(n));
    }
    return true;
}

// A temporary file beside the settings file; removed on destruction unless renamed into place.
class TempFile {
  public:
    TempFile() = default;
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    ~TempFile() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        if (!path_.empty()) {
            ::unlink(path_.c_str());
        }
    }

    // Returns errno, or 0 once a fresh file is open.
    int Create(const fs::path& folder) {
        static std::atomic<unsigned> counter{0};
        const std::string prefix =
            "." + std::string(kCameraSettingsFileName) + ".tmp-" + std::to_string(::getpid()) + "-";
        for (int attempt = 0; attempt < kTempNameAttempts; ++attempt) {
            fs::path candidate = folder / (prefix + std::to_string(counter.fetch_add(1)));
            fd_ =
                ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
            if (fd_ >= 0) {
                path_ = std::move(candidate);
                return 0;
            }
            if (errno != EEXIST) {
                return errno;
            }
        }
        return EEXIST;
    }

    // Writes, syncs and closes; returns errno, or 0.
    int Fill(std::span<const uint8_t> data) {
        if (!WriteAll(fd_, data) || ::fsync(fd_) != 0) {
            return errno;
        }
        // Some file systems only report a failed write-back at close.
        return ::close(std::exchange(fd_, -1)) == 0 ? 0 : errno;
    }

    // Returns errno, or 0 once the file has replaced `target`.
    int RenameTo(const fs::path& target) {
        if (::rename(path_.c_str(), target.c_str()) != 0) {
            return errno;
        }
        path_.clear();
        return 0;
    }

  private:
    fs::path path_;
    int fd_ = -1;
};

// Makes the rename itself durable before the user pulls the card.
void SyncFolder(const fs::path& folder) {
    const UniqueFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.Valid()) {
        ::fsync(fd.Get());
    }
}

CameraSettingsWrite WriteFailure(int systemError) {
    return {CameraFileStatus::kWriteFailed, systemError};
}

}  // namespace

std::span<const CameraOption> CameraOptions() {
    return kOptions;
}

std::span<const CameraClockField> CameraClockFields() {
    return kClockFields;
}

const CameraOption* FindCameraOption(std::string_view name) {
    for (const CameraOption& option : kOptions) {
        if (option.name == name) {
            return &option;
        }
    }
    return nullptr;
}

const CameraClockField* FindCameraClockField(std::string_view name) {
    for (const CameraClockField& field : kClockFields) {
        if (field.name == name) {
            return &field;
        }
    }
    return nullptr;
}

std::optional<std::string_view> CameraOptionText(const CameraOption& option, unsigned index) {
    if (index >= option.texts.size()) {
        return std::nullopt;
    }
    return option.texts[index];
}

void SetCameraClock(CameraSettings& settings, const std::tm& local) {
    settings.year = static_cast<unsigned>(local.tm_year + kTmBaseYear);
    settings.month = static_cast<unsigned>(local.tm_mon + 1);
    settings.day = static_cast<unsigned>(local.tm_mday);
    settings.hour = static_cast<unsigned>(local.tm_hour);
    settings.minute = static_cast<unsigned>(local.tm_min);
}

CameraSettings DefaultCameraSettings(const std::tm& localNow) {
    CameraSettings settings;
    for (const CameraOption& option : kOptions) {
        settings.*option.field = option.defaultIndex;
    }
    SetCameraClock(settings, localNow);
    return settings;
}

CameraSettings DefaultCameraSettings(std::chrono::system_clock::time_point now) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&seconds, &local);
    return DefaultCameraSettings(local);
}

bool CameraSettingsInRange(const CameraSettings& settings, std::string* problem) {
    auto fail = [problem](std::string_view name) {
        if (problem != nullptr) {
            *problem = name;
        }
        return false;
    };
    for (const CameraOption& option : kOptions) {
        if (settings.*option.field >= option.texts.size()) {
            return fail(option.name);
        }
    }
    for (const CameraClockField& field : kClockFields) {
        const unsigned value = settings.*field.field;
        if (value < field.minimum || value > field.maximum) {
            return fail(field.name);
        }
    }
    if (settings.day > DaysInMonth(settings.year, settings.month)) {
        return fail("day");
    }
    return true;
}

CameraSettingsBytes PackCameraSettings(const CameraSettings& settings, uint8_t marker) {
    CameraSettingsBytes bytes{};
    PackClock(settings, bytes);
    PackOptions(settings, bytes);
    bytes[kMarkerOffset] = marker;
    const uint32_t crc = CameraSettingsChecksum(bytes);
    for (size_t i = 0; i < kChecksumBytes; ++i) {
        bytes[i] = Byte(crc >> (8 * (kChecksumBytes - 1 - i)));
    }
    return bytes;
}

CameraSettings UnpackCameraSettings(const CameraSettingsBytes& b) {
    CameraSettings s;
    s.language = b[4] >> 4;
    s.year = kCameraFirstYear + (Low(b[4], 4) << 4 | b[5] >> 4);
    s.month = Low(b[5], 4);
    s.day = b[6] >> 3;
    s.hour = Low(b[6], 3) << 2 | b[7] >> 6;
    s.minute = Low(b[7], 6);
    s.timeZone = b[8] >> 2;
    s.tvStandard = Low(b[8], 2);
    s.frequency = b[9] >> 6;
    s.mic = Low(b[9] >> 4, 2);
    s.whiteBalance = Low(b[9], 4);
    s.effect = b[10] >> 4;
    s.sensorSensitivity = Low(b[10], 4);
    s.recResolution = b[11] >> 4;
    s.recQuality = Low(b[11] >> 2, 2);
    s.recGSensorSensitivity = Low(b[11], 2) << 2 | b[12] >> 6;
    s.capResolution = Low(b[12] >> 2, 4);
    s.capMode = Low(b[12], 2);
    s.capPeriod = b[13] >> 4;
    s.capGSensorSensitivity = Low(b[13], 4);
    s.speedUnit = b[14] >> 6;
    return s;
}

uint32_t CameraSettingsChecksum(const CameraSettingsBytes& bytes) {
    const uLong crc = crc32(crc32(0L, Z_NULL, 0), bytes.data() + kChecksumBytes,
                            static_cast<uInt>(bytes.size() - kChecksumBytes));
    return static_cast<uint32_t>(crc);
}

uint32_t StoredCameraSettingsChecksum(const CameraSettingsBytes& bytes) {
    uint32_t stored = 0;
    for (size_t i = 0; i < kChecksumBytes; ++i) {
        stored = stored << 8 | bytes[i];
    }
    return stored;
}

std::string CameraFileStatusText(CameraFileStatus status, int systemError) {
    const std::string detail =
        systemError != 0 ? std::string(": ") + std::strerror(systemError) : std::string();
    switch (status) {
        case CameraFileStatus::kOk:
            return "ok";
        case CameraFileStatus::kMissing:
            return "no settings file" + detail;
        case CameraFileStatus::kUnreadable:
            return "settings file cannot be read" + detail;
        case CameraFileStatus::kTooShort:
            return "settings file is shorter than 16 bytes";
        case CameraFileStatus::kBadChecksum:
            return "settings file is damaged (checksum mismatch)";
        case CameraFileStatus::kWrittenByPlayer:
            return "settings file was written by the player and not yet taken over by the camera "
                   "(marker 0xFD)";
        case CameraFileStatus::kWrongMarker:
            return "settings file carries an unknown state marker";
        case CameraFileStatus::kWriteFailed:
            return "settings file cannot be written" + detail;
    }
    return "unknown status";
}

CameraSettingsRead ParseCameraSettings(std::span<const uint8_t> bytes) {
    if (bytes.size() < kCameraSettingsSize) {
        return Failure(CameraFileStatus::kTooShort);
    }
    CameraSettingsBytes file{};
    std::memcpy(file.data(), bytes.data(), file.size());
    if (StoredCameraSettingsChecksum(file) != CameraSettingsChecksum(file)) {
        return Failure(CameraFileStatus::kBadChecksum);
    }
    if (file[kMarkerOffset] != kCameraMarkerAccepted) {
        return Failure(file[kMarkerOffset] == kCameraMarkerWritten
                           ? CameraFileStatus::kWrittenByPlayer
                           : CameraFileStatus::kWrongMarker);
    }
    CameraSettingsRead read;
    read.status = CameraFileStatus::kOk;
    read.settings = UnpackCameraSettings(file);
    return read;
}

fs::path CameraSettingsPath(const fs::path& root) {
    return root / kCameraSettingsFileName;
}

CameraSettingsRead ReadCameraSettings(const fs::path& root) {
    // O_NONBLOCK: a FIFO in place of the file must not hang the dialog.
    const UniqueFd fd(
        ::open(CameraSettingsPath(root).c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!fd.Valid()) {
        const int error = errno;
        const bool absent = error == ENOENT || error == ENOTDIR;
        return Failure(absent ? CameraFileStatus::kMissing : CameraFileStatus::kUnreadable, error);
    }
    struct stat info {};
    if (::fstat(fd.Get(), &info) != 0) {
        return Failure(CameraFileStatus::kUnreadable, errno);
    }
    if (!S_ISREG(info.st_mode)) {
        return Failure(CameraFileStatus::kUnreadable, S_ISDIR(info.st_mode) ? EISDIR : EINVAL);
    }
    CameraSettingsBytes bytes{};
    const ssize_t got = ReadUpTo(fd.Get(), bytes);
    if (got < 0) {
        return Failure(CameraFileStatus::kUnreadable, errno);
    }
    return ParseCameraSettings(std::span<const uint8_t>(bytes.data(), static_cast<size_t>(got)));
}

CameraSettingsWrite WriteCameraSettings(const fs::path& root, const CameraSettings& settings) {
    const CameraSettingsBytes bytes = PackCameraSettings(settings, kCameraMarkerWritten);
    const fs::path folder = root.empty() ? fs::path(".") : root;
    TempFile temp;
    if (const int error = temp.Create(folder); error != 0) {
        return WriteFailure(error);
    }
    if (const int error = temp.Fill(bytes); error != 0) {
        return WriteFailure(error);
    }
    if (const int error = temp.RenameTo(CameraSettingsPath(folder)); error != 0) {
        return WriteFailure(error);
    }
    SyncFolder(folder);
    return {CameraFileStatus::kOk, 0};
}

}  // namespace velmaro
