#include "platform/drives.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
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

}  // namespace

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
        if (known->second) {
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
