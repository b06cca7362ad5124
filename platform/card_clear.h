// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// "Clear" of the card setup: deleting everything on a camera card. Deleting a whole tree is the
// most dangerous thing the player does, so the target is checked first (only a listed drive
// root, never "/", the home folder or a folder reached through a symbolic link) and the deletion
// never follows a link or walks into another file system mounted below the card.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace velmaro {

enum class ClearRefusal {
    kNone,            // the target may be cleared
    kEmpty,           // no target given
    kNotListedRoot,   // not one of the drive roots the player lists
    kMissing,         // does not exist or is not a folder
    kThroughSymlink,  // the path leads elsewhere through a symbolic link
    kSystemRoot,      // "/"
    kSystemFolder,    // /boot, /usr, /home and the like
    kHomeFolder,      // $HOME or a folder holding it
};

// Whether `target` may be cleared: it must be one of `driveRoots` (the removable mounts, or the
// folders that stand in for them), a real folder reached without symbolic links, and by
// identity (device and inode, so a bind mount does not hide it) neither "/", a folder of the
// running system, `home` nor a folder holding `home`.
ClearRefusal CheckClearTarget(const std::string& target, const std::vector<std::string>& driveRoots,
                              const std::string& home);
// The same with $HOME and the home the password database names (also when $HOME is unset).
ClearRefusal CheckClearTarget(const std::string& target,
                              const std::vector<std::string>& driveRoots);

// An English reason for the user.
std::string ClearRefusalText(ClearRefusal refusal);

struct ClearResult {
    size_t removed = 0;  // files, links and folders deleted
    size_t left = 0;     // entries directly or deeply below the root that are still there
    int firstError = 0;  // errno of the first deletion that failed
    bool ok() const { return left == 0 && firstError == 0; }
};

// Deletes everything below `root`, the root itself staying. Symbolic links are removed as links;
// a mount below the card (another device, or a bind mount of a folder elsewhere) is not entered
// and counted as left.
ClearResult ClearFolderContents(const std::string& root);

// Whether `path` is `root` or lies below it, compared by path components (so "/media/card2" is
// not below "/media/card").
bool IsPathBelow(const std::string& path, const std::string& root);

}  // namespace velmaro
