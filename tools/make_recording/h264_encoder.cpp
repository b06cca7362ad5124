// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/make_recording/h264_encoder.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

extern "C" {
#include <libavutil/opt.h>
}

namespace velmaro {
namespace {

std::string AvError(const char* what, int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return std::string(what) + ": " + text;
}

// Chroma (U, V) of the bars that scroll across the moving picture.
constexpr std::array<std::array<uint8_t, 2>, 8> kScrollingBars = {{
    {128, 128},
    {16, 146},
    {166, 16},
    {54, 34},
    {202, 222},
    {90, 240},
    {240, 110},
    {128, 128},
}};

// The colour bars pattern at 75 % amplitude (191 of 255), left to right.
struct Rgb {
    int r, g, b;
};
constexpr int kBarLevel = 191;
constexpr std::array<Rgb, kColourBarCount> kColourBarsRgb = {{
    {kBarLevel, kBarLevel, kBarLevel},  // white at 75 %: grey
    {kBarLevel, kBarLevel, 0},          // yellow
    {0, kBarLevel, kBarLevel},          // cyan
    {0, kBarLevel, 0},                  // green
    {kBarLevel, 0, kBarLevel},          // magenta
    {kBarLevel, 0, 0},                  // red
    {0, 0, kBarLevel},                  // blue
    {0, 0, 0},                          // black
}};

struct Yuv {
    uint8_t y, u, v;
};

// ITU-R BT.601 on gamma-corrected R'G'B' in 0..1, with luma on 16..235 and chroma on 16..240
// around 128 (limited range), rounded to the nearest code.
Yuv Bt601LimitedRange(const Rgb& rgb) {
    const double r = rgb.r / 255.0;
    const double g = rgb.g / 255.0;
    const double b = rgb.b / 255.0;
    const auto code = [](double value) {
        return static_cast<uint8_t>(std::lround(std::clamp(value, 0.0, 255.0)));
    };
    return {code(16.0 + 65.481 * r + 128.553 * g + 24.966 * b),
            code(128.0 - 37.797 * r - 74.203 * g + 112.0 * b),
            code(128.0 + 112.0 * r - 93.786 * g - 18.214 * b)};
}

// Dash cameras record about 11 Mb/s at 1920x1080 and 30 pictures a second, with CABAC and the
// deblocking filter on; x264's "superfast" keeps both (its "ultrafast" drops them, and with them
// most of what decoding real recordings costs).
constexpr double kFootageBitsPerPixel = 11.0e6 / (1920.0 * 1080.0 * 30.0);
constexpr const char* kFootagePreset = "superfast";
constexpr const char* kSyntheticPreset = "ultrafast";
constexpr const char* kSyntheticQuality = "26";

const char* EncoderName(VideoCodec codec) {
    return codec == VideoCodec::kHevc ? "libx265" : "libx264";
}

int Triangle(int64_t t, int span) {  // 0..span..0 with period 2*span
    const int64_t phase = t % (2 * span);
    return static_cast<int>(phase < span ? phase : 2 * span - phase);
}

// x264 writes 4-byte start codes only before the first NAL unit and the parameter sets; cameras
// (and the player's frame scan, which knows no other) use 00 00 00 01 before every NAL unit.
void AppendWithLongStartCodes(const uint8_t* data, size_t size, std::vector<uint8_t>& out) {
    out.reserve(size + 16);
    for (size_t i = 0; i < size; ++i) {
        if (i + 2 < size && data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1 &&
            (i == 0 || data[i - 1] != 0)) {
            out.push_back(0);
        }
        out.push_back(data[i]);
    }
}

}  // namespace

bool H264Encoder::Open(int width, int height, int fps, int gop, int64_t keyEvery, int64_t total,
                       PicturePattern pattern, uint32_t seed, std::string* error,
                       VideoCodec videoCodec) {
    codec_ = videoCodec;
    const std::string name = EncoderName(videoCodec);
    const AVCodec* codec = avcodec_find_encoder_by_name(name.c_str());
    if (codec == nullptr) {
        *error = "the " + name + " encoder is not available in libavcodec";
        return false;
    }
    context_.reset(avcodec_alloc_context3(codec));
    frame_.reset(av_frame_alloc());
    packet_.reset(av_packet_alloc());
    if (!context_ || !frame_ || !packet_) {
        *error = "out of memory creating the video encoder";
        return false;
    }
    AVCodecContext* c = context_.get();
    c->width = width;
    c->height = height;
    c->pix_fmt = AV_PIX_FMT_YUV420P;
    c->time_base = AVRational{1, fps};
    c->framerate = AVRational{fps, 1};
    c->gop_size = gop;
    c->keyint_min = gop;
    c->max_b_frames = 0;
    c->thread_count = 0;
    if (pattern == PicturePattern::kColourBars) {
        // A colour reference says how it is coded, so that players need not guess.
        c->color_range = AVCOL_RANGE_MPEG;
        c->colorspace = AVCOL_SPC_SMPTE170M;
        c->color_primaries = AVCOL_PRI_SMPTE170M;
        c->color_trc = AVCOL_TRC_SMPTE170M;
    }
    if (pattern == PicturePattern::kFootage) {
        SetRateControl(width, height, fps);
        footage_.Init(width, height, seed);
    }
    SetEncoderOptions(gop, pattern);
    if (int rc = avcodec_open2(c, codec, nullptr); rc < 0) {
        *error = AvError(("cannot open " + name).c_str(), rc);
        return false;
    }
    frame_->format = c->pix_fmt;
    frame_->width = width;
    frame_->height = height;
    if (int rc = av_frame_get_buffer(frame_.get(), 0); rc < 0) {
        *error = AvError("cannot allocate a picture", rc);
        return false;
    }
    pattern_ = pattern;
    keyEvery_ = std::max<int64_t>(1, keyEvery);
    total_ = total;
    return true;
}

void H264Encoder::SetEncoderOptions(int gop, PicturePattern pattern) {
    void* options = context_->priv_data;
    // No AV_CODEC_FLAG_GLOBAL_HEADER: x264 then repeats SPS and PPS in-band before each IDR.
    av_opt_set(options, "forced-idr", "1", 0);
    av_opt_set(options, "preset",
               pattern == PicturePattern::kFootage ? kFootagePreset : kSyntheticPreset, 0);
    if (pattern != PicturePattern::kFootage) {
        av_opt_set(options, "crf", kSyntheticQuality, 0);
    }
    const std::string keyint =
        "keyint=" + std::to_string(gop) + ":min-keyint=" + std::to_string(gop);
    if (codec_ == VideoCodec::kHevc) {
        // x265 puts its parameter sets in front of the first picture only unless told to
        // repeat them; an open group makes the key pictures between forced ones CRA.
        const std::string params =
            "aud=1:repeat-headers=1:bframes=0:scenecut=0:open-gop=1:"
            "info=0:log-level=error:" +
            keyint;
        av_opt_set(options, "x265-params", params.c_str(), 0);
        return;
    }
    const std::string params = "aud=1:bframes=0:scenecut=0:log=0:" + keyint;
    av_opt_set(options, "x264-params", params.c_str(), 0);
}

// A camera's constant bit rate: the buffer holds one second, so no second's pictures get much
// more than the average.
void H264Encoder::SetRateControl(int width, int height, int fps) {
    AVCodecContext* c = context_.get();
    const auto rate =
        static_cast<int64_t>(std::llround(kFootageBitsPerPixel * width * height * fps));
    c->bit_rate = rate;
    c->rc_max_rate = rate;
    c->rc_buffer_size = static_cast<int>(std::min<int64_t>(rate, std::numeric_limits<int>::max()));
}

void H264Encoder::Draw(int64_t index) {
    if (pattern_ == PicturePattern::kColourBars) {
        DrawColourBars();
    } else if (pattern_ == PicturePattern::kFootage) {
        footage_.Draw(index, frame_.get());
    } else {
        DrawMoving(index);
    }
    DrawPictureNumber(index);
}

// A diagonal gradient moving right, colour bars scrolling and a bouncing white box.
void H264Encoder::DrawMoving(int64_t index) {
    AVFrame* f = frame_.get();
    const int w = f->width;
    const int h = f->height;
    for (int y = 0; y < h; ++y) {
        uint8_t* row = f->data[0] + static_cast<ptrdiff_t>(y) * f->linesize[0];
        const int64_t shift = index * 4 + y * 64 / h;
        for (int x = 0; x < w; ++x) {
            row[x] = static_cast<uint8_t>(40 + Triangle(x * 256 / w + shift, 160));
        }
    }
    const int cw = w / 2;
    const int ch = h / 2;
    for (int y = 0; y < ch; ++y) {
        uint8_t* u = f->data[1] + static_cast<ptrdiff_t>(y) * f->linesize[1];
        uint8_t* v = f->data[2] + static_cast<ptrdiff_t>(y) * f->linesize[2];
        for (int x = 0; x < cw; ++x) {
            const auto& bar = kScrollingBars[static_cast<size_t>((x * 8 / cw + index / 10) % 8)];
            u[x] = bar[0];
            v[x] = bar[1];
        }
    }
    const int box = std::max(8, h / 6) & ~1;
    FillBox(Triangle(index * 6, w - box) & ~1, Triangle(index * 4, h - box) & ~1, box, box, 235);
}

void H264Encoder::DrawColourBars() {
    AVFrame* f = frame_.get();
    const int barWidth = ColourBarWidth(f->width);
    for (int bar = 0; bar < kColourBarCount; ++bar) {
        const Yuv colour = Bt601LimitedRange(kColourBarsRgb[static_cast<size_t>(bar)]);
        const int x0 = bar * barWidth;
        const int x1 = bar + 1 == kColourBarCount ? f->width : x0 + barWidth;
        for (int y = 0; y < f->height; ++y) {
            std::fill(f->data[0] + static_cast<ptrdiff_t>(y) * f->linesize[0] + x0,
                      f->data[0] + static_cast<ptrdiff_t>(y) * f->linesize[0] + x1, colour.y);
        }
        for (int y = 0; y < f->height / 2; ++y) {
            for (int plane = 1; plane < 3; ++plane) {
                uint8_t* row = f->data[plane] + static_cast<ptrdiff_t>(y) * f->linesize[plane];
                std::fill(row + x0 / 2, row + x1 / 2, plane == 1 ? colour.u : colour.v);
            }
        }
    }
}

// The picture number as black/white blocks along the top edge (see PictureNumberBlockSize).
void H264Encoder::DrawPictureNumber(int64_t index) {
    const int block = PictureNumberBlockSize(frame_->width, frame_->height);
    for (int bit = 0; bit < kPictureNumberBits; ++bit) {
        const bool on = ((index >> (kPictureNumberBits - 1 - bit)) & 1) != 0;
        FillBox(block / 2 + bit * block, block / 2, block, block, on ? 235 : 16);
    }
}

// A grey box (luma `luma`, neutral chroma), clipped to the picture.
void H264Encoder::FillBox(int x0, int y0, int boxWidth, int boxHeight, uint8_t luma) {
    AVFrame* f = frame_.get();
    const int w = f->width;
    const int h = f->height;
    if (x0 >= w || y0 >= h) {
        return;
    }
    for (int y = y0; y < y0 + boxHeight && y < h; ++y) {
        std::fill_n(f->data[0] + static_cast<ptrdiff_t>(y) * f->linesize[0] + x0,
                    std::min(boxWidth, w - x0), luma);
    }
    const int cw = w / 2;
    for (int y = y0 / 2; y < (y0 + boxHeight) / 2 && y < h / 2; ++y) {
        for (int plane = 1; plane < 3; ++plane) {
            std::fill_n(f->data[plane] + static_cast<ptrdiff_t>(y) * f->linesize[plane] + x0 / 2,
                        std::min(boxWidth / 2, cw - x0 / 2), 128);
        }
    }
}

bool H264Encoder::Feed(std::string* error) {
    int rc = 0;
    if (sent_ < total_) {
        if (rc = av_frame_make_writable(frame_.get()); rc < 0) {
            *error = AvError("picture not writable", rc);
            return false;
        }
        Draw(sent_);
        frame_->pts = sent_;
        frame_->pict_type = sent_ % keyEvery_ == 0 ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
        rc = avcodec_send_frame(context_.get(), frame_.get());
        ++sent_;
    } else if (!flushed_) {
        rc = avcodec_send_frame(context_.get(), nullptr);
        flushed_ = true;
    } else {
        *error = "the video encoder returned fewer pictures than it was given";
        return false;
    }
    if (rc < 0) {
        *error = AvError("the video encoder refused a picture", rc);
        return false;
    }
    while ((rc = avcodec_receive_packet(context_.get(), packet_.get())) == 0) {
        EncodedPicture picture;
        AppendWithLongStartCodes(packet_->data, static_cast<size_t>(packet_->size), picture.data);
        picture.key = (packet_->flags & AV_PKT_FLAG_KEY) != 0;
        picture.index = packet_->pts;
        ready_.push_back(std::move(picture));
        av_packet_unref(packet_.get());
    }
    if (rc != AVERROR(EAGAIN) && rc != AVERROR_EOF) {
        *error = AvError("the video encoder failed", rc);
        return false;
    }
    return true;
}

bool H264Encoder::Next(EncodedPicture* out, std::string* error) {
    while (ready_.empty()) {
        if (!Feed(error)) {
            return false;
        }
    }
    *out = std::move(ready_.front());
    ready_.pop_front();
    if (out->index != expected_++) {
        *error = "the video encoder returned pictures out of order";
        return false;
    }
    return true;
}

}  // namespace velmaro
