// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Saving files the user names without ever leaving a half-written one under that name: the
// output goes to a temporary file in the target's folder and is put in place over the target
// only once it is complete and on disk. Where the file system offers unnamed files the
// temporary file has no name until then, so a crash or a kill leaves nothing behind; where it
// does not (FAT cards may not) it is a hidden "*.part" file, locked while in use, and the
// unlocked ones that interrupted saves left behind are removed before the next save starts.
// The whole-file copy of "Save The Playing File" and the clip export both write through
// ReplacingFile.
#pragma once

#include <cstdint>
#include <string>

#include "platform/unique_fd.h"

namespace velmaro {

class ReplacingFile {
  public:
    ReplacingFile() = default;
    ReplacingFile(ReplacingFile&& other) noexcept;
    ReplacingFile& operator=(ReplacingFile&& other) noexcept;
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;
    ~ReplacingFile() { Abandon(); }  // anything not committed is removed

    enum class Temporary {
        kUnnamedWhereOffered,  // an unnamed file, else a named one
        kNamed,                // always a named hidden file, as on file systems without unnamed
    };

    // Creates the temporary file in the target's folder (an earlier one is abandoned first).
    // An existing target keeps its permissions on replacement; a new one gets 0666 less the
    // umask, as any created file. False with `error` set when the folder cannot take it.
    bool Create(const std::string& target, std::string* error,
                Temporary kind = Temporary::kUnnamedWhereOffered);

    bool IsOpen() const { return fd_.Valid(); }
    int Fd() const { return fd_.Get(); }
    // A second handle on the temporary file for a writer that keeps its own; the handle shares
    // the file offset with Fd().
    UniqueFd DuplicateFd() const;
    // The named temporary file; empty while the temporary file is unnamed.
    const std::string& TempPath() const { return tempPath_; }
    const std::string& Target() const { return target_; }

    // Flushes the file to disk, renames it over the target and flushes the folder, so that the
    // file is complete on the medium once this returns: the user may pull a USB stick as soon
    // as a save is reported done. `flushToDisk` false skips both flushes: the rename still
    // never shows a partial file to readers, but a crash or a pulled medium soon after may
    // lose the new contents. On failure the temporary file is removed and the target is left
    // as it was.
    bool Commit(std::string* error, bool flushToDisk = true);
    // Closes and removes the temporary file. Harmless when nothing is open.
    void Abandon();

  private:
    bool CreateUnnamed(const std::string& target, std::string* error, bool* offered);
    bool CreateNamed(const std::string& target, std::string* error);
    bool PutInPlace(std::string* error);

    UniqueFd fd_;
    std::string tempPath_;  // empty when nothing is open or the temporary file is unnamed
    std::string target_;
};

struct FileCopyResult {
    bool ok = false;
    int64_t bytes = 0;  // bytes copied
    std::string error;  // why it failed; empty on success
};

// Copies `source` to `target`, replacing an existing target only when the copy is complete.
// The result says truthfully whether the target now holds the whole source.
FileCopyResult CopyWholeFile(const std::string& source, const std::string& target);

// Removes the hidden temporary files that interrupted saves left in `folder`: named as
// ReplacingFile names them, regular, and not locked by a save in progress. The count removed.
int RemoveStaleTemporaries(const std::string& folder);

// "<text>: <system message for err>", for failure reasons shown to the user.
std::string SystemError(const std::string& text, int err);

}  // namespace velmaro
