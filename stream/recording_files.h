// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// How recording files are named and found: the running number in a file name, and the file of
// the same folder numbered one lower or higher (playback continues across files by it).
#pragma once

#include <cstdint>
#include <string>

namespace velmaro {

// The digits between the last '_' and the last '.' of the path; -1 when there are none, when
// anything else stands there, or when the number does not fit in 32 bits.
int32_t RecordingNumber(const std::string& path);

// True for names ending in ".ts" in any letter case (FAT cards often hold FILE0001.TS).
bool IsRecordingName(const std::string& name);

// The folder part of a path, with its trailing '/'; empty when the path has none.
std::string FolderOf(const std::string& path);

// The recording in the folder of `path` whose number is exactly RecordingNumber(path) + step
// (step -1 or +1); among several with that number, the first in name order. Empty when none.
std::string FindAdjacentRecording(const std::string& path, int step);

}  // namespace velmaro
