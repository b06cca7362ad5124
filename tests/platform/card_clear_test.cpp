// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/card_clear.h"

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "tests/test_support.h"

namespace velmaro {
namespace {

namespace fs = std::filesystem;
using test::TempDir;
using test::WriteText;

constexpr uid_t kNobody = 65534;

// A card with what cameras and file managers leave behind: recordings in nested folders,
// hidden files and folders, an empty folder.
void FillCard(const fs::path& card) {
    fs::create_directories(card / "DCIM" / "100MEDIA");
    fs::create_directories(card / ".Trash-1000" / "files");
    fs::create_directories(card / "empty");
    WriteText(card / "DCIM" / "100MEDIA" / "FILE0001.TS", "ts");
    WriteText(card / ".hidden", "x");
    WriteText(card / ".Trash-1000" / "files" / "old.ts", "old");
    WriteText(card / "usrset.dat", "0123456789abcdef");
}

// A bind mount of `source` at `place` for the test's lifetime; not made without the right to
// mount, which the test then reports as skipped.
class BindMount {
  public:
    BindMount(const fs::path& source, const fs::path& place) : place_(place) {
        made_ = ::mount(source.c_str(), place.c_str(), nullptr, MS_BIND, nullptr) == 0;
    }
    ~BindMount() {
        if (made_) {
            ::umount2(place_.c_str(), MNT_DETACH);
        }
    }
    BindMount(const BindMount&) = delete;
    BindMount& operator=(const BindMount&) = delete;
    bool Made() const { return made_; }

  private:
    fs::path place_;
    bool made_ = false;
};

size_t EntriesBelow(const fs::path& folder) {
    size_t count = 0;
    for (auto it = fs::recursive_directory_iterator(folder);
         it != fs::recursive_directory_iterator(); ++it) {
        ++count;
    }
    return count;
}

TEST(CardClear, RemovesEveryEntryOfTheCardHiddenAndNestedOnesIncludedButKeepsTheRoot) {
    TempDir card;
    FillCard(card.path());
    const size_t before = EntriesBelow(card.path());

    const ClearResult result = ClearFolderContents(card.path().string());

    EXPECT_TRUE(result.ok());
    EXPECT_EQ(result.removed, before);
    EXPECT_EQ(result.left, 0u);
    EXPECT_TRUE(fs::is_directory(card.path()));
    EXPECT_EQ(EntriesBelow(card.path()), 0u);
}

TEST(CardClear, ALinkLeavingTheCardIsRemovedAsALinkAndItsTargetStays) {
    TempDir card;
    TempDir outside;
    WriteText(outside.path() / "precious.txt", "keep");
    fs::create_directories(outside.path() / "folder");
    WriteText(outside.path() / "folder" / "inner.txt", "keep too");
    fs::create_directory_symlink(outside.path() / "folder", card.path() / "to-folder");
    fs::create_symlink(outside.path() / "precious.txt", card.path() / "to-file");
    fs::create_directories(card.path() / "DCIM");
    fs::create_directory_symlink(outside.path(), card.path() / "DCIM" / "deep-link");

    const ClearResult result = ClearFolderContents(card.path().string());

    EXPECT_TRUE(result.ok());
    EXPECT_EQ(EntriesBelow(card.path()), 0u);
    EXPECT_EQ(test::ReadText(outside.path() / "precious.txt"), "keep");
    EXPECT_EQ(test::ReadText(outside.path() / "folder" / "inner.txt"), "keep too");
}

TEST(CardClear, ARootThatIsItselfALinkIsNotEntered) {
    TempDir place;
    fs::create_directories(place.path() / "real");
    WriteText(place.path() / "real" / "file", "keep");
    fs::create_directory_symlink(place.path() / "real", place.path() / "link");

    const ClearResult result = ClearFolderContents((place.path() / "link").string());

    EXPECT_FALSE(result.ok());
    EXPECT_EQ(test::ReadText(place.path() / "real" / "file"), "keep");
}

// Runs the clear as an unprivileged user when the test runs as root, so that a folder without
// write permission really holds on to its contents. Returns "removed left" as text.
std::string ClearAsUnprivileged(const fs::path& card) {
    if (::geteuid() != 0) {
        const ClearResult r = ClearFolderContents(card.string());
        return std::to_string(r.removed) + " " + std::to_string(r.left);
    }
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) {
        return "pipe failed";
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipeFds[0]);
        if (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) {
            ::_exit(2);
        }
        const ClearResult r = ClearFolderContents(card.string());
        const std::string text = std::to_string(r.removed) + " " + std::to_string(r.left);
        const ssize_t written = ::write(pipeFds[1], text.data(), text.size());
        ::_exit(written == static_cast<ssize_t>(text.size()) ? 0 : 1);
    }
    ::close(pipeFds[1]);
    std::string text;
    char buffer[64];
    ssize_t got = 0;
    while ((got = ::read(pipeFds[0], buffer, sizeof buffer)) > 0) {
        text.append(buffer, static_cast<size_t>(got));
    }
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return text;
}

TEST(CardClear, CountsWhatCouldNotBeDeleted) {
    TempDir base;
    const fs::path card = base.path() / "card";
    fs::create_directories(card / "locked" / "inner");
    WriteText(card / "locked" / "a.ts", "a");
    WriteText(card / "locked" / "inner" / "b.ts", "b");
    WriteText(card / "free.ts", "c");
    fs::permissions(base.path(), fs::perms::all);
    fs::permissions(card, fs::perms::all);
    fs::permissions(card / "locked" / "inner", fs::perms::all);
    // "locked" cannot lose entries: a.ts and inner stay, and so does locked itself; inner's own
    // contents can go.
    fs::permissions(card / "locked", fs::perms::owner_read | fs::perms::owner_exec |
                                         fs::perms::group_read | fs::perms::group_exec |
                                         fs::perms::others_read | fs::perms::others_exec);

    const std::string outcome = ClearAsUnprivileged(card);

    fs::permissions(card / "locked", fs::perms::all);
    EXPECT_EQ(outcome, "2 3");  // free.ts and b.ts went; a.ts, inner and locked stayed
    EXPECT_TRUE(fs::exists(card / "locked" / "a.ts"));
    EXPECT_FALSE(fs::exists(card / "free.ts"));
}

TEST(CardClearTarget, OnlyAListedRealFolderOutsideTheHomeMayBeCleared) {
    TempDir base;
    const fs::path card = base.path() / "card";
    const fs::path other = base.path() / "other";
    const fs::path home = base.path() / "home";
    fs::create_directories(card);
    fs::create_directories(other);
    fs::create_directories(home / "user");
    fs::create_directory_symlink(other, base.path() / "card-link");
    const std::string homeText = (home / "user").string();
    const std::vector<std::string> roots = {card.string(),
                                            "/",
                                            homeText,
                                            home.string(),
                                            (base.path() / "card-link").string(),
                                            (base.path() / "gone").string()};

    EXPECT_EQ(CheckClearTarget(card.string(), roots, homeText), ClearRefusal::kNone);
    EXPECT_EQ(CheckClearTarget(card.string() + "/", roots, homeText), ClearRefusal::kNone);
    EXPECT_EQ(CheckClearTarget("", roots, homeText), ClearRefusal::kEmpty);
    EXPECT_EQ(CheckClearTarget(other.string(), roots, homeText), ClearRefusal::kNotListedRoot);
    EXPECT_EQ(CheckClearTarget((card / "sub").string(), roots, homeText),
              ClearRefusal::kNotListedRoot);
    EXPECT_EQ(CheckClearTarget("/", roots, homeText), ClearRefusal::kSystemRoot);
    EXPECT_EQ(CheckClearTarget(homeText, roots, homeText), ClearRefusal::kHomeFolder);
    EXPECT_EQ(CheckClearTarget(home.string(), roots, homeText), ClearRefusal::kHomeFolder);
    EXPECT_EQ(CheckClearTarget((base.path() / "card-link").string(), roots, homeText),
              ClearRefusal::kThroughSymlink);
    EXPECT_EQ(CheckClearTarget((base.path() / "gone").string(), roots, homeText),
              ClearRefusal::kMissing);
}

TEST(CardClear, ABindMountInsideTheCardIsLeftWhole) {
    TempDir base;
    const fs::path card = base.path() / "card";
    const fs::path canary = base.path() / "canary";
    FillCard(card);
    fs::create_directories(card / "DCIM" / "bound");
    fs::create_directories(canary);
    WriteText(canary / "keep.txt", "mine");
    const BindMount bound(canary, card / "DCIM" / "bound");
    if (!bound.Made()) {
        GTEST_SKIP() << "no right to mount here";
    }

    const ClearResult result = ClearFolderContents(card.string());

    EXPECT_FALSE(result.ok());
    EXPECT_TRUE(fs::exists(canary / "keep.txt"));
    EXPECT_FALSE(fs::exists(card / "usrset.dat"));
}

TEST(CardClearTarget, ABindMountOfTheHomeOrASystemFolderIsRefusedByIdentity) {
    TempDir base;
    const fs::path home = base.path() / "home" / "user";
    const fs::path homeRoot = base.path() / "card-home";
    const fs::path usrRoot = base.path() / "card-usr";
    fs::create_directories(home);
    fs::create_directories(homeRoot);
    fs::create_directories(usrRoot);
    const BindMount homeBound(home.parent_path(), homeRoot);
    const BindMount usrBound("/usr", usrRoot);
    if (!homeBound.Made() || !usrBound.Made()) {
        GTEST_SKIP() << "no right to mount here";
    }
    const std::vector<std::string> roots = {homeRoot.string(), usrRoot.string()};

    EXPECT_EQ(CheckClearTarget(homeRoot.string(), roots, home.string()), ClearRefusal::kHomeFolder);
    EXPECT_EQ(CheckClearTarget(usrRoot.string(), roots, home.string()),
              ClearRefusal::kSystemFolder);
}

TEST(CardClearTarget, PathBelowComparesWholeFolderNames) {
    EXPECT_TRUE(IsPathBelow("/media/card/DCIM/100MEDIA/A.TS", "/media/card"));
    EXPECT_TRUE(IsPathBelow("/media/card", "/media/card/"));
    EXPECT_FALSE(IsPathBelow("/media/card2/A.TS", "/media/card"));
    EXPECT_FALSE(IsPathBelow("/media/CARD/A.TS", "/media/card"));
    EXPECT_FALSE(IsPathBelow("", "/media/card"));
}

}  // namespace
}  // namespace velmaro
