// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Gathers the telemetry texts of one recording file from its transport packets, with the
// presentation time and file position of each, and the start of every video PES (position and
// time) so that texts can be placed on the camera's clock and matched to a marked stretch.
// Passive: the caller feeds packets in file order.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "stream/psi.h"

namespace velmaro {

struct CollectedText {
    std::string text;    // at most TelemetryHandOver::kMaxText bytes, as the player keeps it
    int64_t pos = 0;     // file offset of the packet that began its PES
    double pts = 0.0;    // seconds; the last video time before it when the PES carries none
    bool timed = false;  // false while no time at all was known for it
};

struct VideoStart {
    int64_t pos = 0;  // file offset of the packet that began the PES
    double pts = 0.0;
};

class TelemetryCollector {
  public:
    // One kTsPacketSize-byte packet found at file offset `pos`.
    void Feed(const uint8_t* packet, int64_t pos);
    // The file ended: the PES still being gathered is complete.
    void Finish();

    // The program tables have been read: packets of the streams are taken from now on.
    bool TablesKnown() const { return psi_.pidsKnown; }
    const std::vector<CollectedText>& Texts() const { return texts_; }
    const std::vector<VideoStart>& VideoStarts() const { return videoStarts_; }

  private:
    void CompleteText();

    PsiState psi_;
    std::vector<CollectedText> texts_;
    std::vector<VideoStart> videoStarts_;
    std::vector<uint8_t> gathering_;  // the telemetry PES being gathered
    int64_t gatheringPos_ = 0;
    bool gatheringActive_ = false;
    bool lastVideoKnown_ = false;
    double lastVideoPts_ = 0.0;
};

}  // namespace velmaro
