// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/offscreen_output.h"

#include <utility>

namespace velmaro {

namespace {

constexpr uint64_t kFnvOffset = 0xcbf29ce484222325ULL;
constexpr uint64_t kFnvPrime = 0x100000001b3ULL;
constexpr int kRgbBytesPerPixel = 4;

uint64_t DigestRows(uint64_t hash, std::span<const uint8_t> plane, int stride, int rowBytes,
                    int rows) {
    if (stride <= 0 || rowBytes > stride) {
        return hash;
    }
    for (int row = 0; row < rows; ++row) {
        const size_t begin = static_cast<size_t>(row) * stride;
        if (begin + rowBytes > plane.size()) {
            break;
        }
        for (int i = 0; i < rowBytes; ++i) {
            hash = (hash ^ plane[begin + i]) * kFnvPrime;
        }
    }
    return hash;
}

}  // namespace

uint64_t PictureDigest(const PresentedPicture& picture) {
    uint64_t hash = kFnvOffset;
    const int width = picture.width;
    const int height = picture.height;
    if (picture.format == PictureFormat::kRgb32) {
        return DigestRows(hash, picture.Plane(0), picture.strides[0], width * kRgbBytesPerPixel,
                          height);
    }
    hash = DigestRows(hash, picture.Plane(0), picture.strides[0], width, height);
    for (int plane = 1; plane < 3; ++plane) {
        hash = DigestRows(hash, picture.Plane(plane), picture.strides[plane], (width + 1) / 2,
                          (height + 1) / 2);
    }
    return hash;
}

OffscreenOutput::OffscreenOutput(bool digests, size_t maxRecords)
    : digests_(digests), maxRecords_(maxRecords) {}

void OffscreenOutput::Present(PictureRef picture) {
    PresentRecord record{picture->pts, picture->width, picture->height, 0};
    if (digests_) {
        record.digest = PictureDigest(*picture);
    }
    {
        std::lock_guard lock(mutex_);
        ++count_;
        if (records_.size() < maxRecords_) {
            records_.push_back(record);
        }
        // The previous picture goes back to its pool outside the lock.
        std::swap(last_, picture);
    }
    presented_.notify_all();
}

size_t OffscreenOutput::Count() const {
    std::lock_guard lock(mutex_);
    return count_;
}

std::vector<PresentRecord> OffscreenOutput::Records() const {
    std::lock_guard lock(mutex_);
    return records_;
}

PresentedPicture OffscreenOutput::LastPicture() const {
    PictureRef last;
    {
        std::lock_guard lock(mutex_);
        last = last_;
    }
    return last ? OwnedCopy(*last) : PresentedPicture{};
}

double OffscreenOutput::LastPts() const {
    std::lock_guard lock(mutex_);
    return last_ ? last_->pts : 0.0;
}

bool OffscreenOutput::WaitForCount(size_t count, std::chrono::milliseconds limit) const {
    std::unique_lock lock(mutex_);
    return presented_.wait_for(lock, limit, [&] { return count_ >= count; });
}

}  // namespace velmaro
