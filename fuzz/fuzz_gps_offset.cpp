// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Arbitrary bytes as offset_min.bin, parsed from memory and loaded from a file (a memfd). Both
// must agree; an accepted table must hold exactly what its header says and answer lookups at its
// own keys, at neighbouring points and at coordinates taken from the input without reading
// outside its tables.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string>

#include "map/gps_offset.h"
#include "platform/unique_fd.h"

namespace {

using velmaro::GpsOffsetStatus;
using velmaro::GpsOffsetTable;

// Lookups scan linearly; bound them so large inputs stay fast.
constexpr uint64_t kMaxColumnsProbed = 16;
constexpr uint32_t kMaxCellsProbed = 8;
constexpr size_t kTailDoubles = 4;

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// The same bytes through the file path; the memfd stands in for offset_min.bin.
GpsOffsetStatus LoadThroughFile(std::span<const uint8_t> bytes, GpsOffsetTable& table) {
    const velmaro::UniqueFd fd(memfd_create("offset_min.bin", MFD_CLOEXEC));
    if (!fd.Valid() ||
        ::write(fd.Get(), bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
        std::abort();
    }
    return table.Load("/proc/self/fd/" + std::to_string(fd.Get()));
}

void CheckFound(const GpsOffsetTable& table, double longitude, double latitude) {
    const auto cell = table.Lookup(longitude, latitude);
    if (cell) {
        // Whatever is found lies at or above the position's key and within the tolerance.
        const double c = table.Header().cellSize;
        Require(std::isfinite(longitude) && std::isfinite(latitude));
        const double y = std::trunc(latitude / c) * c;
        Require(cell->latitudeKey >= y);
        Require(cell->latitudeKey - y <= c + velmaro::kGpsOffsetLatitudeSlack);
    }
}

void ProbeOwnKeys(const GpsOffsetTable& table) {
    const double c = table.Header().cellSize;
    const uint64_t columns = std::min(table.Header().columnCount, kMaxColumnsProbed);
    for (uint64_t i = 0; i < columns; ++i) {
        const velmaro::GpsOffsetColumn column = table.Column(i);
        Require(uint64_t{column.firstCell} + column.cellCount <= table.Header().cellCount);
        const uint32_t cells = std::min(column.cellCount, kMaxCellsProbed);
        for (uint32_t k = 0; k < cells; ++k) {
            const double latitude = table.Cell(uint64_t{column.firstCell} + k).latitudeKey;
            CheckFound(table, column.longitudeKey, latitude);
            CheckFound(table, column.longitudeKey - c / 2, latitude + c / 2);
            CheckFound(table, -column.longitudeKey, -latitude);
        }
    }
}

void ProbeInputCoordinates(const GpsOffsetTable& table, std::span<const uint8_t> bytes) {
    double values[kTailDoubles] = {};
    const size_t take = std::min(bytes.size(), sizeof values);
    std::memcpy(values, bytes.data() + bytes.size() - take, take);
    for (size_t i = 0; i + 1 < kTailDoubles; ++i) {
        CheckFound(table, values[i], values[i + 1]);
    }
    CheckFound(table, 120.5289, -33.8765);
    CheckFound(table, 0.0, 0.0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> bytes(data, size);
    GpsOffsetTable table;
    const GpsOffsetStatus parsed = table.Parse(bytes);
    Require(!velmaro::GpsOffsetStatusText(parsed).empty());
    Require(table.Empty() == (parsed != GpsOffsetStatus::kOk));

    GpsOffsetTable loaded;
    Require(LoadThroughFile(bytes, loaded) == parsed);
    if (parsed != GpsOffsetStatus::kOk) {
        Require(!table.Lookup(120.5289, -33.8765));
        return 0;
    }
    const velmaro::GpsOffsetHeader& header = table.Header();
    Require(velmaro::kGpsOffsetHeaderSize + header.columnCount * velmaro::kGpsOffsetColumnSize +
                header.cellCount * velmaro::kGpsOffsetCellSize ==
            size);
    ProbeOwnKeys(table);
    ProbeInputCoordinates(table, bytes);
    return 0;
}
