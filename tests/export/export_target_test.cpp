// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// An export or a saved copy never destroys what it reads nor anything that is not a plain file:
// a target that is one of the recordings of the stretch, the recording being played, a device
// node, a FIFO or a symbolic link is refused with a message, and the file there stays as it was.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "export/clip_export.h"
#include "export/file_copy.h"
#include "tests/export/export_support.h"

namespace velmaro {
namespace {

namespace fs = std::filesystem;
using test::ClipRequest;
using test::TempDir;

class ExportTarget : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        card = std::make_unique<TempDir>();
        recording = WriteRecording(test::SmallCard(*card, 3, 2));
    }
    static void TearDownTestSuite() { card.reset(); }

    // A clip from the middle of the first file to the middle of the last.
    static ExportRequest Across(const std::string& output) {
        const std::vector<std::string>& f = recording.files;
        return ClipRequest(output, f[0], 100000, f[2], 100000, false);
    }

    static void ExpectRefusedAndUntouched(const ExportRequest& request, const std::string& kept,
                                          const std::string& why) {
        const std::vector<uint8_t> before = test::ReadBytes(kept);
        ClipExport backup;
        EXPECT_FALSE(backup.Begin(request)) << why;
        EXPECT_NE(backup.LastError().find(why), std::string::npos) << backup.LastError();
        EXPECT_EQ(test::ReadBytes(kept), before) << "left as it was";
    }

    static inline std::unique_ptr<TempDir> card;
    static inline RecordingResult recording;
};

TEST_F(ExportTarget, ARecordingOfTheStretchUnderAnySpellingIsRefused) {
    ASSERT_TRUE(recording.ok) << recording.error;
    for (const std::string& source : recording.files) {
        ExpectRefusedAndUntouched(Across(source), source, "one of the recordings");
        // Another spelling of the same file: through "..", and through a hard link.
        const fs::path p(source);
        const std::string dotted =
            (p.parent_path() / ".." / p.parent_path().filename() / p.filename()).string();
        ExpectRefusedAndUntouched(Across(dotted), source, "one of the recordings");
        TempDir other;
        const std::string linked = (other.path() / "clip.avi").string();
        ASSERT_EQ(::link(source.c_str(), linked.c_str()), 0);
        ExpectRefusedAndUntouched(Across(linked), source, "one of the recordings");
    }
}

TEST_F(ExportTarget, TheRecordingBeingPlayedIsRefusedThoughOutsideTheStretch) {
    const std::vector<std::string>& f = recording.files;
    ExportRequest request = ClipRequest(f[1], f[0], 100000, f[0], 300000, false);
    request.keepPaths.push_back(f[1]);
    ExpectRefusedAndUntouched(request, f[1], "being played");
}

TEST_F(ExportTarget, DeviceNodesFifosAndLinksAreRefusedAndStayWhatTheyAre) {
    TempDir dir;
    const std::string fifo = (dir.path() / "fifo.ts").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    ClipExport backup;
    EXPECT_FALSE(backup.Begin(Across(fifo)));
    EXPECT_NE(backup.LastError().find("not a regular file"), std::string::npos);
    struct stat st {};
    ASSERT_EQ(::lstat(fifo.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode)) << "still a FIFO";

    const std::string plain = (dir.path() / "plain.ts").string();
    test::WriteBytes(plain, {1, 2, 3});
    const std::string link = (dir.path() / "link.ts").string();
    ASSERT_EQ(::symlink(plain.c_str(), link.c_str()), 0);
    EXPECT_FALSE(backup.Begin(Across(link)));
    EXPECT_NE(backup.LastError().find("symbolic link"), std::string::npos);
    ASSERT_EQ(::lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode)) << "still a link";
    EXPECT_EQ(test::ReadBytes(plain), (std::vector<uint8_t>{1, 2, 3}));

    // /dev/null stands for every device node; only root could break it, and the test may be.
    ASSERT_EQ(::lstat("/dev/null", &st), 0);
    EXPECT_FALSE(backup.Begin(Across("/dev/null")));
    EXPECT_NE(backup.LastError().find("not a regular file"), std::string::npos);
    struct stat after {};
    ASSERT_EQ(::lstat("/dev/null", &after), 0);
    EXPECT_TRUE(S_ISCHR(after.st_mode));
    EXPECT_EQ(test::NamesIn(dir.path()).size(), 3u) << "nothing left beside the targets";
}

TEST_F(ExportTarget, SavingThePlayingFileOntoItselfOrAFifoIsRefused) {
    const std::string source = recording.files[0];
    const std::vector<uint8_t> before = test::ReadBytes(source);
    FileCopyResult r = CopyWholeFile(source, source);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("onto itself"), std::string::npos) << r.error;
    EXPECT_EQ(test::ReadBytes(source), before);

    TempDir dir;
    const std::string fifo = (dir.path() / "copy.ts").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    r = CopyWholeFile(source, fifo);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("not a regular file"), std::string::npos) << r.error;
}

}  // namespace
}  // namespace velmaro

namespace velmaro {
namespace {

// Only regular files are read: a FIFO named like a recording would block open() for ever.
TEST(RegularFilesOnly, AFifoNamedLikeARecordingIsRefusedAtOnce) {
    test::TempDir dir;
    const std::string fifo = (dir.path() / "REC_0001.ts").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const FileCopyResult copy = CopyWholeFile(fifo, (dir.path() / "copy.ts").string());
    EXPECT_FALSE(copy.ok);
    ClipExport backup;
    EXPECT_FALSE(backup.Begin(
        test::ClipRequest((dir.path() / "clip.ts").string(), fifo, 0, fifo, 100000, false)));
    EXPECT_EQ(test::NamesIn(dir.path()).size(), 1u) << "nothing left behind";
}

}  // namespace
}  // namespace velmaro
