// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/ab_loop.h"

#include <chrono>

#include "stream/recording_files.h"

namespace velmaro {
namespace {

// Nothing new shown for this long while the reader has read all there is: the end is reached.
constexpr int64_t kStillMs = 400;

int64_t SteadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

bool MarkBefore(const ClipMark& a, const ClipMark& b) {
    if (a.path == b.path) {
        return a.position < b.position;
    }
    return a.number >= 0 && b.number >= 0 && a.number < b.number;
}

bool AbLoop::Start(const PlaybackChannel& channel) {
    in_ = channel.MarkInPoint();
    out_ = channel.MarkOutPoint();
    active_ = !in_.path.empty() && !out_.path.empty() && in_.position >= 0 && out_.position >= 0 &&
              MarkBefore(in_, out_);
    returning_ = false;
    rounds_ = 0;
    return active_;
}

AbLoop::Place AbLoop::PlaceOf(const PlaybackChannel& channel, const ShownPicture& shown) const {
    if (!shown.valid || shown.filePos < 0) {
        return Place::kUnknown;
    }
    ClipMark here;
    here.path = channel.reader.PathOfSerial(shown.fileSerial);
    if (here.path.empty()) {
        return Place::kUnknown;
    }
    here.number = RecordingNumber(here.path);
    here.position = shown.filePos;
    if (MarkBefore(here, in_) && here.path != in_.path) {
        return Place::kBefore;
    }
    if (here.path == in_.path && here.position < in_.position) {
        return Place::kBefore;
    }
    return MarkBefore(here, out_) ? Place::kInside : Place::kPast;
}

bool AbLoop::Follow(PlaybackChannel& channel) {
    if (!active_ || channel.reader.Backward()) {
        return false;
    }
    const ShownPicture shown = channel.state.Shown();
    const Place place = PlaceOf(channel, shown);
    if (returning_) {
        // Until the seek lands, the picture on screen is still the one past the mark-out.
        returning_ = place != Place::kInside && place != Place::kBefore;
        return false;
    }
    const bool atCardEnd =
        channel.state.readerIdle.load() && SteadyMs() - shown.shownAtMs > kStillMs;
    if (place != Place::kPast && !(atCardEnd && place == Place::kInside)) {
        return false;
    }
    channel.PlayFromMark(in_);
    returning_ = true;
    ++rounds_;
    return true;
}

}  // namespace velmaro
