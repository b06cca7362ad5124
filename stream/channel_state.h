// Everything of a playback channel that its threads share: the control fields written by the
// user-interface thread, the video state written by the video worker, the pacing clock and the
// two frame queues. The channel (CTSChn) owns one; its workers hold a pointer to it.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "stream/channel_controls.h"
#include "stream/fps_ctrl.h"
#include "stream/frame_queue.h"

namespace velmaro {

class VideoOutput;

enum DisplayMode : int32_t {
    kDisplayYv12 = 0,  // planes uploaded as they are, converted and scaled by the GPU
    kDisplayRgb = 1,   // converted by libswscale into an RGB32 back buffer
};

struct ChannelState : ChannelControls {
    // Set by the owner before the workers start; not changed while they run.
    VideoOutput* videoWindow = nullptr;
    int32_t displayMode = kDisplayYv12;
    double soundAmplification = 1.0;
    // More than 1: the video decoder runs frame threads (faster on big pictures; every
    // picture comes out a packet per extra thread later).
    int32_t decoderThreads = 1;

    // Snapshot request: the path is stored before the flag is raised (user-interface thread);
    // the video worker takes the path and clears the flag.
    std::atomic<int32_t> snapshotRequested{0};
    void RequestSnapshot(const std::string& path) {
        {
            std::lock_guard lock(snapshotMutex_);
            snapshotPath_ = path;
        }
        snapshotRequested.store(1);
    }
    std::string SnapshotPath() const {
        std::lock_guard lock(snapshotMutex_);
        return snapshotPath_;
    }

    // Written by the video worker, read by anyone.
    std::atomic<int32_t> videoWidth{0};
    std::atomic<int32_t> videoHeight{0};
    std::atomic<int32_t> groupLength{0};
    std::atomic<int32_t> framesShown{0};
    // Written by the video worker while it holds a picture; the audio worker plays silence.
    std::atomic<bool> videoHeld{false};

    CFpsCtrl clock{kDefaultFps};
    CVBuffer2 videoQueue;
    CABuffer2 audioQueue;

  private:
    mutable std::mutex snapshotMutex_;
    std::string snapshotPath_;  // guarded by snapshotMutex_
};

}  // namespace velmaro
