// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The video worker under test on a channel of its own, with a producer thread that fills the
// channel's video queue as the reader would, blocking while the queue is full.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "media/offscreen_output.h"
#include "media/presenter.h"
#include "media/video_decoder.h"
#include "media/video_output.h"
#include "stream/channel_state.h"
#include "tests/media/demuxed_frames.h"
#include "tests/test_support.h"

namespace velmaro::test {

class VideoRig {
  public:
    // Presents into the rig's own off-screen output, or into no window at all.
    explicit VideoRig(int32_t displayMode = kDisplayYv12, bool window = true)
        : VideoRig(window ? &output : nullptr, displayMode) {}
    // Presents into another window, such as a widget on screen.
    VideoRig(VideoOutput* window, int32_t displayMode) {
        channel.videoWindow = window;
        channel.displayMode = displayMode;
        channel.videoQueue.SetKeyCount(0);
        channel.videoQueue.Init(kVideoQueueStorage, kVideoQueueMaxItem, kQueueBlocking);
        channel.videoQueue.Trim(&writer_);
        worker = std::make_unique<VideoDecoder>(&channel);
    }
    // The worker goes first; stopping the queue then frees a producer blocked on it.
    ~VideoRig() {
        worker.reset();
        channel.videoQueue.Stop();
        JoinProducer();
    }
    VideoRig(const VideoRig&) = delete;
    VideoRig& operator=(const VideoRig&) = delete;

    // Queues the frames from the producer thread, once the previous feed has been queued.
    void Feed(std::vector<TestFrame> frames) {
        JoinProducer();
        fed_ = false;
        producer_ = std::thread([this, frames = std::move(frames)] {
            FeedAll(frames);
            fed_ = true;
        });
    }

    // Everything fed has been taken by the worker (the last item may still be in its hands).
    bool WaitTaken() {
        return WaitUntil([&] { return fed_ && channel.videoQueue.EntryCount() <= 1; });
    }

    // The worker has shown `count` pictures and the rig's own output has had them presented.
    bool WaitShown(int32_t count) {
        return WaitUntil([&] { return channel.framesShown.load() >= count; }) &&
               output.WaitForCount(static_cast<size_t>(count), kPatience);
    }
    bool WaitHeld() {
        return WaitUntil([&] { return channel.videoHeld.load(); });
    }

    // The times of the frames presented to the rig's own output, leaving out cleared pictures.
    std::vector<double> ShownTimes() const {
        std::vector<double> times;
        for (const PresentRecord& record : output.Records()) {
            if (record.pts != kNoFramePts) {
                times.push_back(record.pts);
            }
        }
        return times;
    }

    OffscreenOutput output{true};  // declared first: it outlives the worker presenting into it
    ChannelState channel;
    std::unique_ptr<VideoDecoder> worker;

  private:
    void FeedAll(const std::vector<TestFrame>& frames) {
        for (const TestFrame& frame : frames) {
            if (!frame.bytes.empty()) {
                std::memcpy(writer_.data, frame.bytes.data(), frame.bytes.size());
            }
            writer_.size = static_cast<int32_t>(frame.bytes.size());
            writer_.kind = frame.kind;
            writer_.frameRate = frame.frameRate;
            writer_.order = frame.order;
            writer_.pts = frame.pts;
            if (!channel.videoQueue.Push(writer_)) {
                return;
            }
        }
    }
    void JoinProducer() {
        if (producer_.joinable()) {
            producer_.join();
        }
    }

    FrameItem writer_;  // producer thread
    std::thread producer_;
    std::atomic<bool> fed_{false};
};

}  // namespace velmaro::test
