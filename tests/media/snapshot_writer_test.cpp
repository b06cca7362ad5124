// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/snapshot_writer.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <turbojpeg.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <map>
#include <set>
#include <thread>
#include <vector>

#include "media/codec_state.h"
#include "media/offscreen_output.h"
#include "media/presenter.h"
#include "stream/channel_state.h"
#include "tests/media/exif_tags.h"
#include "tests/test_support.h"

namespace velmaro {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

std::time_t LocalTime(int year, int month, int day, int hour, int minute, int second) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    t.tm_isdst = -1;
    return std::mktime(&t);
}

struct Decoded {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;  // 3 bytes a pixel

    const uint8_t* At(int x, int y) const { return &rgb[(y * width + x) * 3]; }
};

Decoded DecodeJpegFile(const std::string& path) {
    const std::vector<uint8_t> jpeg = test::ReadBytes(path);
    Decoded decoded;
    tjhandle handle = tjInitDecompress();
    int subsampling = 0;
    int colourspace = 0;
    if (!jpeg.empty() && tjDecompressHeader3(handle, jpeg.data(), jpeg.size(), &decoded.width,
                                             &decoded.height, &subsampling, &colourspace) == 0) {
        decoded.rgb.resize(static_cast<size_t>(decoded.width) * decoded.height * 3);
        if (tjDecompress2(handle, jpeg.data(), jpeg.size(), decoded.rgb.data(), decoded.width, 0,
                          decoded.height, TJPF_RGB, 0) != 0) {
            decoded.rgb.clear();
        }
    }
    tjDestroy(handle);
    return decoded;
}

// A presenter back buffer in either display mode, filled with one colour given in video levels:
// left half `left`, right half `right`.
struct TwoColours {
    uint8_t y[2], u[2], v[2];
};

PresentedPicture BackBuffer(int32_t displayMode, int width, int height, const TwoColours& c) {
    std::vector<uint8_t> planes[3];
    const int chromaWidth = ChromaSize(width);
    const int chromaHeight = ChromaSize(height);
    for (int p = 0; p < 3; ++p) {
        const int w = p == 0 ? width : chromaWidth;
        const int h = p == 0 ? height : chromaHeight;
        const uint8_t* values = p == 0 ? c.y : p == 1 ? c.u : c.v;
        for (int row = 0; row < h; ++row) {
            for (int x = 0; x < w; ++x) {
                planes[p].push_back(values[x < w / 2 ? 0 : 1]);
            }
        }
    }
    SourcePlanes source;
    for (int p = 0; p < 3; ++p) {
        source.planes[p] = planes[p].data();
        source.strides[p] = p == 0 ? width : chromaWidth;
    }
    source.width = width;
    source.height = height;
    OffscreenOutput output;
    Presenter presenter;
    CodecState codec;
    if (!presenter.Open(&output, width, height, displayMode) ||
        !codec.OpenVideo(width, height,
                         displayMode == kDisplayRgb ? kOutputBitsRgb32 : kOutputBitsYv12) ||
        !presenter.Draw(source, codec.Scaler())) {
        return {};
    }
    return *presenter.Surface();
}

constexpr TwoColours kBlackWhite{{16, 235}, {128, 128}, {128, 128}};
constexpr TwoColours kRedBlue{{81, 41}, {90, 240}, {240, 110}};

TEST(SnapshotWriter, FileIsNamedAfterTheLocalTimeWithOneSeparator) {
    const std::time_t when = LocalTime(2012, 5, 17, 8, 31, 5);
    EXPECT_EQ(SnapshotFileName(when), "2012-05-17 08-31-05.jpg");
    EXPECT_EQ(SnapshotFilePath("/home/ann/Pictures/Capture/", when),
              "/home/ann/Pictures/Capture/2012-05-17 08-31-05.jpg");
    EXPECT_EQ(SnapshotFilePath("/home/ann/Pictures/Capture", when),
              "/home/ann/Pictures/Capture/2012-05-17 08-31-05.jpg");
    EXPECT_EQ(SnapshotFilePath("/media/card//", when), "/media/card/2012-05-17 08-31-05.jpg");
    EXPECT_EQ(SnapshotFilePath("/", when), "/2012-05-17 08-31-05.jpg");
    EXPECT_EQ(SnapshotFilePath("", when), "2012-05-17 08-31-05.jpg");
    EXPECT_EQ(SnapshotFileName(LocalTime(1999, 12, 31, 23, 59, 59)), "1999-12-31 23-59-59.jpg");
}

TEST(SnapshotWriter, MissingFoldersAreCreatedLevelByLevel) {
    TempDir dir;
    const std::string path = dir.File("Shots/Car/Day/snap.jpg");
    ASSERT_TRUE(EnsureFolderExists(path));
    EXPECT_TRUE(fs::is_directory(dir.File("Shots/Car/Day")));
    EXPECT_TRUE(EnsureFolderExists(path)) << "an existing folder is fine";
    EXPECT_TRUE(EnsureFolderExists("snap.jpg")) << "no folder named";
    EXPECT_TRUE(EnsureFolderExists("/snap.jpg")) << "the root";

    test::WriteText(dir.File("plain"), "a file, not a folder");
    EXPECT_FALSE(EnsureFolderExists(dir.File("plain/Car/snap.jpg")));
}

TEST(SnapshotWriter, BothBackBufferKindsGiveTheColourPictureAtTheVideosSize) {
    TempDir dir;
    for (const int32_t mode : {kDisplayYv12, kDisplayRgb}) {
        for (const auto& [width, height] : {std::pair{64, 36}, {31, 17}}) {
            SCOPED_TRACE(std::to_string(mode) + " " + std::to_string(width));
            const std::string path =
                dir.File("Shots/") + std::to_string(mode) + "-" + std::to_string(width) + ".jpg";
            const PresentedPicture blackWhite = BackBuffer(mode, width, height, kBlackWhite);
            ASSERT_EQ(blackWhite.width, width);
            const SnapshotResult first = WriteSnapshot(blackWhite, path);
            ASSERT_TRUE(first.Written()) << first.reason;
            EXPECT_EQ(first.path, path);
            Decoded decoded = DecodeJpegFile(path);
            ASSERT_EQ(decoded.width, width);
            ASSERT_EQ(decoded.height, height);
            ASSERT_FALSE(decoded.rgb.empty());
            // Video levels become full black and full white, as on screen.
            EXPECT_LE(decoded.At(2, height / 2)[0], 6);
            EXPECT_GE(decoded.At(width - 3, height / 2)[1], 249);

            // The same name again: a second file, the first one kept as it was.
            const std::vector<uint8_t> firstBytes = test::ReadBytes(path);
            const SnapshotResult second =
                WriteSnapshot(BackBuffer(mode, width, height, kRedBlue), path);
            ASSERT_TRUE(second.Written()) << second.reason;
            EXPECT_EQ(second.path, NumberedSnapshotPath(path, 2));
            EXPECT_EQ(test::ReadBytes(path), firstBytes);
            decoded = DecodeJpegFile(second.path);
            const uint8_t* red = decoded.At(2, height / 2);
            const uint8_t* blue = decoded.At(width - 3, height / 2);
            EXPECT_GE(red[0], 235);
            EXPECT_LE(red[1], 20);
            EXPECT_LE(blue[0], 20);
            EXPECT_GE(blue[2], 235);
        }
    }
}

// Every tag that the stamp knows reaches the file, read back by another program; what it does
// not know is left out rather than guessed.
TEST(SnapshotWriter, TheStampBecomesExifTagsThatOtherProgramsRead) {
    const int64_t time = LocalTime(2026, 6, 12, 8, 30, 5);
    constexpr int64_t kUtcMs = 1781245805250;  // 2026-06-12 06:30:05.250 UTC
    const SnapshotFix southWest{{-33.856812, -151.215297, 57.25, 359.5}, kUtcMs};
    const SnapshotFix northEastWithoutTime{{48.1, 11.5, 0.0, 90.0}, std::nullopt};
    const struct {
        const char* name;
        SnapshotStamp stamp;
        std::map<std::string, std::string> present;
        std::vector<std::string> absent;
    } cases[] = {
        {"all",
         {time, 120, southWest},
         {{"DateTimeOriginal", "2026:06:12 08:30:05"},
          {"OffsetTimeOriginal", "+02:00"},
          {"GPSLatitudeRef", "S"},
          {"GPSLatitude", "33.856812"},
          {"GPSLongitudeRef", "W"},
          {"GPSLongitude", "151.215297"},
          {"GPSSpeedRef", "K"},
          {"GPSSpeed", "57.25"},
          {"GPSTrackRef", "T"},
          {"GPSTrack", "359.5"},
          {"GPSDateStamp", "2026:06:12"},
          {"GPSTimeStamp", "06:30:05.25"}},
         {}},
        {"no-fix",
         {time, -210, std::nullopt},
         {{"DateTimeOriginal", "2026:06:12 08:30:05"}, {"OffsetTimeOriginal", "-03:30"}},
         {"GPSVersionID", "GPSLatitude", "GPSLongitude", "GPSSpeed", "GPSTrack"}},
        {"no-time",
         {std::nullopt, std::nullopt, northEastWithoutTime},
         {{"GPSLatitudeRef", "N"},
          {"GPSLatitude", "48.1"},
          {"GPSLongitudeRef", "E"},
          {"GPSLongitude", "11.5"}},
         {"DateTimeOriginal", "OffsetTimeOriginal", "GPSDateStamp", "GPSTimeStamp"}},
    };
    TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.File(std::string(c.name) + ".jpg");
        const SnapshotResult written =
            WriteSnapshot(BackBuffer(kDisplayYv12, 64, 36, kRedBlue), path, c.stamp);
        ASSERT_TRUE(written.Written()) << written.reason;
        std::map<std::string, std::string> tags = test::ExifTags(path);
        EXPECT_EQ(tags["Make"], "Velmaro");
        EXPECT_EQ(tags["Model"], "Velmaro");
        EXPECT_EQ(tags["ExifImageWidth"], "64");
        for (const auto& [tag, value] : c.present) {
            EXPECT_EQ(tags[tag], value) << tag;
        }
        for (const std::string& tag : c.absent) {
            EXPECT_FALSE(tags.contains(tag)) << tag;
        }
        EXPECT_EQ(DecodeJpegFile(path).width, 64) << "the tags leave the picture readable";
    }
}

TEST(SnapshotWriter, FailuresSayWhyAndLeaveNoFile) {
    TempDir dir;
    test::WriteText(dir.File("plain"), "a file, not a folder");
    const PresentedPicture picture = BackBuffer(kDisplayYv12, 16, 8, kBlackWhite);
    const std::string underFile = dir.File("plain/Shots/snap.jpg");
    SnapshotResult result = WriteSnapshot(picture, underFile);
    EXPECT_EQ(result.end, SnapshotEnd::kFolderUnwritable);
    EXPECT_NE(result.reason.find(dir.File("plain/Shots")), std::string::npos) << result.reason;
    EXPECT_NE(result.reason.find("Not a directory"), std::string::npos) << result.reason;
    EXPECT_FALSE(fs::exists(underFile));
    EXPECT_EQ(WriteSnapshot(picture, "").end, SnapshotEnd::kWriteFailed);
    // A folder is no file to write, and no numbered file is made beside it either.
    result = WriteSnapshot(picture, dir.path());
    EXPECT_EQ(result.end, SnapshotEnd::kWriteFailed);
    EXPECT_FALSE(fs::exists(NumberedSnapshotPath(dir.path(), 2)));

    const std::string path = dir.File("snap.jpg");
    result = WriteSnapshot(PresentedPicture{}, path);
    EXPECT_EQ(result.end, SnapshotEnd::kNoPicture) << "nothing presented yet";
    EXPECT_EQ(result.reason, "no picture yet");
    PresentedPicture cut = picture;
    cut.planes[2].resize(cut.planes[2].size() - 1);
    EXPECT_EQ(WriteSnapshot(cut, path).end, SnapshotEnd::kWriteFailed)
        << "planes that do not cover the picture";
    PresentedPicture rgb = BackBuffer(kDisplayRgb, 16, 8, kBlackWhite);
    rgb.strides[0] = 16;  // narrower than a row of pixels
    EXPECT_EQ(WriteSnapshot(rgb, path).end, SnapshotEnd::kWriteFailed);
    EXPECT_FALSE(fs::exists(path));
    for (const SnapshotResult& failed :
         {WriteSnapshot(picture, underFile), WriteSnapshot(rgb, path)}) {
        EXPECT_TRUE(failed.path.empty()) << "no path is reported for a file never written";
        EXPECT_EQ(DescribeSnapshot(failed).find("snapshot not saved: "), 0u);
    }
}

TEST(SnapshotWriter, NumberGoesBeforeTheExtensionOfTheFileName) {
    EXPECT_EQ(NumberedSnapshotPath("/p/2012-05-17 08-31-05.jpg", 1), "/p/2012-05-17 08-31-05.jpg");
    EXPECT_EQ(NumberedSnapshotPath("/p/2012-05-17 08-31-05.jpg", 2),
              "/p/2012-05-17 08-31-05 (2).jpg");
    EXPECT_EQ(NumberedSnapshotPath("snap.jpg", 12), "snap (12).jpg");
    EXPECT_EQ(NumberedSnapshotPath("/p.d/snap", 3), "/p.d/snap (3)") << "a dot in a folder";
    EXPECT_EQ(NumberedSnapshotPath("/p/.jpg", 2), "/p/ (2).jpg") << "the name of an unknown time";
    EXPECT_EQ(NumberedSnapshotPath("/p/a.b.jpg", 2), "/p/a.b (2).jpg");
}

// Snapshots asked for within one second get one name; none may replace another or a file the
// user keeps under that name, also when two are written at the same moment.
TEST(SnapshotWriter, SnapshotsOfOneSecondEachGetAFileOfTheirOwn) {
    TempDir dir;
    const std::string path = SnapshotFilePath(dir.path(), LocalTime(2012, 5, 17, 8, 31, 5));
    const PresentedPicture picture = BackBuffer(kDisplayYv12, 32, 16, kRedBlue);
    test::WriteText(NumberedSnapshotPath(path, 2), "the user's own file");

    constexpr int kThreads = 4;
    constexpr int kEach = 5;
    std::vector<std::vector<SnapshotResult>> results(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i) {
                results[t].push_back(WriteSnapshot(picture, path));
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    std::set<std::string> written;
    for (const auto& perThread : results) {
        for (const SnapshotResult& result : perThread) {
            ASSERT_TRUE(result.Written()) << result.reason;
            EXPECT_TRUE(written.insert(result.path).second) << "reported twice: " << result.path;
            const Decoded decoded = DecodeJpegFile(result.path);
            EXPECT_EQ(decoded.width, 32) << result.path;
            EXPECT_FALSE(decoded.rgb.empty()) << result.path;
        }
    }
    EXPECT_EQ(written.size(), static_cast<size_t>(kThreads * kEach));
    EXPECT_TRUE(written.contains(path));
    EXPECT_FALSE(written.contains(NumberedSnapshotPath(path, 2)));
    EXPECT_EQ(test::ReadText(NumberedSnapshotPath(path, 2)), "the user's own file");
    EXPECT_TRUE(written.contains(NumberedSnapshotPath(path, kThreads * kEach + 1)));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), kThreads * kEach + 1);
}

TEST(SnapshotWriter, FolderThatTakesNoFileIsReported) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root writes into read-only folders; the folder under a file is tested";
    }
    TempDir dir;
    fs::create_directory(dir.File("Shots"));
    fs::permissions(dir.File("Shots"), fs::perms::owner_write, fs::perm_options::remove);
    const SnapshotResult result =
        WriteSnapshot(BackBuffer(kDisplayYv12, 16, 8, kBlackWhite), dir.File("Shots/snap.jpg"));
    fs::permissions(dir.File("Shots"), fs::perms::owner_write, fs::perm_options::add);
    EXPECT_EQ(result.end, SnapshotEnd::kFolderUnwritable);
    EXPECT_NE(result.reason.find("Permission denied"), std::string::npos) << result.reason;
    EXPECT_TRUE(fs::is_empty(dir.File("Shots")));
}

// A file size limit fails the write part-way as a full disk does, also for root.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);  // a failed write, not a killed test
        ::getrlimit(RLIMIT_FSIZE, &previous_);
        rlimit limited = previous_;
        limited.rlim_cur = bytes;
        active_ = ::setrlimit(RLIMIT_FSIZE, &limited) == 0;
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &previous_);
        std::signal(SIGXFSZ, previousHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
    bool Active() const { return active_; }

  private:
    rlimit previous_{};
    void (*previousHandler_)(int) = nullptr;
    bool active_ = false;
};

TEST(SnapshotWriter, WriteThatFailsPartWayLeavesNoPartialFile) {
    TempDir dir;
    const PresentedPicture picture = BackBuffer(kDisplayYv12, 320, 240, kRedBlue);
    std::vector<uint8_t> jpeg;
    ASSERT_TRUE(EncodeSnapshot(picture, jpeg));
    const rlim_t limit = jpeg.size() / 2;
    SnapshotResult result;
    {
        const FileSizeLimit full(limit);
        ASSERT_TRUE(full.Active());
        result = WriteSnapshot(picture, dir.File("snap.jpg"));
    }
    EXPECT_EQ(result.end, SnapshotEnd::kWriteFailed);
    EXPECT_NE(result.reason.find("File too large"), std::string::npos) << result.reason;
    EXPECT_TRUE(result.path.empty());
    EXPECT_TRUE(fs::is_empty(dir.path())) << "the part written is removed";
}

}  // namespace
}  // namespace velmaro
