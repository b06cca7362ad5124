// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// CodecState: one libavcodec decoder with its context, frames, packet and, for video, the
// libswscale scaler that fills an RGB back buffer. Shared by the video worker, the audio worker
// (AAC) and the clip exporter; Release is the one way everything is let go.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

#include "stream/video_codec.h"

namespace velmaro {

// The libavcodec decoder of a recording's video coding.
AVCodecID DecoderFor(VideoCodec codec);

// Bits per pixel of the display target; they choose the scaler's output format.
constexpr int kOutputBitsNone = 0;
constexpr int kOutputBitsYv12 = 12;    // planar YUV 4:2:0 shown as it is: no scaler
constexpr int kOutputBitsRgb565 = 16;  // RGB 5-6-5 little-endian
constexpr int kOutputBitsRgb32 = 32;   // BGRA: bytes B, G, R, A

// Time base of the packet time stamps we hand to the decoder: microseconds.
constexpr double kCodecTicksPerSecond = 1e6;

namespace ff {

struct CodecContextDeleter {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct FrameDeleter {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct PacketDeleter {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct ScalerDeleter {
    void operator()(SwsContext* scaler) const { sws_freeContext(scaler); }
};

using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextDeleter>;
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;
using ScalerPtr = std::unique_ptr<SwsContext, ScalerDeleter>;

}  // namespace ff

class CodecState {
  public:
    CodecState() = default;
    CodecState(CodecState&& other) noexcept;
    CodecState& operator=(CodecState&& other) noexcept;
    CodecState(const CodecState&) = delete;
    CodecState& operator=(const CodecState&) = delete;
    ~CodecState() = default;

    // Allocates what is missing and opens a decoder for `codecId` unless one is open already
    // (an open decoder is kept whatever its id; Release first to change it). Single-threaded
    // decoding unless SetThreads asked for more: frame threads hold each picture back by a
    // packet per extra thread, which the caller then has to allow for (DrainPicture, Flush).
    bool OpenDecoder(AVCodecID codecId);
    // Decoding threads for the next decoder opened; 1 or less: one.
    void SetThreads(int count) { threads_ = count < 1 ? 1 : count; }
    int Threads() const { return threads_; }
    // Reopens the decoder with `count` threads (the pictures it held are gone; the next packet
    // must start a group). True when a decoder is open afterwards.
    bool ChangeThreads(int count);
    // The video decoder (H.264 unless told otherwise) plus, for 16 or 32 output bits, a scaler
    // from planar YUV 4:2:0 at width x height to that RGB format at the same size. A scaler
    // already set up for the same three values is kept. With no size (0 x 0) only the decoder
    // is opened.
    bool OpenVideo(int width, int height, int outputBits, AVCodecID codecId = AV_CODEC_ID_H264);
    // Replaces an open decoder of another id by one for `codecId` (the pictures it held are
    // gone); keeps the scaler. True when a decoder for `codecId` is open afterwards.
    bool SwitchDecoder(AVCodecID codecId);
    // Closes the decoder and frees the context, frames, packet and scaler. Harmless twice.
    void Release();

    bool IsOpen() const { return codec_ != nullptr; }

    // The audio and export path: hand over one packet, then call ReceiveFrame until it gives
    // false (draining after every packet means the decoder never refuses input). False when
    // the decoder rejected the packet, for example because it is damaged; nothing then comes.
    bool SendPacket(const uint8_t* data, int size, int64_t pts = AV_NOPTS_VALUE);
    // The next decoded frame into Frame(); false when the decoder needs more input.
    bool ReceiveFrame();
    const AVFrame* Frame() const { return frame_.get(); }

    // Decodes one video packet: send, then receive every picture it yields; the last one is
    // the result, in planar YUV 4:2:0 whatever the stream carried. False when the packet
    // yielded no picture (not an error: damaged data is skipped the same way).
    bool DecodeVideo(const uint8_t* data, int size, double ptsSeconds);
    // After the last packet: the next picture the decoder still holds back, as DecodeVideo
    // gives it; false when none is left. The decoder then takes packets only after Flush.
    bool DrainPicture();
    // Drops every picture and reference the decoder holds; the next packet must start a
    // group of pictures.
    void Flush();
    // The picture of the last successful DecodeVideo; its time in seconds.
    const AVFrame* Picture() const { return picture_; }
    double PictureTime() const { return pictureTime_; }

    AVCodecContext* Context() const { return context_.get(); }
    SwsContext* Scaler() const { return scaler_.get(); }
    int Width() const { return width_; }
    int Height() const { return height_; }
    int OutputBits() const { return outputBits_; }
    void SetErrorRecognition(int level);

  private:
    bool AllocateMissing();
    bool PrepareScaler(int width, int height, int outputBits);
    bool NormaliseToYuv420(const AVFrame& decoded);
    bool AdoptPicture(double fallbackSeconds);
    double SecondsOf(int64_t ticks, double fallback) const;

    // The times of the packets sent last, so a picture's time comes back exactly as it was
    // given (a round trip through integer ticks would not); a few cover any reordering delay.
    static constexpr size_t kRecentTimes = 32;
    struct SentTime {
        int64_t ticks = AV_NOPTS_VALUE;
        double seconds = 0.0;
    };
    std::array<SentTime, kRecentTimes> recentTimes_{};
    size_t nextTime_ = 0;

    // Owner: the thread that uses the codec (the worker while it runs, its owner otherwise).
    int threads_ = 1;
    bool draining_ = false;
    int width_ = 0;
    int height_ = 0;
    int outputBits_ = kOutputBitsNone;
    ff::CodecContextPtr context_;
    const AVCodec* codec_ = nullptr;  // non-null while the context is open
    ff::FramePtr frame_;              // the latest decoded frame
    ff::FramePtr received_;           // receives first, so a failed receive keeps frame_
    ff::PacketPtr packet_;
    ff::ScalerPtr scaler_;

    // Pictures in any other layout are converted here once, so the presenter and the packed
    // buffers of backward play only ever see planar YUV 4:2:0 with limited range.
    ff::ScalerPtr normaliser_;
    ff::FramePtr normalised_;
    const AVFrame* picture_ = nullptr;  // frame_ or normalised_
    double pictureTime_ = 0.0;
};

}  // namespace velmaro
