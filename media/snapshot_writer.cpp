// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/snapshot_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <turbojpeg.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <memory>
#include <system_error>

#include "media/snapshot_exif.h"
#include "platform/unique_fd.h"
#include "platform/write_all.h"

namespace velmaro {

namespace {

constexpr size_t kTimeTextLimit = 128;
constexpr const char* kSnapshotTimeFormat = "%Y-%m-%d %H-%M-%S";
constexpr const char* kSnapshotExtension = ".jpg";
constexpr mode_t kFolderMode = 0777;  // narrowed by the user's umask
constexpr mode_t kFileMode = 0666;    // likewise
constexpr int kMostNumberedNames = 1000;
constexpr int kRgbBytesPerPixel = 4;

// Limited-range video levels (BT.601) against the full range JPEG's YCbCr uses.
constexpr int kLumaFloor = 16;
constexpr int kLumaSpan = 219;
constexpr int kChromaMid = 128;
constexpr int kChromaSpan = 224;
constexpr int kFullSpan = 255;

struct TjHandleDeleter {
    void operator()(void* handle) const { tjDestroy(handle); }
};
struct TjBufferDeleter {
    void operator()(unsigned char* buffer) const { tjFree(buffer); }
};
using TjHandle = std::unique_ptr<void, TjHandleDeleter>;
using TjBuffer = std::unique_ptr<unsigned char, TjBufferDeleter>;

using LevelTable = std::array<uint8_t, 256>;

uint8_t Clamp(int value) {
    return static_cast<uint8_t>(std::clamp(value, 0, kFullSpan));
}

LevelTable LumaToFullRange() {
    LevelTable table{};
    for (int v = 0; v < 256; ++v) {
        table[v] = Clamp(((v - kLumaFloor) * kFullSpan + kLumaSpan / 2) / kLumaSpan);
    }
    return table;
}

LevelTable ChromaToFullRange() {
    LevelTable table{};
    for (int v = 0; v < 256; ++v) {
        const int scaled = (v - kChromaMid) * kFullSpan;
        const int rounded = (scaled + (scaled >= 0 ? 1 : -1) * kChromaSpan / 2) / kChromaSpan;
        table[v] = Clamp(rounded + kChromaMid);
    }
    return table;
}

bool Covers(std::span<const uint8_t> plane, int stride, int rowBytes, int rows) {
    return stride >= rowBytes && rows > 0 &&
           plane.size() >= static_cast<size_t>(stride) * (rows - 1) + rowBytes;
}

// False with errno saying why, also when the path is something other than a folder.
bool IsDirectory(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return false;
    }
    if (!S_ISDIR(info.st_mode)) {
        errno = ENOTDIR;
        return false;
    }
    return true;
}

std::string FolderOf(const std::string& filePath) {
    const size_t slash = filePath.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? std::string("/") : filePath.substr(0, slash);
}

std::string Because(const std::string& what, int err) {
    return what + ": " + std::generic_category().message(err);
}

SnapshotResult Failure(SnapshotEnd end, std::string reason) {
    return {end, {}, std::move(reason)};
}

// The new name is durable once its folder is on disk too; the file itself already is, so a
// folder that cannot be flushed does not undo the snapshot.
void SyncFolder(const std::string& filePath) {
    const UniqueFd folder(::open(FolderOf(filePath).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.Valid()) {
        ::fsync(folder.Get());
    }
}

// A full-range copy of one plane, `rowBytes` x `rows` of it visible, laid out as TurboJPEG reads
// it: `paddedWidth` x `paddedRows` (whole subsampling units), the edge samples repeated.
std::vector<uint8_t> FullRangePlane(std::span<const uint8_t> plane, int stride, int rowBytes,
                                    int rows, int paddedWidth, int paddedRows,
                                    const LevelTable& table) {
    std::vector<uint8_t> out(static_cast<size_t>(paddedWidth) * paddedRows);
    for (int row = 0; row < paddedRows; ++row) {
        const uint8_t* from = plane.data() + static_cast<size_t>(std::min(row, rows - 1)) * stride;
        uint8_t* to = out.data() + static_cast<size_t>(row) * paddedWidth;
        for (int i = 0; i < paddedWidth; ++i) {
            to[i] = table[from[std::min(i, rowBytes - 1)]];
        }
    }
    return out;
}

bool EncodePlanes(void* handle, const PresentedPicture& picture, TjBuffer& jpeg,
                  unsigned long& size) {
    const int width = picture.width;
    const int height = picture.height;
    const int chromaWidth = (width + 1) / 2;
    const int chromaHeight = (height + 1) / 2;
    if (!Covers(picture.Plane(0), picture.strides[0], width, height) ||
        !Covers(picture.Plane(1), picture.strides[1], chromaWidth, chromaHeight) ||
        !Covers(picture.Plane(2), picture.strides[2], chromaWidth, chromaHeight)) {
        return false;
    }
    static const LevelTable luma = LumaToFullRange();
    static const LevelTable chroma = ChromaToFullRange();
    std::vector<uint8_t> planes[3];
    int strides[3] = {};
    for (int p = 0; p < 3; ++p) {
        const int paddedWidth = tjPlaneWidth(p, width, TJSAMP_420);
        const int paddedRows = tjPlaneHeight(p, height, TJSAMP_420);
        if (paddedWidth <= 0 || paddedRows <= 0) {
            return false;
        }
        planes[p] = FullRangePlane(picture.Plane(p), picture.strides[p],
                                   p == 0 ? width : chromaWidth, p == 0 ? height : chromaHeight,
                                   paddedWidth, paddedRows, p == 0 ? luma : chroma);
        strides[p] = paddedWidth;
    }
    const unsigned char* sources[3] = {planes[0].data(), planes[1].data(), planes[2].data()};
    unsigned char* out = nullptr;
    const int result = tjCompressFromYUVPlanes(handle, sources, width, strides, height, TJSAMP_420,
                                               &out, &size, kSnapshotQuality, 0);
    jpeg.reset(out);
    return result == 0;
}

bool EncodeBgrx(void* handle, const PresentedPicture& picture, TjBuffer& jpeg,
                unsigned long& size) {
    if (!Covers(picture.Plane(0), picture.strides[0], picture.width * kRgbBytesPerPixel,
                picture.height)) {
        return false;
    }
    unsigned char* out = nullptr;
    const int result =
        tjCompress2(handle, picture.Plane(0).data(), picture.width, picture.strides[0],
                    picture.height, TJPF_BGRX, &out, &size, TJSAMP_420, kSnapshotQuality, 0);
    jpeg.reset(out);
    return result == 0;
}

// Creates the first free name exclusively and writes all of `bytes` to disk there.
SnapshotResult WriteNewFile(const std::string& filePath, const std::vector<uint8_t>& bytes) {
    for (int number = 1; number <= kMostNumberedNames; ++number) {
        const std::string path = NumberedSnapshotPath(filePath, number);
        UniqueFd file(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kFileMode));
        if (!file.Valid()) {
            if (errno == EEXIST) {
                continue;  // taken, perhaps by a folder or a link: never written through
            }
            const int err = errno;  // before anything else can change it
            return Failure(SnapshotEnd::kFolderUnwritable,
                           Because("the folder " + FolderOf(filePath) + " cannot be written", err));
        }
        // A full disk may show only at the flush or the close.
        if (!WriteAll(file.Get(), bytes.data(), bytes.size()) || ::fsync(file.Get()) != 0 ||
            ::close(file.Release()) != 0) {
            const int err = errno;  // before anything else can change it
            ::unlink(path.c_str());
            return Failure(SnapshotEnd::kWriteFailed, Because("writing " + path + " failed", err));
        }
        SyncFolder(path);
        return {SnapshotEnd::kWritten, path, {}};
    }
    return Failure(SnapshotEnd::kWriteFailed,
                   "every name from " + filePath + " to " +
                       NumberedSnapshotPath(filePath, kMostNumberedNames) + " is taken");
}

}  // namespace

std::string SnapshotFileName(std::time_t when) {
    char text[kTimeTextLimit] = "";
    std::tm local{};
    if (localtime_r(&when, &local)) {
        if (std::strftime(text, sizeof text, kSnapshotTimeFormat, &local) == 0) {
            text[0] = '\0';
        }
    }
    return std::string(text) + kSnapshotExtension;
}

std::string SnapshotFilePath(const std::string& folder, std::time_t when) {
    const std::string name = SnapshotFileName(when);
    std::string base = folder;
    while (base.size() > 1 && base.back() == '/') {
        base.pop_back();
    }
    if (base.empty()) {
        return name;
    }
    return base == "/" ? base + name : base + "/" + name;
}

bool EnsureFolderExists(const std::string& filePath) {
    const size_t last = filePath.find_last_of('/');
    if (last == std::string::npos || last == 0) {
        return true;  // the current folder, or a file directly in the root
    }
    const std::string folder = filePath.substr(0, last);
    if (IsDirectory(folder)) {
        return true;
    }
    // Each level in turn; one that exists already just fails to be created again.
    for (size_t at = folder.find('/', 1); at != std::string::npos; at = folder.find('/', at + 1)) {
        ::mkdir(folder.substr(0, at).c_str(), kFolderMode);
    }
    ::mkdir(folder.c_str(), kFolderMode);
    return IsDirectory(folder);
}

bool EncodeSnapshot(const PresentedPicture& picture, std::vector<uint8_t>& jpeg) {
    jpeg.clear();
    if (picture.width <= 0 || picture.height <= 0) {
        return false;
    }
    const TjHandle handle(tjInitCompress());
    if (!handle) {
        return false;
    }
    TjBuffer encoded;
    unsigned long size = 0;
    const bool ok = picture.format == PictureFormat::kRgb32
                        ? EncodeBgrx(handle.get(), picture, encoded, size)
                        : EncodePlanes(handle.get(), picture, encoded, size);
    if (!ok || !encoded || size == 0) {
        return false;
    }
    jpeg.assign(encoded.get(), encoded.get() + size);
    return true;
}

std::string NumberedSnapshotPath(const std::string& filePath, int number) {
    if (number <= 1) {
        return filePath;
    }
    const size_t slash = filePath.rfind('/');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const size_t dot = filePath.rfind('.');
    const size_t at = dot != std::string::npos && dot >= nameStart ? dot : filePath.size();
    return filePath.substr(0, at) + " (" + std::to_string(number) + ")" + filePath.substr(at);
}

SnapshotResult WriteSnapshot(const PresentedPicture& picture, const std::string& filePath,
                             const SnapshotStamp& stamp) {
    if (picture.width <= 0 || picture.height <= 0) {
        return Failure(SnapshotEnd::kNoPicture, "no picture yet");
    }
    if (filePath.empty() || filePath.back() == '/' || IsDirectory(filePath)) {
        return Failure(SnapshotEnd::kWriteFailed,
                       "no file name: " + (filePath.empty() ? std::string("(empty)") : filePath));
    }
    if (!EnsureFolderExists(filePath)) {
        const int err = errno;  // before anything else can change it
        return Failure(SnapshotEnd::kFolderUnwritable,
                       Because("the folder " + FolderOf(filePath) + " cannot be made", err));
    }
    std::vector<uint8_t> jpeg;
    if (!EncodeSnapshot(picture, jpeg)) {
        return Failure(SnapshotEnd::kWriteFailed, "the picture cannot be encoded as JPEG");
    }
    if (!InsertExif(jpeg, SnapshotExif(stamp, picture.width, picture.height))) {
        return Failure(SnapshotEnd::kWriteFailed, "the picture's EXIF tags cannot be made");
    }
    return WriteNewFile(filePath, jpeg);
}

}  // namespace velmaro
