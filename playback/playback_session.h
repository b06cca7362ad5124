// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// PlaybackSession: the player's engine, owned by the application and lent to its windows. It
// holds the channel of the open recording (none while stopped, replaced by the next Open), the
// telemetry hand-over the reader fills and the parse of it, made once here for the map, the
// gauges and the route seeker alike, and the exports running in the background. Its threads'
// messages come back through Deliver on the user-interface thread, which turns them into typed
// calls on the listeners. Qt-free: every member is for the user-interface thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "playback/export_jobs.h"
#include "playback/playback_channel.h"
#include "playback/playback_listener.h"
#include "stream/telemetry.h"
#include "stream/telemetry_handover.h"

namespace velmaro {

class PlaybackSession {
  public:
    // Which of the channel's sinks a message came through: the list's and positions' (the
    // panel's) or the reader's notices (telemetry, resets).
    enum class Route { kList, kReader };

    PlaybackSession() = default;
    PlaybackSession(const PlaybackSession&) = delete;
    PlaybackSession& operator=(const PlaybackSession&) = delete;
    ~PlaybackSession();

    // Replaces what plays with `path`, opened with `links` (their telemetry hand-over is the
    // session's own). False when the channel could not start; it stays as the open recording,
    // stopped, until the next Open or Close.
    bool Open(const std::string& path, ChannelLinks links);
    // Stops the channel and its workers; the recording is closed.
    void Close();
    PlaybackChannel* Channel() const { return channel_.get(); }

    void AddListener(PlaybackListener* listener);
    void RemoveListener(PlaybackListener* listener);
    // A message one of the channel's threads sent, handed back on the user-interface thread.
    void Deliver(Route route, uint32_t msg, intptr_t wParam);

    // The last fix parsed (zero after an open or a reset) and the last G-sensor values.
    const GpsRecord& LatestFix() const { return fix_; }
    const GSensorRecord& LatestGSensor() const { return gSensor_; }
    TelemetryHandOver& TelemetrySource() { return telemetry_; }
    // The clip, track and copy being written; they outlive the recording they came from.
    ExportJobs& Exports() { return exports_; }

  private:
    void Release();
    void TakeTelemetry();

    TelemetryHandOver telemetry_;
    GpsRecord fix_;
    GSensorRecord gSensor_;
    std::unique_ptr<PlaybackChannel> channel_;
    std::vector<PlaybackListener*> listeners_;
    ExportJobs exports_{listeners_};  // after the listeners: it calls them until it goes
};

}  // namespace velmaro
