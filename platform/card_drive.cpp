// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/card_drive.h"

#include <ftw.h>
#include <sys/stat.h>
#include <sys/statvfs.h>

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "platform/mount_table.h"

namespace velmaro {
namespace {

namespace fs = std::filesystem;

// nftw keeps no state of its own for the callback; one tally at a time per thread is enough.
constexpr int kOpenFolders = 32;
thread_local ContentTally* tTally = nullptr;

int CountEntry(const char* /*path*/, const struct stat* st, int type, struct FTW* at) {
    if (at->level == 0 || type == FTW_D || type == FTW_DP || type == FTW_DNR) {
        return FTW_CONTINUE;
    }
    ++tTally->files;
    if (type == FTW_F && S_ISREG(st->st_mode)) {
        tTally->bytes += static_cast<uint64_t>(st->st_size);
    }
    return FTW_CONTINUE;
}

std::string Canonical(const std::string& path) {
    std::error_code error;
    const fs::path real = fs::canonical(path, error);
    return error ? path : real.string();
}

std::string LastComponent(const std::string& path) {
    const fs::path p = fs::path(path).lexically_normal();
    std::string name = p.filename().string();
    if (name.empty()) {
        name = p.parent_path().filename().string();
    }
    return name.empty() ? path : name;
}

}  // namespace

CardDrive DescribeDrive(const std::string& root, const DriveSources& sources) {
    CardDrive drive;
    drive.root = root;
    const std::vector<MountEntry> mounts = ReadMountTable(sources.mountInfo);
    if (const MountEntry* mount = MountOf(mounts, Canonical(root))) {
        if (mount->source.rfind("/dev/", 0) == 0) {
            drive.device = fs::path(mount->source).filename().string();
        }
        drive.label = UdevProperty(mount->major, mount->minor, "ID_FS_LABEL", sources.udevData);
    }
    if (drive.label.empty()) {
        drive.label = LastComponent(root);
    }
    struct statvfs fsStat {};
    if (::statvfs(root.c_str(), &fsStat) == 0) {
        drive.capacity = static_cast<uint64_t>(fsStat.f_blocks) * fsStat.f_frsize;
    }
    return drive;
}

std::vector<std::string> CameraCardRoots(const std::vector<std::string>& roots) {
    std::vector<std::string> cards;
    std::copy_if(
        roots.begin(), roots.end(), std::back_inserter(cards),
        [](const std::string& root) { return HoldsCameraCard(root) && !HoldsBootFiles(root); });
    return cards;
}

ContentTally TallyContents(const std::string& root) {
    ContentTally tally;
    tTally = &tally;
    ::nftw(root.c_str(), CountEntry, kOpenFolders, FTW_PHYS | FTW_MOUNT | FTW_ACTIONRETVAL);
    tTally = nullptr;
    return tally;
}

}  // namespace velmaro
