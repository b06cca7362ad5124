// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// OffscreenOutput: a VideoOutput without a screen, for tests and the command-line player. It
// keeps the last picture and a record of every present (time stamp, size and, on request, a
// digest of the visible bytes), and lets another thread wait for a number of presents.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

#include "media/video_output.h"

namespace velmaro {

struct PresentRecord {
    double pts = 0.0;
    int width = 0;
    int height = 0;
    uint64_t digest = 0;  // 0 unless digests were asked for
};

// FNV-1a over the visible bytes of a picture (row padding excluded), plane after plane.
uint64_t PictureDigest(const PresentedPicture& picture);

class OffscreenOutput : public VideoOutput {
  public:
    static constexpr size_t kDefaultMaxRecords = size_t{1} << 20;

    explicit OffscreenOutput(bool digests = false, size_t maxRecords = kDefaultMaxRecords);

    // Video worker thread: keeps the picture (and lets go of the previous one).
    void Present(PictureRef picture) override;

    size_t Count() const;
    std::vector<PresentRecord> Records() const;  // the first maxRecords presents
    PresentedPicture LastPicture() const;        // a copy; empty before the first present
    double LastPts() const;                      // of the last picture; 0 before the first present
    // Waits until at least `count` presents have happened or `limit` has passed.
    bool WaitForCount(size_t count, std::chrono::milliseconds limit) const;

  private:
    const bool digests_;
    const size_t maxRecords_;
    mutable std::mutex mutex_;
    mutable std::condition_variable presented_;
    size_t count_ = 0;                    // guarded by mutex_
    std::vector<PresentRecord> records_;  // guarded by mutex_
    PictureRef last_;                     // guarded by mutex_
};

}  // namespace velmaro
