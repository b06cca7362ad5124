// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/window_scaler.h"

#include <new>
#include <system_error>
#include <utility>

namespace velmaro {

WindowScaler::WindowScaler(std::function<void()> ready) : ready_(std::move(ready)) {}

WindowScaler::~WindowScaler() {
    Stop();
}

bool WindowScaler::Start() {
    if (thread_.joinable()) {
        return true;
    }
    {
        std::lock_guard lock(mutex_);
        stopping_ = false;
    }
    try {
        thread_ = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void WindowScaler::Stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) {
        thread_.join();
    }
}

void WindowScaler::Present(PictureRef picture) {
    {
        std::lock_guard lock(mutex_);
        std::swap(wanted_, picture);
        changed_ = true;
    }
    wake_.notify_one();
    // The picture replaced goes back to its pool here, outside the lock.
}

void WindowScaler::SetSize(int width, int height) {
    {
        std::lock_guard lock(mutex_);
        if (width == width_ && height == height_) {
            return;
        }
        width_ = width;
        height_ = height;
        changed_ = true;
    }
    wake_.notify_one();
}

const ScaledImage* WindowScaler::Newest() {
    std::lock_guard lock(mutex_);
    if (fresh_) {
        std::swap(screen_, newest_);
        fresh_ = false;
        shown_ = true;
    }
    return shown_ ? &images_[screen_] : nullptr;
}

int WindowScaler::ScaledCount() const {
    std::lock_guard lock(mutex_);
    return scaled_;
}

// Waits for something to scale; false when asked to stop.
bool WindowScaler::NextJob(Job& job) {
    std::unique_lock lock(mutex_);
    wake_.wait(lock, [&] { return changed_ || stopping_; });
    if (stopping_) {
        return false;
    }
    changed_ = false;
    job = {wanted_, width_, height_};
    return true;
}

bool WindowScaler::ScaleInto(const Job& job, ScaledImage& image) {
    const int stride = ScaledStride(job.width);
    try {
        image.bytes.resize(static_cast<size_t>(stride) * job.height);
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (!scaler_.Scale(*job.picture, job.width, job.height, image.bytes.data(), stride)) {
        return false;
    }
    image.width = job.width;
    image.height = job.height;
    image.stride = stride;
    return true;
}

void WindowScaler::Run() {
    Job job;
    while (NextJob(job)) {
        if (!job.picture || job.width <= 0 || job.height <= 0) {
            continue;
        }
        if (job.picture == last_.picture && job.width == last_.width &&
            job.height == last_.height) {
            continue;  // already on screen, or about to be
        }
        if (!ScaleInto(job, images_[back_])) {
            continue;
        }
        last_ = std::move(job);
        {
            std::lock_guard lock(mutex_);
            std::swap(back_, newest_);
            fresh_ = true;
            ++scaled_;
        }
        ready_();
    }
    last_ = {};
}

}  // namespace velmaro
