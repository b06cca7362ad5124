// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Removable drive roots from a fixture mount table and sysfs tree shaped like a laptop's (USB
// disk, internal card readers, an SD slot, a soldered-in eMMC, a SATA disk, a loop device), the
// folder list that replaces detection, and finding the camera card's first recording.
#include "platform/drives.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "tests/test_support.h"

namespace velmaro {
namespace {

namespace fs = std::filesystem;

class SysfsTree : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(dir_.path().empty());
        sources_.sysDevBlock = dir_.File("sys/dev/block");
        sources_.mountInfo = dir_.File("mountinfo");
        fs::create_directories(sources_.sysDevBlock);
        const std::string usb =
            "pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host6/target6:0:0/"
            "6:0:0:0/block/sdb";
        const std::string ata = "pci0000:00/0000:00:17.0/ata1/host0/target0:0:0/0:0:0:0/block/";
        const std::string sd = "pci0000:00/0000:00:1c.0/0000:02:00.0/mmc_host/mmc0/mmc0:aaaa";
        const std::string emmc = "platform/soc/fe340000.mmc/mmc_host/mmc1/mmc1:0001";
        Disk(usb, "0", "sdb1", "8:17");  // a USB disk says it is fixed; its bus says otherwise
        Disk(ata + "sda", "0", "sda2", "8:2");
        Disk(ata + "sdc", "1", "sdc1", "8:33");  // a card reader on the SATA bus
        Disk(ata + "sdd", "1", "", "8:48");      // a card without a partition table
        Disk(sd + "/block/mmcblk0", "0", "mmcblk0p1", "179:1");
        test::WriteText(dir_.File("sys/devices/" + sd + "/type"), "SD\n");
        Disk(emmc + "/block/mmcblk1", "0", "mmcblk1p2", "179:258");
        test::WriteText(dir_.File("sys/devices/" + emmc + "/type"), "MMC\n");
        Disk("virtual/block/loop0", "0", "", "7:0");
    }

    // A disk's folder with its removable attribute, an optional partition inside it, and the
    // device-number link to the partition (or the disk).
    void Disk(const std::string& disk, const char* removable, const std::string& partition,
              const std::string& number) {
        const std::string folder = dir_.File("sys/devices/" + disk);
        fs::create_directories(folder);
        test::WriteText(folder + "/removable", std::string(removable) + "\n");
        std::string target = "../../devices/" + disk;
        if (!partition.empty()) {
            fs::create_directories(folder + "/" + partition);
            test::WriteText(folder + "/" + partition + "/partition", "1\n");
            target += "/" + partition;
        }
        fs::create_symlink(target, sources_.sysDevBlock + "/" + number);
    }

    test::TempDir dir_;
    DriveSources sources_;
};

TEST_F(SysfsTree, RemovableDevicesAreToldByAttributeOrBus) {
    struct Case {
        unsigned major, minor;
        bool removable;
    } cases[] = {{8, 17, true},     {8, 2, false}, {8, 33, true},  {8, 48, true}, {179, 1, true},
                 {179, 258, false}, {7, 0, false}, {8, 99, false}, {0, 40, false}};
    for (const Case& c : cases) {
        EXPECT_EQ(IsRemovableBlockDevice(c.major, c.minor, sources_.sysDevBlock), c.removable)
            << c.major << ":" << c.minor;
    }
}

TEST_F(SysfsTree, RootsAreWholeRemovableMountsInNameOrder) {
    test::WriteText(sources_.mountInfo,
                    "27 1 8:2 / / rw - ext4 /dev/sda2 rw\n"
                    "40 27 8:33 / /mnt/reader rw - vfat /dev/sdc1 rw\n"
                    "41 27 8:17 / /media/joe/CAM\\040CARD rw shared:5 - vfat /dev/sdb1 rw\n"
                    "42 27 8:17 /DCIM /srv/dcim rw - vfat /dev/sdb1 rw\n"
                    "43 27 179:1 / /media/sd rw - exfat /dev/mmcblk0p1 rw\n"
                    "44 27 179:258 / /boot rw - vfat /dev/mmcblk1p2 rw\n"
                    "45 27 8:48 / /mnt/whole rw - vfat /dev/sdd rw\n"
                    "46 27 7:0 / /snap/core rw - squashfs /dev/loop0 ro\n"
                    "47 27 0:40 / /tmp rw - tmpfs tmpfs rw\n"
                    "48 40 8:33 / /mnt/reader rw - vfat /dev/sdc1 rw\n"
                    "not a mount\n");
    const std::vector<std::string> expected = {"/media/joe/CAM CARD", "/media/sd", "/mnt/reader",
                                               "/mnt/whole"};
    EXPECT_EQ(RemovableMountRoots(sources_), expected);

    {
        const test::ScopedEnv listed(kDriveRootsVariable, "/cards/a::/cards/b:");
        EXPECT_EQ(DriveRoots(sources_), (std::vector<std::string>{"/cards/a", "/cards/b"}));
    }
    {
        const test::ScopedEnv listed(kDriveRootsVariable, "");
        EXPECT_TRUE(DriveRoots(sources_).empty()) << "an empty list still replaces detection";
    }
    const test::ScopedEnv unset(kDriveRootsVariable, std::nullopt);
    EXPECT_EQ(DriveRoots(sources_), expected);
}

// A removable disk can be the machine's boot disk: a Raspberry Pi's SD card, a laptop started
// from USB. Erasing its boot partition leaves the machine unable to start.
TEST_F(SysfsTree, BootAndFirmwarePartitionsAreNeverDriveRoots) {
    const std::string loaderRoot = dir_.File("loader-root");
    test::WriteText(loaderRoot + "/EFI/BOOT/BOOTX64.EFI", "loader");
    const std::string kernelRoot = dir_.File("kernel-root");
    test::WriteText(kernelRoot + "/bootcode.bin", "firmware");
    test::WriteText(dir_.File("udev/b8:33"),
                    "S:disk/by-label/ESP\nE:ID_PART_ENTRY_SCHEME=gpt\n"
                    "E:ID_PART_ENTRY_TYPE=C12A7328-F81F-11D2-BA4B-00A0C93EC93B\n");
    test::WriteText(dir_.File("udev/b8:48"),
                    "E:ID_PART_ENTRY_SCHEME=dos\nE:ID_PART_ENTRY_FLAGS=0x80\n");
    test::WriteText(dir_.File("udev/b179:1"),
                    "E:ID_FS_LABEL=CAM\nE:ID_PART_ENTRY_SCHEME=dos\nE:ID_PART_ENTRY_FLAGS=0x0\n");
    sources_.udevData = dir_.File("udev");
    test::WriteText(sources_.mountInfo,
                    "27 1 8:2 / / rw - ext4 /dev/sda2 rw\n"
                    "40 27 8:17 / /boot/efi rw - vfat /dev/sdb1 rw\n"
                    "41 27 179:1 / /boot/firmware rw - vfat /dev/mmcblk0p1 rw\n"
                    "42 27 8:17 / /efi rw - vfat /dev/sdb1 rw\n"
                    "43 27 8:33 / /media/esp rw - vfat /dev/sdc1 rw\n"
                    "44 27 8:48 / /media/active rw - vfat /dev/sdd rw\n"
                    "45 27 8:17 / " +
                        loaderRoot +
                        " rw - vfat /dev/sdb1 rw\n"
                        "46 27 8:17 / " +
                        kernelRoot +
                        " rw - vfat /dev/sdb1 rw\n"
                        "47 27 179:1 / /media/joe/CAM rw - vfat /dev/mmcblk0p1 rw\n");
    EXPECT_EQ(RemovableMountRoots(sources_), std::vector<std::string>{"/media/joe/CAM"});
    EXPECT_EQ(UdevProperty(179, 1, "ID_FS_LABEL", sources_.udevData), "CAM");
    EXPECT_EQ(UdevProperty(179, 1, "ID_FS", sources_.udevData), "") << "whole keys only";
}

TEST(CardFinderTest, TheFirstRecordingOfTheFirstMediaFolderIsFound) {
    test::TempDir dir;
    const auto make = [&](const std::string& name) {
        fs::create_directories(fs::path(dir.File(name)).parent_path());
        test::WriteText(dir.File(name), "x");
    };
    make("stick/music.mp3");
    make("stick/OLDDCIM/100MEDIA/FILE0001.TS");               // only "DCIM" itself counts
    fs::create_directories(dir.File("early/DCIM/100MEDIA"));  // empty first folder: not a card
    make("early/DCIM/101MEDIA/FILE0001.TS");
    make("plain/DCIM");  // a file, not a folder
    make("card/dcim/100media/FILE0002.TS");
    make("card/dcim/100media/FILE0001.ts");
    make("card/dcim/100media/0.txt");
    make("card/dcim/101media/0000.TS");
    fs::create_directories(dir.File("card/dcim/100media/0.ts"));  // a folder named like one
    ASSERT_EQ(mkfifo(dir.File("card/dcim/100media/00.ts").c_str(), 0644), 0);
    make("later/DCIM/100MEDIA/REC_0001.ts");

    const std::vector<std::string> roots = {dir.File("stick"),      dir.File("missing"),
                                            dir.File("early"),      dir.File("plain"),
                                            dir.File("card") + "/", dir.File("later")};
    EXPECT_EQ(FindCardRoot(roots), dir.File("card") + "/");
    EXPECT_EQ(FindCardRecording(roots), dir.File("card/dcim/100media/FILE0001.ts"));
    EXPECT_EQ(FindCardRecording({dir.File("stick")}), "") << "a USB stick without DCIM";
    EXPECT_EQ(FindCardRoot({}), "");

    const test::ScopedEnv listed(kDriveRootsVariable, dir.File("stick") + ":" + dir.File("later"));
    EXPECT_EQ(FindCardRoot(), dir.File("later"));
    EXPECT_EQ(FindCardRecording(), dir.File("later/DCIM/100MEDIA/REC_0001.ts"));
}

}  // namespace
}  // namespace velmaro
