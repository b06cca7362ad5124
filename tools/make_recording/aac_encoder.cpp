// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/make_recording/aac_encoder.h"

#include <cmath>
#include <numbers>

namespace velmaro {
namespace {

int SampleRateIndex(int rate) {
    constexpr int kRates[] = {96000, 88200, 64000, 48000, 44100, 32000,
                              24000, 22050, 16000, 12000, 11025, 8000};
    for (int i = 0; i < 12; ++i) {
        if (kRates[i] == rate) {
            return i;
        }
    }
    return 3;
}

}  // namespace

std::vector<uint8_t> AdtsHeader(size_t payloadSize, int sampleRate, int channels) {
    const size_t length = payloadSize + 7;  // the frame length counts the header
    const int profile = 1;                  // AAC-LC (object type 2) minus one
    const int rateIndex = SampleRateIndex(sampleRate);
    return {
        0xFF,
        0xF1,  // sync, MPEG-4, layer 0, protection absent
        static_cast<uint8_t>((profile << 6) | (rateIndex << 2) | ((channels >> 2) & 1)),
        static_cast<uint8_t>(((channels & 3) << 6) | ((length >> 11) & 3)),
        static_cast<uint8_t>((length >> 3) & 0xFF),
        static_cast<uint8_t>(((length & 7) << 5) | 0x1F),  // buffer fullness 0x7FF: variable
        0xFC,                                              // one raw data block
    };
}

bool AacEncoder::Open(std::string* error) {
    const AVCodec* codec = avcodec_find_encoder_by_name("aac");
    if (codec == nullptr) {
        *error = "the native AAC encoder is not available in libavcodec";
        return false;
    }
    context_.reset(avcodec_alloc_context3(codec));
    frame_.reset(av_frame_alloc());
    packet_.reset(av_packet_alloc());
    if (!context_ || !frame_ || !packet_) {
        *error = "out of memory creating the AAC encoder";
        return false;
    }
    AVCodecContext* c = context_.get();
    c->sample_fmt = AV_SAMPLE_FMT_FLTP;
    c->sample_rate = kAudioRate;
    av_channel_layout_default(&c->ch_layout, 1);
    c->bit_rate = 64000;
    c->time_base = AVRational{1, kAudioRate};
    if (avcodec_open2(c, codec, nullptr) < 0 || c->frame_size != kAudioFrameSamples) {
        *error = "cannot open the AAC encoder (mono, 48 kHz, float planar)";
        return false;
    }
    frame_->format = c->sample_fmt;
    frame_->sample_rate = kAudioRate;
    frame_->nb_samples = kAudioFrameSamples;
    if (av_channel_layout_copy(&frame_->ch_layout, &c->ch_layout) < 0 ||
        av_frame_get_buffer(frame_.get(), 0) < 0) {
        *error = "cannot allocate an audio frame";
        return false;
    }
    return true;
}

bool AacEncoder::Feed(std::string* error) {
    if (av_frame_make_writable(frame_.get()) < 0) {
        *error = "audio frame not writable";
        return false;
    }
    auto* out = reinterpret_cast<float*>(frame_->data[0]);
    for (int i = 0; i < kAudioFrameSamples; ++i) {
        const double t = static_cast<double>(samples_ + i) / kAudioRate;
        const double secondPart = t - std::floor(t);
        // A glide between 330 and 660 Hz over 8 s; a 1320 Hz beep in the first 60 ms of a second.
        const double frequency = secondPart < 0.06 ? 1320.0 : 495.0 + 165.0 * std::sin(t * 0.785);
        phase_ += 2.0 * std::numbers::pi * frequency / kAudioRate;
        out[i] = static_cast<float>(0.25 * std::sin(phase_));
    }
    phase_ = std::fmod(phase_, 2.0 * std::numbers::pi);
    frame_->pts = samples_;
    samples_ += kAudioFrameSamples;
    int rc = avcodec_send_frame(context_.get(), frame_.get());
    if (rc < 0) {
        *error = "the AAC encoder refused a frame";
        return false;
    }
    while ((rc = avcodec_receive_packet(context_.get(), packet_.get())) == 0) {
        std::vector<uint8_t> adts = AdtsHeader(static_cast<size_t>(packet_->size), kAudioRate, 1);
        adts.insert(adts.end(), packet_->data, packet_->data + packet_->size);
        ready_.push_back(std::move(adts));
        av_packet_unref(packet_.get());
    }
    if (rc != AVERROR(EAGAIN)) {
        *error = "the AAC encoder failed";
        return false;
    }
    return true;
}

bool AacEncoder::Next(std::vector<uint8_t>* adtsFrame, std::string* error) {
    while (ready_.empty()) {
        if (!Feed(error)) {
            return false;
        }
    }
    *adtsFrame = std::move(ready_.front());
    ready_.pop_front();
    return true;
}

}  // namespace velmaro
