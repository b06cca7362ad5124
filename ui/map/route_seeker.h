// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Plays from the moment the car was at a clicked point of the map's route. The fixes of the
// recording being played are read on a worker when it first plays (or is first clicked) and kept
// for a few recordings, so a click costs a search, not a read of the file. A click that comes
// before its recording has been read waits for it; a newer click replaces it.
#pragma once

#include <QObject>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>

#include "export/track_point.h"
#include "map/route_track_loader.h"

namespace velmaro {

class PlaybackChannel;

class RouteSeeker : public QObject {
    Q_OBJECT

  public:
    // `channel` gives the channel playing now, or null; asked on the user-interface thread.
    RouteSeeker(std::function<PlaybackChannel*()> channel, QObject* parent);
    ~RouteSeeker() override;

    // A click on the route at a point in the receiver's coordinates.
    void Pick(double latitude, double longitude);
    // The recording may have changed: read its fixes ahead of a click.
    void Prefetch();

  signals:
    // The channel was told to play from `time` (calendar seconds of the card).
    void PlayingFrom(qint64 time);

  private:
    struct Cached {
        std::string path;
        TrackPoints points;
    };
    struct PendingClick {
        std::string path;
        double latitude = 0.0;
        double longitude = 0.0;
    };

    std::string PlayingPath() const;
    const TrackPoints* CachedPoints(const std::string& path) const;
    void Load(const std::string& path);
    void OnLoaded(const std::string& path, const TrackResult& result);
    void PlayFrom(const TrackPoints& points, double latitude, double longitude);

    const std::function<PlaybackChannel*()> channel_;
    RouteTrackLoader loader_;
    // The rest is the user-interface thread's alone; the worker hands results over queued.
    std::string loadingPath_;   // the path the loader reads; empty when idle
    std::string failedPath_;    // the last path that could not be read
    std::deque<Cached> cache_;  // newest first
    std::optional<PendingClick> pending_;
};

}  // namespace velmaro
