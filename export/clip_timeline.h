// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// ClipTimeline: makes a transport stream clip cut from several recordings one stream with one
// timeline. Each recording of a card starts its clocks again, so a copy of the packets as they
// stand jumps back at every file boundary and players take the clip for as long as its last
// file. The packets of every file after the first are rewritten in place: PCR, PTS and DTS go on
// from one frame after the last picture before them (modulo 2^33, as the clocks wrap), and the
// continuity counters of each PID go on from the previous file's. The first file's packets keep
// the recording's own times. Passive: fed packets, owns no thread.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace velmaro {

class ClipTimeline {
  public:
    ClipTimeline();

    // A later recording begins; `head`, the first bytes of that file, gives the earliest
    // presentation time of its pictures (of any stream's when it has no `videoPid` PES there).
    void BeginFile(const uint8_t* head, size_t size, int videoPid);
    // Rewrites one 188-byte packet on its way into the clip and notes its times and counter.
    void Pass(uint8_t* packet, int videoPid);

    // The shift applied to the current file's times, in 90 kHz ticks modulo 2^33.
    int64_t Shift() const { return shift_; }

  private:
    static constexpr int kPidCount = 8192;
    static constexpr int kNoCounter = -1;

    static std::array<int8_t, kPidCount> FilledWith(int8_t value);
    void ContinueCounter(uint8_t* packet, int pid);
    void NotePictureTimes(int64_t pts, int64_t dts);

    bool laterFile_ = false;
    int64_t shift_ = 0;
    // The clip's counters so far, and for the current file the step from its counters to the
    // clip's; both kNoCounter until the PID is seen.
    std::array<int8_t, kPidCount> lastCounter_ = FilledWith(kNoCounter);
    std::array<int8_t, kPidCount> counterStep_ = FilledWith(kNoCounter);
    // Times as they leave, unwrapped onto a line that does not wrap.
    bool anyPicture_ = false;
    int64_t latestPts_ = 0;  // of the latest-shown picture so far
    int64_t lastDts_ = 0;
    int64_t frameTicks_;  // the pictures' spacing as last measured
};

}  // namespace velmaro
