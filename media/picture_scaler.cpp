// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/picture_scaler.h"

#include <cstring>
#include <new>

extern "C" {
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

#include "media/presenter.h"

namespace velmaro {
namespace {

// Shrinking averages the source pixels each target pixel covers (no aliasing when a 1080p
// picture goes into a smaller window), enlarging interpolates linearly; cheaper than bilinear
// with a widened support, and a fraction of bicubic's cost.
constexpr int kScaleFlags = SWS_AREA;
// RGB pictures go through libswscale's YUV stages too; at full chroma resolution that costs
// less than its default chroma subsampling there and back, and keeps colour edges sharp.
constexpr int kRgbScaleFlags = SWS_AREA | SWS_FULL_CHR_H_INP | SWS_FULL_CHR_H_INT;
// How far past a row's last byte libswscale's vector loops may read.
constexpr size_t kReadSlack = 64;
constexpr int kFixedPointOne = 1 << 16;  // brightness 0, contrast and saturation 1.0

// Rows of plane `plane` that picture rows [0, lumaRows) cover.
int PlaneRows(const PresentedPicture& picture, int plane, int lumaRows) {
    return picture.format == PictureFormat::kYv12 && plane > 0 ? ChromaSize(lumaRows) : lumaRows;
}

int PlaneCount(const PresentedPicture& picture) {
    return picture.format == PictureFormat::kRgb32 ? 1 : 3;
}

int RowBytes(const PresentedPicture& picture, int plane) {
    if (picture.format == PictureFormat::kRgb32) {
        return picture.width * kScaledBytesPerPixel;
    }
    return plane == 0 ? picture.width : ChromaSize(picture.width);
}

// Every plane holds the rows the picture's size calls for at its stride.
bool PlanesHoldPicture(const PresentedPicture& picture) {
    for (int plane = 0; plane < PlaneCount(picture); ++plane) {
        const int rows = PlaneRows(picture, plane, picture.height);
        const int rowBytes = RowBytes(picture, plane);
        if (picture.strides[plane] < rowBytes ||
            picture.Plane(plane).size() <
                static_cast<size_t>(picture.strides[plane]) * (rows - 1) + rowBytes) {
            return false;
        }
    }
    return true;
}

}  // namespace

void PictureScaler::ContextDeleter::operator()(SwsContext* context) const {
    sws_freeContext(context);
}

PictureScaler::PictureScaler() = default;
PictureScaler::~PictureScaler() = default;
PictureScaler::PictureScaler(PictureScaler&&) noexcept = default;
PictureScaler& PictureScaler::operator=(PictureScaler&&) noexcept = default;

bool PictureScaler::Prepare(const Shape& shape) {
    if (context_ && shape == shape_) {
        return true;
    }
    const bool rgb = shape.format == PictureFormat::kRgb32;
    context_.reset(sws_getContext(shape.fromWidth, shape.fromHeight,
                                  rgb ? AV_PIX_FMT_BGR0 : AV_PIX_FMT_YUV420P, shape.toWidth,
                                  shape.toHeight, AV_PIX_FMT_BGR0,
                                  rgb ? kRgbScaleFlags : kScaleFlags, nullptr, nullptr, nullptr));
    if (!context_) {
        return false;
    }
    const int* bt601 = sws_getCoefficients(SWS_CS_ITU601);
    sws_setColorspaceDetails(context_.get(), bt601, 0, bt601, 1, 0, kFixedPointOne, kFixedPointOne);
    shape_ = shape;
    return true;
}

bool PictureScaler::Scale(const PresentedPicture& picture, int width, int height, uint8_t* out,
                          int stride) {
    if (picture.width <= 0 || picture.height <= 0 || width <= 0 || height <= 0 || !out ||
        stride < ScaledStride(width) || !PlanesHoldPicture(picture) ||
        !Prepare({picture.width, picture.height, picture.format, width, height})) {
        return false;
    }
    uint8_t* const target[4] = {out, nullptr, nullptr, nullptr};
    const int targetStrides[4] = {stride, 0, 0, 0};
    // All rows but the bottom one or two straight from the picture; those from padded copies.
    // Slices start on even rows so that each covers whole chroma rows.
    const int lastRows = (picture.height - 1) & ~1;
    int written = 0;
    if (lastRows > 0) {
        const uint8_t* planes[4] = {picture.Plane(0).data(), nullptr, nullptr, nullptr};
        int strides[4] = {picture.strides[0], 0, 0, 0};
        for (int plane = 1; plane < PlaneCount(picture); ++plane) {
            planes[plane] = picture.Plane(plane).data();
            strides[plane] = picture.strides[plane];
        }
        written = sws_scale(context_.get(), planes, strides, 0, lastRows, target, targetStrides);
    }
    const int rest = ScaleLastRows(picture, lastRows, target, targetStrides);
    return written >= 0 && rest >= 0 && written + rest == height;
}

// The output rows written, negative on failure.
int PictureScaler::ScaleLastRows(const PresentedPicture& picture, int firstRow,
                                 uint8_t* const out[4], const int outStrides[4]) {
    const uint8_t* planes[4] = {nullptr, nullptr, nullptr, nullptr};
    int strides[4] = {0, 0, 0, 0};
    for (int plane = 0; plane < PlaneCount(picture); ++plane) {
        const int from = PlaneRows(picture, plane, firstRow);
        const int rows = PlaneRows(picture, plane, picture.height) - from;
        const int rowBytes = RowBytes(picture, plane);
        const int tailStride = (rowBytes + kScaledRowAlign - 1) / kScaledRowAlign * kScaledRowAlign;
        std::vector<uint8_t>& tail = tail_[plane];
        try {
            tail.resize(static_cast<size_t>(tailStride) * rows + kReadSlack);
        } catch (const std::bad_alloc&) {
            return -1;
        }
        for (int row = 0; row < rows; ++row) {
            std::memcpy(tail.data() + static_cast<size_t>(row) * tailStride,
                        picture.Plane(plane).data() +
                            static_cast<size_t>(from + row) * picture.strides[plane],
                        rowBytes);
        }
        planes[plane] = tail.data();
        strides[plane] = tailStride;
    }
    return sws_scale(context_.get(), planes, strides, firstRow, picture.height - firstRow, out,
                     outStrides);
}

}  // namespace velmaro
