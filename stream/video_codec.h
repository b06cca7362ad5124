// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Which video coding a recording carries, as its program map announces it. Most cameras write
// H.264; newer ones write H.265 (HEVC). Everything that finds key frames or opens a decoder
// follows it.
#pragma once

#include <cstdint>

namespace velmaro {

enum class VideoCodec : uint8_t {
    kH264,
    kHevc,
};

}  // namespace velmaro
