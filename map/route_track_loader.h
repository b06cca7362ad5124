// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Reads the fixes of one recording file on a worker of its own, so that a click on the map's
// route can be matched to a moment without the window waiting for the file to be read.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "export/track_source.h"

namespace velmaro {

class RouteTrackLoader {
  public:
    // Called once on the worker thread for every collection that ran to its end (not for one
    // stopped). It must not stop or destroy this object.
    using EndCallback = std::function<void(const std::string& path, const TrackResult& result)>;

    explicit RouteTrackLoader(EndCallback onEnd);
    ~RouteTrackLoader();  // stops a running collection
    RouteTrackLoader(const RouteTrackLoader&) = delete;
    RouteTrackLoader& operator=(const RouteTrackLoader&) = delete;

    // Stops a running collection, then reads `path`. False when the thread cannot start.
    bool Start(const std::string& path);
    void Stop();
    bool IsRunning() const { return running_.load(); }

  private:
    const EndCallback onEnd_;
    std::thread thread_;  // owner thread only
    // Set by Start; cleared by the worker as it ends and by Stop once it has joined it.
    std::atomic<bool> running_{false};
    // Set by Stop; read by the worker between reads.
    std::atomic<bool> stopAsked_{false};
};

}  // namespace velmaro
