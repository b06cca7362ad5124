// make-offset-grid: writes an offset grid file from a CSV of grid points (see --help).
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "map/gps_offset.h"
#include "tools/make_offset_grid/offset_grid_builder.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitBadOptions = 2;

constexpr const char* kUsage = R"(Usage: make-offset-grid [--cell-size DEGREES] INPUT.csv OUTPUT
Writes an offset grid file (the player reads it as offset_min.bin beside its executable) from
rows of four comma-separated numbers:

  longitude,latitude,longitude offset,latitude offset

in decimal degrees. Longitude and latitude name a grid point and are rounded to the nearest
multiple of the cell size; the player applies that point's offsets to every position that
truncates (toward zero) onto it. Lines starting with '#' and blank lines are skipped; a first
line that does not start with a number is taken as a header. INPUT may be '-' for standard input.

  --cell-size DEGREES  grid step for both longitude and latitude (default 0.01)
  --help               show this text

Exit status: 0 when the file was written, 1 on unusable input or a failed write, 2 on bad
options.
)";

struct Options {
    double cellSize = velmaro::kDefaultOffsetGridCellSize;
    std::vector<std::string> paths;
    bool help = false;
};

int BadOption(const std::string& message) {
    std::fprintf(stderr, "make-offset-grid: %s (see --help)\n", message.c_str());
    return kExitBadOptions;
}

bool ParseCellSize(std::string_view text, double& value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() && std::isfinite(value) &&
           value > 0.0;
}

int ParseOptions(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            o.help = true;
        } else if (arg == "--cell-size" || arg.starts_with("--cell-size=")) {
            const bool joined = arg != "--cell-size";
            if (!joined && i + 1 >= argc) {
                return BadOption("--cell-size needs a value");
            }
            const std::string_view value = joined ? arg.substr(arg.find('=') + 1) : argv[++i];
            if (!ParseCellSize(value, o.cellSize)) {
                return BadOption("--cell-size needs a positive number of degrees");
            }
        } else if (arg.size() > 1 && arg.front() == '-') {
            return BadOption("unknown option " + std::string(arg));
        } else {
            o.paths.emplace_back(arg);
        }
    }
    if (!o.help && o.paths.size() != 2) {
        return BadOption("needs an input and an output file");
    }
    return kExitOk;
}

bool ReadPoints(const std::string& path, double cellSize,
                std::vector<velmaro::OffsetGridPoint>& points) {
    std::string error;
    bool ok = false;
    if (path == "-") {
        ok = velmaro::ReadOffsetGridCsv(std::cin, cellSize, points, error);
    } else {
        std::ifstream in(path);
        if (!in) {
            std::fprintf(stderr, "make-offset-grid: %s: %s\n", path.c_str(), std::strerror(errno));
            return false;
        }
        ok = velmaro::ReadOffsetGridCsv(in, cellSize, points, error);
    }
    if (!ok) {
        std::fprintf(stderr, "make-offset-grid: %s: %s\n", path.c_str(), error.c_str());
    }
    return ok;
}

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        std::fprintf(stderr, "make-offset-grid: cannot write %s\n", path.c_str());
        std::remove(path.c_str());
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (const int status = ParseOptions(argc, argv, o); status != kExitOk) {
        return status;
    }
    if (o.help) {
        std::fputs(kUsage, stdout);
        return kExitOk;
    }
    std::vector<velmaro::OffsetGridPoint> points;
    if (!ReadPoints(o.paths[0], o.cellSize, points)) {
        return kExitFailed;
    }
    std::vector<uint8_t> bytes;
    std::string error;
    if (!velmaro::BuildOffsetGrid(o.cellSize, std::move(points), bytes, error)) {
        std::fprintf(stderr, "make-offset-grid: %s: %s\n", o.paths[0].c_str(), error.c_str());
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
    if (!WriteFile(o.paths[1], bytes)) {
        return kExitFailed;
    }
    std::printf("%s: %llu columns, %llu cells, cell size %g\n", o.paths[1].c_str(),
                static_cast<unsigned long long>(check.Header().columnCount),
                static_cast<unsigned long long>(check.Header().cellCount), o.cellSize);
    return kExitOk;
}
