// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "stream/play_mode_rates.h"

namespace velmaro {
namespace {

constexpr double kRateFactors[kPlayModeCount] = {1.0, 1.0, 2.0,  2.0,   2.0,    3.0,
                                                 4.0, 0.5, 0.25, 0.125, 0.0625, 1.0};
constexpr double kGroupShares[kPlayModeCount] = {1.0,    1.0, 1.0, 0.5, 0.25, 0.125,
                                                 0.0625, 1.0, 1.0, 1.0, 1.0,  1.0};
constexpr double kWholeGroup = 1.0;

bool KnownMode(int32_t playMode) {
    return playMode >= 0 && playMode < kPlayModeCount;
}

}  // namespace

double RateFactor(int32_t playMode) {
    return KnownMode(playMode) ? kRateFactors[playMode] : kWholeGroup;
}

double GroupShare(int32_t playMode) {
    return KnownMode(playMode) ? kGroupShares[playMode] : kWholeGroup;
}

}  // namespace velmaro
