// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// GPS offset grid "offset_min.bin": per grid cell, the shift in degrees that moves a receiver
// position onto road maps drawn in a shifted datum. A 32-byte header (magic "$GPSOFF", cell
// size, column and cell counts), then the column table sorted by longitude, then the cell table;
// each column names its slice of cells, sorted by latitude. All fields little-endian.
//
// The whole file is kept as read, and lookups decode the records in place. A file whose length
// or any reference disagrees with its header is refused as a whole, so a lookup never has to
// distrust what it reads.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace velmaro {

inline constexpr std::string_view kGpsOffsetFileName = "offset_min.bin";
inline constexpr std::array<char, 8> kGpsOffsetMagic = {'$', 'G', 'P', 'S', 'O', 'F', 'F', '\0'};
inline constexpr size_t kGpsOffsetHeaderSize = 32;
inline constexpr size_t kGpsOffsetColumnSize = 32;
inline constexpr size_t kGpsOffsetCellSize = 48;
// Latitude keys were rounded by the grid's producer; a match may miss by this much beyond a cell.
inline constexpr double kGpsOffsetLatitudeSlack = 0.00000005;

struct GpsOffsetHeader {
    std::array<char, 8> magic{};
    double cellSize = 0.0;  // degrees, the step of both keys
    uint64_t columnCount = 0;
    uint64_t cellCount = 0;
};

struct GpsOffsetColumn {
    double longitudeKey = 0.0;
    uint32_t cellCount = 0;
    uint32_t firstCell = 0;  // index into the cell table
};

struct GpsOffsetCell {
    double latitudeKey = 0.0;
    double longitudeOffset = 0.0;  // degrees added to the longitude
    double latitudeOffset = 0.0;   // degrees added to the latitude
};

enum class GpsOffsetStatus {
    kOk,
    kMissing,          // no such file
    kUnreadable,       // cannot be opened or read, or not a regular file
    kTooShort,         // fewer bytes than a header
    kBadMagic,         // the first eight bytes are not "$GPSOFF" and a zero byte
    kBadCellSize,      // zero, negative or not a number: no key could ever match
    kWrongLength,      // the length is not exactly header + columns + cells
    kSliceOutOfRange,  // a column's cells run past the cell table
    kTooLarge,         // the tables cannot be held in memory
    kShortRead,        // the file shrank while it was read
};

std::string GpsOffsetStatusText(GpsOffsetStatus status);

class GpsOffsetTable {
  public:
    // Replaces the table with the file's; on any failure the table is left empty.
    GpsOffsetStatus Load(const std::filesystem::path& path);
    // The same checks over the bytes of a whole file.
    GpsOffsetStatus Parse(std::span<const uint8_t> file);
    void Clear();

    bool Empty() const { return !loaded_; }
    const GpsOffsetHeader& Header() const { return header_; }
    // Valid for indices below the header's counts of a loaded table.
    GpsOffsetColumn Column(uint64_t index) const;
    GpsOffsetCell Cell(uint64_t index) const;

    // The cell for a position: both coordinates are truncated toward zero to a multiple of the
    // cell size; the first column at or above the longitude key within one cell size, then the
    // first of its cells at or above the latitude key within one cell size (plus the slack).
    // Nothing when the table is empty or the position lies outside the grid.
    std::optional<GpsOffsetCell> Lookup(double longitude, double latitude) const;

  private:
    GpsOffsetStatus Adopt(const GpsOffsetHeader& header, std::vector<uint8_t> tables);
    std::optional<GpsOffsetColumn> FindColumn(double longitudeKey) const;
    std::optional<GpsOffsetCell> FindCell(const GpsOffsetColumn& column, double latitudeKey) const;

    GpsOffsetHeader header_;
    std::vector<uint8_t> tables_;  // the column table followed by the cell table, as read
    bool loaded_ = false;
};

// The table the player loads once at start-up (in automatic mode) and the map view consults on
// every fix.
GpsOffsetTable& ProcessGpsOffsetTable();
// Loads the process-wide table; a file that exists but is unusable is reported on stderr.
bool LoadGpsOffsetTable(const std::filesystem::path& path);
std::optional<GpsOffsetCell> LookupGpsOffset(double longitude, double latitude);

}  // namespace velmaro
