// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The offset grid: a hand-assembled file, lookups at known points, the key truncation toward
// zero and both tolerances, every way a file can lie about its own layout, and a grid built by
// make-offset-grid from a CSV, which never loses the grid it replaces.
#include "map/gps_offset.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <bit>
#include <cmath>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "tests/test_support.h"

namespace velmaro {
namespace {

namespace fs = std::filesystem;
using test::CommandResult;
using test::TempDir;
using test::WriteBytes;
using test::WriteText;

// Cell size 0.5; one column at longitude 120.5 holding one cell at latitude -33.5 with offsets
// +0.25 (longitude) and -0.125 (latitude). The unread fields carry filler that must be skipped.
const std::vector<uint8_t> kKnownFile = {
    // header: "$GPSOFF\0", 0.5, N1 = 1, N2 = 1
    0x24, 0x47, 0x50, 0x53, 0x4F, 0x46, 0x46, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xE0, 0x3F,
    0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    // column: 120.5, 16 unread bytes, 1 cell from cell 0
    0x00, 0x00, 0x00, 0x00, 0x00, 0x20, 0x5E, 0x40, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA,
    0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    // cell: 8 unread bytes, -33.5, 16 unread bytes, 0.25, -0.125
    0xBB, 0xBB, 0xBB, 0xBB, 0xBB, 0xBB, 0xBB, 0xBB, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x40, 0xC0,
    0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xD0, 0x3F, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0xBF};

struct TestCell {
    double latitudeKey;
    double longitudeOffset;
    double latitudeOffset;
};

struct TestColumn {
    double longitudeKey;
    std::vector<TestCell> cells;
};

void PutU64(std::vector<uint8_t>& out, uint64_t value) {
    for (int i = 0; i < 8; ++i) {
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
    }
}

void PutU32(std::vector<uint8_t>& out, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
    }
}

void PutDouble(std::vector<uint8_t>& out, double value) {
    PutU64(out, std::bit_cast<uint64_t>(value));
}

void PutHeader(std::vector<uint8_t>& out, double cellSize, uint64_t columns, uint64_t cells) {
    out.insert(out.end(), kGpsOffsetMagic.begin(), kGpsOffsetMagic.end());
    PutDouble(out, cellSize);
    PutU64(out, columns);
    PutU64(out, cells);
}

void PutColumn(std::vector<uint8_t>& out, double key, uint32_t count, uint32_t first) {
    PutDouble(out, key);
    out.insert(out.end(), 16, 0);
    PutU32(out, count);
    PutU32(out, first);
}

// A well-formed file: columns in the given order, their cells one after another.
std::vector<uint8_t> Grid(double cellSize, const std::vector<TestColumn>& columns) {
    uint64_t cellCount = 0;
    for (const TestColumn& column : columns) {
        cellCount += column.cells.size();
    }
    std::vector<uint8_t> out;
    PutHeader(out, cellSize, columns.size(), cellCount);
    uint32_t first = 0;
    for (const TestColumn& column : columns) {
        PutColumn(out, column.longitudeKey, static_cast<uint32_t>(column.cells.size()), first);
        first += static_cast<uint32_t>(column.cells.size());
    }
    for (const TestColumn& column : columns) {
        for (const TestCell& cell : column.cells) {
            PutDouble(out, 0.0);
            PutDouble(out, cell.latitudeKey);
            out.insert(out.end(), 16, 0);
            PutDouble(out, cell.longitudeOffset);
            PutDouble(out, cell.latitudeOffset);
        }
    }
    return out;
}

GpsOffsetTable Parsed(const std::vector<uint8_t>& file) {
    GpsOffsetTable table;
    EXPECT_EQ(table.Parse(file), GpsOffsetStatus::kOk);
    return table;
}

// The longitude offset found at a position, or NaN for none: the offsets identify the cell.
double Found(const GpsOffsetTable& table, double longitude, double latitude) {
    const std::optional<GpsOffsetCell> cell = table.Lookup(longitude, latitude);
    return cell ? cell->longitudeOffset : std::nan("");
}

TEST(GpsOffsetGrid, ReadsAHandAssembledFile) {
    const GpsOffsetTable table = Parsed(kKnownFile);
    EXPECT_EQ(table.Header().cellSize, 0.5);
    EXPECT_EQ(table.Header().columnCount, 1u);
    EXPECT_EQ(table.Header().cellCount, 1u);
    EXPECT_EQ(table.Column(0).longitudeKey, 120.5);
    EXPECT_EQ(table.Column(0).cellCount, 1u);
    EXPECT_EQ(table.Column(0).firstCell, 0u);
    const std::optional<GpsOffsetCell> cell = table.Lookup(120.7, -33.9);
    ASSERT_TRUE(cell);
    EXPECT_EQ(cell->latitudeKey, -33.5);
    EXPECT_EQ(cell->longitudeOffset, 0.25);
    EXPECT_EQ(cell->latitudeOffset, -0.125);
}

TEST(GpsOffsetGrid, LookupsAroundTheKnownCell) {
    const GpsOffsetTable table = Parsed(kKnownFile);
    struct Case {
        double longitude;
        double latitude;
        bool found;
    };
    const Case cases[] = {
        {120.5, -33.5, true},    // on the keys
        {120.99, -33.99, true},  // truncated onto the keys
        {120.2, -33.9, true},    // x = 120.0: the column lies one cell above
        {119.9, -33.9, false},   // x = 119.5: the column lies two cells above
        {121.2, -33.9, false},   // beyond the last column
        {120.7, -34.2, true},    // y = -34.0: the cell lies one cell above
        {120.7, -34.6, false},   // y = -34.5: the cell lies two cells above
        {120.7, -33.2, false},   // y = -33.0: above the column's last cell
    };
    for (const Case& c : cases) {
        EXPECT_EQ(table.Lookup(c.longitude, c.latitude).has_value(), c.found)
            << c.longitude << ", " << c.latitude;
    }
}

// Keys are truncated toward zero, so negative coordinates move up to the key nearer 0.
TEST(GpsOffsetGrid, KeysTruncateTowardZero) {
    const double c = 0.01;
    const GpsOffsetTable table =
        Parsed(Grid(c, {
                           {-7065 * c, {{-3388 * c, 1, 0}, {-3387 * c, 2, 0}}},
                           {-7064 * c, {{-3388 * c, 3, 0}, {-3387 * c, 4, 0}}},
                           {12052 * c, {{-3388 * c, 5, 0}, {-3387 * c, 6, 0}}},
                           {12053 * c, {{-3388 * c, 7, 0}, {-3387 * c, 8, 0}}},
                       }));
    // x = -70.64 (not -70.65), y = -33.87 (not -33.88).
    EXPECT_EQ(Found(table, -70.6489, -33.8765), 4.0);
    // x = 120.52 (not 120.53), y = -33.87.
    EXPECT_EQ(Found(table, 120.5289, -33.8765), 6.0);
    EXPECT_EQ(Found(table, 120.5201, -33.8801), 5.0);
}

TEST(GpsOffsetGrid, LongitudeToleranceIsOneCell) {
    const double c = 0.5;
    const auto found = [](double columnKey) {
        return Found(Parsed(Grid(0.5, {{columnKey, {{20.0, 1, 0}}}})), 10.3, 20.3);
    };
    EXPECT_EQ(found(10.0), 1.0);
    EXPECT_EQ(found(10.0 + c), 1.0);
    EXPECT_TRUE(std::isnan(found(10.0 + c + 1e-9)));  // no slack on longitude
    EXPECT_TRUE(std::isnan(found(9.5)));              // below x: never taken
}

TEST(GpsOffsetGrid, LatitudeToleranceIsOneCellAndASlack) {
    const auto found = [](double latitude, double cellKey) {
        return Found(Parsed(Grid(0.5, {{10.0, {{cellKey, 1, 0}}}})), 10.3, latitude);
    };
    EXPECT_EQ(found(20.3, 20.5), 1.0);
    EXPECT_EQ(found(20.3, 20.5 + 4e-8), 1.0);
    EXPECT_TRUE(std::isnan(found(20.3, 20.5 + 6e-8)));
    EXPECT_EQ(found(-20.3, -19.5), 1.0);  // y = -20.0
    EXPECT_EQ(found(-20.3, -19.5 + 4e-8), 1.0);
    EXPECT_TRUE(std::isnan(found(-20.3, -19.5 + 6e-8)));
    EXPECT_TRUE(std::isnan(found(-20.3, -20.5)));  // below y: never taken
}

TEST(GpsOffsetGrid, ColumnsAndTheirSlices) {
    const GpsOffsetTable table = Parsed(Grid(0.5, {
                                                      {10.0, {{1.0, 1, 0}, {2.0, 2, 0}}},
                                                      {11.0, {{5.0, 3, 0}}},
                                                      {11.5, {}},
                                                      {13.0, {{9.0, 4, 0}}},
                                                  }));
    EXPECT_EQ(Found(table, 10.4, 1.2), 1.0);
    EXPECT_EQ(Found(table, 10.4, 1.7), 2.0);           // y = 1.5: the next cell up
    EXPECT_EQ(Found(table, 10.6, 4.6), 3.0);           // x = 10.5 takes the column at 11.0
    EXPECT_TRUE(std::isnan(Found(table, 11.2, 1.2)));  // column 11.0 holds no cell near 1.0
    // Past the column's last cell (the next cell in the table belongs to column 13.0).
    EXPECT_TRUE(std::isnan(Found(table, 11.2, 8.6)));
    EXPECT_TRUE(std::isnan(Found(table, 11.7, 8.6)));  // an empty column
    EXPECT_TRUE(std::isnan(Found(table, 12.2, 8.6)));  // x = 12.0: the next column is 1.0 away
    EXPECT_EQ(Found(table, 13.2, 8.6), 4.0);
    EXPECT_TRUE(std::isnan(Found(table, 9.2, 1.2)));
}

TEST(GpsOffsetGrid, NothingFoundWithoutATable) {
    GpsOffsetTable table;
    EXPECT_TRUE(table.Empty());
    EXPECT_FALSE(table.Lookup(120.5, -33.5));
    const GpsOffsetTable noColumns = Parsed(Grid(0.5, {}));
    EXPECT_FALSE(noColumns.Empty());
    EXPECT_FALSE(noColumns.Lookup(120.5, -33.5));
}

TEST(GpsOffsetGrid, CoordinatesBeyondAnyKeyFindNothing) {
    const GpsOffsetTable table = Parsed(kKnownFile);
    const double inf = std::numeric_limits<double>::infinity();
    for (const double value : {std::nan(""), inf, -inf, 1e300, -1e300}) {
        EXPECT_FALSE(table.Lookup(value, -33.5)) << value;
        EXPECT_FALSE(table.Lookup(120.5, value)) << value;
    }
    // 120 degrees are far more cells than a 32-bit key holds.
    EXPECT_FALSE(Parsed(Grid(1e-9, {{120.0, {{1.0, 1, 0}}}})).Lookup(120.0, 1.0));
}

TEST(GpsOffsetGridFile, RejectsAWrongLength) {
    std::vector<uint8_t> longer = kKnownFile;
    longer.push_back(0);
    GpsOffsetTable table;
    EXPECT_EQ(table.Parse(longer), GpsOffsetStatus::kWrongLength);
    EXPECT_TRUE(table.Empty());
    for (size_t size = 0; size < kKnownFile.size(); ++size) {
        const GpsOffsetStatus status = table.Parse(std::span(kKnownFile.data(), size));
        EXPECT_EQ(status, size < kGpsOffsetHeaderSize ? GpsOffsetStatus::kTooShort
                                                      : GpsOffsetStatus::kWrongLength)
            << size;
        EXPECT_FALSE(table.Lookup(120.7, -33.9));
    }
}

TEST(GpsOffsetGridFile, RejectsAWrongMagic) {
    GpsOffsetTable table;
    for (size_t i = 0; i < kGpsOffsetMagic.size(); ++i) {
        std::vector<uint8_t> file = kKnownFile;
        file[i] ^= 0x20;
        EXPECT_EQ(table.Parse(file), GpsOffsetStatus::kBadMagic) << i;
    }
}

TEST(GpsOffsetGridFile, RejectsAnUnusableCellSize) {
    GpsOffsetTable table;
    for (const double size :
         {0.0, -0.0, -0.5, std::nan(""), std::numeric_limits<double>::infinity()}) {
        EXPECT_EQ(table.Parse(Grid(size, {{1.0, {{1.0, 1, 0}}}})), GpsOffsetStatus::kBadCellSize)
            << size;
    }
}

// Slices are [first, first + count) of the cell table; the end may touch N2, never pass it.
TEST(GpsOffsetGridFile, RejectsASliceBeyondTheCellTable) {
    struct Case {
        uint32_t count;
        uint32_t first;
        GpsOffsetStatus status;
    };
    const Case cases[] = {
        {2, 0, GpsOffsetStatus::kOk},
        {1, 1, GpsOffsetStatus::kOk},
        {0, 2, GpsOffsetStatus::kOk},
        {3, 0, GpsOffsetStatus::kSliceOutOfRange},
        {1, 2, GpsOffsetStatus::kSliceOutOfRange},
        {0, 3, GpsOffsetStatus::kSliceOutOfRange},
        {2, 0xFFFFFFFF, GpsOffsetStatus::kSliceOutOfRange},  // wraps in 32 bits
        {0xFFFFFFFF, 1, GpsOffsetStatus::kSliceOutOfRange},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> file;
        PutHeader(file, 0.5, 2, 2);
        PutColumn(file, 1.0, 2, 0);
        PutColumn(file, 2.0, c.count, c.first);
        file.resize(file.size() + 2 * kGpsOffsetCellSize, 0);
        GpsOffsetTable table;
        EXPECT_EQ(table.Parse(file), c.status) << c.count << " from " << c.first;
        EXPECT_EQ(table.Empty(), c.status != GpsOffsetStatus::kOk);
    }
}

// Counts whose byte sizes wrap around 64 bits must not pass for the file's real length.
TEST(GpsOffsetGridFile, RejectsCountsThatWrapAround) {
    struct Case {
        uint64_t columns;
        uint64_t cells;
        size_t tableBytes;
    };
    const Case cases[] = {
        {uint64_t{1} << 59, 0, 0},                           // 32 x 2^59 = 2^64
        {(uint64_t{1} << 59) + 1, 0, kGpsOffsetColumnSize},  // = 32 (mod 2^64)
        {0, uint64_t{1} << 60, 0},                           // 48 x 2^60 = 3 x 2^64
        {uint64_t{1} << 59, 1, kGpsOffsetCellSize},
        {std::numeric_limits<uint64_t>::max(), 0, 0},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> file;
        PutHeader(file, 0.5, c.columns, c.cells);
        file.resize(file.size() + c.tableBytes, 0);
        GpsOffsetTable table;
        EXPECT_EQ(table.Parse(file), GpsOffsetStatus::kWrongLength) << c.columns << " " << c.cells;
        EXPECT_FALSE(table.Lookup(0.0, 0.0));
    }
}

TEST(GpsOffsetGridFile, LoadsFromDisk) {
    const TempDir dir;
    const fs::path path = dir.path() / "offset_min.bin";
    WriteBytes(path, kKnownFile);
    GpsOffsetTable table;
    ASSERT_EQ(table.Load(path), GpsOffsetStatus::kOk);
    EXPECT_EQ(Found(table, 120.7, -33.9), 0.25);

    // A failed load leaves no trace of the earlier table.
    std::vector<uint8_t> cut = kKnownFile;
    cut.resize(cut.size() - 1);
    WriteBytes(path, cut);
    EXPECT_EQ(table.Load(path), GpsOffsetStatus::kWrongLength);
    EXPECT_TRUE(table.Empty());
    EXPECT_FALSE(table.Lookup(120.7, -33.9));

    EXPECT_EQ(table.Load(dir.path() / "missing.bin"), GpsOffsetStatus::kMissing);
    EXPECT_EQ(table.Load(dir.path()), GpsOffsetStatus::kUnreadable);
    WriteBytes(path, {0x24, 0x47});
    EXPECT_EQ(table.Load(path), GpsOffsetStatus::kTooShort);
}

TEST(GpsOffsetGridFile, ProcessWideTable) {
    const TempDir dir;
    const fs::path path = dir.path() / "offset_min.bin";
    WriteBytes(path, kKnownFile);
    EXPECT_TRUE(LoadGpsOffsetTable(path));
    ASSERT_TRUE(LookupGpsOffset(120.7, -33.9));
    EXPECT_EQ(LookupGpsOffset(120.7, -33.9)->latitudeOffset, -0.125);
    EXPECT_FALSE(LoadGpsOffsetTable(dir.path() / "missing.bin"));
    EXPECT_FALSE(LookupGpsOffset(120.7, -33.9));
}

// make-offset-grid, run as a program; its messages come with its output.
CommandResult RunMakeOffsetGrid(const std::string& arguments) {
    const fs::path tool = fs::path(VELMARO_BIN_DIR) / "make-offset-grid";
    return test::RunCommand(test::ShellQuote(tool.string()) + " " + arguments + " 2>&1");
}

TEST(GpsOffsetGridTool, GridFromCsvGivesItsOffsets) {
    ASSERT_TRUE(fs::exists(fs::path(VELMARO_BIN_DIR) / "make-offset-grid"));
    const TempDir dir;
    WriteText(dir.path() / "grid.csv",
              "# offsets measured along the route\n"
              "longitude,latitude,longitude offset,latitude offset\n"
              "120.53,24.07,0.0051,-0.0029\n"
              "120.52,24.08,0.0050,-0.0030\r\n"
              "\n"
              "120.52, 24.07, 0.0049, -0.0031\n"
              "-70.64,-33.87,0.001,0.002\n");
    const std::string csv = "'" + (dir.path() / "grid.csv").string() + "'";
    const std::string grid = "'" + (dir.path() / "offset_min.bin").string() + "'";
    const CommandResult run = RunMakeOffsetGrid(csv + " " + grid);
    ASSERT_EQ(run.status, 0) << run.out;

    GpsOffsetTable table;
    ASSERT_EQ(table.Load(dir.path() / "offset_min.bin"), GpsOffsetStatus::kOk);
    EXPECT_EQ(table.Header().cellSize, 0.01);
    EXPECT_EQ(table.Header().columnCount, 3u);
    EXPECT_EQ(table.Header().cellCount, 4u);
    struct Case {
        double longitude;
        double latitude;
        double longitudeOffset;
        double latitudeOffset;
    };
    const Case cases[] = {
        {120.5289, 24.0712, 0.0049, -0.0031},
        {120.5289, 24.0855, 0.0050, -0.0030},
        {120.5301, 24.0799, 0.0051, -0.0029},
        {-70.6489, -33.8765, 0.001, 0.002},
    };
    for (const Case& c : cases) {
        const std::optional<GpsOffsetCell> cell = table.Lookup(c.longitude, c.latitude);
        ASSERT_TRUE(cell) << c.longitude << ", " << c.latitude;
        EXPECT_EQ(cell->longitudeOffset, c.longitudeOffset);
        EXPECT_EQ(cell->latitudeOffset, c.latitudeOffset);
    }
    EXPECT_FALSE(table.Lookup(120.5289, 24.0999));  // above the column's last cell
}

TEST(GpsOffsetGridTool, RefusesBadCsv) {
    const TempDir dir;
    const std::string grid = "'" + (dir.path() / "out.bin").string() + "'";
    WriteText(dir.path() / "dup.csv", "1.0,2.0,0,0\n1.001,2.0,0,0\n");
    const CommandResult duplicate =
        RunMakeOffsetGrid("'" + (dir.path() / "dup.csv").string() + "' " + grid);
    EXPECT_EQ(duplicate.status, 1);
    EXPECT_NE(duplicate.out.find("line 2"), std::string::npos) << duplicate.out;
    WriteText(dir.path() / "bad.csv", "1.0,2.0,0,0\n1.0,x,0,0\n");
    const CommandResult bad =
        RunMakeOffsetGrid("'" + (dir.path() / "bad.csv").string() + "' " + grid);
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.out.find("line 2"), std::string::npos) << bad.out;
    EXPECT_FALSE(fs::exists(dir.path() / "out.bin"));
    EXPECT_EQ(RunMakeOffsetGrid("--cell-size 0 a b").status, 2);
    EXPECT_EQ(RunMakeOffsetGrid("--help").status, 0);
}

// A folder holding a grid made by the tool from one point, and a CSV of `points` points in a
// row, whose grid is some kilobytes long.
class GridFolder {
  public:
    explicit GridFolder(int points = 1) {
        std::string csv;
        for (int i = 0; i < points; ++i) {
            csv += std::to_string(120.0 + i * 0.01) + ",24.07,0.005,-0.003\n";
        }
        WriteText(dir_.path() / "points.csv", csv);
        WriteText(dir_.path() / "old.csv", "121.5,25.0,0.001,0.002\n");
        const CommandResult made = RunMakeOffsetGrid(Quoted("old.csv") + " " + Quoted("grid.bin"));
        EXPECT_EQ(made.status, 0) << made.out;
        oldGrid_ = test::ReadBytes(Path("grid.bin"));
        EXPECT_FALSE(oldGrid_.empty());
    }

    fs::path Path(const std::string& name) const { return dir_.path() / name; }
    std::string Quoted(const std::string& name) const { return test::ShellQuote(Path(name)); }
    const std::vector<uint8_t>& OldGrid() const { return oldGrid_; }
    // Only the files made here: nothing temporary left behind.
    size_t Entries() const {
        return static_cast<size_t>(std::distance(fs::directory_iterator(dir_.path()), {}));
    }

  private:
    TempDir dir_;
    std::vector<uint8_t> oldGrid_;
};

constexpr int kManyPoints = 200;  // a grid of 16 KiB: beyond a size limit of 512 bytes

TEST(GpsOffsetGridTool, FailedWriteLeavesTheOldGridAsItWas) {
    const GridFolder folder(kManyPoints);
    const size_t entries = folder.Entries();
    // A file size limit makes the write fail part-way, as a full disk would, also for root.
    const CommandResult limited = test::RunCommand(
        "ulimit -f 1 && " + test::ShellQuote((fs::path(VELMARO_BIN_DIR) / "make-offset-grid")) +
        " " + folder.Quoted("points.csv") + " " + folder.Quoted("grid.bin") + " 2>&1");
    EXPECT_EQ(limited.status, 1) << limited.out;
    EXPECT_NE(limited.out.find("cannot write"), std::string::npos) << limited.out;
    EXPECT_EQ(test::ReadBytes(folder.Path("grid.bin")), folder.OldGrid());
    EXPECT_EQ(folder.Entries(), entries) << "no partial file left beside the grid";

    if (::geteuid() != 0) {  // root writes into read-only folders regardless
        fs::permissions(folder.Path(""), fs::perms::owner_write, fs::perm_options::remove);
        const CommandResult readOnly =
            RunMakeOffsetGrid(folder.Quoted("points.csv") + " " + folder.Quoted("grid.bin"));
        fs::permissions(folder.Path(""), fs::perms::owner_write, fs::perm_options::add);
        EXPECT_EQ(readOnly.status, 1) << readOnly.out;
        EXPECT_EQ(test::ReadBytes(folder.Path("grid.bin")), folder.OldGrid());
    }

    // Without a limit the same grid replaces the old one whole.
    const CommandResult replaced =
        RunMakeOffsetGrid(folder.Quoted("points.csv") + " " + folder.Quoted("grid.bin"));
    ASSERT_EQ(replaced.status, 0) << replaced.out;
    GpsOffsetTable table;
    ASSERT_EQ(table.Load(folder.Path("grid.bin")), GpsOffsetStatus::kOk);
    EXPECT_EQ(table.Header().cellCount, static_cast<uint64_t>(kManyPoints));
    EXPECT_EQ(folder.Entries(), entries);
}

struct NodeIdentity {
    bool exists = false;
    mode_t type = 0;
    dev_t device = 0;
};

NodeIdentity Identify(const fs::path& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) {
        return {};
    }
    return {true, static_cast<mode_t>(info.st_mode & S_IFMT), info.st_rdev};
}

// Renaming over a device would replace it with a plain file; writing into one feeds it the grid;
// a FIFO would block the tool until someone reads. Each is refused and stays what it was.
TEST(GpsOffsetGridTool, TargetsThatAreNoRegularFileAreRefusedAndLeftAlone) {
    const GridFolder folder;
    std::vector<fs::path> targets = {"/dev/null", folder.Path("fifo"), folder.Path("folder")};
    ASSERT_EQ(::mkfifo(targets[1].c_str(), 0600), 0);
    fs::create_directory(targets[2]);
    // A node that fails every write, as /dev/full does; only where nodes may be made.
    const fs::path full = folder.Path("full");
    if (::mknod(full.c_str(), S_IFCHR | 0600, makedev(1, 7)) == 0) {
        targets.push_back(full);
    }
    for (const fs::path& target : targets) {
        const NodeIdentity before = Identify(target);
        ASSERT_TRUE(before.exists) << target;
        // `timeout` turns a tool blocked on the FIFO into a failure instead of a hung test.
        const CommandResult run = test::RunCommand(
            "timeout 20 " + test::ShellQuote(fs::path(VELMARO_BIN_DIR) / "make-offset-grid") + " " +
            folder.Quoted("old.csv") + " " + test::ShellQuote(target) + " 2>&1");
        EXPECT_EQ(run.status, 1) << target << ": " << run.out;
        EXPECT_NE(run.out.find(target.string()), std::string::npos) << run.out;
        const NodeIdentity after = Identify(target);
        EXPECT_TRUE(after.exists) << target;
        EXPECT_EQ(after.type, before.type) << target;
        EXPECT_EQ(after.device, before.device) << target;
    }
    EXPECT_TRUE(fs::is_empty(targets[2]));
}

// Nothing to build from is an error, never an empty grid over a useful one.
TEST(GpsOffsetGridTool, EmptyOrFolderInputIsRefused) {
    const GridFolder folder;
    WriteText(folder.Path("empty.csv"), "");
    WriteText(folder.Path("comments.csv"),
              "# no rows yet\n\nlongitude,latitude,longitude offset,latitude offset\n");
    fs::create_directory(folder.Path("folder.csv"));
    const std::string grid = " " + folder.Quoted("grid.bin");
    struct Case {
        std::string arguments;
        std::string says;
    };
    const Case cases[] = {
        {folder.Quoted("empty.csv") + grid, "no grid points"},
        {folder.Quoted("comments.csv") + grid, "no grid points"},
        {folder.Quoted("folder.csv") + grid, "folder"},
        {"-" + grid + " < /dev/null", "no grid points"},
        {folder.Quoted("missing.csv") + grid, "No such file"},
    };
    for (const Case& c : cases) {
        const CommandResult run = RunMakeOffsetGrid(c.arguments);
        EXPECT_EQ(run.status, 1) << c.arguments << ": " << run.out;
        EXPECT_NE(run.out.find(c.says), std::string::npos) << c.arguments << ": " << run.out;
        EXPECT_EQ(test::ReadBytes(folder.Path("grid.bin")), folder.OldGrid()) << c.arguments;
    }
}

}  // namespace
}  // namespace velmaro
