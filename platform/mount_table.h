// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The mounts of this process as the kernel lists them in /proc/self/mountinfo: which device
// backs a folder, its file-system type and options. Drive detection and the reading of camera
// file times both start here.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmaro {

inline constexpr char kSelfMountInfo[] = "/proc/self/mountinfo";

struct MountEntry {
    int mountId = 0;
    int parentId = 0;
    unsigned major = 0;  // of the backing device; 0 for file systems without one (tmpfs, proc)
    unsigned minor = 0;
    std::string root;        // the folder of the file system mounted here ("/" for all of it)
    std::string mountPoint;  // unescaped
    std::string mountOptions;
    std::string fsType;
    std::string source;
    std::string superOptions;
};

// Undoes the kernel's octal escapes ("\040" for a space, "\134" for a backslash); a backslash
// not followed by three octal digits stays as it is.
std::string UnescapeMountField(std::string_view field);

// Every well-formed line of a mountinfo text, in order. Lines missing the " - " separator, the
// fields before it or the file-system type after it are dropped.
std::vector<MountEntry> ParseMountInfo(std::string_view text);

// The parsed file at `path`; empty when it cannot be read or is not a regular file.
std::vector<MountEntry> ReadMountTable(const std::string& path = kSelfMountInfo);

// The mount that holds `absolutePath` (a canonical path): the longest mount point that is the
// path or one of its parent folders, the later line winning among equal ones (it was mounted
// over the earlier). Null when none holds it.
const MountEntry* MountOf(const std::vector<MountEntry>& mounts, const std::string& absolutePath);

// The value of `key` in a comma-separated option list: "" for a bare flag, nothing when absent.
// The last occurrence wins, as it does for the kernel.
std::optional<std::string> MountOption(std::string_view options, std::string_view key);

}  // namespace velmaro
