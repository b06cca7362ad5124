// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/aac_decoder.h"

#include <algorithm>
#include <utility>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
#include <libswresample/swresample.h>
}

#include "media/sound_output.h"

namespace velmaro {
namespace {

constexpr uint8_t kAdtsSyncFirst = 0xFF;
constexpr uint8_t kAdtsSyncAndLayerMask = 0xF6;  // 4 more sync bits and the 2 layer bits
constexpr uint8_t kAdtsSyncAndLayer = 0xF0;      // layer is always 0 in ADTS
constexpr uint8_t kAdtsProtectionAbsent = 0x01;

}  // namespace

size_t AdtsFrameLength(const uint8_t* data, size_t size) {
    if (data == nullptr || size < static_cast<size_t>(kAdtsHeaderBytes)) {
        return 0;
    }
    if (data[0] != kAdtsSyncFirst || (data[1] & kAdtsSyncAndLayerMask) != kAdtsSyncAndLayer) {
        return 0;
    }
    const size_t header =
        kAdtsHeaderBytes + ((data[1] & kAdtsProtectionAbsent) != 0 ? 0 : kAdtsCrcBytes);
    // 13 bits spread over bytes 3 to 5; the length counts the header.
    const size_t length = (static_cast<size_t>(data[3] & 0x03) << 11) |
                          (static_cast<size_t>(data[4]) << 3) | (data[5] >> 5);
    if (length <= header || length > size) {
        return 0;
    }
    return length;
}

namespace detail {
void CodecContextDeleter::operator()(AVCodecContext* context) const {
    avcodec_free_context(&context);
}
void FrameDeleter::operator()(AVFrame* frame) const {
    av_frame_free(&frame);
}
void PacketDeleter::operator()(AVPacket* packet) const {
    av_packet_free(&packet);
}
void SwrDeleter::operator()(SwrContext* swr) const {
    swr_free(&swr);
}
}  // namespace detail

AacDecoder::AacDecoder() = default;
AacDecoder::~AacDecoder() = default;
AacDecoder::AacDecoder(AacDecoder&&) noexcept = default;
AacDecoder& AacDecoder::operator=(AacDecoder&&) noexcept = default;

bool AacDecoder::Open() {
    if (context_) {
        return true;
    }
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_AAC);
    if (codec == nullptr) {
        return false;
    }
    std::unique_ptr<AVCodecContext, detail::CodecContextDeleter> context(
        avcodec_alloc_context3(codec));
    std::unique_ptr<AVFrame, detail::FrameDeleter> frame(av_frame_alloc());
    std::unique_ptr<AVPacket, detail::PacketDeleter> packet(av_packet_alloc());
    if (!context || !frame || !packet || avcodec_open2(context.get(), codec, nullptr) < 0) {
        return false;
    }
    context_ = std::move(context);
    frame_ = std::move(frame);
    packet_ = std::move(packet);
    return true;
}

void AacDecoder::Flush() {
    if (context_) {
        avcodec_flush_buffers(context_.get());
    }
    swr_.reset();
}

size_t AacDecoder::DecodeFrame(const uint8_t* data, size_t size, std::vector<int16_t>& out) {
    if (!context_) {
        return 0;
    }
    const size_t length = AdtsFrameLength(data, size);
    if (length == 0) {
        return 0;
    }
    // Not reference counted: libavcodec copies the bytes into a padded buffer of its own, so the
    // frame may sit at the very end of the queue's storage.
    packet_->data = const_cast<uint8_t*>(data);
    packet_->size = static_cast<int>(length);
    int rc = avcodec_send_packet(context_.get(), packet_.get());
    packet_->data = nullptr;
    packet_->size = 0;
    if (rc < 0) {
        return 0;
    }
    bool converted = true;
    // Every frame is taken out even after a failed conversion, or the next send would be refused.
    while ((rc = avcodec_receive_frame(context_.get(), frame_.get())) == 0) {
        converted = converted && ConvertFrame(out);
        av_frame_unref(frame_.get());
    }
    return converted && rc == AVERROR(EAGAIN) ? length : 0;
}

bool AacDecoder::ConvertFrame(std::vector<int16_t>& out) {
    if (frame_->nb_samples <= 0) {
        return true;
    }
    if (!PrepareResampler()) {
        return false;
    }
    const int room = swr_get_out_samples(swr_.get(), frame_->nb_samples);
    if (room <= 0) {
        return room == 0;
    }
    const size_t start = out.size();
    out.resize(start + static_cast<size_t>(room));
    auto* target = reinterpret_cast<uint8_t*>(out.data() + start);
    const int made =
        swr_convert(swr_.get(), &target, room, const_cast<const uint8_t**>(frame_->extended_data),
                    frame_->nb_samples);
    out.resize(start + static_cast<size_t>(std::max(made, 0)));
    return made >= 0;
}

bool AacDecoder::PrepareResampler() {
    const AVChannelLayout& in = frame_->ch_layout;
    const uint64_t mask = in.order == AV_CHANNEL_ORDER_NATIVE ? in.u.mask : 0;
    if (swr_ && swrInputRate_ == frame_->sample_rate && swrInputFormat_ == frame_->format &&
        swrInputOrder_ == in.order && swrInputChannels_ == in.nb_channels &&
        swrInputMask_ == mask) {
        return true;
    }
    swr_.reset();
    if (frame_->sample_rate <= 0 || in.nb_channels <= 0) {
        return false;
    }
    // A stream without a channel configuration still has a channel count; take the usual
    // layout for it so the down-mix to mono has coefficients to work with.
    AVChannelLayout input{};
    if (in.order == AV_CHANNEL_ORDER_UNSPEC) {
        av_channel_layout_default(&input, in.nb_channels);
    } else if (av_channel_layout_copy(&input, &in) < 0) {
        return false;
    }
    AVChannelLayout mono = AV_CHANNEL_LAYOUT_MONO;
    SwrContext* swr = nullptr;
    const int rc = swr_alloc_set_opts2(&swr, &mono, AV_SAMPLE_FMT_S16, kSoundSampleRate, &input,
                                       static_cast<AVSampleFormat>(frame_->format),
                                       frame_->sample_rate, 0, nullptr);
    av_channel_layout_uninit(&input);
    swr_.reset(swr);
    if (rc < 0 || !swr_ || swr_init(swr_.get()) < 0) {
        swr_.reset();
        return false;
    }
    swrInputRate_ = frame_->sample_rate;
    swrInputFormat_ = frame_->format;
    swrInputOrder_ = in.order;
    swrInputChannels_ = in.nb_channels;
    swrInputMask_ = mask;
    return true;
}

}  // namespace velmaro
