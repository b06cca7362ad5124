// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Where presented pictures go: the video window of the UI (an OpenGL widget) or an off-screen
// target in tests and command-line tools. The presenter hands over a finished picture with
// Present, from the video worker's thread; implementations keep it under their own lock and
// repaint on their own thread. A presented picture is never written again: the presenter draws
// the next one into another buffer, so a window may read it for as long as it holds it.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace velmaro {

enum class PictureFormat {
    kYv12,   // three planes: Y (width x height), then U and V (half width x half height)
    kRgb32,  // one plane of 4-byte pixels, byte order B, G, R, X
};

// One picture as presented. Its bytes are its own (`planes`), or borrowed from a decoded
// picture that is never written again and stays alive as long as `keepAlive` holds it; `Plane`
// gives either.
struct PresentedPicture {
    PictureFormat format = PictureFormat::kYv12;
    int width = 0;
    int height = 0;
    std::vector<uint8_t> planes[3];
    int strides[3] = {0, 0, 0};
    double pts = 0.0;  // of the frame it shows; informational
    std::span<const uint8_t> borrowed[3];
    std::shared_ptr<const void> keepAlive;  // set while the bytes are borrowed

    std::span<const uint8_t> Plane(int index) const {
        return keepAlive ? borrowed[index] : std::span<const uint8_t>(planes[index]);
    }
};

// A copy that owns its bytes, whatever the original did.
inline PresentedPicture OwnedCopy(const PresentedPicture& picture) {
    PresentedPicture copy;
    copy.format = picture.format;
    copy.width = picture.width;
    copy.height = picture.height;
    copy.pts = picture.pts;
    for (int plane = 0; plane < 3; ++plane) {
        const std::span<const uint8_t> bytes = picture.Plane(plane);
        copy.planes[plane].assign(bytes.begin(), bytes.end());
        copy.strides[plane] = picture.strides[plane];
    }
    return copy;
}

using PictureRef = std::shared_ptr<const PresentedPicture>;

class VideoOutput {
  public:
    virtual ~VideoOutput() = default;
    // Video worker thread. The same picture may come again (a held picture is re-presented);
    // never null.
    virtual void Present(PictureRef picture) = 0;
};

}  // namespace velmaro
