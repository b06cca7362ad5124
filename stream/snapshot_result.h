// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// What became of one snapshot request: the file it wrote, or why there is none. The video
// worker writes snapshots on its own thread; the user interface learns the outcome from this.
#pragma once

#include <string>

namespace velmaro {

enum class SnapshotEnd {
    kWritten,           // the file is complete on disk
    kNoPicture,         // nothing has been shown yet
    kFolderUnwritable,  // the folder is missing, cannot be made or takes no new file
    kWriteFailed,       // the file could not be written whole; nothing of it is left
    kBusy,              // too many snapshots were still waiting; this one was not taken
};

struct SnapshotResult {
    SnapshotEnd end = SnapshotEnd::kNoPicture;
    std::string path;    // the file written, perhaps numbered "name (2).jpg"; empty otherwise
    std::string reason;  // why nothing was written, for the user; empty when written

    bool Written() const { return end == SnapshotEnd::kWritten; }
};

// One line for a terminal or a status bar: "snapshot: PATH" or "snapshot not saved: REASON".
inline std::string DescribeSnapshot(const SnapshotResult& result) {
    return result.Written() ? "snapshot: " + result.path : "snapshot not saved: " + result.reason;
}

}  // namespace velmaro
