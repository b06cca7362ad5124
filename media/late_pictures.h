// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// LatePictures: what the video worker does with a picture that comes after its time while the
// decoder is overloaded: show it, leave it out before it is converted or drawn, or show it and
// let the pacing clock take the delay when leaving pictures out gained nothing.
#pragma once

namespace velmaro {

constexpr int kMostDropsInARow = 4;  // late pictures left out before one is shown
// How late a picture may be and still be shown: frame threads give out pictures unevenly (a
// key picture takes several times the work of the others) and the pictures after a slow one
// catch up by themselves; the sound follows the picture, so lateness costs no lip sync.
constexpr double kLateEnoughToDropMs = 120.0;

enum class LateVerdict {
    kShow,
    kDrop,
    kShowAndSlip,  // shown; the clock starts again from now
};

class LatePictures {
  public:
    // A picture `lateMs` behind its time at `frameMs` per picture; `mayDrop`: the decoder is
    // overloaded and nothing (a step, a pause, a rate no screen shows) asks for this picture.
    LateVerdict Judge(double lateMs, double frameMs, bool mayDrop);

  private:
    int dropsInARow_ = 0;
    double lateAtFirstDrop_ = 0.0;  // ms behind when the current run of drops began
};

}  // namespace velmaro
