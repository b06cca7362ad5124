// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The control fields of a playback channel: written by the user-interface thread, polled by
// the reader and the decoding workers.
#pragma once

#include <atomic>
#include <cstdint>

namespace velmaro {

enum PlayMode : int32_t {
    kPlayHeld = 0,  // after a single step
    kPlayNormal = 1,
    kPlayBackward = 7,  // also the slowest forward speed
    kPlayStep = 11,
};

struct ChannelControls {
    std::atomic<int32_t> playMode{kPlayNormal};
    std::atomic<int32_t> paused{0};
    std::atomic<bool> audioEnabled{true};
    // Written by the reader: it has read everything there is in its direction (the end of the
    // last recording, or the start of the first) and waits for a request. What the decoders
    // still hold back is then all that will come.
    std::atomic<bool> readerIdle{false};
};

}  // namespace velmaro
