// Drive roots: the folders where removable volumes (SD cards, USB sticks, card readers) are
// mounted, and the camera card among them. A mount counts as removable when its block device
// says so in sysfs or sits on a USB or MMC bus. VELMARO_DRIVE_ROOTS (folders separated by ':')
// replaces detection entirely, so that any folder can stand in for a camera card.
#pragma once

#include <string>
#include <vector>

#include "platform/mount_table.h"

namespace velmaro {

inline constexpr char kDriveRootsVariable[] = "VELMARO_DRIVE_ROOTS";
inline constexpr char kSysDevBlock[] = "/sys/dev/block";

// Where detection reads from; tests point both at fixture trees.
struct DriveSources {
    std::string mountInfo = kSelfMountInfo;
    std::string sysDevBlock = kSysDevBlock;  // holds MAJ:MIN links into the sysfs device tree
};

// Whether the block device MAJ:MIN is removable: its whole disk's "removable" attribute is 1, or
// it sits on a USB bus, or it is a card on an MMC bus (a soldered-in eMMC is not). False for
// devices sysfs does not know.
bool IsRemovableBlockDevice(unsigned major, unsigned minor, const std::string& sysDevBlock);

// Mount points of whole removable file systems, in name order, each once.
std::vector<std::string> RemovableMountRoots(const DriveSources& sources = {});

// The non-empty folders of a ':'-separated list, in the list's order.
std::vector<std::string> SplitRootList(const std::string& list);

// The folders of VELMARO_DRIVE_ROOTS when it is set (even empty), else RemovableMountRoots.
std::vector<std::string> DriveRoots(const DriveSources& sources = {});

// The first recording on a camera card at `root`: the first (in name order) "*.ts" file of the
// first "*MEDIA" folder of its "DCIM" folder, all matched in any letter case. Empty when the
// root has no such folder or that folder holds no recording.
std::string CardRecordingOnRoot(const std::string& root);

// The first of `roots` that holds a camera card recording; empty when none does (a USB stick
// without DCIM, for one).
std::string FindCardRoot(const std::vector<std::string>& roots);
// That card's first recording (full path); empty when no root holds one.
std::string FindCardRecording(const std::vector<std::string>& roots);

// Both over DriveRoots().
std::string FindCardRoot();
std::string FindCardRecording();

}  // namespace velmaro
