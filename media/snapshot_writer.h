// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Snapshots: the picture on the presenter's back buffer written as a JPEG file named after a
// time (the picture's own, as the caller tells it), at the video's own resolution, with the
// picture's time and place as EXIF. Encoded with libjpeg-turbo (TurboJPEG), straight from the YUV
// planes in display mode "YV12" and from the BGRX image in display mode "RGB". A snapshot never
// replaces a file, and a failure leaves no file; the outcome, with its reason, goes back to the
// caller to tell the user.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "media/video_output.h"
#include "stream/snapshot_result.h"
#include "stream/snapshot_stamp.h"

namespace velmaro {

constexpr int kSnapshotQuality = 75;  // the customary default of JPEG encoders

// "2012-05-17 08-31-05.jpg" for that local time; ".jpg" when the time cannot be converted.
std::string SnapshotFileName(std::time_t when);
// The folder and the file name with exactly one '/' between them, however the folder ends.
// An empty folder gives the bare name.
std::string SnapshotFilePath(const std::string& folder, std::time_t when);

// Creates the folder of `filePath` level by level if it is missing. True when the path names
// no folder or the folder is a directory afterwards.
bool EnsureFolderExists(const std::string& filePath);

// The JPEG of a picture as a presenter back buffer holds it. False for a picture whose planes
// do not cover its size or when the encoder fails.
bool EncodeSnapshot(const PresentedPicture& picture, std::vector<uint8_t>& jpeg);

// `filePath` with " (number)" before the extension of its file name: "a/b.jpg" and 3 give
// "a/b (3).jpg". Number 1 is the path itself.
std::string NumberedSnapshotPath(const std::string& filePath, int number);

// Ensures the folder, encodes, adds the EXIF of `stamp` and writes the file under the first free
// name of `filePath`, " (2)", " (3)", ...: each name is created only if it does not exist, so
// neither an older file nor a snapshot written at the same moment is ever replaced. The result
// names the file only once all of it is on disk; otherwise it says why, and nothing of the file
// is left.
SnapshotResult WriteSnapshot(const PresentedPicture& picture, const std::string& filePath,
                             const SnapshotStamp& stamp = {});

}  // namespace velmaro
