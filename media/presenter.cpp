#include "media/presenter.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

extern "C" {
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

void CopyPicture(const PresentedPicture& from, PresentedPicture& to) {
    to.format = from.format;
    to.width = from.width;
    to.height = from.height;
    to.pts = from.pts;
    for (int plane = 0; plane < 3; ++plane) {
        to.strides[plane] = from.strides[plane];
        // Same size as last time: no allocation.
        to.planes[plane].assign(from.planes[plane].begin(), from.planes[plane].end());
    }
}

}  // namespace

CD3DCtx::CD3DCtx(CD3DCtx&& other) noexcept {
    *this = std::move(other);
}

CD3DCtx& CD3DCtx::operator=(CD3DCtx&& other) noexcept {
    if (this != &other) {
        window_ = std::exchange(other.window_, nullptr);
        ready_ = std::exchange(other.ready_, false);
        backBuffer_ = std::exchange(other.backBuffer_, PresentedPicture{});
        handOver_ = std::exchange(other.handOver_, PresentedPicture{});
    }
    return *this;
}

bool CD3DCtx::Open(VideoOutput* window, int width, int height, int32_t displayMode) {
    Release();
    if (!window || width <= 0 || height <= 0 || width > kMaxPictureSide ||
        height > kMaxPictureSide) {
        return false;
    }
    const PictureFormat format =
        displayMode == kDisplayRgb ? PictureFormat::kRgb32 : PictureFormat::kYv12;
    if (!Allocate(format, width, height)) {
        Release();
        return false;
    }
    window_ = window;
    ready_ = true;
    return true;
}

bool CD3DCtx::Allocate(PictureFormat format, int width, int height) {
    PresentedPicture& back = backBuffer_;
    back.format = format;
    back.width = width;
    back.height = height;
    back.pts = kNoFramePts;
    try {
        if (format == PictureFormat::kRgb32) {
            back.strides[0] = AlignUp(width, kRgbRowPixelAlign) * kRgbBytesPerPixel;
            back.strides[1] = back.strides[2] = 0;
            back.planes[0].assign(static_cast<size_t>(back.strides[0]) * height, 0);
            back.planes[1].clear();
            back.planes[2].clear();
        } else {
            const int chromaRows = ChromaSize(height);
            back.strides[0] = width;
            back.strides[1] = back.strides[2] = ChromaSize(width);
            back.planes[0].assign(static_cast<size_t>(width) * height, 0);
            for (int plane = 1; plane < 3; ++plane) {
                back.planes[plane].assign(static_cast<size_t>(back.strides[plane]) * chromaRows, 0);
            }
        }
        CopyPicture(back, handOver_);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

void CD3DCtx::Release() {
    ready_ = false;
    window_ = nullptr;
    backBuffer_ = PresentedPicture{};
    handOver_ = PresentedPicture{};
}

void CD3DCtx::Clear(uint32_t argb) {
    if (!ready_) {
        return;
    }
    PresentedPicture& back = backBuffer_;
    back.pts = kNoFramePts;
    if (back.format == PictureFormat::kRgb32) {
        const uint8_t pixel[kRgbBytesPerPixel] = {
            static_cast<uint8_t>(argb & 0xFF), static_cast<uint8_t>((argb >> 8) & 0xFF),
            static_cast<uint8_t>((argb >> 16) & 0xFF), kOpaque};
        std::vector<uint8_t>& bytes = back.planes[0];
        for (size_t at = 0; at + kRgbBytesPerPixel <= bytes.size(); at += kRgbBytesPerPixel) {
            std::memcpy(&bytes[at], pixel, kRgbBytesPerPixel);
        }
        return;
    }
    const Yuv colour = ToYuv(argb);
    std::fill(back.planes[0].begin(), back.planes[0].end(), colour.y);
    std::fill(back.planes[1].begin(), back.planes[1].end(), colour.u);
    std::fill(back.planes[2].begin(), back.planes[2].end(), colour.v);
}

bool CD3DCtx::Draw(const SourcePlanes& source, SwsContext* scaler) {
    if (!ready_ || source.width != backBuffer_.width || source.height != backBuffer_.height ||
        !source.planes[0] || !source.planes[1] || !source.planes[2]) {
        return false;
    }
    const bool drawn =
        backBuffer_.format == PictureFormat::kRgb32 ? DrawRgb(source, scaler) : DrawPlanes(source);
    if (drawn) {
        backBuffer_.pts = source.pts;
    }
    return drawn;
}

bool CD3DCtx::DrawPlanes(const SourcePlanes& source) {
    const int width = backBuffer_.width;
    const int height = backBuffer_.height;
    const int chromaWidth = ChromaSize(width);
    if (source.strides[0] < width || source.strides[1] < chromaWidth ||
        source.strides[2] < chromaWidth) {
        return false;
    }
    CopyRows(source.planes[0], source.strides[0], backBuffer_.planes[0].data(),
             backBuffer_.strides[0], width, height);
    for (int plane = 1; plane < 3; ++plane) {
        CopyRows(source.planes[plane], source.strides[plane], backBuffer_.planes[plane].data(),
                 backBuffer_.strides[plane], chromaWidth, ChromaSize(height));
    }
    return true;
}

bool CD3DCtx::DrawRgb(const SourcePlanes& source, SwsContext* scaler) {
    if (!scaler) {
        return false;
    }
    uint8_t* target[4] = {backBuffer_.planes[0].data(), nullptr, nullptr, nullptr};
    const int targetStrides[4] = {backBuffer_.strides[0], 0, 0, 0};
    return sws_scale(scaler, source.planes, source.strides, 0, backBuffer_.height, target,
                     targetStrides) > 0;
}

bool CD3DCtx::Present() {
    if (!ready_) {
        return false;
    }
    try {
        CopyPicture(backBuffer_, handOver_);
    } catch (const std::bad_alloc&) {
        return false;  // the window swapped in a smaller buffer and memory ran out
    }
    window_->Present(handOver_);
    return true;
}

}  // namespace velmaro
