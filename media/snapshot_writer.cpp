#include "media/snapshot_writer.h"

#include <sys/stat.h>
#include <turbojpeg.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>

namespace velmaro {

namespace {

constexpr size_t kTimeTextLimit = 128;
constexpr const char* kSnapshotTimeFormat = "%Y-%m-%d %H-%M-%S";
constexpr const char* kSnapshotExtension = ".jpg";
constexpr mode_t kFolderMode = 0777;  // narrowed by the user's umask
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

bool IsDirectory(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
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

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Writes and closes; a failure of either counts (a full disk may show only at the close).
bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    FilePtr file(std::fopen(path.c_str(), "wbe"));
    if (!file) {
        return false;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file.get()) == bytes.size();
    const bool closed = std::fclose(file.release()) == 0;
    if (!written || !closed) {
        std::remove(path.c_str());
        return false;
    }
    return true;
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

bool WriteSnapshot(const PresentedPicture& picture, const std::string& filePath) {
    std::vector<uint8_t> jpeg;
    return !filePath.empty() && EnsureFolderExists(filePath) && EncodeSnapshot(picture, jpeg) &&
           WriteFile(filePath, jpeg);
}

}  // namespace velmaro
