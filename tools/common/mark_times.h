// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Marks given as times within their recordings ("FILE@0:12.5", or --in-time 12.5) beside the
// byte positions the player records: a user reading a clock off the player knows the time, not
// the byte. A time becomes the byte the player itself would start reading at for it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "export/clip_export.h"
#include "tools/common/command_line.h"

namespace velmaro {

// Seconds into a recording: "12.5", "0:12.5" (m:ss) or "1:02:03.5" (h:mm:ss). Minutes and
// seconds after a colon stay below 60; empty for any other text.
std::optional<double> ParseRecordingTime(std::string_view text);

// "FILE@TIME" taken apart at its last '@' when what follows is a time; otherwise the whole text
// is the file (a name may hold an '@' of its own).
struct FileAtTime {
    std::string path;
    std::optional<double> seconds;
};
FileAtTime SplitFileAtTime(const std::string& text);

// Per mark: its time, from --in-time / --out-time or the file's "@TIME".
struct MarkTimes {
    std::optional<double> in;
    std::optional<double> out;
};

// --in-time and --out-time, each excluding the byte position of its mark.
void AddMarkTimeOptions(CommandLine& commandLine, MarkTimes& times);

// Takes "@TIME" off the marks' files into `times`; the usage error when a mark has a time twice
// or a time and a byte position.
std::optional<std::string> TakeMarkTimes(const CLI::App& app, ClipMarks& marks, MarkTimes& times);

// Sets the byte position of each mark given as a time; the reason, naming the file, when a file
// cannot be read or ends before its time.
std::optional<std::string> ApplyMarkTimes(ClipMarks& marks, const MarkTimes& times);

}  // namespace velmaro
