// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// AudioResampler: whatever a decoder delivers (any sample format, rate or channel layout) comes
// out as mono 48 kHz signed 16-bit, the one format the sound ring and the AVI export take.
// Backed by libswresample; the converter is rebuilt only when the input format changes.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
#include <libswresample/swresample.h>
}

namespace velmaro {

constexpr int kAudioOutputRate = 48000;
constexpr int kAudioOutputChannels = 1;

namespace ff {

struct ResamplerDeleter {
    void operator()(SwrContext* resampler) const { swr_free(&resampler); }
};
using ResamplerPtr = std::unique_ptr<SwrContext, ResamplerDeleter>;

}  // namespace ff

class AudioResampler {
  public:
    AudioResampler() = default;
    AudioResampler(AudioResampler&& other) noexcept;
    AudioResampler& operator=(AudioResampler&& other) noexcept;
    AudioResampler(const AudioResampler&) = delete;
    AudioResampler& operator=(const AudioResampler&) = delete;
    ~AudioResampler();

    // Converts one decoded audio frame. The samples stay valid until the next call; empty when
    // the frame cannot be converted. With a rate change a few samples are held back and come
    // out with the next frame.
    std::span<const int16_t> Convert(const AVFrame& frame);
    // Forgets held-back samples and the converter (a seek, a new stream).
    void Reset();

  private:
    bool Configure(const AVFrame& frame);
    bool SameInput(const AVFrame& frame) const;

    ff::ResamplerPtr resampler_;
    AVChannelLayout inputLayout_{};  // owned: uninitialised on Reset and destruction
    int inputRate_ = 0;
    int inputFormat_ = -1;
    std::vector<int16_t> output_;  // grows to the largest frame seen, then reused
};

}  // namespace velmaro
