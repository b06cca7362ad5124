// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// What the card setup knows of a drive before it erases one: which of the drive roots are camera
// cards at all, and the name, label and size the user recognises the card by.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/drives.h"

namespace velmaro {

struct CardDrive {
    std::string root;
    std::string device;     // kernel name of the block device ("sdb1"); empty when unknown
    std::string label;      // the file system's label, else the root folder's own name
    uint64_t capacity = 0;  // bytes the file system holds in all; 0 when unknown
};

// Reads the mount table, udev's record and the file system's size for `root`.
CardDrive DescribeDrive(const std::string& root, const DriveSources& sources = {});

// The roots, in their order, that hold a camera card and none of a boot partition's files.
std::vector<std::string> CameraCardRoots(const std::vector<std::string>& roots);

struct ContentTally {
    uint64_t files = 0;  // everything but folders: files, links, special files
    uint64_t bytes = 0;  // the sizes of the regular files
};

// What erasing `root` would remove: the entries below it on its own file system, links not
// followed, as the erasing itself goes.
ContentTally TallyContents(const std::string& root);

}  // namespace velmaro
