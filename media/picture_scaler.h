// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// PictureScaler: a presented picture (YV12 planes as decoded, or the RGB mode's BGRX image)
// converted and scaled in one pass by libswscale to BGRX of any size, for windows that draw
// without a GPU. YUV is read as BT.601 limited range and written as full-range RGB, exactly
// what the OpenGL surface's shader does, so both paths show the same colours.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "media/video_output.h"

struct SwsContext;

namespace velmaro {

// Rows of a BGRX image that PictureScaler may write whole vectors into: a multiple of this
// many bytes wide.
constexpr int kScaledRowAlign = 64;
constexpr int kScaledBytesPerPixel = 4;

inline int ScaledStride(int width) {
    return (width * kScaledBytesPerPixel + kScaledRowAlign - 1) / kScaledRowAlign * kScaledRowAlign;
}

class PictureScaler {
  public:
    PictureScaler();
    ~PictureScaler();
    PictureScaler(PictureScaler&&) noexcept;
    PictureScaler& operator=(PictureScaler&&) noexcept;
    PictureScaler(const PictureScaler&) = delete;
    PictureScaler& operator=(const PictureScaler&) = delete;

    // Writes `picture` scaled to width x height into `out`, `stride` bytes a row (at least
    // ScaledStride(width)), byte order B, G, R, X. False, with `out` untouched, for a picture
    // whose planes do not hold its size, or when libswscale cannot do it.
    bool Scale(const PresentedPicture& picture, int width, int height, uint8_t* out, int stride);

  private:
    struct Shape {
        int fromWidth = 0;
        int fromHeight = 0;
        PictureFormat format = PictureFormat::kYv12;
        int toWidth = 0;
        int toHeight = 0;
        bool operator==(const Shape&) const = default;
    };
    struct ContextDeleter {
        void operator()(SwsContext* context) const;
    };

    bool Prepare(const Shape& shape);
    int ScaleLastRows(const PresentedPicture& picture, int firstRow, uint8_t* const out[4],
                      const int outStrides[4]);

    std::unique_ptr<SwsContext, ContextDeleter> context_;
    Shape shape_;
    // The bottom rows of each plane, copied with room after them: libswscale reads whole
    // vectors, which may reach past the end of a picture's last row.
    std::vector<uint8_t> tail_[3];
};

}  // namespace velmaro
