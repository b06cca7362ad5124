// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Presenter, the presenter. Here it is backed by a back buffer of the picture's own size in CPU
// memory: the three YUV 4:2:0 planes as decoded (display mode "YV12", converted and scaled by
// the GPU in the video widget) or a BGRX image filled by libswscale (display mode "RGB").
// Present hands the back buffer itself to the VideoOutput, which scales it to its window; the
// next draw or clear then goes into a fresh buffer from the pool, so no picture is copied twice
// and re-presenting a held picture costs nothing. Driven only by the video worker's thread
// while it runs, by its owner otherwise.
#pragma once

#include <cstdint>
#include <memory>

#include "media/picture_pool.h"
#include "media/video_output.h"

struct AVFrame;
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
    // The decoder's picture the planes belong to, when they do: such a picture is never
    // written again, so the YUV back buffer can take a reference to it instead of a copy.
    const AVFrame* frame = nullptr;
};

// Chroma planes of 4:2:0 cover odd sizes with one more sample, as libavcodec lays them out.
inline int ChromaSize(int lumaSize) {
    return (lumaSize + 1) / 2;
}

class Presenter {
  public:
    Presenter() = default;
    Presenter(Presenter&& other) noexcept;
    Presenter& operator=(Presenter&& other) noexcept;  // the moved-from presenter is released
    Presenter(const Presenter&) = delete;
    Presenter& operator=(const Presenter&) = delete;
    ~Presenter() = default;

    // A back buffer of width x height for `window`. Display mode 1 gives an RGB target, any
    // other value the YUV planes. A failed open leaves the presenter released.
    bool Open(VideoOutput* window, int width, int height, int32_t displayMode);
    void Release();
    bool IsOpen() const { return window_ != nullptr; }
    bool IsReady() const { return ready_; }
    VideoOutput* OpenedWindow() const { return window_; }
    PictureFormat BackBufferFormat() const { return format_; }
    int Width() const { return width_; }
    int Height() const { return height_; }

    // Fills the back buffer with an ARGB colour (alpha ignored).
    void Clear(uint32_t argb);
    // Puts one picture of the back buffer's size on it. The RGB target needs `scaler`, set up
    // for that size from planar YUV 4:2:0 to BGRA; without one nothing is converted.
    bool Draw(const SourcePlanes& source, SwsContext* scaler);
    // Hands the back buffer to the window; the back buffer keeps the picture (a held picture
    // is presented again, a snapshot reads it). False when not ready.
    bool Present();
    // The picture now on the back buffer, for snapshots; null when not ready.
    const PresentedPicture* Surface() const { return ready_ ? back_.get() : nullptr; }

    // Pictures kept for reuse once the window lets go of them: the one on screen, the one
    // waiting to be painted and the one being drawn.
    static constexpr size_t kPooledPictures = 3;

  private:
    // The back buffer, made safe to write: a buffer the window holds is swapped for a pooled
    // one of the same shape. Null when memory ran out.
    PresentedPicture* WritableBack();
    bool Shape(PresentedPicture& picture) const;
    bool DrawPlanes(const SourcePlanes& source, PresentedPicture& back);
    bool BorrowPlanes(const SourcePlanes& source);
    bool DrawRgb(const SourcePlanes& source, SwsContext* scaler, PresentedPicture& back);

    VideoOutput* window_ = nullptr;  // not owned
    std::shared_ptr<PicturePool> pool_;
    std::shared_ptr<PresentedPicture> back_;  // the back buffer; shared with the window once
                                              // presented
    bool backPresented_ = false;              // back_ went to the window: never write it again
    PictureFormat format_ = PictureFormat::kYv12;
    int width_ = 0;
    int height_ = 0;
    bool ready_ = false;
};

}  // namespace velmaro
