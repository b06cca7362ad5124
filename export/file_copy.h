// Saving files the user names without ever leaving a half-written one under that name: the
// output goes to a hidden temporary file beside the target and is renamed over it only once it
// is complete and on disk. The whole-file copy of "Save The Playing File" and the clip export
// both write through ReplacingFile.
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

    // Creates the temporary file in the target's folder (an earlier one is abandoned first).
    // An existing target keeps its permissions on replacement; a new one gets 0666 less the
    // umask, as any created file. False with `error` set when the folder cannot take it.
    bool Create(const std::string& target, std::string* error);

    bool IsOpen() const { return !tempPath_.empty(); }
    int Fd() const { return fd_.Get(); }
    // A second handle on the temporary file for a writer that keeps its own; the handle shares
    // the file offset with Fd().
    UniqueFd DuplicateFd() const;
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
    UniqueFd fd_;
    std::string tempPath_;  // empty when nothing is open
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

// "<text>: <system message for err>", for failure reasons shown to the user.
std::string SystemError(const std::string& text, int err);

}  // namespace velmaro
