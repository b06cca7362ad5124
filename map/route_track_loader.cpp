// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "map/route_track_loader.h"

#include <system_error>

namespace velmaro {

RouteTrackLoader::RouteTrackLoader(EndCallback onEnd) : onEnd_(std::move(onEnd)) {}

RouteTrackLoader::~RouteTrackLoader() {
    Stop();
}

bool RouteTrackLoader::Start(const std::string& path) {
    Stop();
    stopAsked_.store(false);
    running_.store(true);
    try {
        thread_ = std::thread([this, path] {
            const TrackResult result =
                CollectRecordingTrack(path, [this] { return stopAsked_.load(); });
            const bool stopped = stopAsked_.load();
            running_.store(false);
            if (!stopped && onEnd_) {
                onEnd_(path, result);
            }
        });
    } catch (const std::system_error&) {
        running_.store(false);
        return false;
    }
    return true;
}

void RouteTrackLoader::Stop() {
    stopAsked_.store(true);
    if (thread_.joinable()) {
        thread_.join();
    }
    running_.store(false);
}

}  // namespace velmaro
