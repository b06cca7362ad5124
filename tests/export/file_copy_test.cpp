// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The whole-file copy and the replace-on-success output under it: the target holds either its
// old contents or the complete new ones, never anything in between, and no temporary file
// stays behind.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "export/file_copy.h"
#include "tests/export/export_support.h"
#include "tests/test_support.h"

namespace velmaro {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
using test::NamesIn;
using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

Bytes RandomBytes(size_t size) {
    std::mt19937 rng(7);
    Bytes b(size);
    for (uint8_t& v : b) {
        v = static_cast<uint8_t>(rng());
    }
    return b;
}

TEST(FileCopy, CopiesWholeFilesOfAnySizeAndReplacesOnlyWhenDone) {
    TempDir dir;
    // Empty, odd-sized and bigger than one copy step.
    for (const size_t size : {size_t{0}, size_t{188 * 3 + 5}, size_t{5} * 1024 * 1024 + 17}) {
        const Bytes data = RandomBytes(size);
        WriteBytes(dir.File("REC_0001.ts"), data);
        WriteBytes(dir.File("saved.ts"), {'o', 'l', 'd'});
        const FileCopyResult result = CopyWholeFile(dir.File("REC_0001.ts"), dir.File("saved.ts"));
        ASSERT_TRUE(result.ok) << result.error;
        EXPECT_EQ(result.bytes, static_cast<int64_t>(size));
        EXPECT_TRUE(result.error.empty());
        EXPECT_TRUE(ReadBytes(dir.File("saved.ts")) == data);
    }
    EXPECT_EQ(NamesIn(dir.path()), (std::vector<std::string>{"REC_0001.ts", "saved.ts"}));
}

TEST(FileCopy, ReplacedFileKeepsItsPermissions) {
    TempDir dir;
    WriteBytes(dir.File("source.ts"), {1, 2, 3});
    WriteBytes(dir.File("target.ts"), {9});
    ASSERT_EQ(::chmod(dir.File("target.ts").c_str(), 0640), 0);
    ASSERT_TRUE(CopyWholeFile(dir.File("source.ts"), dir.File("target.ts")).ok);
    struct stat info {};
    ASSERT_EQ(::stat(dir.File("target.ts").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
}

TEST(FileCopy, FailuresAreReportedAndLeaveTheTargetAsItWas) {
    TempDir dir;
    WriteBytes(dir.File("target.ts"), {'o', 'l', 'd'});
    WriteBytes(dir.File("source.ts"), {1, 2, 3});

    FileCopyResult r = CopyWholeFile(dir.File("missing.ts"), dir.File("target.ts"));
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("missing.ts"), std::string::npos) << r.error;

    r = CopyWholeFile(dir.File("source.ts"), dir.File("source.ts/under.ts"));
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(r.error.empty());

    fs::create_directory(dir.File("folder.ts"));
    r = CopyWholeFile(dir.File("source.ts"), dir.File("folder.ts"));
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(fs::is_directory(dir.File("folder.ts")));

    r = CopyWholeFile(dir.File("folder.ts"), dir.File("target.ts"));  // not a regular file
    EXPECT_FALSE(r.ok);

    EXPECT_TRUE(ReadBytes(dir.File("target.ts")) == Bytes({'o', 'l', 'd'}));
    EXPECT_EQ(NamesIn(dir.path()),
              (std::vector<std::string>{"folder.ts", "source.ts", "target.ts"}));
}

TEST(ReplacingFile, TheTargetChangesOnlyOnCommit) {
    TempDir dir;
    const std::string target = dir.File("clip.ts");
    WriteBytes(target, {'o', 'l', 'd'});
    std::string error;
    {
        ReplacingFile out;
        ASSERT_TRUE(out.Create(target, &error, ReplacingFile::Temporary::kNamed)) << error;
        // Hidden, beside the target, so the rename stays within one file system.
        EXPECT_EQ(fs::path(out.TempPath()).parent_path(), fs::path(target).parent_path());
        EXPECT_EQ(fs::path(out.TempPath()).filename().string()[0], '.');
        ASSERT_EQ(::write(out.Fd(), "half", 4), 4);
        EXPECT_TRUE(ReadBytes(target) == Bytes({'o', 'l', 'd'}));
    }  // dropped without a commit
    EXPECT_TRUE(ReadBytes(target) == Bytes({'o', 'l', 'd'}));
    EXPECT_EQ(NamesIn(dir.path()), (std::vector<std::string>{"clip.ts"}));

    ReplacingFile out;
    ASSERT_TRUE(out.Create(target, &error));
    out.Abandon();
    EXPECT_FALSE(out.IsOpen());
    EXPECT_FALSE(out.Commit(&error));
    EXPECT_EQ(NamesIn(dir.path()), (std::vector<std::string>{"clip.ts"}));

    ASSERT_TRUE(out.Create(target, &error));
    {
        // A second handle writes into the same temporary file.
        UniqueFd second = out.DuplicateFd();
        ASSERT_TRUE(second.Valid());
        ASSERT_EQ(::pwrite(second.Get(), "new", 3, 0), 3);
    }
    ReplacingFile moved = std::move(out);
    EXPECT_FALSE(out.IsOpen());
    ASSERT_TRUE(moved.Commit(&error)) << error;
    EXPECT_FALSE(moved.IsOpen());
    EXPECT_TRUE(ReadBytes(target) == Bytes({'n', 'e', 'w'}));
    EXPECT_EQ(NamesIn(dir.path()), (std::vector<std::string>{"clip.ts"}));
}

TEST(ReplacingFile, CommitWithoutTheFlushStillReplacesWholeOrReportsFailure) {
    TempDir dir;
    const std::string target = dir.File("clip.ts");
    WriteBytes(target, {'o', 'l', 'd'});
    ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
    std::string error;
    ReplacingFile out;
    ASSERT_TRUE(out.Create(target, &error)) << error;
    const Bytes data = RandomBytes(3 * 188 * 1000 + 11);
    ASSERT_EQ(::write(out.Fd(), data.data(), data.size()), static_cast<ssize_t>(data.size()));
    ASSERT_TRUE(out.Commit(&error, false)) << error;
    EXPECT_FALSE(out.IsOpen());
    EXPECT_TRUE(ReadBytes(target) == data);
    struct stat info {};
    ASSERT_EQ(::stat(target.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(NamesIn(dir.path()), (std::vector<std::string>{"clip.ts"}));

    // The rename fails when a folder took the target's place meanwhile: reported, nothing left.
    const std::string taken = dir.File("taken.ts");
    ASSERT_TRUE(out.Create(taken, &error)) << error;
    ASSERT_EQ(::write(out.Fd(), "new", 3), 3);
    fs::create_directory(taken);
    WriteBytes(taken + "/inside", {1});
    error.clear();
    EXPECT_FALSE(out.Commit(&error, false));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(out.IsOpen());
    EXPECT_TRUE(fs::is_directory(taken));
    EXPECT_EQ(NamesIn(dir.path()), (std::vector<std::string>{"clip.ts", "taken.ts"}));
}

TEST(ReplacingFile, VeryLongNamesStillGetATemporaryFile) {
    TempDir dir;
    const std::string target = dir.File(std::string(250, 'n') + ".ts");
    for (const auto kind :
         {ReplacingFile::Temporary::kUnnamedWhereOffered, ReplacingFile::Temporary::kNamed}) {
        std::string error;
        ReplacingFile out;
        ASSERT_TRUE(out.Create(target, &error, kind)) << error;
        ASSERT_TRUE(out.Commit(&error)) << error;
        EXPECT_TRUE(fs::exists(target));
    }
}

// A save killed half way, in a child process so the kill is real: the target is left as it was
// and, with an unnamed temporary file, nothing else is left in the folder at all.
std::vector<std::string> NamesAfterKilledSave(const std::string& target,
                                              ReplacingFile::Temporary kind) {
    int ready[2];
    if (::pipe(ready) != 0) {
        ADD_FAILURE() << "pipe";
        return {};
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(ready[0]);
        ReplacingFile out;
        std::string error;
        if (!out.Create(target, &error, kind)) {
            ::_exit(1);
        }
        const Bytes data = RandomBytes(size_t{4} << 20);
        if (::write(out.Fd(), data.data(), data.size()) != static_cast<ssize_t>(data.size()) ||
            ::write(ready[1], "w", 1) != 1) {
            ::_exit(1);
        }
        ::pause();
        ::_exit(0);
    }
    ::close(ready[1]);
    char done = 0;
    EXPECT_EQ(::read(ready[0], &done, 1), 1);
    ::close(ready[0]);
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    return NamesIn(fs::path(target).parent_path().string());
}

bool UnnamedFilesOffered(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (fd >= 0) {
        ::close(fd);
    }
    return fd >= 0;
}

TEST(ReplacingFile, AKilledSaveLeavesNothingOrOnlyAPartTheNextSaveRemoves) {
    TempDir dir;
    const std::string target = dir.File("clip.ts");
    WriteBytes(target, {'o', 'l', 'd'});

    if (UnnamedFilesOffered(dir.path())) {
        EXPECT_EQ(NamesAfterKilledSave(target, ReplacingFile::Temporary::kUnnamedWhereOffered),
                  (std::vector<std::string>{"clip.ts"}));
    }
    // As on a FAT card: a hidden part stays behind, the next save clears it away.
    std::vector<std::string> names = NamesAfterKilledSave(target, ReplacingFile::Temporary::kNamed);
    ASSERT_EQ(names.size(), 2u);
    EXPECT_TRUE(ReadBytes(target) == Bytes({'o', 'l', 'd'}));
    ReplacingFile next;
    std::string error;
    ASSERT_TRUE(next.Create(dir.File("other.ts"), &error, ReplacingFile::Temporary::kNamed))
        << error;
    ASSERT_TRUE(next.Commit(&error)) << error;
    EXPECT_EQ(NamesIn(dir.path()), (std::vector<std::string>{"clip.ts", "other.ts"}));
}

TEST(ReplacingFile, OnlyUnheldPartsNamedLikeOursAreRemoved) {
    TempDir dir;
    // A save in progress in the same folder keeps its part.
    ReplacingFile inProgress;
    std::string error;
    ASSERT_TRUE(inProgress.Create(dir.File("a.ts"), &error, ReplacingFile::Temporary::kNamed));
    const std::string held = fs::path(inProgress.TempPath()).filename();

    const std::string stale = ".clip.ts.0123456789ab.part";
    WriteBytes(dir.File(stale), {1});
    // Named otherwise: the user's, or another program's.
    const std::vector<std::string> kept = {".notes.part",
                                           "clip.ts.0123456789ab.part",
                                           ".clip.ts.0123456789AB.part",
                                           ".clip.ts.0123456789a.part",
                                           ".clip.ts.0123456789abc.part",
                                           "clip.ts"};
    for (const std::string& name : kept) {
        WriteBytes(dir.File(name), {2});
    }
    fs::create_directory(dir.File(".dir.0123456789ab.part"));
    ASSERT_EQ(::symlink("clip.ts", dir.File(".link.0123456789ab.part").c_str()), 0);

    EXPECT_EQ(RemoveStaleTemporaries(dir.path()), 1);
    std::vector<std::string> expected = kept;
    expected.push_back(".dir.0123456789ab.part");
    expected.push_back(".link.0123456789ab.part");
    expected.push_back(held);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(NamesIn(dir.path()), expected);

    ASSERT_TRUE(inProgress.Commit(&error)) << error;
    EXPECT_EQ(RemoveStaleTemporaries(dir.path()), 0);
    EXPECT_TRUE(fs::exists(dir.File("a.ts")));
}

}  // namespace
}  // namespace velmaro
