// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// WindowScaler: the picture path of a window drawn without a GPU. The newest presented picture
// is scaled to the window's pixel size on a thread of its own (PictureScaler), so the window
// only copies the result to the screen, unscaled, on its GUI thread. A picture is scaled once
// for each size it is shown at: a held picture presented again costs nothing, a new size
// scales the picture on show again. Pictures presented faster than they can be scaled are
// skipped, never queued. Three images take turns (on screen, newest ready, being written) and
// keep their memory while the window keeps its size.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "media/picture_scaler.h"
#include "media/video_output.h"

namespace velmaro {

// Pixels in BGRX order, rows `stride` bytes apart.
struct ScaledImage {
    int width = 0;
    int height = 0;
    int stride = 0;
    std::vector<uint8_t> bytes;
};

class WindowScaler {
  public:
    // `ready` runs on the scaler's thread whenever a new image is ready: the window's cue to
    // repaint. It must not call back into the scaler.
    explicit WindowScaler(std::function<void()> ready);
    ~WindowScaler();
    WindowScaler(const WindowScaler&) = delete;
    WindowScaler& operator=(const WindowScaler&) = delete;

    // Owner thread.
    bool Start();
    void Stop();

    // Any thread: the picture to show from now on.
    void Present(PictureRef picture);
    // Any thread: the window's size in pixels.
    void SetSize(int width, int height);

    // Owner thread: the newest image, null before the first. It stays unchanged until the
    // next call.
    const ScaledImage* Newest();
    // Pictures scaled so far (each size change of a held picture counts once more).
    int ScaledCount() const;

  private:
    struct Job {
        PictureRef picture;
        int width = 0;
        int height = 0;
    };

    void Run();
    bool NextJob(Job& job);
    bool ScaleInto(const Job& job, ScaledImage& image);

    const std::function<void()> ready_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    // Guarded by mutex_: written by Present and SetSize (any thread), read by the scaler.
    PictureRef wanted_;
    int width_ = 0;
    int height_ = 0;
    bool changed_ = false;
    bool stopping_ = false;
    // The three images. Their roles move by swapping indices under mutex_: `screen_` is read
    // only by the owner, `back_` written only by the scaler, `newest_` by neither.
    ScaledImage images_[3];
    int screen_ = 0;      // owner thread; swapped under mutex_
    int newest_ = 1;      // guarded by mutex_
    int back_ = 2;        // scaler thread; swapped under mutex_
    bool fresh_ = false;  // guarded by mutex_: newest_ has not been taken yet
    bool shown_ = false;  // owner thread: screen_ holds an image
    int scaled_ = 0;      // guarded by mutex_

    // Scaler thread only: what the last image shows, so that the same job is skipped. The
    // reference keeps the picture from going back to its pool and coming again as a new one.
    Job last_;
    PictureScaler scaler_;
    std::thread thread_;  // owner thread
};

}  // namespace velmaro
