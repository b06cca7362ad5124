// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// AacDecoder: the audio worker's AAC decoder. Takes the ADTS frames the camera writes (stream
// type 0x0F) one at a time and hands out mono 48 kHz signed 16-bit samples, whatever rate and
// channel layout the stream carries. libavcodec does the decoding, libswresample the
// conversion; both contexts are kept across frames and runs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct SwrContext;

namespace velmaro {

constexpr int kAdtsHeaderBytes = 7;  // without CRC; 9 with it
constexpr int kAdtsCrcBytes = 2;

// Length of the ADTS frame (header included) at the start of `data`, or 0 when the bytes there
// are not a whole, plausible ADTS frame.
size_t AdtsFrameLength(const uint8_t* data, size_t size);

namespace detail {
struct CodecContextDeleter {
    void operator()(AVCodecContext* context) const;
};
struct FrameDeleter {
    void operator()(AVFrame* frame) const;
};
struct PacketDeleter {
    void operator()(AVPacket* packet) const;
};
struct SwrDeleter {
    void operator()(SwrContext* swr) const;
};
}  // namespace detail

class AacDecoder {
  public:
    AacDecoder();
    ~AacDecoder();
    AacDecoder(AacDecoder&&) noexcept;
    AacDecoder& operator=(AacDecoder&&) noexcept;
    AacDecoder(const AacDecoder&) = delete;
    AacDecoder& operator=(const AacDecoder&) = delete;

    // Finds and opens the AAC decoder once; later calls keep it. False when libavcodec has no
    // AAC decoder or it cannot be opened.
    bool Open();
    bool IsOpen() const { return context_ != nullptr; }

    // Forgets everything carried over from earlier frames (overlap, resampler history), so a new
    // run starts as a fresh decoder would.
    void Flush();

    // Decodes the ADTS frame at the start of `data` and appends its samples to `out`. Returns
    // the bytes of that frame, or 0 when there is no well-formed frame there or the decoder
    // rejects it (the caller then drops the rest of its data).
    size_t DecodeFrame(const uint8_t* data, size_t size, std::vector<int16_t>& out);

  private:
    bool ConvertFrame(std::vector<int16_t>& out);
    bool PrepareResampler();

    std::unique_ptr<AVCodecContext, detail::CodecContextDeleter> context_;
    std::unique_ptr<AVFrame, detail::FrameDeleter> frame_;
    std::unique_ptr<AVPacket, detail::PacketDeleter> packet_;
    std::unique_ptr<SwrContext, detail::SwrDeleter> swr_;
    // What the resampler was set up for; a change in the stream rebuilds it.
    int swrInputRate_ = 0;
    int swrInputFormat_ = -1;
    int swrInputOrder_ = -1;
    int swrInputChannels_ = 0;
    uint64_t swrInputMask_ = 0;
};

}  // namespace velmaro
