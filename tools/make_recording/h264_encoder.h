// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Video of the sample recordings: a synthetic picture (see PicturePattern) encoded by libx264
// (or, for H.265 recordings, libx265) through libavcodec; footage at a camera's bit rate and
// with a camera's coding tools, the other patterns at constant quality. Access units come out in
// picture order (no B-frames), each in Annex-B form with an access unit delimiter first and the
// parameter sets repeated in front of every key picture. H.265 key pictures are IDR at the
// forced ones and CRA between them, as cameras with open groups of pictures write them.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "stream/video_codec.h"
#include "tools/make_recording/av_ptr.h"
#include "tools/make_recording/footage_picture.h"
#include "tools/make_recording/recording_writer.h"

namespace velmaro {

struct EncodedPicture {
    std::vector<uint8_t> data;  // one access unit, Annex-B with 4-byte start codes
    bool key = false;
    int64_t index = 0;  // picture number since the start of the recording
};

class H264Encoder {
  public:
    // Pictures whose index is a multiple of `keyEvery` (the first of each file) are forced IDR;
    // between them x264 places an IDR every `gop` pictures. `total` pictures are encoded.
    bool Open(int width, int height, int fps, int gop, int64_t keyEvery, int64_t total,
              PicturePattern pattern, uint32_t seed, std::string* error,
              VideoCodec codec = VideoCodec::kH264);
    // The next access unit in picture order; false with `error` set on encoder failure.
    bool Next(EncodedPicture* out, std::string* error);

  private:
    void Draw(int64_t index);
    void DrawMoving(int64_t index);
    void DrawColourBars();
    void SetRateControl(int width, int height, int fps);
    void DrawPictureNumber(int64_t index);
    void FillBox(int x0, int y0, int boxWidth, int boxHeight, uint8_t luma);
    bool Feed(std::string* error);
    void SetEncoderOptions(int gop, PicturePattern pattern);

    av::CodecContextPtr context_;
    av::FramePtr frame_;
    av::PacketPtr packet_;
    std::deque<EncodedPicture> ready_;
    PicturePattern pattern_ = PicturePattern::kMoving;
    FootagePicture footage_;
    int64_t keyEvery_ = 1;
    int64_t total_ = 0;
    int64_t sent_ = 0;
    int64_t expected_ = 0;
    bool flushed_ = false;
    VideoCodec codec_ = VideoCodec::kH264;
};

}  // namespace velmaro
