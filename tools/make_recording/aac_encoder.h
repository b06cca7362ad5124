// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Audio of the sample recordings: an audible tone gliding up and down with a short beep at every
// second, encoded as AAC-LC mono 48 kHz by libavcodec's native "aac" encoder. Each frame of 1024
// samples comes out wrapped in a 7-byte ADTS header.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "tools/make_recording/av_ptr.h"

namespace velmaro {

constexpr int kAudioRate = 48000;
constexpr int kAudioFrameSamples = 1024;

// The ADTS header (MPEG-4, no CRC) of an AAC-LC frame with `payloadSize` raw bytes.
std::vector<uint8_t> AdtsHeader(size_t payloadSize, int sampleRate, int channels);

class AacEncoder {
  public:
    bool Open(std::string* error);
    // The next ADTS frame; frames follow each other without a gap, 1024 samples apart.
    bool Next(std::vector<uint8_t>* adtsFrame, std::string* error);

  private:
    bool Feed(std::string* error);

    av::CodecContextPtr context_;
    av::FramePtr frame_;
    av::PacketPtr packet_;
    std::deque<std::vector<uint8_t>> ready_;
    int64_t samples_ = 0;
    double phase_ = 0.0;
};

}  // namespace velmaro
