// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/make_offset_grid/offset_grid_builder.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <limits>
#include <string_view>
#include <tuple>

#include "map/gps_offset.h"

namespace velmaro {
namespace {

constexpr size_t kFieldsPerRow = 4;
constexpr size_t kColumnCellCountAt = 24;
constexpr size_t kColumnFirstCellAt = 28;
constexpr size_t kCellLatitudeKeyAt = 8;
constexpr size_t kCellLongitudeOffsetAt = 32;
constexpr size_t kCellLatitudeOffsetAt = 40;

std::string_view Trim(std::string_view text) {
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) {
        return {};
    }
    const size_t last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

bool ParseNumber(std::string_view text, double& value) {
    text = Trim(text);
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
    }
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() && std::isfinite(value);
}

std::vector<std::string_view> SplitFields(std::string_view line) {
    std::vector<std::string_view> fields;
    for (size_t start = 0;;) {
        const size_t comma = line.find(',', start);
        fields.push_back(line.substr(start, comma - start));
        if (comma == std::string_view::npos) {
            return fields;
        }
        start = comma + 1;
    }
}

// Parses four numbers; false when any field is not one.
bool ParseRow(std::string_view line, double (&values)[kFieldsPerRow]) {
    const std::vector<std::string_view> fields = SplitFields(line);
    if (fields.size() != kFieldsPerRow) {
        return false;
    }
    for (size_t i = 0; i < kFieldsPerRow; ++i) {
        if (!ParseNumber(fields[i], values[i])) {
            return false;
        }
    }
    return true;
}

// The grid point nearest to a coordinate, in cells; false beyond what a lookup can reach.
bool CellIndex(double coordinate, double cellSize, int32_t& index) {
    const double cells = std::round(coordinate / cellSize);
    if (!(cells >= std::numeric_limits<int32_t>::min() &&
          cells <= std::numeric_limits<int32_t>::max())) {
        return false;
    }
    index = static_cast<int32_t>(cells);
    return true;
}

bool LineError(size_t line, const std::string& what, std::string& error) {
    error = "line " + std::to_string(line) + ": " + what;
    return false;
}

void StoreLittleEndian(uint8_t* at, uint64_t value, size_t width) {
    for (size_t i = 0; i < width; ++i) {
        at[i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

void StoreDouble(uint8_t* at, double value) {
    StoreLittleEndian(at, std::bit_cast<uint64_t>(value), sizeof(uint64_t));
}

size_t CountColumns(const std::vector<OffsetGridPoint>& points) {
    size_t columns = 0;
    for (size_t i = 0; i < points.size(); ++i) {
        columns += i == 0 || points[i].column != points[i - 1].column ? 1 : 0;
    }
    return columns;
}

void WriteHeader(uint8_t* at, double cellSize, uint64_t columns, uint64_t cells) {
    std::copy(kGpsOffsetMagic.begin(), kGpsOffsetMagic.end(), at);
    StoreDouble(at + 8, cellSize);
    StoreLittleEndian(at + 16, columns, sizeof(uint64_t));
    StoreLittleEndian(at + 24, cells, sizeof(uint64_t));
}

void WriteCell(uint8_t* at, const OffsetGridPoint& point, double cellSize) {
    StoreDouble(at + kCellLatitudeKeyAt, static_cast<double>(point.row) * cellSize);
    StoreDouble(at + kCellLongitudeOffsetAt, point.longitudeOffset);
    StoreDouble(at + kCellLatitudeOffsetAt, point.latitudeOffset);
}

}  // namespace

bool ReadOffsetGridCsv(std::istream& in, double cellSize, std::vector<OffsetGridPoint>& points,
                       std::string& error) {
    std::string text;
    bool firstRow = true;
    for (size_t line = 1; std::getline(in, text); ++line) {
        const std::string_view row = Trim(text);
        if (row.empty() || row.front() == '#') {
            continue;
        }
        double values[kFieldsPerRow];
        const bool numeric = ParseRow(row, values);
        double first = 0.0;
        const bool header = firstRow && !numeric && !ParseNumber(SplitFields(row).front(), first);
        firstRow = false;
        if (header) {
            continue;
        }
        if (!numeric) {
            return LineError(line, "expected four numbers separated by commas", error);
        }
        OffsetGridPoint point;
        if (!CellIndex(values[0], cellSize, point.column) ||
            !CellIndex(values[1], cellSize, point.row)) {
            return LineError(line, "position too far out for this cell size", error);
        }
        point.longitudeOffset = values[2];
        point.latitudeOffset = values[3];
        point.line = line;
        points.push_back(point);
    }
    return true;
}

bool BuildOffsetGrid(double cellSize, std::vector<OffsetGridPoint> points,
                     std::vector<uint8_t>& file, std::string& error) {
    std::stable_sort(points.begin(), points.end(), [](const auto& a, const auto& b) {
        return std::tie(a.column, a.row) < std::tie(b.column, b.row);
    });
    for (size_t i = 1; i < points.size(); ++i) {
        if (points[i].column == points[i - 1].column && points[i].row == points[i - 1].row) {
            return LineError(points[i].line,
                             "same grid point as line " + std::to_string(points[i - 1].line),
                             error);
        }
    }
    if (points.size() > std::numeric_limits<uint32_t>::max()) {
        error = "too many grid points";
        return false;
    }
    const size_t columns = CountColumns(points);
    file.assign(
        kGpsOffsetHeaderSize + columns * kGpsOffsetColumnSize + points.size() * kGpsOffsetCellSize,
        0);
    WriteHeader(file.data(), cellSize, columns, points.size());
    uint8_t* column = file.data() + kGpsOffsetHeaderSize;
    uint8_t* cells = column + columns * kGpsOffsetColumnSize;
    for (size_t first = 0; first < points.size();) {
        size_t end = first;
        while (end < points.size() && points[end].column == points[first].column) {
            WriteCell(cells + end * kGpsOffsetCellSize, points[end], cellSize);
            ++end;
        }
        StoreDouble(column, static_cast<double>(points[first].column) * cellSize);
        StoreLittleEndian(column + kColumnCellCountAt, end - first, sizeof(uint32_t));
        StoreLittleEndian(column + kColumnFirstCellAt, first, sizeof(uint32_t));
        column += kGpsOffsetColumnSize;
        first = end;
    }
    return true;
}

}  // namespace velmaro
