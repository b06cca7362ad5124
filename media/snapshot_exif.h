// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The EXIF block of a snapshot, made with libexif: Make and Model "Velmaro", the picture's
// recording time as DateTimeOriginal (with OffsetTimeOriginal when the zone is known) and the GPS
// fix of its second (position, speed in km/h, true track, the receiver's UTC date and time), so
// that photo tools sort and place the still by the drive and not by the moment it was saved.
#pragma once

#include <cstdint>
#include <vector>

#include "stream/snapshot_stamp.h"

namespace velmaro {

// The payload of an APP1 segment ("Exif\0\0" and the TIFF structure) for `stamp` and a picture
// of `width` x `height`. Tags the stamp does not know are left out. Empty when libexif cannot
// build it.
std::vector<uint8_t> SnapshotExif(const SnapshotStamp& stamp, int width, int height);

// Puts `exif` into `jpeg` as an APP1 segment right after the start of image and the JFIF APP0
// segment, if there is one, where readers look for it. False, with `jpeg` unchanged, when `jpeg`
// does not begin like a JPEG or `exif` is empty or too long for one segment.
bool InsertExif(std::vector<uint8_t>& jpeg, const std::vector<uint8_t>& exif);

}  // namespace velmaro
