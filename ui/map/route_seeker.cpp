// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/map/route_seeker.h"

#include <QMetaObject>

#include "map/route_pick.h"
#include "playback/playback_channel.h"

namespace velmaro {
namespace {

// Enough for playing back and forth across a few neighbouring files without reading again.
constexpr size_t kCachedRecordings = 4;

}  // namespace

// The worker's result crosses to the user-interface thread as a queued call; one queued after
// this object is gone is dropped with it.
RouteSeeker::RouteSeeker(std::function<PlaybackChannel*()> channel, QObject* parent)
    : QObject(parent),
      channel_(std::move(channel)),
      loader_([this](const std::string& path, const TrackResult& result) {
          QMetaObject::invokeMethod(
              this, [this, path, result] { OnLoaded(path, result); }, Qt::QueuedConnection);
      }) {}

// The worker must end before the object its results are queued to goes.
RouteSeeker::~RouteSeeker() {
    loader_.Stop();
}

std::string RouteSeeker::PlayingPath() const {
    const PlaybackChannel* channel = channel_ ? channel_() : nullptr;
    return channel != nullptr ? channel->reader.CurrentPath() : std::string();
}

const TrackPoints* RouteSeeker::CachedPoints(const std::string& path) const {
    for (const Cached& cached : cache_) {
        if (cached.path == path) {
            return &cached.points;
        }
    }
    return nullptr;
}

void RouteSeeker::Pick(double latitude, double longitude) {
    const std::string path = PlayingPath();
    if (path.empty()) {
        return;
    }
    if (const TrackPoints* points = CachedPoints(path)) {
        pending_.reset();
        PlayFrom(*points, latitude, longitude);
        return;
    }
    pending_ = PendingClick{path, latitude, longitude};
    Load(path);
}

void RouteSeeker::Prefetch() {
    const std::string path = PlayingPath();
    // A file that failed is not read again every second; a click on its route still tries.
    if (!path.empty() && path != failedPath_ && CachedPoints(path) == nullptr) {
        Load(path);
    }
}

void RouteSeeker::Load(const std::string& path) {
    if (path == loadingPath_ && loader_.IsRunning()) {
        return;
    }
    // Reading another recording abandons a click that waited for the one before.
    if (pending_ && pending_->path != path) {
        pending_.reset();
    }
    loadingPath_ = loader_.Start(path) ? path : std::string();
}

void RouteSeeker::OnLoaded(const std::string& path, const TrackResult& result) {
    if (path == loadingPath_) {
        loadingPath_.clear();
    }
    // A file that cannot be read is not kept: it may be readable by the next click.
    if (!result.ok) {
        failedPath_ = path;
        if (pending_ && pending_->path == path) {
            pending_.reset();
        }
        return;
    }
    cache_.push_front({path, result.points});
    if (cache_.size() > kCachedRecordings) {
        cache_.pop_back();
    }
    // A click waits only for the recording it was made on, and only while that still plays.
    if (pending_ && pending_->path == path) {
        const PendingClick click = *pending_;
        pending_.reset();
        if (PlayingPath() == path) {
            PlayFrom(cache_.front().points, click.latitude, click.longitude);
        }
    }
}

void RouteSeeker::PlayFrom(const TrackPoints& points, double latitude, double longitude) {
    PlaybackChannel* channel = channel_ ? channel_() : nullptr;
    const std::optional<int64_t> time = RoutePickTime(points, latitude, longitude);
    if (channel == nullptr || !time) {
        return;
    }
    channel->PlayFromTime(*time);
    emit PlayingFrom(*time);
}

}  // namespace velmaro
