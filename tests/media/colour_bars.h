// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The 75 % colour bars the sample generator draws (PicturePattern::kColourBars), with the codes
// and colours they must decode to, and where in a picture to look for them.
#pragma once

#include <utility>
#include <vector>

#include "tools/make_recording/recording_writer.h"

namespace velmaro::test {

// The eight 75 % bars (191 of 255), left to right, and their BT.601 limited-range codes:
//   Y  =  16 + 65.481 R' + 128.553 G' +  24.966 B'
//   Cb = 128 - 37.797 R' -  74.203 G' + 112.000 B'
//   Cr = 128 + 112.000 R' - 93.786 G' -  18.214 B'      with R', G', B' = value / 255,
// rounded to the nearest code (191 / 255 = 0.749; yellow: Y = 16 + 194.034 * 0.749 = 161.3).
struct Bar {
    const char* name;
    int r, g, b;
    int y, u, v;
};
inline constexpr Bar kBars[kColourBarCount] = {
    {"grey", 191, 191, 191, 180, 128, 128}, {"yellow", 191, 191, 0, 161, 44, 142},
    {"cyan", 0, 191, 191, 131, 156, 44},    {"green", 0, 191, 0, 112, 72, 58},
    {"magenta", 191, 0, 191, 84, 184, 198}, {"red", 191, 0, 0, 65, 100, 212},
    {"blue", 0, 0, 191, 35, 212, 114},      {"black", 0, 0, 0, 16, 128, 128},
};

// The x range of a bar, [left, right); the last bar reaches the right edge.
inline std::pair<int, int> BarSpan(int bar, int width) {
    const int left = bar * ColourBarWidth(width);
    return {left, bar + 1 == kColourBarCount ? width : left + ColourBarWidth(width)};
}

// Where a bar is looked at: around its centre (a quarter bar either side, so that a shifted
// chroma plane shows), at three heights below the picture-number blocks along the top.
struct Spot {
    int x, y;
};
inline std::vector<Spot> BarSpots(int bar, int width, int height) {
    const int barWidth = ColourBarWidth(width);
    const auto [left, right] = BarSpan(bar, width);
    const int centre = (left + right) / 2;
    std::vector<Spot> spots;
    for (const int y : {height / 4, height / 2, height * 3 / 4}) {
        for (const int x : {centre - barWidth / 4, centre, centre + barWidth / 4}) {
            spots.push_back({x, y});
        }
    }
    return spots;
}

// The number the generator wrote along the top edge of a picture, most significant bit first;
// `white(x, y)` tells whether the block whose centre is at (x, y) is white.
template <typename IsWhite>
int ReadPictureNumber(int width, int height, IsWhite&& white) {
    const int size = PictureNumberBlockSize(width, height);
    int number = 0;
    for (int bit = 0; bit < kPictureNumberBits; ++bit) {
        number = number * 2 + (white((bit + 1) * size, size) ? 1 : 0);
    }
    return number;
}

}  // namespace velmaro::test
