#include "platform/card_clear.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>

#include "platform/unique_fd.h"

namespace velmaro {
namespace {

namespace fs = std::filesystem;

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
    explicit TreeClearer(dev_t device) : device_(device) {}

    // Empties the folder open as `dirFd`.
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
        if (st.st_dev != device_) {
            // Another file system mounted below the card is not the card's to lose.
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
        ClearFolder(child.Get());
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
    if (*real == "/") {
        return ClearRefusal::kSystemRoot;
    }
    if (!home.empty()) {
        const std::string realHome = Canonical(home).value_or(Normalised(home));
        if (IsPathBelow(realHome, *real)) {
            return ClearRefusal::kHomeFolder;
        }
    }
    return ClearRefusal::kNone;
}

ClearRefusal CheckClearTarget(const std::string& target,
                              const std::vector<std::string>& driveRoots) {
    const char* home = std::getenv("HOME");
    return CheckClearTarget(target, driveRoots, home != nullptr ? home : "");
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
    TreeClearer clearer(st.st_dev);
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
