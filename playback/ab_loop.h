// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// A-B loop: the marked stretch plays again from its mark-in each time the picture on screen
// passes its mark-out, as long as the loop is on. Forward play only: backward play runs out of
// the stretch at its start and is left alone.
#pragma once

#include <cstdint>

#include "playback/playback_channel.h"

namespace velmaro {

class AbLoop {
  public:
    // Looping starts from the channel's marks; false (and the loop stays off) when no whole
    // stretch is marked: no mark-out, or a mark-out before the mark-in.
    bool Start(const PlaybackChannel& channel);
    void Stop() { active_ = false; }
    bool Active() const { return active_; }
    // Called a few times a second with the channel the marks were taken from: back to the
    // mark-in once the picture on screen has passed the mark-out, or once playback has run
    // to the end of the card inside the stretch. True when it went back.
    bool Follow(PlaybackChannel& channel);
    int Rounds() const { return rounds_; }  // times it went back since Start

  private:
    // Where the picture on screen stands against the stretch.
    enum class Place { kUnknown, kBefore, kInside, kPast };
    Place PlaceOf(const PlaybackChannel& channel, const ShownPicture& shown) const;

    ClipMark in_;
    ClipMark out_;
    bool active_ = false;
    bool returning_ = false;  // sent back; waits for a picture of the stretch
    int rounds_ = 0;
};

// Whether `a` lies before `b` on the card: by recording number, then by position in the file.
bool MarkBefore(const ClipMark& a, const ClipMark& b);

}  // namespace velmaro
