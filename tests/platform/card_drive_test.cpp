// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Which drive roots the card setup offers, and what it tells of a card before erasing it.
#include "platform/card_drive.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "tests/test_support.h"

namespace velmaro {
namespace {

namespace fs = std::filesystem;

TEST(CardDriveTest, OnlyFoldersLaidOutByACameraAreCards) {
    test::TempDir dir;
    const auto make = [&](const std::string& name) { test::WriteText(dir.File(name), "x"); };
    make("photos/DCIM/100CANON/IMG_0001.JPG");  // a stick of photos
    make("empty-card/usrset.dat");              // a camera just set up, nothing recorded
    fs::create_directories(dir.File("new-card/dcim/100media"));
    make("recorded/DCIM/101MEDIA/FILE0001.TS");
    make("pi-card/DCIM/100MEDIA/FILE0001.TS");
    make("pi-card/start.elf");
    fs::create_directories(dir.File("odd/usrset.dat"));  // a folder by the settings file's name
    make("odd/DCIM");
    const std::vector<std::string> roots = {
        dir.File("photos"),   dir.File("empty-card"), dir.File("new-card"), dir.File("missing"),
        dir.File("recorded"), dir.File("pi-card"),    dir.File("odd")};
    EXPECT_EQ(CameraCardRoots(roots),
              (std::vector<std::string>{dir.File("empty-card"), dir.File("new-card"),
                                        dir.File("recorded")}));
}

TEST(CardDriveTest, TheTallyCountsWhatClearingWouldRemoveAndNoMore) {
    test::TempDir dir;
    const std::string card = dir.File("card");
    test::WriteText(card + "/DCIM/100MEDIA/A.TS", std::string(1000, 'a'));
    test::WriteText(card + "/DCIM/100MEDIA/B.TS", std::string(24, 'b'));
    test::WriteText(card + "/usrset.dat", std::string(16, 's'));
    test::WriteText(dir.File("outside/big"), std::string(5000, 'o'));
    fs::create_symlink(dir.File("outside"), card + "/link");  // counted as a link, not followed
    ASSERT_EQ(::mkfifo((card + "/fifo").c_str(), 0600), 0);
    const ContentTally tally = TallyContents(card);
    EXPECT_EQ(tally.files, 5u);
    EXPECT_EQ(tally.bytes, 1040u);
    EXPECT_EQ(TallyContents(dir.File("missing")).files, 0u);
}

TEST(CardDriveTest, ADriveIsNamedByItsLabelDeviceAndSize) {
    test::TempDir dir;
    const std::string root = fs::canonical(dir.path()).string();
    DriveSources sources;
    sources.mountInfo = dir.File("mountinfo");
    sources.udevData = dir.File("udev");
    test::WriteText(sources.mountInfo,
                    "27 1 8:2 / / rw - ext4 /dev/sda2 rw\n"
                    "40 27 8:17 / " +
                        root + " rw - vfat /dev/sdb1 rw\n");
    test::WriteText(dir.File("udev/b8:17"), "E:ID_FS_LABEL=CAM_CARD\n");
    const CardDrive drive = DescribeDrive(root, sources);
    EXPECT_EQ(drive.device, "sdb1");
    EXPECT_EQ(drive.label, "CAM_CARD");
    EXPECT_GT(drive.capacity, 0u);

    // Without a label, the folder's own name; without a device file, no device.
    test::WriteText(sources.mountInfo, "40 1 0:40 / " + root + " rw - tmpfs tmpfs rw\n");
    const CardDrive folder = DescribeDrive(root + "/", sources);
    EXPECT_EQ(folder.device, "");
    EXPECT_EQ(folder.label, fs::path(root).filename().string());
}

}  // namespace
}  // namespace velmaro
