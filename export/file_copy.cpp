#include "export/file_copy.h"
#include "platform/regular_file.h"

#include <fcntl.h>
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

void SyncFolder(const std::string& path) {
    // The rename is what makes the new name durable; a folder that cannot be flushed still
    // holds the complete file, so this is best effort.
    UniqueFd dir(::open(FolderForOpen(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.Valid()) {
        ::fsync(dir.Get());
    }
}

bool WriteAll(int fd, const uint8_t* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            if (n == 0) {
                errno = EIO;
            }
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
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

bool ReplacingFile::Create(const std::string& target, std::string* error) {
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
    const std::string prefix =
        FolderOf(target) + "." + BaseName(target).substr(0, kMaxBaseInTempName) + ".";
    for (int attempt = 0; attempt < kTempNameAttempts; ++attempt) {
        const std::string candidate = prefix + RandomTag() + ".part";
        UniqueFd fd(
            ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kNewFileMode));
        if (!fd.Valid()) {
            if (errno == EEXIST) {
                continue;
            }
            const int err = errno;  // before anything else can change it
            *error = SystemError("cannot create a file beside " + target, err);
            return false;
        }
        if (exists && S_ISREG(existing.st_mode)) {
            ::fchmod(fd.Get(), existing.st_mode & kPermissionBits);
        }
        fd_ = std::move(fd);
        tempPath_ = candidate;
        target_ = target;
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
    fd_.Reset();
    if (::rename(tempPath_.c_str(), target_.c_str()) != 0) {
        const int err = errno;  // before anything else can change it
        *error = SystemError("cannot save " + target_, err);
        Abandon();
        return false;
    }
    tempPath_.clear();
    if (flushToDisk) {
        SyncFolder(target_);
    }
    return true;
}

void ReplacingFile::Abandon() {
    fd_.Reset();
    if (!tempPath_.empty()) {
        ::unlink(tempPath_.c_str());
        tempPath_.clear();
    }
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
