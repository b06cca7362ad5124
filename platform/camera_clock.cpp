// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/camera_clock.h"

#include <sys/syscall.h>
#include <sys/time.h>
#include <unistd.h>

#include <charconv>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>

namespace velmaro {
namespace {

constexpr int64_t kSecondsPerMinute = 60;
// The kernel refuses time offsets beyond a day either way.
constexpr int kMaxOffsetMinutes = 24 * 60;

struct FreeDeleter {
    void operator()(char* p) const { std::free(p); }
};

// Looks in the per-mount and the file-system options, as either may carry it.
std::optional<std::string> Option(const MountEntry& mount, std::string_view key) {
    std::optional<std::string> value = MountOption(mount.superOptions, key);
    return value ? value : MountOption(mount.mountOptions, key);
}

std::optional<int32_t> OffsetOption(const MountEntry& mount) {
    const std::optional<std::string> text = Option(mount, "time_offset");
    int32_t minutes = 0;
    if (!text) {
        return std::nullopt;
    }
    const char* end = text->data() + text->size();
    const auto [ptr, ec] = std::from_chars(text->data(), end, minutes);
    if (ec != std::errc() || ptr != end || minutes < -kMaxOffsetMinutes ||
        minutes > kMaxOffsetMinutes) {
        return std::nullopt;  // not something the kernel would have accepted
    }
    return minutes;
}

// vfat and msdos: "tz=UTC" (the kernel shows time_offset=0 that way), "time_offset=N", or
// nothing, in which case the kernel's own zone applies.
int32_t FatOffset(const MountEntry& mount, int kernelMinutesWest) {
    if (Option(mount, "tz") == "UTC") {
        return 0;
    }
    return OffsetOption(mount).value_or(-kernelMinutesWest);
}

// exfat: "sys_tz" takes the kernel's zone, "time_offset=N" a fixed one, nothing means UTC.
int32_t ExfatOffset(const MountEntry& mount, int kernelMinutesWest) {
    if (Option(mount, "sys_tz")) {
        return -kernelMinutesWest;
    }
    return OffsetOption(mount).value_or(0);
}

// mktime reads the zone afresh each time, and the C library's own lock around that is one no
// thread checker sees: the player's threads that turn times take this one as well.
std::mutex& ZoneLock() {
    static std::mutex lock;
    return lock;
}

int64_t LocalCalendarSeconds(time_t utc) {
    const std::lock_guard guard(ZoneLock());
    std::tm local{};
    if (localtime_r(&utc, &local) == nullptr) {
        return utc;
    }
    local.tm_isdst = -1;
    return std::mktime(&local);
}

// The wall-clock reading `wall` (seconds counted as if it were UTC) as the local time that shows
// the same calendar reading.
int64_t WallClockAsLocal(time_t wall) {
    const std::lock_guard guard(ZoneLock());
    std::tm calendar{};
    if (gmtime_r(&wall, &calendar) == nullptr) {
        return wall;
    }
    calendar.tm_isdst = -1;
    return std::mktime(&calendar);
}

}  // namespace

CameraClock CameraClock::ForMount(const MountEntry& mount, int kernelMinutesWest) {
    CameraClock clock;
    if (mount.fsType == "vfat" || mount.fsType == "msdos") {
        clock.wallClock_ = true;
        clock.offsetEastMinutes_ = FatOffset(mount, kernelMinutesWest);
    } else if (mount.fsType == "exfat") {
        clock.wallClock_ = true;
        clock.offsetEastMinutes_ = ExfatOffset(mount, kernelMinutesWest);
    }
    return clock;
}

CameraClock CameraClock::ForFolder(const std::string& folder, const std::string& mountInfoPath) {
    const std::unique_ptr<char, FreeDeleter> real(
        ::realpath(folder.empty() ? "." : folder.c_str(), nullptr));
    if (!real) {
        return {};
    }
    const std::vector<MountEntry> mounts = ReadMountTable(mountInfoPath);
    const MountEntry* mount = MountOf(mounts, real.get());
    return mount != nullptr ? ForMount(*mount, KernelMinutesWest()) : CameraClock();
}

int64_t CameraClock::CalendarSeconds(int64_t fileTime) const {
    if (!wallClock_) {
        return LocalCalendarSeconds(static_cast<time_t>(fileTime));
    }
    return WallClockAsLocal(static_cast<time_t>(fileTime + offsetEastMinutes_ * kSecondsPerMinute));
}

int KernelMinutesWest() {
    // The C library no longer passes the kernel's zone on; the system call still does.
    struct timeval now {};
    struct timezone zone {};
    if (::syscall(SYS_gettimeofday, &now, &zone) != 0) {
        return 0;
    }
    return zone.tz_minuteswest;
}

}  // namespace velmaro
