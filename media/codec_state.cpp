// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/codec_state.h"

#include <cmath>
#include <utility>

namespace velmaro {

namespace {

AVPixelFormat ScalerTarget(int outputBits) {
    switch (outputBits) {
        case kOutputBitsRgb565:
            return AV_PIX_FMT_RGB565LE;
        case kOutputBitsRgb32:
            return AV_PIX_FMT_BGRA;
        default:
            return AV_PIX_FMT_NONE;
    }
}

int64_t CodecTicks(double seconds) {
    if (!std::isfinite(seconds)) {
        return AV_NOPTS_VALUE;
    }
    return std::llround(seconds * kCodecTicksPerSecond);
}

bool HasPictureSize(const AVFrame& frame) {
    return frame.width > 0 && frame.height > 0;
}

}  // namespace

AVCodecID DecoderFor(VideoCodec codec) {
    return codec == VideoCodec::kHevc ? AV_CODEC_ID_HEVC : AV_CODEC_ID_H264;
}

CodecState::CodecState(CodecState&& other) noexcept {
    *this = std::move(other);
}

CodecState& CodecState::operator=(CodecState&& other) noexcept {
    if (this != &other) {
        Release();
        width_ = std::exchange(other.width_, 0);
        height_ = std::exchange(other.height_, 0);
        outputBits_ = std::exchange(other.outputBits_, kOutputBitsNone);
        context_ = std::move(other.context_);
        codec_ = std::exchange(other.codec_, nullptr);
        frame_ = std::move(other.frame_);
        received_ = std::move(other.received_);
        packet_ = std::move(other.packet_);
        scaler_ = std::move(other.scaler_);
        normaliser_ = std::move(other.normaliser_);
        normalised_ = std::move(other.normalised_);
        picture_ = std::exchange(other.picture_, nullptr);
        pictureTime_ = std::exchange(other.pictureTime_, 0.0);
        recentTimes_ = other.recentTimes_;
        nextTime_ = other.nextTime_;
    }
    return *this;
}

bool CodecState::AllocateMissing() {
    if (!frame_) {
        frame_.reset(av_frame_alloc());
    }
    if (!received_) {
        received_.reset(av_frame_alloc());
    }
    if (!packet_) {
        packet_.reset(av_packet_alloc());
    }
    return frame_ && received_ && packet_;
}

bool CodecState::OpenDecoder(AVCodecID codecId) {
    if (codec_) {
        return AllocateMissing();
    }
    const AVCodec* decoder = avcodec_find_decoder(codecId);
    if (!decoder) {
        return false;
    }
    context_.reset(avcodec_alloc_context3(decoder));
    if (!context_) {
        return false;
    }
    context_->thread_count = threads_;
    if (threads_ > 1) {
        context_->thread_type = FF_THREAD_FRAME;
    }
    // Crop exactly as the stream says, even where that leaves the planes unaligned; otherwise
    // libavcodec keeps a few columns of the left margin to keep its alignment.
    context_->flags |= AV_CODEC_FLAG_UNALIGNED;
    if (avcodec_open2(context_.get(), decoder, nullptr) < 0) {
        context_.reset();  // a context that failed to open is not used again
        return false;
    }
    codec_ = decoder;
    return AllocateMissing();
}

bool CodecState::SwitchDecoder(AVCodecID codecId) {
    if (codec_ && codec_->id != codecId) {
        context_.reset();  // closes the decoder of the other coding
        codec_ = nullptr;
        draining_ = false;
        picture_ = nullptr;
    }
    return OpenDecoder(codecId);
}

bool CodecState::ChangeThreads(int count) {
    SetThreads(count);
    if (!codec_) {
        return false;
    }
    const AVCodecID id = codec_->id;
    context_.reset();  // libavcodec fixes the threads when it opens a decoder
    codec_ = nullptr;
    draining_ = false;
    picture_ = nullptr;
    return OpenDecoder(id);
}

bool CodecState::OpenVideo(int width, int height, int outputBits, AVCodecID codecId) {
    if (!OpenDecoder(codecId)) {
        return false;
    }
    if (width != 0 && height != 0 && outputBits != kOutputBitsNone &&
        !PrepareScaler(width, height, outputBits)) {
        return false;
    }
    outputBits_ = outputBits;
    height_ = height;
    width_ = width;
    return true;
}

bool CodecState::PrepareScaler(int width, int height, int outputBits) {
    if (width < 0 || height < 0) {
        return false;
    }
    if (outputBits == kOutputBitsYv12) {
        scaler_.reset();  // the planes are shown as they are
        return true;
    }
    const AVPixelFormat target = ScalerTarget(outputBits);
    if (target == AV_PIX_FMT_NONE) {
        return false;
    }
    if (scaler_ && width == width_ && height == height_ && outputBits == outputBits_) {
        return true;
    }
    // On failure the cached call has already freed the old scaler.
    scaler_.reset(sws_getCachedContext(scaler_.release(), width, height, AV_PIX_FMT_YUV420P, width,
                                       height, target, SWS_FAST_BILINEAR, nullptr, nullptr,
                                       nullptr));
    return scaler_ != nullptr;
}

void CodecState::Release() {
    scaler_.reset();
    normaliser_.reset();
    normalised_.reset();
    packet_.reset();
    received_.reset();
    frame_.reset();
    context_.reset();  // closes the decoder as well
    codec_ = nullptr;
    draining_ = false;
    picture_ = nullptr;
    pictureTime_ = 0.0;
    recentTimes_.fill({});
    nextTime_ = 0;
    width_ = 0;
    height_ = 0;
    outputBits_ = kOutputBitsNone;
}

bool CodecState::SendPacket(const uint8_t* data, int size, int64_t pts) {
    // An empty packet would put the decoder into draining, after which it takes nothing more.
    if (!codec_ || !packet_ || !data || size <= 0) {
        return false;
    }
    // The packet is not reference-counted, so libavcodec copies it into a padded buffer of its
    // own: the queue's bytes need no padding and may be reused as soon as this returns.
    packet_->data = const_cast<uint8_t*>(data);
    packet_->size = size;
    packet_->pts = pts;
    packet_->dts = AV_NOPTS_VALUE;
    int result = avcodec_send_packet(context_.get(), packet_.get());
    packet_->data = nullptr;
    packet_->size = 0;
    return result >= 0;
}

bool CodecState::ReceiveFrame() {
    if (!codec_ || !received_ || avcodec_receive_frame(context_.get(), received_.get()) < 0) {
        return false;
    }
    av_frame_unref(frame_.get());
    av_frame_move_ref(frame_.get(), received_.get());
    return true;
}

bool CodecState::DecodeVideo(const uint8_t* data, int size, double ptsSeconds) {
    const int64_t pts = CodecTicks(ptsSeconds);
    recentTimes_[nextTime_] = {pts, ptsSeconds};
    nextTime_ = (nextTime_ + 1) % kRecentTimes;
    bool got = false;
    // Every picture is received after each packet, so the decoder has no reason to refuse the
    // packet for want of output space; a refusal means damaged or unusable data.
    SendPacket(data, size, pts);
    while (ReceiveFrame()) {
        got = true;
    }
    if (!got) {
        picture_ = nullptr;
        return false;
    }
    return AdoptPicture(ptsSeconds);
}

bool CodecState::DrainPicture() {
    if (!codec_) {
        return false;
    }
    if (!draining_) {
        draining_ = true;
        avcodec_send_packet(context_.get(), nullptr);
    }
    while (ReceiveFrame()) {
        if (AdoptPicture(0.0)) {
            return true;
        }
    }
    picture_ = nullptr;
    return false;
}

void CodecState::Flush() {
    if (codec_) {
        avcodec_flush_buffers(context_.get());
    }
    draining_ = false;
    picture_ = nullptr;
}

// The frame just received becomes the picture, in planar YUV 4:2:0, with its own time.
bool CodecState::AdoptPicture(double fallbackSeconds) {
    if (!HasPictureSize(*frame_)) {
        picture_ = nullptr;
        return false;
    }
    const AVFrame& decoded = *frame_;
    if (decoded.format == AV_PIX_FMT_YUV420P) {
        picture_ = &decoded;
    } else if (!NormaliseToYuv420(decoded)) {
        picture_ = nullptr;
        return false;
    }
    const int64_t shown =
        decoded.pts != AV_NOPTS_VALUE ? decoded.pts : decoded.best_effort_timestamp;
    pictureTime_ = SecondsOf(shown, fallbackSeconds);
    return true;
}

double CodecState::SecondsOf(int64_t ticks, double fallback) const {
    if (ticks == AV_NOPTS_VALUE) {
        return fallback;
    }
    for (const SentTime& sent : recentTimes_) {
        if (sent.ticks == ticks) {
            return sent.seconds;
        }
    }
    return static_cast<double>(ticks) / kCodecTicksPerSecond;
}

bool CodecState::NormaliseToYuv420(const AVFrame& decoded) {
    const int width = decoded.width;
    const int height = decoded.height;
    // A presented picture may still hold the last one: never convert into a shared buffer.
    if (!normalised_ || normalised_->width != width || normalised_->height != height ||
        !av_frame_is_writable(normalised_.get())) {
        normalised_.reset(av_frame_alloc());
        if (!normalised_) {
            return false;
        }
        normalised_->format = AV_PIX_FMT_YUV420P;
        normalised_->width = width;
        normalised_->height = height;
        if (av_frame_get_buffer(normalised_.get(), 0) < 0) {
            normalised_.reset();
            return false;
        }
    }
    normaliser_.reset(sws_getCachedContext(
        normaliser_.release(), width, height, static_cast<AVPixelFormat>(decoded.format), width,
        height, AV_PIX_FMT_YUV420P, SWS_FAST_BILINEAR, nullptr, nullptr, nullptr));
    if (!normaliser_ || sws_scale(normaliser_.get(), decoded.data, decoded.linesize, 0, height,
                                  normalised_->data, normalised_->linesize) <= 0) {
        return false;
    }
    normalised_->pts = decoded.pts;
    picture_ = normalised_.get();
    return true;
}

void CodecState::SetErrorRecognition(int level) {
    if (context_) {
        context_->err_recognition = level;
    }
}

}  // namespace velmaro
