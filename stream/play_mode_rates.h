// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// What each play mode does to the pace of pictures: shared by the decoder that paces them and
// the text that tells the user the speed.
#pragma once

#include <cstdint>

namespace velmaro {

constexpr int32_t kPlayModeCount = 12;

// What each play mode does to the stream's frame rate, and which share of each group of
// pictures it keeps (1.0: every picture). Modes out of range count as normal play.
double RateFactor(int32_t playMode);
double GroupShare(int32_t playMode);

}  // namespace velmaro
