#include "stream/fps_ctrl.h"

#include <chrono>
#include <cmath>
#include <limits>

namespace velmaro {

CFpsCtrl::CFpsCtrl(double framesPerSecond, TickSource ticks)
    : fps(framesPerSecond),
      dueTime(ticks()),
      interval(1000.0 / framesPerSecond),
      wakeEvent(true),  // the first wait ends at once
      ticks_(ticks) {}

void CFpsCtrl::SetRate(double framesPerSecond) {
    fps = framesPerSecond;
    interval = 1000.0 / framesPerSecond;
}

int32_t CFpsCtrl::Wait(double ms) {
    dueTime += ms == 0.0 ? interval : ms;
    const double remaining = std::trunc(dueTime - ticks_());
    // Outside the 32-bit range (tick wrap, absurd due time) counts as late.
    if (!(remaining > kShortestPacingWaitMs) ||
        remaining > std::numeric_limits<int32_t>::max()) {
        return 0;
    }
    const auto wait = static_cast<int32_t>(remaining);
    wakeEvent.WaitFor(std::chrono::milliseconds(wait));
    return wait;
}

}  // namespace velmaro
