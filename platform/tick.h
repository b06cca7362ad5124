// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Millisecond tick counter: steady, wraps at 32 bits like the counter the pacing arithmetic
// expects.
#pragma once

#include <chrono>
#include <cstdint>

namespace velmaro {

inline uint32_t TickCount() {
    using namespace std::chrono;
    return static_cast<uint32_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

using TickSource = uint32_t (*)();

}  // namespace velmaro
