// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/main/time_strip_feed.h"

#include <chrono>

#include "app/time_strip_text.h"
#include "playback/playback_channel.h"
#include "playback/playback_session.h"
#include "ui/main/time_strip.h"

namespace velmaro {

TimeStripFeed::TimeStripFeed(TimeStrip& strip, PlaybackSession& session,
                             std::function<int64_t()> clockShift, QObject* parent)
    : QObject(parent), strip_(strip), session_(session), clockShift_(std::move(clockShift)) {
    connect(&timer_, &QTimer::timeout, this, &TimeStripFeed::Refresh);
    timer_.start(kRefreshMs);
}

TimeStripFeed::~TimeStripFeed() = default;  // a reading under way is waited for

const RecordingTimes* TimeStripFeed::TimesOf(const std::string& path) {
    if (path != timesPath_) {
        // A file's times are read once; one left behind unread is still waited for by the
        // future, which costs at most the read of its head and tail.
        timesPath_ = path;
        timesReady_ = false;
        reading_ = std::async(std::launch::async, [path] { return ReadRecordingTimes(path); });
    }
    if (!timesReady_ && reading_.valid() &&
        reading_.wait_for(std::chrono::seconds(0)) == std::future_status::ready) {
        times_ = reading_.get();
        timesReady_ = true;
    }
    return timesReady_ && times_.Known() ? &times_ : nullptr;
}

void TimeStripFeed::Refresh() {
    const PlaybackChannel* channel = session_.Channel();
    TimeStripInput input;
    if (channel != nullptr) {
        const ShownPicture shown = channel->state.Shown();
        input.path = channel->ShownFilePath();
        if (const RecordingTimes* times = input.path.empty() ? nullptr : TimesOf(input.path);
            times != nullptr && shown.valid) {
            input.moment = LocatePicture(*times, shown.pts);
        }
        input.clockShift = clockShift_ ? clockShift_() : 0;
        input.play.playMode = channel->state.playMode.load();
        input.play.paused = channel->state.paused.load() != 0;
        input.play.backward = channel->reader.Backward();
        input.play.looping = looping_ && looping_();
    }
    strip_.SetText(MakeTimeStripText(input));
}

}  // namespace velmaro
