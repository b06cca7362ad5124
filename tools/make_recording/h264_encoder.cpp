#include "tools/make_recording/h264_encoder.h"

#include <algorithm>
#include <array>

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

// Colour bars (U, V) that scroll across the picture.
constexpr std::array<std::array<uint8_t, 2>, 8> kBars = {{
    {128, 128},
    {16, 146},
    {166, 16},
    {54, 34},
    {202, 222},
    {90, 240},
    {240, 110},
    {128, 128},
}};

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
                       std::string* error) {
    const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
    if (codec == nullptr) {
        *error = "the libx264 encoder is not available in libavcodec";
        return false;
    }
    context_.reset(avcodec_alloc_context3(codec));
    frame_.reset(av_frame_alloc());
    packet_.reset(av_packet_alloc());
    if (!context_ || !frame_ || !packet_) {
        *error = "out of memory creating the H.264 encoder";
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
    // No AV_CODEC_FLAG_GLOBAL_HEADER: x264 then repeats SPS and PPS in-band before each IDR.
    av_opt_set(c->priv_data, "preset", "ultrafast", 0);
    av_opt_set(c->priv_data, "forced-idr", "1", 0);
    av_opt_set(c->priv_data, "crf", "26", 0);
    const std::string params = "aud=1:bframes=0:scenecut=0:log=0:keyint=" + std::to_string(gop) +
                               ":min-keyint=" + std::to_string(gop);
    av_opt_set(c->priv_data, "x264-params", params.c_str(), 0);
    if (int rc = avcodec_open2(c, codec, nullptr); rc < 0) {
        *error = AvError("cannot open libx264", rc);
        return false;
    }
    frame_->format = c->pix_fmt;
    frame_->width = width;
    frame_->height = height;
    if (int rc = av_frame_get_buffer(frame_.get(), 0); rc < 0) {
        *error = AvError("cannot allocate a picture", rc);
        return false;
    }
    keyEvery_ = std::max<int64_t>(1, keyEvery);
    total_ = total;
    return true;
}

// A diagonal gradient moving right, colour bars scrolling, a bouncing white box and the picture
// number as 16 black/white blocks along the top edge (most significant bit first).
void H264Encoder::Draw(int64_t index) {
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
            const auto& bar = kBars[static_cast<size_t>((x * 8 / cw + index / 10) % 8)];
            u[x] = bar[0];
            v[x] = bar[1];
        }
    }
    auto fill = [&](int x0, int y0, int bw, int bh, uint8_t luma) {
        if (x0 >= w || y0 >= h) {
            return;
        }
        for (int y = y0; y < y0 + bh && y < h; ++y) {
            std::fill_n(f->data[0] + static_cast<ptrdiff_t>(y) * f->linesize[0] + x0,
                        std::min(bw, w - x0), luma);
        }
        for (int y = y0 / 2; y < (y0 + bh) / 2 && y < ch; ++y) {
            std::fill_n(f->data[1] + static_cast<ptrdiff_t>(y) * f->linesize[1] + x0 / 2,
                        std::min(bw / 2, cw - x0 / 2), 128);
            std::fill_n(f->data[2] + static_cast<ptrdiff_t>(y) * f->linesize[2] + x0 / 2,
                        std::min(bw / 2, cw - x0 / 2), 128);
        }
    };
    const int box = std::max(8, h / 6) & ~1;
    fill(Triangle(index * 6, w - box) & ~1, Triangle(index * 4, h - box) & ~1, box, box, 235);
    const int block = std::max(4, std::min(w / 18, h / 30)) & ~1;
    for (int bit = 0; bit < 16; ++bit) {
        const bool on = ((index >> (15 - bit)) & 1) != 0;
        fill(block / 2 + bit * block, block / 2, block, block, on ? 235 : 16);
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
        *error = "the H.264 encoder returned fewer pictures than it was given";
        return false;
    }
    if (rc < 0) {
        *error = AvError("libx264 refused a picture", rc);
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
        *error = AvError("libx264 failed", rc);
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
        *error = "the H.264 encoder returned pictures out of order";
        return false;
    }
    return true;
}

}  // namespace velmaro
