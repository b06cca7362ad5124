// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Building an offset grid file from text rows "longitude,latitude,longitude offset,latitude
// offset": each row names a grid point (rounded to the nearest multiple of the cell size) and the
// shift the map needs there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <istream>
#include <string>
#include <vector>

namespace velmaro {

inline constexpr double kDefaultOffsetGridCellSize = 0.01;

struct OffsetGridPoint {
    int32_t column = 0;  // longitude key in cells
    int32_t row = 0;     // latitude key in cells
    double longitudeOffset = 0.0;
    double latitudeOffset = 0.0;
    size_t line = 0;  // where the row came from, for messages
};

// Reads the rows; '#' starts a comment line, blank lines are skipped, and a first row whose
// fields are not numbers is taken as a header. False with `error` naming the line otherwise.
bool ReadOffsetGridCsv(std::istream& in, double cellSize, std::vector<OffsetGridPoint>& points,
                       std::string& error);

// The whole file: header, columns sorted by longitude, each column's cells sorted by latitude.
// False with `error` when two rows name the same grid point.
bool BuildOffsetGrid(double cellSize, std::vector<OffsetGridPoint> points,
                     std::vector<uint8_t>& file, std::string& error);

}  // namespace velmaro
