// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// make-offset-grid: writes an offset grid file from a CSV of grid points (see --help).
#include <sys/stat.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "export/file_copy.h"
#include "map/gps_offset.h"
#include "platform/write_all.h"
#include "tools/common/command_line.h"
#include "tools/make_offset_grid/offset_grid_builder.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;

constexpr const char* kDescription =
    "Writes an offset grid file (the player reads it as offset_min.bin beside its executable)\n"
    "from a CSV of grid points.";

constexpr const char* kFooter = R"(
INPUT holds rows of four comma-separated numbers:

  longitude,latitude,longitude offset,latitude offset

in decimal degrees. Longitude and latitude name a grid point and are rounded to the nearest
multiple of the cell size; the player applies that point's offsets to every position that
truncates (toward zero) onto it. Lines starting with '#' and blank lines are skipped; a first
line that does not start with a number is taken as a header. INPUT may be '-' for standard input.

OUTPUT is written beside itself first and renamed over an existing grid only once it is
complete on disk, so a failed write leaves the old grid as it was. An OUTPUT that exists and
is not a regular file (a folder, a device, a FIFO, a symbolic link) is refused and left alone.

Exit status: 0 when the file was written, 1 on unusable input (none or no grid points at all)
or a failed write, 2 on bad options.)";

struct Options {
    double cellSize = velmaro::kDefaultOffsetGridCellSize;
    std::string input;
    std::string output;
};

// Locale-free, and only a positive finite number of degrees.
bool ParseCellSize(std::string_view text, double& value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() && std::isfinite(value) &&
           value > 0.0;
}

void AddOptions(velmaro::CommandLine& commandLine, Options& o) {
    commandLine.SetUsage("make-offset-grid [--cell-size DEGREES] INPUT.csv OUTPUT");
    commandLine.SetFooter(kFooter);
    commandLine.AddParsed(
        "--cell-size", [&o](const std::string& text) { return ParseCellSize(text, o.cellSize); },
        "DEGREES", "grid step for both longitude and latitude, above 0 (default 0.01)");
    CLI::App& app = commandLine.Parser();
    app.add_option("INPUT", o.input, "the CSV of grid points, or '-' for standard input")
        ->required();
    app.add_option("OUTPUT", o.output, "the grid file to write")->required();
}

bool InputError(const std::string& path, const std::string& what) {
    std::fprintf(stderr, "make-offset-grid: %s: %s\n", path.c_str(), what.c_str());
    return false;
}

// A folder opens like a file and reads as nothing, which would make an empty grid.
bool ReadPointsFromFile(const std::string& path, double cellSize,
                        std::vector<velmaro::OffsetGridPoint>& points, std::string& error) {
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
        error = "is a folder, not a CSV file";
        return false;
    }
    std::ifstream in(path);
    if (!in) {
        const int err = errno;  // before anything else can change it
        error = std::strerror(err);
        return false;
    }
    if (!velmaro::ReadOffsetGridCsv(in, cellSize, points, error)) {
        return false;
    }
    if (in.bad()) {
        error = "cannot be read to its end";
        return false;
    }
    return true;
}

bool ReadPoints(const std::string& path, double cellSize,
                std::vector<velmaro::OffsetGridPoint>& points) {
    std::string error;
    const bool ok = path == "-" ? velmaro::ReadOffsetGridCsv(std::cin, cellSize, points, error)
                                : ReadPointsFromFile(path, cellSize, points, error);
    if (!ok) {
        return InputError(path, error);
    }
    // A grid without points corrects nothing; writing one would only replace a useful grid.
    if (points.empty()) {
        return InputError(path, "no grid points (expected rows of four numbers)");
    }
    return true;
}

// The old grid stays in place until the new one is complete on disk.
bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::string error;
    velmaro::ReplacingFile out;
    if (!out.Create(path, &error)) {
        std::fprintf(stderr, "make-offset-grid: %s\n", error.c_str());
        return false;
    }
    if (!velmaro::WriteAll(out.Fd(), bytes.data(), bytes.size())) {
        const int err = errno;  // before anything else can change it
        error = velmaro::SystemError("cannot write " + path, err);
        std::fprintf(stderr, "make-offset-grid: %s\n", error.c_str());
        return false;  // `out` removes what was written
    }
    if (!out.Commit(&error)) {
        std::fprintf(stderr, "make-offset-grid: %s\n", error.c_str());
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    // A file size limit then fails the write with a message, and the temporary file is
    // removed, instead of the process being killed with the file left behind.
    std::signal(SIGXFSZ, SIG_IGN);
    Options o;
    velmaro::CommandLine commandLine("make-offset-grid", kDescription);
    AddOptions(commandLine, o);
    if (const std::optional<int> status = commandLine.Parse(argc, argv)) {
        return *status;
    }
    std::vector<velmaro::OffsetGridPoint> points;
    if (!ReadPoints(o.input, o.cellSize, points)) {
        return kExitFailed;
    }
    std::vector<uint8_t> bytes;
    std::string error;
    if (!velmaro::BuildOffsetGrid(o.cellSize, std::move(points), bytes, error)) {
        std::fprintf(stderr, "make-offset-grid: %s: %s\n", o.input.c_str(), error.c_str());
        return kExitFailed;
    }
    // Whatever was written must be what the player accepts.
    velmaro::GpsOffsetTable check;
    if (const velmaro::GpsOffsetStatus status = check.Parse(bytes);
        status != velmaro::GpsOffsetStatus::kOk) {
        std::fprintf(stderr, "make-offset-grid: internal error: %s\n",
                     velmaro::GpsOffsetStatusText(status).c_str());
        return kExitFailed;
    }
    if (!WriteFile(o.output, bytes)) {
        return kExitFailed;
    }
    std::printf("%s: %llu columns, %llu cells, cell size %g\n", o.output.c_str(),
                static_cast<unsigned long long>(check.Header().columnCount),
                static_cast<unsigned long long>(check.Header().cellCount), o.cellSize);
    return kExitOk;
}
