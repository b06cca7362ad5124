// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Reading the kernel's mount table: fields around the optional ones, escaped names, lines that
// are not mounts, and which mount holds a folder.
#include "platform/mount_table.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "tests/test_support.h"

namespace velmaro {
namespace {

TEST(MountInfoTest, FieldsAreFoundWhateverTheOptionalFields) {
    const std::vector<MountEntry> mounts = ParseMountInfo(
        "27 1 254:0 / / rw,relatime - ext4 /dev/vda rw,discard\n"
        "36 27 8:17 / /media/joe/CAM\\040CARD rw,nosuid shared:1 master:2 - vfat /dev/sdb1 "
        "rw,fmask=0022,tz=UTC\n"
        "37 27 179:1 /sub\\134dir /mnt/tab\\011new\\012line rw propagate_from:3 - exfat "
        "/dev/mmc\\040blk0p1 rw,time_offset=120");  // the last line has no line end
    ASSERT_EQ(mounts.size(), 3u);
    EXPECT_EQ(mounts[0].mountPoint, "/");
    EXPECT_EQ(mounts[0].fsType, "ext4");
    EXPECT_EQ(mounts[1].mountId, 36);
    EXPECT_EQ(mounts[1].parentId, 27);
    EXPECT_EQ(mounts[1].major, 8u);
    EXPECT_EQ(mounts[1].minor, 17u);
    EXPECT_EQ(mounts[1].root, "/");
    EXPECT_EQ(mounts[1].mountPoint, "/media/joe/CAM CARD");
    EXPECT_EQ(mounts[1].mountOptions, "rw,nosuid");
    EXPECT_EQ(mounts[1].fsType, "vfat");
    EXPECT_EQ(mounts[1].source, "/dev/sdb1");
    EXPECT_EQ(mounts[1].superOptions, "rw,fmask=0022,tz=UTC");
    EXPECT_EQ(mounts[2].root, "/sub\\dir");
    EXPECT_EQ(mounts[2].mountPoint, "/mnt/tab\tnew\nline");
    EXPECT_EQ(mounts[2].source, "/dev/mmc blk0p1");
    EXPECT_EQ(mounts[2].superOptions, "rw,time_offset=120");
}

TEST(MountInfoTest, LinesThatAreNotMountsAreDropped) {
    const std::vector<MountEntry> mounts = ParseMountInfo(
        "\n"
        "garbage\n"
        "40 27 8:1 / /no-separator rw ext4 /dev/sda1 rw\n"
        "41 27 8:1 / /nothing-after rw -\n"
        "x 27 8:1 / /bad-id rw - ext4 /dev/sda1 rw\n"
        "42 27 8-1 / /bad-device rw - ext4 /dev/sda1 rw\n"
        "43 27 8:1 / /short -\n"
        "44 27 0:40 / /kept rw - tmpfs\n");
    ASSERT_EQ(mounts.size(), 1u);
    EXPECT_EQ(mounts[0].mountPoint, "/kept");
    EXPECT_EQ(mounts[0].source, "");
    EXPECT_EQ(mounts[0].superOptions, "");
}

TEST(MountInfoTest, OnlyWholeOctalEscapesAreUndone) {
    EXPECT_EQ(UnescapeMountField("a\\040b"), "a b");
    EXPECT_EQ(UnescapeMountField("\\04"), "\\04");
    EXPECT_EQ(UnescapeMountField("\\089x"), "\\089x");
    EXPECT_EQ(UnescapeMountField("end\\"), "end\\");
    EXPECT_EQ(UnescapeMountField("\\101\\102"), "AB");
}

TEST(MountInfoTest, TheMountOfAPathIsItsDeepestEnclosingOne) {
    const std::vector<MountEntry> mounts = ParseMountInfo(
        "1 0 254:0 / / rw - ext4 /dev/vda rw\n"
        "2 1 8:17 / /media/card rw - vfat /dev/sdb1 rw\n"
        "3 1 8:33 / /media/card2 rw - vfat /dev/sdc1 rw\n"
        "4 2 0:50 / /media/card rw - tmpfs none rw\n");
    const auto fsAt = [&](const std::string& path) {
        const MountEntry* m = MountOf(mounts, path);
        return m == nullptr ? std::string("none") : m->fsType + " " + m->mountPoint;
    };
    EXPECT_EQ(fsAt("/media/card/DCIM"), "tmpfs /media/card") << "mounted over the card";
    EXPECT_EQ(fsAt("/media/card"), "tmpfs /media/card");
    EXPECT_EQ(fsAt("/media/card2/DCIM"), "vfat /media/card2");
    EXPECT_EQ(fsAt("/media/cardboard"), "ext4 /");
    EXPECT_EQ(fsAt("/"), "ext4 /");
    EXPECT_EQ(MountOf(ParseMountInfo("2 1 8:17 / /media/card rw - vfat x rw\n"), "/home"), nullptr);
}

TEST(MountInfoTest, OptionsAreLookedUpByWholeKey) {
    const std::string options = "rw,tz=UTC,sys_tz,time_offset=60,time_offset=-120,tzx=1";
    EXPECT_EQ(MountOption(options, "tz"), "UTC");
    EXPECT_EQ(MountOption(options, "sys_tz"), "");
    EXPECT_EQ(MountOption(options, "time_offset"), "-120") << "the last one counts";
    EXPECT_EQ(MountOption(options, "utf8"), std::nullopt);
    EXPECT_EQ(MountOption("", "tz"), std::nullopt);
}

TEST(MountInfoTest, TablesThatCannotBeReadGiveNoMounts) {
    test::TempDir dir;
    EXPECT_TRUE(ReadMountTable(dir.File("missing")).empty());
    ASSERT_EQ(mkfifo(dir.File("fifo").c_str(), 0644), 0);
    EXPECT_TRUE(ReadMountTable(dir.File("fifo")).empty()) << "returned: no writer needed";
    const std::vector<MountEntry> own = ReadMountTable();
    ASSERT_FALSE(own.empty()) << "this process's own table";
    EXPECT_NE(MountOf(own, "/"), nullptr);
}

}  // namespace
}  // namespace velmaro
