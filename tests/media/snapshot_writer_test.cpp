#include "media/snapshot_writer.h"

#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <algorithm>
#include <filesystem>
#include <vector>

#include "media/codec_state.h"
#include "media/offscreen_output.h"
#include "media/presenter.h"
#include "stream/channel_state.h"
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
    CD3DCtx presenter;
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
            ASSERT_TRUE(WriteSnapshot(blackWhite, path));
            Decoded decoded = DecodeJpegFile(path);
            ASSERT_EQ(decoded.width, width);
            ASSERT_EQ(decoded.height, height);
            ASSERT_FALSE(decoded.rgb.empty());
            // Video levels become full black and full white, as on screen.
            EXPECT_LE(decoded.At(2, height / 2)[0], 6);
            EXPECT_GE(decoded.At(width - 3, height / 2)[1], 249);

            // The same name again: replaced.
            ASSERT_TRUE(WriteSnapshot(BackBuffer(mode, width, height, kRedBlue), path));
            decoded = DecodeJpegFile(path);
            const uint8_t* red = decoded.At(2, height / 2);
            const uint8_t* blue = decoded.At(width - 3, height / 2);
            EXPECT_GE(red[0], 235);
            EXPECT_LE(red[1], 20);
            EXPECT_LE(blue[0], 20);
            EXPECT_GE(blue[2], 235);
        }
    }
}

TEST(SnapshotWriter, FailuresAreSilentAndLeaveNoFile) {
    TempDir dir;
    test::WriteText(dir.File("plain"), "a file, not a folder");
    const PresentedPicture picture = BackBuffer(kDisplayYv12, 16, 8, kBlackWhite);
    const std::string underFile = dir.File("plain/Shots/snap.jpg");
    EXPECT_FALSE(WriteSnapshot(picture, underFile));
    EXPECT_FALSE(fs::exists(underFile));
    EXPECT_FALSE(WriteSnapshot(picture, ""));
    EXPECT_FALSE(WriteSnapshot(picture, dir.path()));  // a folder is no file to write

    const std::string path = dir.File("snap.jpg");
    EXPECT_FALSE(WriteSnapshot(PresentedPicture{}, path)) << "nothing presented yet";
    PresentedPicture cut = picture;
    cut.planes[2].resize(cut.planes[2].size() - 1);
    EXPECT_FALSE(WriteSnapshot(cut, path)) << "planes that do not cover the picture";
    PresentedPicture rgb = BackBuffer(kDisplayRgb, 16, 8, kBlackWhite);
    rgb.strides[0] = 16;  // narrower than a row of pixels
    EXPECT_FALSE(WriteSnapshot(rgb, path));
    EXPECT_FALSE(fs::exists(path));
}

}  // namespace
}  // namespace velmaro
