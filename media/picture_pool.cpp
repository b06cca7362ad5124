// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/picture_pool.h"

namespace velmaro {

std::shared_ptr<PicturePool> PicturePool::Create(size_t keep) {
    return std::shared_ptr<PicturePool>(new PicturePool(keep));
}

std::shared_ptr<PresentedPicture> PicturePool::Take() {
    std::unique_ptr<PresentedPicture> picture;
    {
        std::lock_guard lock(mutex_);
        if (!free_.empty()) {
            picture = std::move(free_.back());
            free_.pop_back();
        }
    }
    if (!picture) {
        picture = std::make_unique<PresentedPicture>();
    }
    // The deleter holds the pool, so a picture a window keeps after its presenter is gone
    // still has somewhere to go back to.
    return std::shared_ptr<PresentedPicture>(
        picture.release(), [pool = shared_from_this()](PresentedPicture* p) { pool->Give(p); });
}

void PicturePool::Give(PresentedPicture* picture) {
    std::unique_ptr<PresentedPicture> owned(picture);
    owned->keepAlive.reset();  // a borrowed decoder picture goes back to the decoder now
    std::lock_guard lock(mutex_);
    if (free_.size() < keep_) {
        free_.push_back(std::move(owned));
    }
}

}  // namespace velmaro
