// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Everything of a playback channel that its threads share: the control fields written by the
// user-interface thread, the video state written by the video worker, the pacing clock and the
// two frame queues. The channel (PlaybackChannel) owns one; its workers hold a pointer to it.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "stream/channel_controls.h"
#include "stream/frame_pacer.h"
#include "stream/frame_queue.h"
#include "stream/snapshot_result.h"
#include "stream/snapshot_stamp.h"

namespace velmaro {

class VideoOutput;

// The picture on screen: where it came from and when it was put there. Marks, changes of
// direction and the sound's timing all go by it.
struct ShownPicture {
    bool valid = false;
    uint32_t fileSerial = 0;
    int64_t filePos = -1;   // the packet that began its PES
    int64_t groupPos = -1;  // the packet that began its group's key frame PES
    double pts = 0.0;       // seconds
    int64_t shownAtMs = 0;  // steady clock
    bool forward = true;
};

// Pictures of the picture on screen's file that are not shown again after a change of
// direction. Forward: up to and including it, since forward play restarts at its group's key
// frame. Backward: it and every later one, since backward play decodes its whole group (the
// B-pictures shown before it may follow it in the file).
struct SkipThrough {
    bool active = false;
    uint32_t fileSerial = 0;
    double pts = 0.0;
    bool backward = false;
};

enum DisplayMode : int32_t {
    kDisplayYv12 = 0,  // planes uploaded as they are, converted and scaled by the GPU
    kDisplayRgb = 1,   // converted by libswscale into an RGB32 back buffer
};

constexpr int32_t kDecoderThreadsChosen = 0;

struct ChannelState : ChannelControls {
    // Set by the owner before the workers start; not changed while they run.
    VideoOutput* videoWindow = nullptr;
    int32_t displayMode = kDisplayYv12;
    // Written by the user-interface thread at any time; the audio worker reads it per block.
    std::atomic<double> soundAmplification{1.0};
    // The video decoder's threads: 0 lets the video worker choose (frame threads while one
    // thread cannot keep up); a positive count is forced. More than 1 makes every picture
    // come out a packet per extra thread later.
    int32_t decoderThreads = kDecoderThreadsChosen;

    // Snapshot requests wait in order (user-interface thread) until the video worker has
    // written each (video worker); `snapshotRequested` counts those waiting. Every request
    // yields one result, which the user-interface thread takes.
    std::atomic<int32_t> snapshotRequested{0};
    // Before any picture has been shown there is nothing to save, and a user who asks many
    // times while the worker is busy is told so: both answer at once instead of waiting.
    void RequestSnapshot(const SnapshotRequest& request);
    // Video worker: the oldest request waiting, and its result once written.
    std::optional<SnapshotRequest> PendingSnapshot() const;
    void FinishSnapshot(SnapshotResult result);
    // User-interface thread: the results so far, oldest first.
    std::vector<SnapshotResult> TakeSnapshotResults();

    // Written by the video worker, read by anyone.
    std::atomic<int32_t> videoWidth{0};
    std::atomic<int32_t> videoHeight{0};
    std::atomic<int32_t> groupLength{0};
    std::atomic<int32_t> framesShown{0};
    // Pictures left out because they were late while decoding could not keep up.
    std::atomic<int32_t> framesDropped{0};
    std::atomic<int32_t> decoderThreadsRunning{1};
    // Written by the video worker while it holds a picture; the audio worker plays silence.
    std::atomic<bool> videoHeld{false};

    // Written by the video worker for every picture it shows; read by anyone.
    void PublishShown(const ShownPicture& picture) {
        std::lock_guard lock(shownMutex_);
        shown_ = picture;
    }
    ShownPicture Shown() const {
        std::lock_guard lock(shownMutex_);
        return shown_;
    }

    // Written by the user-interface thread before it clears the queues for a change of
    // direction; the video worker takes it when it sees that clear (by the generation).
    void SetSkipThrough(const SkipThrough& skip) {
        std::lock_guard lock(shownMutex_);
        skip_ = skip;
        skipGeneration_.fetch_add(1);
    }
    uint32_t SkipGeneration() const { return skipGeneration_.load(); }
    SkipThrough Skip() const {
        std::lock_guard lock(shownMutex_);
        return skip_;
    }

    FramePacer clock{kDefaultFps};
    VideoFrameQueue videoQueue;
    AudioFrameQueue audioQueue;

  private:
    static constexpr size_t kMostWaitingSnapshots = 8;
    static constexpr size_t kMostKeptSnapshotResults = 32;  // when nobody takes them
    void KeepSnapshotResult(SnapshotResult result);         // snapshotMutex_ held

    mutable std::mutex snapshotMutex_;
    std::deque<SnapshotRequest> snapshotRequests_;  // guarded by snapshotMutex_
    std::deque<SnapshotResult> snapshotResults_;    // guarded by snapshotMutex_
    mutable std::mutex shownMutex_;
    ShownPicture shown_;  // guarded by shownMutex_
    SkipThrough skip_;    // guarded by shownMutex_
    std::atomic<uint32_t> skipGeneration_{0};
};

}  // namespace velmaro
