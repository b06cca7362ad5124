// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/playback_session.h"

#include <algorithm>

#include "app/app_settings.h"
#include "platform/message_sink.h"

namespace velmaro {

PlaybackSession::~PlaybackSession() {
    Release();
}

bool PlaybackSession::Open(const std::string& path, ChannelLinks links) {
    Release();
    links.telemetry = &telemetry_;
    channel_ = std::make_unique<PlaybackChannel>(links);
    channel_->filePath = path;
    // Before the channel starts: its first messages then find the windows ready for it.
    for (PlaybackListener* l : listeners_) {
        l->OnOpened(path);
    }
    return channel_->Open();
}

void PlaybackSession::Close() {
    Release();
    for (PlaybackListener* l : listeners_) {
        l->OnClosed();
    }
}

void PlaybackSession::Release() {
    channel_.reset();
    // A text the closed recording left is not the next one's.
    telemetry_.ClearReady();
    fix_ = GpsRecord{};
    gSensor_ = GSensorRecord{};
}

void PlaybackSession::AddListener(PlaybackListener* listener) {
    if (std::find(listeners_.begin(), listeners_.end(), listener) == listeners_.end()) {
        listeners_.push_back(listener);
    }
}

void PlaybackSession::RemoveListener(PlaybackListener* listener) {
    std::erase(listeners_, listener);
}

// The same code means one thing from the list and another from the reader: the route tells.
void PlaybackSession::Deliver(Route route, uint32_t msg, intptr_t wParam) {
    if (route == Route::kList) {
        if (msg == kMsgPosition) {
            const auto perMille = static_cast<int32_t>(std::clamp<intptr_t>(wParam, 0, 1000));
            for (PlaybackListener* l : listeners_) {
                l->OnPosition(perMille);
            }
        } else if (msg == kMsgReset) {
            for (PlaybackListener* l : listeners_) {
                l->OnListReady();
            }
        }
        return;
    }
    if (msg == kMsgTelemetry) {
        TakeTelemetry();
    } else if (msg == kMsgReset) {
        fix_ = GpsRecord{};  // the gauges show nothing until the new place has a fix
        for (PlaybackListener* l : listeners_) {
            l->OnReadingReset();
        }
    }
}

void PlaybackSession::TakeTelemetry() {
    std::string sentence;
    if (!telemetry_.Take(sentence)) {
        return;
    }
    const TelemetryOptions options{.otherReceivers = Settings().gpsOtherReceivers};
    GpsRecord fix = fix_;
    const bool hasFix = ParseTelemetry(sentence, gSensor_, fix, options);
    if (hasFix) {
        fix_ = fix;
    }
    for (PlaybackListener* l : listeners_) {
        l->OnTelemetry(fix_, gSensor_, hasFix);
    }
}

}  // namespace velmaro
