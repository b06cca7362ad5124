// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// velmaro-play's "snap", run as a program on a generated recording: many snapshots a second,
// each answered by exactly one line that names a complete JPEG file or says why there is none.
#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/test_support.h"
#include "tools/make_recording/recording_writer.h"

namespace velmaro {
namespace {

namespace fs = std::filesystem;
using test::ShellQuote;
using test::TempDir;

const fs::path kPlay = fs::path(VELMARO_BIN_DIR) / "velmaro-play";
constexpr int kSnaps = 30;  // ten a second: several share each second's name
constexpr std::string_view kWritten = "snapshot: ";
constexpr std::string_view kNotSaved = "snapshot not saved: ";

struct SnapshotLines {
    std::vector<std::string> written;  // the paths reported
    std::vector<std::string> refused;  // the reasons given
};

// Plays the card, asking for a snapshot ten times a second, then quits.
SnapshotLines PlayAndSnap(const fs::path& card, const std::string& snapshots) {
    const std::string commands = "(sleep 1; for i in $(seq " + std::to_string(kSnaps) +
                                 "); do echo snap; sleep 0.1; done; echo quit)";
    const test::CommandResult run = test::RunCommand(
        commands + " | SDL_AUDIODRIVER=dummy " + ShellQuote(kPlay.string()) + " --snapshots " +
        ShellQuote(snapshots) + " " + ShellQuote(card) + " 2>&1");
    EXPECT_EQ(run.status, 0) << run.out;
    SnapshotLines lines;
    std::istringstream out(run.out);
    for (std::string line; std::getline(out, line);) {
        if (line.starts_with(kWritten)) {
            lines.written.push_back(line.substr(kWritten.size()));
        } else if (line.starts_with(kNotSaved)) {
            lines.refused.push_back(line.substr(kNotSaved.size()));
        }
    }
    EXPECT_EQ(lines.written.size() + lines.refused.size(), static_cast<size_t>(kSnaps)) << run.out;
    return lines;
}

int JpegWidth(const std::string& path) {
    const std::vector<uint8_t> jpeg = test::ReadBytes(path);
    tjhandle handle = tjInitDecompress();
    int width = 0, height = 0, subsampling = 0, colourspace = 0;
    const bool ok = !jpeg.empty() && tjDecompressHeader3(handle, jpeg.data(), jpeg.size(), &width,
                                                         &height, &subsampling, &colourspace) == 0;
    tjDestroy(handle);
    return ok ? width : 0;
}

TEST(PlaySnapshots, EachSnapIsAFileOfItsOwnOrSaysWhyNot) {
    ASSERT_TRUE(fs::exists(kPlay)) << kPlay;
    const TempDir card;
    RecordingOptions options;
    options.outRoot = card.path();
    options.files = 1;
    options.secondsPerFile = 10;
    options.width = 160;
    options.height = 96;
    const RecordingResult made = WriteRecording(options);
    ASSERT_TRUE(made.ok) << made.error;

    const TempDir shots;
    const SnapshotLines lines = PlayAndSnap(card.path(), shots.File("Capture"));
    ASSERT_GE(lines.written.size(), 2u) << "pictures were shown while snapshots were asked for";
    std::set<std::string> distinct;
    bool numbered = false;
    for (const std::string& path : lines.written) {
        EXPECT_TRUE(distinct.insert(path).second) << "two snapshots in one file: " << path;
        EXPECT_EQ(fs::path(path).parent_path(), fs::path(shots.File("Capture")));
        EXPECT_EQ(JpegWidth(path), options.width) << path;
        numbered = numbered || path.find(" (2).jpg") != std::string::npos;
    }
    EXPECT_TRUE(numbered) << "snapshots of one second were given numbered names";
    for (const std::string& reason : lines.refused) {
        EXPECT_EQ(reason, "no picture yet") << "only before the first picture";
    }
    // Nothing was written that is not reported, and nothing partial is left.
    EXPECT_EQ(std::distance(fs::directory_iterator(shots.File("Capture")), {}),
              static_cast<long>(lines.written.size()));

    // A snapshot folder that cannot exist: every snap says so and none names a file.
    test::WriteText(shots.File("plain"), "a file, not a folder");
    const SnapshotLines refused = PlayAndSnap(card.path(), shots.File("plain/Capture"));
    EXPECT_TRUE(refused.written.empty());
    bool folderNamed = false;
    for (const std::string& reason : refused.refused) {
        folderNamed = folderNamed || reason.find(shots.File("plain/Capture")) != std::string::npos;
    }
    EXPECT_TRUE(folderNamed) << "the reason names the folder";
}

}  // namespace
}  // namespace velmaro
