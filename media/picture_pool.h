// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// PicturePool: the pictures a presenter hands to its window. A window keeps a presented picture
// as long as it needs it (to upload it, to repaint it); when it lets go, the picture's buffers
// come back here, so a steady stream of presents allocates no picture memory and the presenter
// never writes into a picture a window may still be reading.
#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <vector>

#include "media/video_output.h"

namespace velmaro {

class PicturePool : public std::enable_shared_from_this<PicturePool> {
  public:
    // Pictures beyond `keep` are freed when they come back rather than kept for reuse.
    static std::shared_ptr<PicturePool> Create(size_t keep);

    // Any thread. A picture of unspecified contents, a returned one when there is one.
    std::shared_ptr<PresentedPicture> Take();

  private:
    explicit PicturePool(size_t keep) : keep_(keep) {}
    void Give(PresentedPicture* picture);

    const size_t keep_;
    mutable std::mutex mutex_;
    std::vector<std::unique_ptr<PresentedPicture>> free_;  // guarded by mutex_
};

}  // namespace velmaro
