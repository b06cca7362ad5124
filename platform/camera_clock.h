// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Times of recording files as the camera's own clock told them. A camera knows no time zones: it
// writes its local wall-clock time into the FAT or exFAT directory entry, and Linux turns that
// into seconds since 1970 as if it were UTC shifted by the mount's time offset (tz=UTC,
// time_offset=, sys_tz, or the kernel's own zone). Undoing exactly that shift gives back the
// camera's wall clock, which the navigator then shows as local time whatever zone this machine
// is in. Files on other file systems carry true UTC times and are shown in local time.
#pragma once

#include <cstdint>
#include <string>

#include "platform/mount_table.h"

namespace velmaro {

class CameraClock {
  public:
    // File times of a FAT-family mount hold the camera's wall clock, taken by the kernel as local
    // time `offsetEastMinutes` east of UTC. Any other mount: ordinary UTC file times.
    // `kernelMinutesWest` is the kernel's own time zone (see KernelMinutesWest).
    static CameraClock ForMount(const MountEntry& mount, int kernelMinutesWest);
    // The clock of the mount holding `folder` (empty for the working folder) in the mount table
    // at `mountInfoPath`; ordinary UTC file times when the folder or its mount is unknown.
    static CameraClock ForFolder(const std::string& folder,
                                 const std::string& mountInfoPath = kSelfMountInfo);

    // Seconds since 1970 that local-time routines (localtime_r) show as the calendar time the
    // file time stands for: the camera's wall clock on FAT-family mounts, else the file time
    // read as local calendar time and turned back with daylight saving decided by mktime.
    int64_t CalendarSeconds(int64_t fileTime) const;

    bool HoldsWallClock() const { return wallClock_; }
    int32_t OffsetEastMinutes() const { return offsetEastMinutes_; }

  private:
    bool wallClock_ = false;
    int32_t offsetEastMinutes_ = 0;
};

// The kernel's time zone (minutes west of UTC) that FAT mounts without a time option use; 0
// when it cannot be read.
int KernelMinutesWest();

}  // namespace velmaro
