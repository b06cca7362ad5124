// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/late_pictures.h"

#include <algorithm>

namespace velmaro {

// Leaving pictures out catches up only when showing them is what made the picture late. When
// decoding alone is behind (a backlog from its first second on one thread, or a stream it
// barely keeps up with), a run of drops leaves the picture as late as before, and every picture
// after it would be late too: four of five would be lost for good. The clock takes the delay
// instead; the sound, which follows the picture, waits once for it.
LateVerdict LatePictures::Judge(double lateMs, double frameMs, bool mayDrop) {
    const double lateEnough = std::max(kLateEnoughToDropMs, frameMs);
    if (mayDrop && lateMs > lateEnough && dropsInARow_ < kMostDropsInARow) {
        if (dropsInARow_ == 0) {
            lateAtFirstDrop_ = lateMs;
        }
        ++dropsInARow_;
        return LateVerdict::kDrop;
    }
    const bool gainedNothing = dropsInARow_ >= kMostDropsInARow && lateMs >= lateAtFirstDrop_;
    dropsInARow_ = 0;
    return gainedNothing ? LateVerdict::kShowAndSlip : LateVerdict::kShow;
}

}  // namespace velmaro
