// CD3DCtx, the presenter. Here it is backed by a back buffer of the picture's own size in CPU
// memory: the three YUV 4:2:0 planes as decoded (display mode "YV12", converted and scaled by
// the GPU in the video widget) or a BGRX image filled by libswscale (display mode "RGB").
// Present hands a copy to the VideoOutput, which scales it to its window. Driven only by the
// video worker's thread while it runs, by its owner otherwise.
#pragma once

#include <cstdint>

#include "media/video_output.h"

struct SwsContext;

namespace velmaro {

constexpr uint32_t kClearColour = 0x00000000;  // ARGB black
constexpr double kNoFramePts = -1.0;           // a cleared picture shows no frame

// A picture to draw: planar YUV 4:2:0 (Y, U, V; the fourth plane unused), strides in bytes.
struct SourcePlanes {
    const uint8_t* planes[4] = {nullptr, nullptr, nullptr, nullptr};
    int strides[4] = {0, 0, 0, 0};
    int width = 0;
    int height = 0;
    double pts = 0.0;
};

// Chroma planes of 4:2:0 cover odd sizes with one more sample, as libavcodec lays them out.
inline int ChromaSize(int lumaSize) {
    return (lumaSize + 1) / 2;
}

class CD3DCtx {
  public:
    CD3DCtx() = default;
    CD3DCtx(CD3DCtx&& other) noexcept;
    CD3DCtx& operator=(CD3DCtx&& other) noexcept;  // the moved-from presenter is released
    CD3DCtx(const CD3DCtx&) = delete;
    CD3DCtx& operator=(const CD3DCtx&) = delete;
    ~CD3DCtx() = default;

    // A back buffer of width x height for `window`. Display mode 1 gives an RGB target, any
    // other value the YUV planes. A failed open leaves the presenter released.
    bool Open(VideoOutput* window, int width, int height, int32_t displayMode);
    void Release();
    bool IsOpen() const { return window_ != nullptr; }
    bool IsReady() const { return ready_; }
    VideoOutput* OpenedWindow() const { return window_; }
    PictureFormat BackBufferFormat() const { return backBuffer_.format; }
    int Width() const { return backBuffer_.width; }
    int Height() const { return backBuffer_.height; }

    // Fills the back buffer with an ARGB colour (alpha ignored).
    void Clear(uint32_t argb);
    // Puts one picture of the back buffer's size on it. The RGB target needs `scaler`, set up
    // for that size from planar YUV 4:2:0 to BGRA; without one nothing is converted.
    bool Draw(const SourcePlanes& source, SwsContext* scaler);
    // Hands the back buffer to the window; the back buffer keeps the picture (a held picture
    // is presented again, a snapshot reads it). False when not ready.
    bool Present();
    // The picture now on the back buffer, for snapshots; null when not ready.
    const PresentedPicture* Surface() const { return ready_ ? &backBuffer_ : nullptr; }

  private:
    bool Allocate(PictureFormat format, int width, int height);
    bool DrawPlanes(const SourcePlanes& source);
    bool DrawRgb(const SourcePlanes& source, SwsContext* scaler);

    VideoOutput* window_ = nullptr;  // not owned
    PresentedPicture backBuffer_;
    PresentedPicture handOver_;  // what the window gets; it may swap in a buffer of its own
    bool ready_ = false;
};

}  // namespace velmaro
