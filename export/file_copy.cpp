// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/file_copy.h"
#include "platform/regular_file.h"
#include "platform/write_all.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <random>
#include <system_error>
#include <utility>

#include "stream/recording_files.h"

namespace velmaro {
namespace {

constexpr int kTempNameAttempts = 16;
constexpr mode_t kNewFileMode = 0666;  // less the umask, as for any file the user creates
constexpr mode_t kPermissionBits = 07777;
// Room left in a 255-byte file name for the dot, the random part and the suffix.
constexpr size_t kMaxBaseInTempName = 200;
constexpr size_t kCopyChunk = size_t{1} << 20;
constexpr size_t kTagLength = 12;  // hex digits RandomTag gives
constexpr char kTempSuffix[] = ".part";

std::string BaseName(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string FolderForOpen(const std::string& path) {
    const std::string folder = FolderOf(path);
    return folder.empty() ? std::string(".") : folder;
}

// Unique enough across threads and processes; O_EXCL settles any collision.
std::string RandomTag() {
    static std::atomic<uint32_t> counter{0};
    thread_local std::mt19937 rng{std::random_device{}()};
    char tag[32];
    std::snprintf(tag, sizeof tag, "%08x%04x", static_cast<unsigned>(rng()),
                  static_cast<unsigned>(counter.fetch_add(1) & 0xFFFF));
    return tag;
}

std::string TempPrefix(const std::string& target) {
    return FolderOf(target) + "." + BaseName(target).substr(0, kMaxBaseInTempName) + ".";
}

// ".<name>.<12 hex digits>.part", as TempPrefix and RandomTag make them.
bool IsTemporaryName(const std::string& name) {
    const size_t suffix = sizeof kTempSuffix - 1;
    if (name.size() < 1 + 1 + 1 + kTagLength + suffix || name[0] != '.' ||
        name.compare(name.size() - suffix, suffix, kTempSuffix) != 0) {
        return false;
    }
    const size_t tag = name.size() - suffix - kTagLength;
    if (name[tag - 1] != '.') {
        return false;
    }
    for (size_t i = tag; i < tag + kTagLength; ++i) {
        const char c = name[i];
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) {
            return false;
        }
    }
    return true;
}

// Unnamed files are a property of the file system; these say it has none (or the kernel).
bool UnnamedFilesNotOffered(int err) {
    return err == EOPNOTSUPP || err == EISDIR || err == EINVAL || err == ENOSYS;
}

void SyncFolder(const std::string& path) {
    // The rename is what makes the new name durable; a folder that cannot be flushed still
    // holds the complete file, so this is best effort.
    UniqueFd dir(::open(FolderForOpen(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.Valid()) {
        ::fsync(dir.Get());
    }
}

// Plain read and write, for file systems without in-kernel copies. -1 with errno on failure.
int64_t CopyByReading(int in, int out, int64_t done) {
    auto buffer = std::make_unique_for_overwrite<uint8_t[]>(kCopyChunk);
    for (;;) {
        const ssize_t n = ::pread(in, buffer.get(), kCopyChunk, done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return -1;
        }
        if (n == 0) {
            return done;
        }
        if (!WriteAll(out, buffer.get(), static_cast<size_t>(n))) {
            return -1;
        }
        done += n;
    }
}

// Everything from `in` to `out`; the bytes copied, or -1 with errno.
int64_t CopyContents(int in, int out) {
    off_t offset = 0;
    for (;;) {
        const ssize_t n = ::copy_file_range(in, &offset, out, nullptr, kCopyChunk, 0);
        if (n > 0) {
            continue;
        }
        if (n == 0) {
            return offset;
        }
        if (errno == EINTR) {
            continue;
        }
        // Not offered between these files: carry on by hand from where the kernel stopped.
        if (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP) {
            if (::lseek(out, offset, SEEK_SET) < 0) {
                return -1;
            }
            return CopyByReading(in, out, offset);
        }
        return -1;
    }
}

}  // namespace

std::string SystemError(const std::string& text, int err) {
    return text + ": " + std::generic_category().message(err);
}

ReplacingFile::ReplacingFile(ReplacingFile&& other) noexcept
    : fd_(std::move(other.fd_)),
      tempPath_(std::exchange(other.tempPath_, {})),
      target_(std::exchange(other.target_, {})) {}

ReplacingFile& ReplacingFile::operator=(ReplacingFile&& other) noexcept {
    if (this != &other) {
        Abandon();
        fd_ = std::move(other.fd_);
        tempPath_ = std::exchange(other.tempPath_, {});
        target_ = std::exchange(other.target_, {});
    }
    return *this;
}

bool ReplacingFile::Create(const std::string& target, std::string* error, Temporary kind) {
    Abandon();
    struct stat existing {};
    const bool exists = ::lstat(target.c_str(), &existing) == 0;
    if (exists && S_ISDIR(existing.st_mode)) {
        *error = SystemError("cannot write " + target, EISDIR);
        return false;
    }
    // Renaming over a device node, a FIFO or a socket would replace it with a plain file (as
    // root, /dev/null for the whole system); over a symbolic link, the link and not the file it
    // names. Such targets are refused rather than guessed at.
    if (exists && S_ISLNK(existing.st_mode)) {
        *error = "cannot write " + target + ": it is a symbolic link; name the file itself";
        return false;
    }
    if (exists && !S_ISREG(existing.st_mode)) {
        *error = "cannot write " + target + ": it is not a regular file";
        return false;
    }
    // Interrupted saves on a file system without unnamed files left their parts here; the
    // user never sees them (hidden) but the card fills up.
    RemoveStaleTemporaries(FolderForOpen(target));
    bool offered = false;
    if (kind == Temporary::kUnnamedWhereOffered && !CreateUnnamed(target, error, &offered) &&
        offered) {
        return false;
    }
    if (!fd_.Valid() && !CreateNamed(target, error)) {
        return false;
    }
    if (exists) {
        ::fchmod(fd_.Get(), existing.st_mode & kPermissionBits);
    }
    target_ = target;
    return true;
}

bool ReplacingFile::CreateUnnamed(const std::string& target, std::string* error, bool* offered) {
    // Readable too: a writer may read back what it wrote (an MP4's index moved to the front).
    UniqueFd fd(
        ::open(FolderForOpen(target).c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, kNewFileMode));
    if (!fd.Valid()) {
        const int err = errno;  // before anything else can change it
        *offered = !UnnamedFilesNotOffered(err);
        *error = SystemError("cannot create a file beside " + target, err);
        return false;
    }
    *offered = true;
    fd_ = std::move(fd);
    return true;
}

bool ReplacingFile::CreateNamed(const std::string& target, std::string* error) {
    const std::string prefix = TempPrefix(target);
    for (int attempt = 0; attempt < kTempNameAttempts; ++attempt) {
        const std::string candidate = prefix + RandomTag() + kTempSuffix;
        UniqueFd fd(::open(candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, kNewFileMode));
        if (!fd.Valid()) {
            if (errno == EEXIST) {
                continue;
            }
            const int err = errno;  // before anything else can change it
            *error = SystemError("cannot create a file beside " + target, err);
            return false;
        }
        // The lock tells a later save that this part is in use, not left over; it lasts as
        // long as any handle on the file (DuplicateFd shares it).
        ::flock(fd.Get(), LOCK_EX | LOCK_NB);
        fd_ = std::move(fd);
        tempPath_ = candidate;
        return true;
    }
    *error = SystemError("cannot create a file beside " + target, EEXIST);
    return false;
}

UniqueFd ReplacingFile::DuplicateFd() const {
    return UniqueFd(fd_.Valid() ? ::fcntl(fd_.Get(), F_DUPFD_CLOEXEC, 0) : -1);
}

bool ReplacingFile::Commit(std::string* error, bool flushToDisk) {
    if (!IsOpen()) {
        *error = "nothing to save";
        return false;
    }
    if (flushToDisk && ::fsync(fd_.Get()) != 0) {
        const int err = errno;  // before anything else can change it
        *error = SystemError("cannot write " + target_, err);
        Abandon();
        return false;
    }
    if (!PutInPlace(error)) {
        Abandon();
        return false;
    }
    if (flushToDisk) {
        SyncFolder(target_);
    }
    return true;
}

// An unnamed file gets a hidden name first (a link cannot replace an existing name), and the
// rename over the target is then the same as for a named one.
bool ReplacingFile::PutInPlace(std::string* error) {
    if (tempPath_.empty()) {
        const std::string prefix = TempPrefix(target_);
        const std::string byFd = "/proc/self/fd/" + std::to_string(fd_.Get());
        for (int attempt = 0; attempt < kTempNameAttempts && tempPath_.empty(); ++attempt) {
            const std::string candidate = prefix + RandomTag() + kTempSuffix;
            if (::linkat(AT_FDCWD, byFd.c_str(), AT_FDCWD, candidate.c_str(), AT_SYMLINK_FOLLOW) ==
                0) {
                tempPath_ = candidate;
            } else if (errno != EEXIST) {
                const int err = errno;  // before anything else can change it
                *error = SystemError("cannot save " + target_, err);
                return false;
            }
        }
        if (tempPath_.empty()) {
            *error = SystemError("cannot save " + target_, EEXIST);
            return false;
        }
    }
    fd_.Reset();
    if (::rename(tempPath_.c_str(), target_.c_str()) != 0) {
        const int err = errno;  // before anything else can change it
        *error = SystemError("cannot save " + target_, err);
        return false;
    }
    tempPath_.clear();
    return true;
}

void ReplacingFile::Abandon() {
    fd_.Reset();  // an unnamed file goes with its last handle
    if (!tempPath_.empty()) {
        ::unlink(tempPath_.c_str());
        tempPath_.clear();
    }
}

int RemoveStaleTemporaries(const std::string& folder) {
    UniqueFd dirFd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dirFd.Valid()) {
        return 0;
    }
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::fdopendir(dirFd.Get()), &::closedir);
    if (!dir) {
        return 0;
    }
    dirFd.Release();  // the DIR owns it now
    int removed = 0;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (!IsTemporaryName(name)) {
            continue;
        }
        const int at = ::dirfd(dir.get());
        UniqueFd part(::openat(at, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat info {};
        if (!part.Valid() || ::fstat(part.Get(), &info) != 0 || !S_ISREG(info.st_mode)) {
            continue;
        }
        // A save in progress holds the lock; only parts nobody holds are left over.
        if (::flock(part.Get(), LOCK_EX | LOCK_NB) != 0) {
            continue;
        }
        if (::unlinkat(at, name.c_str(), 0) == 0) {
            ++removed;
        }
    }
    return removed;
}

FileCopyResult CopyWholeFile(const std::string& source, const std::string& target) {
    FileCopyResult result;
    UniqueFd in = OpenRegularFile(source);
    struct stat info {};
    if (!in.Valid() || ::fstat(in.Get(), &info) != 0) {
        const int err = errno;  // before anything else can change it
        result.error = SystemError("cannot open " + source, err);
        return result;
    }
    if (!S_ISREG(info.st_mode)) {
        result.error = SystemError("cannot copy " + source, EINVAL);
        return result;
    }
    struct stat existing {};
    if (::stat(target.c_str(), &existing) == 0 && existing.st_dev == info.st_dev &&
        existing.st_ino == info.st_ino) {
        result.error = "cannot copy " + source + " onto itself; choose another name";
        return result;
    }
    ReplacingFile out;
    if (!out.Create(target, &result.error)) {
        return result;
    }
    const int64_t copied = CopyContents(in.Get(), out.Fd());
    if (copied < 0) {
        const int err = errno;  // before anything else can change it
        result.error = SystemError("cannot copy " + source + " to " + target, err);
        return result;  // `out` removes the partial copy
    }
    if (!out.Commit(&result.error)) {
        return result;
    }
    result.ok = true;
    result.bytes = copied;
    return result;
}

}  // namespace velmaro
