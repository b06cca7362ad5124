// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/presenter.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

#include "stream/channel_state.h"

namespace velmaro {

namespace {

constexpr int kMaxPictureSide = 16384;
constexpr int kRgbBytesPerPixel = 4;
// libswscale's SIMD converters work on whole groups of pixels; rows this wide keep every
// group inside its row.
constexpr int kRgbRowPixelAlign = 16;
constexpr uint8_t kOpaque = 0xFF;

struct Yuv {
    uint8_t y, u, v;
};

// BT.601 with limited range, as the decoder delivers and the video widget expects.
Yuv ToYuv(uint32_t argb) {
    const int r = static_cast<int>((argb >> 16) & 0xFF);
    const int g = static_cast<int>((argb >> 8) & 0xFF);
    const int b = static_cast<int>(argb & 0xFF);
    return {static_cast<uint8_t>(((66 * r + 129 * g + 25 * b + 128) >> 8) + 16),
            static_cast<uint8_t>(((-38 * r - 74 * g + 112 * b + 128) >> 8) + 128),
            static_cast<uint8_t>(((112 * r - 94 * g - 18 * b + 128) >> 8) + 128)};
}

int AlignUp(int value, int align) {
    return (value + align - 1) / align * align;
}

void CopyRows(const uint8_t* from, int fromStride, uint8_t* to, int toStride, int rowBytes,
              int rows) {
    for (int row = 0; row < rows; ++row) {
        std::memcpy(to + static_cast<size_t>(row) * toStride,
                    from + static_cast<size_t>(row) * fromStride, rowBytes);
    }
}

}  // namespace

Presenter::Presenter(Presenter&& other) noexcept {
    *this = std::move(other);
}

Presenter& Presenter::operator=(Presenter&& other) noexcept {
    if (this != &other) {
        window_ = std::exchange(other.window_, nullptr);
        ready_ = std::exchange(other.ready_, false);
        pool_ = std::exchange(other.pool_, nullptr);
        back_ = std::exchange(other.back_, nullptr);
        backPresented_ = std::exchange(other.backPresented_, false);
        format_ = std::exchange(other.format_, PictureFormat::kYv12);
        width_ = std::exchange(other.width_, 0);
        height_ = std::exchange(other.height_, 0);
    }
    return *this;
}

bool Presenter::Open(VideoOutput* window, int width, int height, int32_t displayMode) {
    Release();
    if (!window || width <= 0 || height <= 0 || width > kMaxPictureSide ||
        height > kMaxPictureSide) {
        return false;
    }
    format_ = displayMode == kDisplayRgb ? PictureFormat::kRgb32 : PictureFormat::kYv12;
    width_ = width;
    height_ = height;
    pool_ = PicturePool::Create(kPooledPictures);
    back_ = pool_->Take();
    if (!Shape(*back_)) {
        Release();
        return false;
    }
    window_ = window;
    ready_ = true;
    return true;
}

// Gives a picture the back buffer's format and size. Planes keep their memory when the size
// is unchanged, which is every time but the first for a pooled picture.
bool Presenter::Shape(PresentedPicture& picture) const {
    picture.format = format_;
    picture.width = width_;
    picture.height = height_;
    picture.pts = kNoFramePts;
    picture.keepAlive.reset();
    try {
        if (format_ == PictureFormat::kRgb32) {
            picture.strides[0] = AlignUp(width_, kRgbRowPixelAlign) * kRgbBytesPerPixel;
            picture.strides[1] = picture.strides[2] = 0;
            picture.planes[0].resize(static_cast<size_t>(picture.strides[0]) * height_);
            picture.planes[1].clear();
            picture.planes[2].clear();
        } else {
            const int chromaRows = ChromaSize(height_);
            picture.strides[0] = width_;
            picture.strides[1] = picture.strides[2] = ChromaSize(width_);
            picture.planes[0].resize(static_cast<size_t>(width_) * height_);
            for (int plane = 1; plane < 3; ++plane) {
                picture.planes[plane].resize(static_cast<size_t>(picture.strides[plane]) *
                                             chromaRows);
            }
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

PresentedPicture* Presenter::WritableBack() {
    if (!backPresented_ && !back_->keepAlive) {
        return back_.get();
    }
    // A borrowed picture not yet presented is ours to turn back into one with its own bytes.
    std::shared_ptr<PresentedPicture> fresh = backPresented_ ? pool_->Take() : back_;
    if (!Shape(*fresh)) {
        return nullptr;  // the presented picture stays the back buffer
    }
    back_ = std::move(fresh);
    backPresented_ = false;
    return back_.get();
}

void Presenter::Release() {
    ready_ = false;
    window_ = nullptr;
    back_.reset();
    backPresented_ = false;
    pool_.reset();  // pictures a window still holds keep the pool alive until they come back
    width_ = 0;
    height_ = 0;
}

void Presenter::Clear(uint32_t argb) {
    if (!ready_) {
        return;
    }
    PresentedPicture* back = WritableBack();
    if (!back) {
        return;
    }
    back->pts = kNoFramePts;
    if (back->format == PictureFormat::kRgb32) {
        const uint8_t pixel[kRgbBytesPerPixel] = {
            static_cast<uint8_t>(argb & 0xFF), static_cast<uint8_t>((argb >> 8) & 0xFF),
            static_cast<uint8_t>((argb >> 16) & 0xFF), kOpaque};
        std::vector<uint8_t>& bytes = back->planes[0];
        for (size_t at = 0; at + kRgbBytesPerPixel <= bytes.size(); at += kRgbBytesPerPixel) {
            std::memcpy(&bytes[at], pixel, kRgbBytesPerPixel);
        }
        return;
    }
    const Yuv colour = ToYuv(argb);
    std::fill(back->planes[0].begin(), back->planes[0].end(), colour.y);
    std::fill(back->planes[1].begin(), back->planes[1].end(), colour.u);
    std::fill(back->planes[2].begin(), back->planes[2].end(), colour.v);
}

bool Presenter::Draw(const SourcePlanes& source, SwsContext* scaler) {
    if (!ready_ || source.width != width_ || source.height != height_ || !source.planes[0] ||
        !source.planes[1] || !source.planes[2]) {
        return false;
    }
    if (format_ == PictureFormat::kYv12 && BorrowPlanes(source)) {
        return true;
    }
    PresentedPicture* back = WritableBack();
    if (!back) {
        return false;
    }
    const bool drawn = format_ == PictureFormat::kRgb32 ? DrawRgb(source, scaler, *back)
                                                        : DrawPlanes(source, *back);
    if (drawn) {
        back->pts = source.pts;
    }
    return drawn;
}

bool Presenter::DrawPlanes(const SourcePlanes& source, PresentedPicture& back) {
    const int width = width_;
    const int height = height_;
    const int chromaWidth = ChromaSize(width);
    if (source.strides[0] < width || source.strides[1] < chromaWidth ||
        source.strides[2] < chromaWidth) {
        return false;
    }
    CopyRows(source.planes[0], source.strides[0], back.planes[0].data(), back.strides[0], width,
             height);
    for (int plane = 1; plane < 3; ++plane) {
        CopyRows(source.planes[plane], source.strides[plane], back.planes[plane].data(),
                 back.strides[plane], chromaWidth, ChromaSize(height));
    }
    return true;
}

// The back buffer becomes a reference to the decoder's picture: the same bytes, no copy.
bool Presenter::BorrowPlanes(const SourcePlanes& source) {
    const AVFrame* frame = source.frame;
    if (!frame || frame->format != AV_PIX_FMT_YUV420P || !frame->buf[0]) {
        return false;
    }
    const int rows[3] = {height_, ChromaSize(height_), ChromaSize(height_)};
    const int rowBytes[3] = {width_, ChromaSize(width_), ChromaSize(width_)};
    for (int plane = 0; plane < 3; ++plane) {
        if (source.planes[plane] != frame->data[plane] ||
            source.strides[plane] != frame->linesize[plane] ||
            source.strides[plane] < rowBytes[plane]) {
            return false;  // not laid out as a plain top-down picture: copy it instead
        }
    }
    std::shared_ptr<const void> keep(av_frame_clone(frame), [](const void* f) {
        AVFrame* owned = static_cast<AVFrame*>(const_cast<void*>(f));
        av_frame_free(&owned);
    });
    if (!keep) {
        return false;
    }
    std::shared_ptr<PresentedPicture> picture = backPresented_ ? pool_->Take() : back_;
    picture->format = PictureFormat::kYv12;
    picture->width = width_;
    picture->height = height_;
    picture->pts = source.pts;
    for (int plane = 0; plane < 3; ++plane) {
        picture->strides[plane] = source.strides[plane];
        picture->borrowed[plane] = {
            source.planes[plane],
            static_cast<size_t>(source.strides[plane]) * (rows[plane] - 1) + rowBytes[plane]};
    }
    picture->keepAlive = std::move(keep);
    back_ = std::move(picture);
    backPresented_ = false;
    return true;
}

bool Presenter::DrawRgb(const SourcePlanes& source, SwsContext* scaler, PresentedPicture& back) {
    if (!scaler) {
        return false;
    }
    uint8_t* target[4] = {back.planes[0].data(), nullptr, nullptr, nullptr};
    const int targetStrides[4] = {back.strides[0], 0, 0, 0};
    return sws_scale(scaler, source.planes, source.strides, 0, height_, target, targetStrides) > 0;
}

bool Presenter::Present() {
    if (!ready_) {
        return false;
    }
    backPresented_ = true;
    window_->Present(back_);
    return true;
}

}  // namespace velmaro
