// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Where a group of pictures ends in its recording file, for marks that must cut whole groups.
// Reads the file with its own handle; used on the user-interface thread when a mark is set,
// so it reads no further than one long group.
#pragma once

#include <cstdint>
#include <string>

#include "stream/video_codec.h"

namespace velmaro {

// Bytes read past the picture before giving up on finding the next key frame.
constexpr int64_t kGroupEndSearchLimit = 16 * 1024 * 1024;

// The byte position of the packet that begins the first key frame PES of `videoPid` after the
// PES beginning at `picturePos`: the end of that picture's group. The file's size when no key
// frame follows; the limit's end when none is found within it; -1 when the file cannot be read.
int64_t FindGroupEnd(const std::string& path, int videoPid, int64_t picturePos,
                     VideoCodec codec = VideoCodec::kH264);

}  // namespace velmaro
