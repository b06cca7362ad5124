// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Arbitrary bytes as the kernel's mount table. Every line kept must have a file-system type, no
// unescaped name may grow, the mount found for a path must enclose it, and the time options of
// any mount must give an offset the kernel itself would accept.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "platform/camera_clock.h"
#include "platform/mount_table.h"

namespace {

constexpr int kMaxOffsetMinutes = 24 * 60;
constexpr int64_t kSomeFileTime = 1700000000;

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

void CheckEntry(const velmaro::MountEntry& m) {
    Require(!m.fsType.empty());
    for (const std::string_view key : {"tz", "time_offset", "sys_tz"}) {
        velmaro::MountOption(m.superOptions, key);
        velmaro::MountOption(m.mountOptions, key);
    }
    const velmaro::CameraClock clock = velmaro::CameraClock::ForMount(m, 0);
    Require(clock.OffsetEastMinutes() >= -kMaxOffsetMinutes &&
            clock.OffsetEastMinutes() <= kMaxOffsetMinutes);
    clock.CalendarSeconds(kSomeFileTime);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    Require(velmaro::UnescapeMountField(text).size() <= text.size());
    const std::vector<velmaro::MountEntry> mounts = velmaro::ParseMountInfo(text);
    for (const velmaro::MountEntry& m : mounts) {
        CheckEntry(m);
    }
    for (const std::string path : {"/", "/media/card/DCIM/100MEDIA"}) {
        if (const velmaro::MountEntry* m = velmaro::MountOf(mounts, path)) {
            Require(path.compare(0, m->mountPoint.size(), m->mountPoint) == 0);
        }
    }
    return 0;
}
