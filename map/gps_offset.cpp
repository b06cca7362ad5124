// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "map/gps_offset.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <bit>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>
#include <utility>

#include "platform/log.h"
#include "platform/unique_fd.h"

namespace velmaro {
namespace {

// Field positions inside the records.
constexpr size_t kHeaderCellSize = 8;
constexpr size_t kHeaderColumnCount = 16;
constexpr size_t kHeaderCellCount = 24;
constexpr size_t kColumnLongitudeKey = 0;
constexpr size_t kColumnCellCount = 24;
constexpr size_t kColumnFirstCell = 28;
constexpr size_t kCellLatitudeKey = 8;
constexpr size_t kCellLongitudeOffset = 32;
constexpr size_t kCellLatitudeOffset = 40;

uint64_t LoadLittleEndian(const uint8_t* at, size_t width) {
    uint64_t value = 0;
    for (size_t i = width; i > 0; --i) {
        value = value << 8 | at[i - 1];
    }
    return value;
}

uint32_t LoadU32(const uint8_t* at) {
    return static_cast<uint32_t>(LoadLittleEndian(at, sizeof(uint32_t)));
}

uint64_t LoadU64(const uint8_t* at) {
    return LoadLittleEndian(at, sizeof(uint64_t));
}

double LoadDouble(const uint8_t* at) {
    return std::bit_cast<double>(LoadU64(at));
}

GpsOffsetHeader DecodeHeader(const uint8_t* bytes) {
    GpsOffsetHeader header;
    std::memcpy(header.magic.data(), bytes, header.magic.size());
    header.cellSize = LoadDouble(bytes + kHeaderCellSize);
    header.columnCount = LoadU64(bytes + kHeaderColumnCount);
    header.cellCount = LoadU64(bytes + kHeaderCellCount);
    return header;
}

// The checks that need only the header and the file's length.
GpsOffsetStatus CheckHeader(const GpsOffsetHeader& header, uint64_t fileLength) {
    if (header.magic != kGpsOffsetMagic) {
        return GpsOffsetStatus::kBadMagic;
    }
    if (!std::isfinite(header.cellSize) || header.cellSize <= 0.0) {
        return GpsOffsetStatus::kBadCellSize;
    }
    // Bounding each count by the bytes present first keeps a lying header from wrapping the
    // product around to a matching length.
    const uint64_t rest = fileLength - kGpsOffsetHeaderSize;
    if (header.columnCount > rest / kGpsOffsetColumnSize ||
        header.cellCount > rest / kGpsOffsetCellSize) {
        return GpsOffsetStatus::kWrongLength;
    }
    const uint64_t expected =
        header.columnCount * kGpsOffsetColumnSize + header.cellCount * kGpsOffsetCellSize;
    return expected == rest ? GpsOffsetStatus::kOk : GpsOffsetStatus::kWrongLength;
}

// The key of a coordinate: truncated toward zero to a whole number of cells that fits 32 bits,
// as the grid's producer quantised. Coordinates beyond that (or not numbers) have no key.
std::optional<double> GridKey(double coordinate, double cellSize) {
    const double cells = std::trunc(coordinate / cellSize);
    if (!(cells >= std::numeric_limits<int32_t>::min() &&
          cells <= std::numeric_limits<int32_t>::max())) {
        return std::nullopt;
    }
    return static_cast<double>(static_cast<int32_t>(cells)) * cellSize;
}

// Reads exactly `buffer.size()` bytes from `offset`; false when the file ends first or fails.
bool ReadExactly(int fd, std::span<uint8_t> buffer, uint64_t offset, int& error) {
    size_t got = 0;
    while (got < buffer.size()) {
        const ssize_t n =
            ::pread(fd, buffer.data() + got, buffer.size() - got, static_cast<off_t>(offset + got));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            error = n < 0 ? errno : 0;
            return false;
        }
        got += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

std::string GpsOffsetStatusText(GpsOffsetStatus status) {
    switch (status) {
        case GpsOffsetStatus::kOk:
            return "ok";
        case GpsOffsetStatus::kMissing:
            return "no offset grid file";
        case GpsOffsetStatus::kUnreadable:
            return "offset grid file cannot be read";
        case GpsOffsetStatus::kTooShort:
            return "offset grid file is shorter than its header";
        case GpsOffsetStatus::kBadMagic:
            return "not an offset grid file (no \"$GPSOFF\" magic)";
        case GpsOffsetStatus::kBadCellSize:
            return "offset grid has an unusable cell size";
        case GpsOffsetStatus::kWrongLength:
            return "offset grid length disagrees with its column and cell counts";
        case GpsOffsetStatus::kSliceOutOfRange:
            return "offset grid column refers to cells beyond the cell table";
        case GpsOffsetStatus::kTooLarge:
            return "offset grid is too large to load";
        case GpsOffsetStatus::kShortRead:
            return "offset grid file ended before its tables";
    }
    return "unknown status";
}

void GpsOffsetTable::Clear() {
    header_ = GpsOffsetHeader{};
    tables_ = std::vector<uint8_t>();
    loaded_ = false;
}

GpsOffsetStatus GpsOffsetTable::Load(const std::filesystem::path& path) {
    Clear();
    // O_NONBLOCK: a FIFO in place of the file must not hang start-up.
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    const int openError = errno;
    if (!fd.Valid()) {
        return openError == ENOENT || openError == ENOTDIR ? GpsOffsetStatus::kMissing
                                                           : GpsOffsetStatus::kUnreadable;
    }
    struct stat info {};
    if (::fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return GpsOffsetStatus::kUnreadable;
    }
    const uint64_t length = static_cast<uint64_t>(info.st_size);
    if (length < kGpsOffsetHeaderSize) {
        return GpsOffsetStatus::kTooShort;
    }
    uint8_t headerBytes[kGpsOffsetHeaderSize];
    int error = 0;
    if (!ReadExactly(fd.Get(), headerBytes, 0, error)) {
        return error != 0 ? GpsOffsetStatus::kUnreadable : GpsOffsetStatus::kShortRead;
    }
    const GpsOffsetHeader header = DecodeHeader(headerBytes);
    if (const GpsOffsetStatus status = CheckHeader(header, length);
        status != GpsOffsetStatus::kOk) {
        return status;
    }
    std::vector<uint8_t> tables;
    try {
        tables.resize(length - kGpsOffsetHeaderSize);
    } catch (const std::bad_alloc&) {
        return GpsOffsetStatus::kTooLarge;
    } catch (const std::length_error&) {
        return GpsOffsetStatus::kTooLarge;
    }
    if (!ReadExactly(fd.Get(), tables, kGpsOffsetHeaderSize, error)) {
        return error != 0 ? GpsOffsetStatus::kUnreadable : GpsOffsetStatus::kShortRead;
    }
    return Adopt(header, std::move(tables));
}

GpsOffsetStatus GpsOffsetTable::Parse(std::span<const uint8_t> file) {
    Clear();
    if (file.size() < kGpsOffsetHeaderSize) {
        return GpsOffsetStatus::kTooShort;
    }
    const GpsOffsetHeader header = DecodeHeader(file.data());
    if (const GpsOffsetStatus status = CheckHeader(header, file.size());
        status != GpsOffsetStatus::kOk) {
        return status;
    }
    return Adopt(header, std::vector<uint8_t>(file.begin() + kGpsOffsetHeaderSize, file.end()));
}

// Every column's slice must lie inside the cell table; checked once here so that lookups can
// trust the indices they read.
GpsOffsetStatus GpsOffsetTable::Adopt(const GpsOffsetHeader& header, std::vector<uint8_t> tables) {
    header_ = header;
    tables_ = std::move(tables);
    for (uint64_t i = 0; i < header_.columnCount; ++i) {
        const GpsOffsetColumn column = Column(i);
        if (uint64_t{column.firstCell} + column.cellCount > header_.cellCount) {
            Clear();
            return GpsOffsetStatus::kSliceOutOfRange;
        }
    }
    loaded_ = true;
    return GpsOffsetStatus::kOk;
}

GpsOffsetColumn GpsOffsetTable::Column(uint64_t index) const {
    const uint8_t* record = tables_.data() + index * kGpsOffsetColumnSize;
    GpsOffsetColumn column;
    column.longitudeKey = LoadDouble(record + kColumnLongitudeKey);
    column.cellCount = LoadU32(record + kColumnCellCount);
    column.firstCell = LoadU32(record + kColumnFirstCell);
    return column;
}

GpsOffsetCell GpsOffsetTable::Cell(uint64_t index) const {
    const uint8_t* record =
        tables_.data() + header_.columnCount * kGpsOffsetColumnSize + index * kGpsOffsetCellSize;
    GpsOffsetCell cell;
    cell.latitudeKey = LoadDouble(record + kCellLatitudeKey);
    cell.longitudeOffset = LoadDouble(record + kCellLongitudeOffset);
    cell.latitudeOffset = LoadDouble(record + kCellLatitudeOffset);
    return cell;
}

std::optional<GpsOffsetColumn> GpsOffsetTable::FindColumn(double longitudeKey) const {
    for (uint64_t i = 0; i < header_.columnCount; ++i) {
        const GpsOffsetColumn column = Column(i);
        if (column.longitudeKey >= longitudeKey) {
            if (std::fabs(column.longitudeKey - longitudeKey) > header_.cellSize) {
                return std::nullopt;
            }
            return column;
        }
    }
    return std::nullopt;
}

std::optional<GpsOffsetCell> GpsOffsetTable::FindCell(const GpsOffsetColumn& column,
                                                      double latitudeKey) const {
    const double tolerance = header_.cellSize + kGpsOffsetLatitudeSlack;
    for (uint32_t i = 0; i < column.cellCount; ++i) {
        const GpsOffsetCell cell = Cell(uint64_t{column.firstCell} + i);
        if (cell.latitudeKey >= latitudeKey) {
            if (std::fabs(cell.latitudeKey - latitudeKey) > tolerance) {
                return std::nullopt;
            }
            return cell;
        }
    }
    return std::nullopt;
}

std::optional<GpsOffsetCell> GpsOffsetTable::Lookup(double longitude, double latitude) const {
    if (!loaded_) {
        return std::nullopt;
    }
    const std::optional<double> x = GridKey(longitude, header_.cellSize);
    const std::optional<double> y = GridKey(latitude, header_.cellSize);
    if (!x || !y) {
        return std::nullopt;
    }
    const std::optional<GpsOffsetColumn> column = FindColumn(*x);
    if (!column) {
        return std::nullopt;
    }
    return FindCell(*column, *y);
}

GpsOffsetTable& ProcessGpsOffsetTable() {
    static GpsOffsetTable table;
    return table;
}

bool LoadGpsOffsetTable(const std::filesystem::path& path) {
    const GpsOffsetStatus status = ProcessGpsOffsetTable().Load(path);
    // A missing grid is an ordinary installation choice; a broken one silently zeroes every
    // correction, which a user could not tell from a map that needs none.
    if (status != GpsOffsetStatus::kOk && status != GpsOffsetStatus::kMissing) {
        LogWarning("%s: %s", path.c_str(), GpsOffsetStatusText(status).c_str());
    }
    return status == GpsOffsetStatus::kOk;
}

std::optional<GpsOffsetCell> LookupGpsOffset(double longitude, double latitude) {
    return ProcessGpsOffsetTable().Lookup(longitude, latitude);
}

}  // namespace velmaro
