// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/drives.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <map>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>

#include "platform/regular_file.h"

namespace velmaro {
namespace {

constexpr size_t kAttributeLimit = 4096;
constexpr std::string_view kCardFolder = "dcim";
constexpr std::string_view kMediaSuffix = "media";
constexpr std::string_view kRecordingSuffix = ".ts";
// An MMC card device is named "mmc<host>:<address>"; its "type" says what sits in the slot.
constexpr std::string_view kEmbeddedMmcType = "MMC";
// The camera's settings file in the card's root.
constexpr std::string_view kCameraSettingsFile = "usrset.dat";
constexpr size_t kUdevRecordLimit = 64 * 1024;

// Where kernels, loaders and firmware are mounted on Linux systems.
constexpr std::array<std::string_view, 4> kBootMountPoints = {"/boot", "/boot/efi",
                                                              "/boot/firmware", "/efi"};
// Partition types of an EFI system partition: its GPT type GUID and its MBR type.
constexpr std::string_view kEspGptType = "c12a7328-f81f-11d2-ba4b-00a0c93ec93b";
constexpr std::string_view kEspMbrType = "0xef";
// The MBR "active" flag a BIOS boots from.
constexpr std::string_view kMbrBootableFlag = "0x80";
// Names in a partition's root that only a boot partition holds, matched in any letter case:
// UEFI loaders, Linux kernels and initial RAM disks, a Raspberry Pi's firmware, GRUB and
// systemd-boot.
constexpr std::array<std::string_view, 4> kBootFolders = {"efi", "grub", "grub2", "loader"};
constexpr std::array<std::string_view, 7> kBootFilePrefixes = {
    "vmlinuz", "initrd", "kernel", "bootcode", "start.elf", "start4", "fixup"};

struct FreeDeleter {
    void operator()(char* p) const { std::free(p); }
};
struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

std::optional<std::string> RealPath(const std::string& path) {
    const std::unique_ptr<char, FreeDeleter> real(::realpath(path.c_str(), nullptr));
    return real ? std::optional<std::string>(real.get()) : std::nullopt;
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (folder.empty()) {
        return name;
    }
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}

std::string ParentOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos || slash == 0 ? "/" : path.substr(0, slash);
}

std::string Trimmed(std::string text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())) != 0) {
        text.pop_back();
    }
    return text;
}

std::string Attribute(const std::string& folder, const char* name) {
    return Trimmed(ReadSmallFile(JoinPath(folder, name), kAttributeLimit).value_or(""));
}

bool PathExists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

bool EndsWithNoCase(std::string_view text, std::string_view suffix) {
    if (text.size() < suffix.size()) {
        return false;
    }
    return std::equal(suffix.begin(), suffix.end(), text.end() - static_cast<long>(suffix.size()),
                      [](char a, char b) {
                          return std::tolower(static_cast<unsigned char>(a)) ==
                                 std::tolower(static_cast<unsigned char>(b));
                      });
}

std::vector<std::string> Components(std::string_view path) {
    std::vector<std::string> parts;
    size_t at = 0;
    while (at < path.size()) {
        const size_t slash = path.find('/', at);
        const size_t end = slash == std::string_view::npos ? path.size() : slash;
        if (end > at) {
            parts.emplace_back(path.substr(at, end - at));
        }
        at = end + 1;
    }
    return parts;
}

bool IsMmcCardName(const std::string& part) {
    return part.rfind("mmc", 0) == 0 && part.find(':') != std::string::npos;
}

// Looks at the device's place in the sysfs tree below `sysRoot`: a USB host ("usb1", ...) or an
// MMC host ("mmc_host", "mmc0") on the way makes it removable, unless the card in the MMC slot
// is a soldered-in eMMC, which is a system disk.
bool OnRemovableBus(const std::string& device, const std::string& sysRoot) {
    if (device.compare(0, sysRoot.size(), sysRoot) != 0) {
        return false;
    }
    std::string walked = sysRoot;
    bool onMmc = false;
    for (const std::string& part : Components(std::string_view(device).substr(sysRoot.size()))) {
        walked = JoinPath(walked, part);
        if (part.rfind("usb", 0) == 0) {
            return true;
        }
        if (IsMmcCardName(part) && Attribute(walked, "type") == kEmbeddedMmcType) {
            return false;
        }
        onMmc = onMmc || part.rfind("mmc", 0) == 0;
    }
    return onMmc;
}

// The file-system entries of `folder` for which keep(name, stat) holds, in name order.
template <typename Keep>
std::vector<std::string> SortedEntries(const std::string& folder, Keep keep) {
    std::vector<std::string> names;
    const std::unique_ptr<DIR, DirCloser> dir(::opendir(folder.c_str()));
    if (!dir) {
        return names;
    }
    while (const dirent* e = ::readdir(dir.get())) {
        const std::string name = e->d_name;
        struct stat st {};
        if (name != "." && name != ".." && ::stat(JoinPath(folder, name).c_str(), &st) == 0 &&
            keep(name, st)) {
            names.push_back(name);
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

enum class EntryKind { kFolder, kFile };

// The full path of the first entry of `folder` in name order that is of `kind` (after following
// symbolic links) and whose name `matches`; empty when there is none.
template <typename Matches>
std::string FirstEntry(const std::string& folder, EntryKind kind, Matches matches) {
    const std::vector<std::string> names =
        SortedEntries(folder, [&](const std::string& name, const struct stat& st) {
            const bool ofKind =
                kind == EntryKind::kFolder ? S_ISDIR(st.st_mode) : S_ISREG(st.st_mode);
            return ofKind && matches(name);
        });
    return names.empty() ? std::string() : JoinPath(folder, names.front());
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && EndsWithNoCase(text.substr(0, prefix.size()), prefix);
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && EndsWithNoCase(a, b);
}

std::string Lowercase(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

bool IsBootMountPoint(const std::string& mountPoint) {
    return std::find(kBootMountPoints.begin(), kBootMountPoints.end(), mountPoint) !=
               kBootMountPoints.end() ||
           mountPoint.rfind("/boot/", 0) == 0;
}

// What the partition table says of the device: an EFI system partition, or one the BIOS boots.
bool FlaggedForBoot(const MountEntry& mount, const std::string& udevData) {
    const std::string type =
        Lowercase(UdevProperty(mount.major, mount.minor, "ID_PART_ENTRY_TYPE", udevData));
    if (type == kEspGptType || type == kEspMbrType) {
        return true;
    }
    return UdevProperty(mount.major, mount.minor, "ID_PART_ENTRY_SCHEME", udevData) == "dos" &&
           Lowercase(UdevProperty(mount.major, mount.minor, "ID_PART_ENTRY_FLAGS", udevData)) ==
               kMbrBootableFlag;
}

}  // namespace

std::string UdevProperty(unsigned major, unsigned minor, std::string_view key,
                         const std::string& udevData) {
    const std::string record =
        ReadSmallFile(JoinPath(udevData, "b" + std::to_string(major) + ":" + std::to_string(minor)),
                      kUdevRecordLimit)
            .value_or("");
    const std::string wanted = "E:" + std::string(key) + "=";
    size_t at = 0;
    while (at < record.size()) {
        const size_t end = std::min(record.find('\n', at), record.size());
        if (record.compare(at, wanted.size(), wanted) == 0) {
            return record.substr(at + wanted.size(), end - at - wanted.size());
        }
        at = end + 1;
    }
    return {};
}

bool HoldsBootFiles(const std::string& root) {
    const std::vector<std::string> names =
        SortedEntries(root, [](const std::string& name, const struct stat& st) {
            if (S_ISDIR(st.st_mode)) {
                return std::any_of(kBootFolders.begin(), kBootFolders.end(),
                                   [&](std::string_view f) { return EqualsNoCase(name, f); });
            }
            return std::any_of(kBootFilePrefixes.begin(), kBootFilePrefixes.end(),
                               [&](std::string_view p) { return StartsWithNoCase(name, p); });
        });
    return !names.empty();
}

bool IsBootMount(const MountEntry& mount, const DriveSources& sources) {
    return IsBootMountPoint(mount.mountPoint) || FlaggedForBoot(mount, sources.udevData) ||
           HoldsBootFiles(mount.mountPoint);
}

bool HoldsCameraCard(const std::string& root) {
    struct stat st {};
    if (::stat(JoinPath(root, std::string(kCameraSettingsFile)).c_str(), &st) == 0 &&
        S_ISREG(st.st_mode)) {
        return true;
    }
    const std::string dcim = FirstEntry(root, EntryKind::kFolder, [](std::string_view name) {
        return EqualsNoCase(name, kCardFolder);
    });
    return !dcim.empty() && !FirstEntry(dcim, EntryKind::kFolder, [](std::string_view name) {
                                 return EndsWithNoCase(name, kMediaSuffix);
                             }).empty();
}

bool IsRemovableBlockDevice(unsigned major, unsigned minor, const std::string& sysDevBlock) {
    if (major == 0) {
        return false;  // tmpfs, proc and the like have no block device
    }
    const std::optional<std::string> device =
        RealPath(JoinPath(sysDevBlock, std::to_string(major) + ":" + std::to_string(minor)));
    const std::optional<std::string> sysRoot = RealPath(JoinPath(sysDevBlock, "../.."));
    if (!device || !sysRoot) {
        return false;
    }
    // A partition's folder lies inside its disk's, and only the disk says whether it is removable.
    const std::string disk =
        PathExists(JoinPath(*device, "partition")) ? ParentOf(*device) : *device;
    return Attribute(disk, "removable") == "1" || OnRemovableBus(*device, *sysRoot);
}

std::vector<std::string> RemovableMountRoots(const DriveSources& sources) {
    std::map<std::pair<unsigned, unsigned>, bool> removable;  // each device is looked at once
    std::vector<std::string> roots;
    for (const MountEntry& m : ReadMountTable(sources.mountInfo)) {
        if (m.root != "/") {
            continue;  // a folder of a file system mounted elsewhere as well
        }
        const auto device = std::make_pair(m.major, m.minor);
        auto known = removable.find(device);
        if (known == removable.end()) {
            known =
                removable
                    .emplace(device, IsRemovableBlockDevice(m.major, m.minor, sources.sysDevBlock))
                    .first;
        }
        if (known->second && !IsBootMount(m, sources)) {
            roots.push_back(m.mountPoint);
        }
    }
    std::sort(roots.begin(), roots.end());
    roots.erase(std::unique(roots.begin(), roots.end()), roots.end());
    return roots;
}

std::vector<std::string> SplitRootList(const std::string& list) {
    std::vector<std::string> roots;
    size_t at = 0;
    while (at <= list.size()) {
        const size_t colon = list.find(':', at);
        const size_t end = colon == std::string::npos ? list.size() : colon;
        if (end > at) {
            roots.push_back(list.substr(at, end - at));
        }
        at = end + 1;
    }
    return roots;
}

std::vector<std::string> DriveRoots(const DriveSources& sources) {
    if (const char* listed = std::getenv(kDriveRootsVariable)) {
        return SplitRootList(listed);
    }
    return RemovableMountRoots(sources);
}

std::string CardRecordingOnRoot(const std::string& root) {
    const std::string dcim = FirstEntry(root, EntryKind::kFolder, [](std::string_view name) {
        return name.size() == kCardFolder.size() && EndsWithNoCase(name, kCardFolder);
    });
    if (dcim.empty()) {
        return {};
    }
    const std::string media = FirstEntry(dcim, EntryKind::kFolder, [](std::string_view name) {
        return EndsWithNoCase(name, kMediaSuffix);
    });
    if (media.empty()) {
        return {};
    }
    return FirstEntry(media, EntryKind::kFile,
                      [](std::string_view name) { return EndsWithNoCase(name, kRecordingSuffix); });
}

std::string FindCardRoot(const std::vector<std::string>& roots) {
    for (const std::string& root : roots) {
        if (!CardRecordingOnRoot(root).empty()) {
            return root;
        }
    }
    return {};
}

std::string FindCardRecording(const std::vector<std::string>& roots) {
    for (const std::string& root : roots) {
        if (std::string recording = CardRecordingOnRoot(root); !recording.empty()) {
            return recording;
        }
    }
    return {};
}

std::string FindCardRoot() {
    return FindCardRoot(DriveRoots());
}

std::string FindCardRecording() {
    return FindCardRecording(DriveRoots());
}

}  // namespace velmaro
