// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/card_clear.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <utility>

#include "platform/mount_table.h"
#include "platform/unique_fd.h"

namespace velmaro {
namespace {

namespace fs = std::filesystem;

// Folders of the running system that no card root may be, whatever path reaches them (a bind
// mount shows the same folder under a second name).
constexpr const char* kSystemFolders[] = {"/boot", "/boot/efi", "/boot/firmware", "/efi", "/etc",
                                          "/home", "/opt",      "/root",          "/srv", "/usr",
                                          "/var"};
constexpr size_t kPasswordBufferBytes = 16384;

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

// Absolute, without "." and ".." and without a trailing slash (except for "/" itself).
std::string Normalised(const std::string& path) {
    std::error_code error;
    fs::path p = fs::absolute(fs::path(path), error).lexically_normal();
    std::string text = p.string();
    while (text.size() > 1 && text.back() == '/') {
        text.pop_back();
    }
    return text;
}

std::optional<std::string> Canonical(const std::string& path) {
    std::error_code error;
    const fs::path real = fs::canonical(fs::path(path), error);
    if (error) {
        return std::nullopt;
    }
    return Normalised(real.string());
}

// A folder's identity: the same for every path and every bind mount that shows it.
struct FolderIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const FolderIdentity&) const = default;
};

std::optional<FolderIdentity> IdentityOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return std::nullopt;
    }
    return FolderIdentity{st.st_dev, st.st_ino};
}

// The user's home from the password database: it is there even when $HOME is unset or wrong.
std::string PasswordHome() {
    passwd entry{};
    passwd* found = nullptr;
    std::vector<char> buffer(kPasswordBufferBytes);
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 ||
        found == nullptr || found->pw_dir == nullptr) {
        return "";
    }
    return found->pw_dir;
}

// Whether `target` is `home` or one of the folders holding it, by identity.
bool HoldsHome(const FolderIdentity& target, const std::string& home) {
    if (home.empty()) {
        return false;
    }
    std::error_code error;
    fs::path folder = fs::weakly_canonical(fs::absolute(fs::path(home), error), error);
    while (true) {
        if (IdentityOf(folder.string()) == target) {
            return true;
        }
        if (!folder.has_relative_path()) {
            return false;
        }
        folder = folder.parent_path();
    }
}

bool IsSystemFolder(const FolderIdentity& target) {
    return std::any_of(std::begin(kSystemFolders), std::end(kSystemFolders),
                       [&](const char* folder) { return IdentityOf(folder) == target; });
}

// The mount points strictly below `root`: a bind mount of a folder of the same file system
// has the card's device number, so only the mount table or the kernel's mount-root flag tells
// it from an ordinary folder.
std::set<std::string> MountPointsBelow(const std::string& root) {
    std::set<std::string> points;
    for (const MountEntry& mount : ReadMountTable()) {
        if (mount.mountPoint != root && IsPathBelow(mount.mountPoint, root)) {
            points.insert(Normalised(mount.mountPoint));
        }
    }
    return points;
}

bool IsMountRoot(int dirFd, const std::string& name) {
    struct statx sx {};
    if (::statx(dirFd, name.c_str(), AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, STATX_BASIC_STATS,
                &sx) != 0) {
        return false;
    }
    return (sx.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) != 0 &&
           (sx.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
}

bool IsListed(const std::string& normalised, const std::vector<std::string>& driveRoots) {
    return std::any_of(driveRoots.begin(), driveRoots.end(), [&](const std::string& root) {
        return !root.empty() && Normalised(root) == normalised;
    });
}

// The names in the open folder `dirFd`, read in full before anything is deleted so that the
// deletions cannot disturb the listing.
std::optional<std::vector<std::string>> EntryNames(int dirFd) {
    const int listFd = ::dup(dirFd);
    if (listFd < 0) {
        return std::nullopt;
    }
    const std::unique_ptr<DIR, DirCloser> dir(::fdopendir(listFd));
    if (!dir) {
        ::close(listFd);
        return std::nullopt;
    }
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") {
            names.push_back(name);
        }
    }
    return names;
}

class TreeClearer {
  public:
    TreeClearer(dev_t device, std::string root)
        : device_(device), mountPoints_(MountPointsBelow(root)), path_(std::move(root)) {}

    // Empties the folder open as `dirFd`, whose path is `path_`.
    void ClearFolder(int dirFd) {
        const std::optional<std::vector<std::string>> names = EntryNames(dirFd);
        if (!names) {
            Failed(errno);
            ++result_.left;  // at least the folder's unknown contents stay
            return;
        }
        for (const std::string& name : *names) {
            RemoveEntry(dirFd, name);
        }
    }

    ClearResult Result() const { return result_; }

  private:
    void RemoveEntry(int dirFd, const std::string& name) {
        struct stat st {};
        if (::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno != ENOENT) {  // gone meanwhile: nothing left to do
                Failed(errno);
                ++result_.left;
            }
            return;
        }
        if (!S_ISDIR(st.st_mode)) {
            Unlink(dirFd, name, 0);
            return;
        }
        const std::string childPath = path_ + "/" + name;
        if (st.st_dev != device_ || IsMountRoot(dirFd, name) || mountPoints_.count(childPath)) {
            // Whatever is mounted below the card, another file system or a bind mount of a
            // folder elsewhere, is not the card's to lose.
            Failed(EXDEV);
            ++result_.left;
            return;
        }
        const UniqueFd child(
            ::openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!child.Valid()) {
            Failed(errno);
            ++result_.left;
            return;
        }
        std::string parentPath = std::exchange(path_, childPath);
        ClearFolder(child.Get());
        path_ = std::move(parentPath);
        Unlink(dirFd, name, AT_REMOVEDIR);
    }

    void Unlink(int dirFd, const std::string& name, int flags) {
        if (::unlinkat(dirFd, name.c_str(), flags) == 0) {
            ++result_.removed;
            return;
        }
        if (errno == ENOENT) {
            return;
        }
        // A folder that kept some of its contents fails with ENOTEMPTY; those were counted.
        if (errno != ENOTEMPTY || result_.firstError == 0) {
            Failed(errno);
        }
        ++result_.left;
    }

    void Failed(int error) {
        if (result_.firstError == 0) {
            result_.firstError = error;
        }
    }

    const dev_t device_;
    const std::set<std::string> mountPoints_;
    std::string path_;
    ClearResult result_;
};

}  // namespace

ClearRefusal CheckClearTarget(const std::string& target, const std::vector<std::string>& driveRoots,
                              const std::string& home) {
    if (target.empty()) {
        return ClearRefusal::kEmpty;
    }
    const std::string normalised = Normalised(target);
    if (!IsListed(normalised, driveRoots)) {
        return ClearRefusal::kNotListedRoot;
    }
    const std::optional<std::string> real = Canonical(target);
    std::error_code error;
    if (!real || !fs::is_directory(fs::path(*real), error)) {
        return ClearRefusal::kMissing;
    }
    if (*real != normalised) {
        return ClearRefusal::kThroughSymlink;
    }
    const std::optional<FolderIdentity> identity = IdentityOf(*real);
    if (!identity) {
        return ClearRefusal::kMissing;
    }
    if (*real == "/" || IdentityOf("/") == identity) {
        return ClearRefusal::kSystemRoot;
    }
    if (IsSystemFolder(*identity)) {
        return ClearRefusal::kSystemFolder;
    }
    if (HoldsHome(*identity, home)) {
        return ClearRefusal::kHomeFolder;
    }
    return ClearRefusal::kNone;
}

ClearRefusal CheckClearTarget(const std::string& target,
                              const std::vector<std::string>& driveRoots) {
    const char* home = std::getenv("HOME");
    const ClearRefusal refusal =
        CheckClearTarget(target, driveRoots, home != nullptr ? home : PasswordHome());
    if (refusal != ClearRefusal::kNone || home == nullptr) {
        return refusal;
    }
    // $HOME may point elsewhere than the home the system knows; both are kept.
    return CheckClearTarget(target, driveRoots, PasswordHome());
}

std::string ClearRefusalText(ClearRefusal refusal) {
    switch (refusal) {
        case ClearRefusal::kNone:
            return "";
        case ClearRefusal::kEmpty:
            return "No card is chosen";
        case ClearRefusal::kNotListedRoot:
            return "Only a removable card can be cleared";
        case ClearRefusal::kMissing:
            return "The card is no longer there";
        case ClearRefusal::kThroughSymlink:
            return "The card's folder is a link to another place";
        case ClearRefusal::kSystemRoot:
            return "The system's root folder cannot be cleared";
        case ClearRefusal::kSystemFolder:
            return "A folder of the running system cannot be cleared";
        case ClearRefusal::kHomeFolder:
            return "The home folder cannot be cleared";
    }
    return "";
}

ClearResult ClearFolderContents(const std::string& root) {
    const UniqueFd rootFd(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!rootFd.Valid()) {
        ClearResult result;
        result.firstError = errno;
        return result;
    }
    struct stat st {};
    if (::fstat(rootFd.Get(), &st) != 0) {
        ClearResult result;
        result.firstError = errno;
        return result;
    }
    TreeClearer clearer(st.st_dev, Normalised(root));
    clearer.ClearFolder(rootFd.Get());
    return clearer.Result();
}

bool IsPathBelow(const std::string& path, const std::string& root) {
    if (path.empty() || root.empty()) {
        return false;
    }
    const std::string p = Normalised(path);
    const std::string r = Normalised(root);
    if (r == "/") {
        return true;
    }
    return p == r || (p.size() > r.size() && p.compare(0, r.size(), r) == 0 && p[r.size()] == '/');
}

}  // namespace velmaro
