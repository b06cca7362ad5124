// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/audio_resampler.h"

#include <utility>

namespace velmaro {

namespace {

// Streams that do not name their channels get the usual layout for their channel count.
bool InputLayout(const AVFrame& frame, AVChannelLayout& layout) {
    if (frame.ch_layout.nb_channels <= 0) {
        return false;
    }
    if (frame.ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) {
        av_channel_layout_default(&layout, frame.ch_layout.nb_channels);
        return true;
    }
    return av_channel_layout_copy(&layout, &frame.ch_layout) == 0;
}

}  // namespace

AudioResampler::AudioResampler(AudioResampler&& other) noexcept {
    *this = std::move(other);
}

AudioResampler& AudioResampler::operator=(AudioResampler&& other) noexcept {
    if (this != &other) {
        Reset();
        resampler_ = std::move(other.resampler_);
        // The layout may own a channel map: hand it over, never copy the pointer.
        std::swap(inputLayout_, other.inputLayout_);
        inputRate_ = std::exchange(other.inputRate_, 0);
        inputFormat_ = std::exchange(other.inputFormat_, -1);
        output_ = std::move(other.output_);
    }
    return *this;
}

AudioResampler::~AudioResampler() {
    av_channel_layout_uninit(&inputLayout_);
}

void AudioResampler::Reset() {
    resampler_.reset();
    av_channel_layout_uninit(&inputLayout_);
    inputRate_ = 0;
    inputFormat_ = -1;
}

bool AudioResampler::SameInput(const AVFrame& frame) const {
    return resampler_ && frame.sample_rate == inputRate_ && frame.format == inputFormat_ &&
           frame.ch_layout.nb_channels == inputLayout_.nb_channels &&
           (frame.ch_layout.order == AV_CHANNEL_ORDER_UNSPEC ||
            av_channel_layout_compare(&frame.ch_layout, &inputLayout_) == 0);
}

bool AudioResampler::Configure(const AVFrame& frame) {
    if (SameInput(frame)) {
        return true;
    }
    Reset();
    if (frame.sample_rate <= 0 || frame.format < 0 || !InputLayout(frame, inputLayout_)) {
        return false;
    }
    AVChannelLayout mono = AV_CHANNEL_LAYOUT_MONO;
    SwrContext* raw = nullptr;
    if (swr_alloc_set_opts2(&raw, &mono, AV_SAMPLE_FMT_S16, kAudioOutputRate, &inputLayout_,
                            static_cast<AVSampleFormat>(frame.format), frame.sample_rate, 0,
                            nullptr) < 0) {
        swr_free(&raw);
        Reset();
        return false;
    }
    resampler_.reset(raw);
    if (swr_init(resampler_.get()) < 0) {
        Reset();
        return false;
    }
    inputRate_ = frame.sample_rate;
    inputFormat_ = frame.format;
    return true;
}

std::span<const int16_t> AudioResampler::Convert(const AVFrame& frame) {
    if (frame.nb_samples <= 0 || !frame.extended_data || !Configure(frame)) {
        return {};
    }
    const int room = swr_get_out_samples(resampler_.get(), frame.nb_samples);
    if (room <= 0) {
        return {};
    }
    if (output_.size() < static_cast<size_t>(room)) {
        output_.resize(static_cast<size_t>(room));
    }
    auto* out = reinterpret_cast<uint8_t*>(output_.data());
    const int converted =
        swr_convert(resampler_.get(), &out, room, const_cast<const uint8_t**>(frame.extended_data),
                    frame.nb_samples);
    if (converted <= 0) {
        return {};
    }
    return {output_.data(), static_cast<size_t>(converted)};
}

}  // namespace velmaro
