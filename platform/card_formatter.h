// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The hardware edge of "Format": something that turns the card mounted at a drive root into an
// empty FAT file system. The player's own implementation asks UDisks2 over D-Bus; tests of the
// dialog put a double in its place.
#pragma once

#include <string>

namespace velmaro {

enum class FormatStatus {
    kOk,
    kNoService,      // no UDisks2 (or no system bus) to ask
    kNotAuthorised,  // the user may not format this device
    kBusy,           // files on the card are still open
    kNotMounted,     // no block device is mounted at that root
    kNotRemovable,   // the device is not removable: never formatted
    kFailed,         // anything else; the detail says what
};

struct FormatOutcome {
    FormatStatus status = FormatStatus::kFailed;
    std::string detail;  // the service's own message, for the user and the log
    // The card was unmounted and could not be mounted again: it is still in the reader but no
    // folder shows it until it is taken out and inserted again.
    bool leftUnmounted = false;
    std::string mountedAt;  // where the card was mounted again after the format, when it was
    bool ok() const { return status == FormatStatus::kOk; }
};

class CardFormatter {
  public:
    virtual ~CardFormatter() = default;
    // Unmounts the file system mounted at `mountRoot`, formats its device as FAT and mounts it
    // again (a failed format mounts the old file system again). Blocks until done; safe to call
    // from a worker thread.
    virtual FormatOutcome Format(const std::string& mountRoot) = 0;
};

inline constexpr char kLeftUnmountedText[] =
    "The card is no longer mounted: take it out and insert it again";

// The English reason shown to the user; the key of its translation.
inline const char* FormatStatusText(FormatStatus status) {
    switch (status) {
        case FormatStatus::kOk:
            return "Format Success";
        case FormatStatus::kNoService:
            return "The disk service (UDisks2) is not available";
        case FormatStatus::kNotAuthorised:
            return "Not authorised to format this card";
        case FormatStatus::kBusy:
            return "The card is busy: close the files open on it and try again";
        case FormatStatus::kNotMounted:
            return "No card is mounted there";
        case FormatStatus::kNotRemovable:
            return "Only a removable card can be formatted";
        case FormatStatus::kFailed:
            return "Format Fail";
    }
    return "Format Fail";
}

}  // namespace velmaro
