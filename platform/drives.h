// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Drive roots: the folders where removable volumes (SD cards, USB sticks, card readers) are
// mounted, and the camera card among them. A mount counts as removable when its block device
// says so in sysfs or sits on a USB or MMC bus. VELMARO_DRIVE_ROOTS (folders separated by ':')
// replaces detection entirely, so that any folder can stand in for a camera card.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/mount_table.h"

namespace velmaro {

inline constexpr char kDriveRootsVariable[] = "VELMARO_DRIVE_ROOTS";
inline constexpr char kSysDevBlock[] = "/sys/dev/block";
inline constexpr char kUdevData[] = "/run/udev/data";

// Where detection reads from; tests point them at fixture trees.
struct DriveSources {
    std::string mountInfo = kSelfMountInfo;
    std::string sysDevBlock = kSysDevBlock;  // holds MAJ:MIN links into the sysfs device tree
    std::string udevData = kUdevData;        // udev's "bMAJ:MIN" records of block devices
};

// What udev recorded of the block device MAJ:MIN ("E:KEY=VALUE" lines); empty when it has no
// record (no udev, or a device it never saw).
std::string UdevProperty(unsigned major, unsigned minor, std::string_view key,
                         const std::string& udevData);

// Whether a mount is the machine's boot or firmware partition rather than a card: mounted where
// loaders and kernels live (/boot, /boot/efi, /boot/firmware, /efi), an EFI system partition or
// a partition flagged bootable, or a folder holding a kernel or boot loader. A removable disk
// can carry all of these (a Raspberry Pi's SD card, a laptop booted from USB), and erasing one
// leaves the machine unable to start.
bool IsBootMount(const MountEntry& mount, const DriveSources& sources = {});
// Only the files a folder holds: kernels, loaders and firmware of a boot partition.
bool HoldsBootFiles(const std::string& root);

// Whether the block device MAJ:MIN is removable: its whole disk's "removable" attribute is 1, or
// it sits on a USB bus, or it is a card on an MMC bus (a soldered-in eMMC is not). False for
// devices sysfs does not know.
bool IsRemovableBlockDevice(unsigned major, unsigned minor, const std::string& sysDevBlock);

// Mount points of whole removable file systems that are not boot partitions, in name order,
// each once.
std::vector<std::string> RemovableMountRoots(const DriveSources& sources = {});

// The non-empty folders of a ':'-separated list, in the list's order.
std::vector<std::string> SplitRootList(const std::string& list);

// The folders of VELMARO_DRIVE_ROOTS when it is set (even empty), else RemovableMountRoots.
std::vector<std::string> DriveRoots(const DriveSources& sources = {});

// The first recording on a camera card at `root`: the first (in name order) "*.ts" file of the
// first "*MEDIA" folder of its "DCIM" folder, all matched in any letter case. Empty when the
// root has no such folder or that folder holds no recording.
std::string CardRecordingOnRoot(const std::string& root);

// Whether `root` looks like a camera card: a "*MEDIA" folder in its "DCIM" folder (empty or
// not), or the camera's settings file. A USB stick of photos holds "DCIM/100CANON" or the like,
// never both.
bool HoldsCameraCard(const std::string& root);

// The first of `roots` that holds a camera card recording; empty when none does (a USB stick
// without DCIM, for one).
std::string FindCardRoot(const std::vector<std::string>& roots);
// That card's first recording (full path); empty when no root holds one.
std::string FindCardRecording(const std::vector<std::string>& roots);

// Both over DriveRoots().
std::string FindCardRoot();
std::string FindCardRecording();

}  // namespace velmaro
