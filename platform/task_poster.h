// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Work that a worker thread hands to the user-interface thread. The user interface gives the
// implementation (a queued call on its thread); the engine needs none of its types.
#pragma once

#include <functional>

namespace velmaro {

class TaskPoster {
  public:
    virtual ~TaskPoster() = default;

    // Queues `task` to run on the user-interface thread and returns at once; from any thread.
    virtual void Post(std::function<void()> task) = 0;
};

}  // namespace velmaro
