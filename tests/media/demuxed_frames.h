// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Recording files split into frames by the real demultiplexer, as the reader would queue them:
// what the decoder tests and the video benchmark feed to a video worker.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "stream/channel_controls.h"
#include "stream/demux.h"
#include "stream/frame_item.h"
#include "stream/frame_queue.h"
#include "stream/ts_packet.h"
#include "tests/test_support.h"

namespace velmaro::test {

// One compressed frame as a queue holds it.
struct TestFrame {
    std::vector<uint8_t> bytes;
    int32_t kind = kKindNone;
    double frameRate = 0.0;
    int32_t order = kPlayNormal;
    double pts = 0.0;
};

struct DemuxedFrames {
    std::vector<TestFrame> video;
    std::vector<TestFrame> audio;
};

inline void TakeAll(FrameQueue& queue, std::vector<TestFrame>& into) {
    FrameItem item;
    while (queue.Take(item)) {
        into.push_back({std::vector<uint8_t>(item.data, item.data + item.size), item.kind,
                        item.frameRate, item.order, item.pts});
    }
}

namespace detail {

// Without an audio queue the demultiplexer queues no audio at all.
inline DemuxedFrames Demux(const std::string& path, bool withAudio) {
    DemuxedFrames frames;
    DemuxState state;
    VideoFrameQueue video;
    AudioFrameQueue audio;
    if (!state.PrepareBuffers()) {
        return frames;
    }
    video.SetKeyCount(0);
    video.Init(kVideoQueueStorage, kVideoQueueMaxItem, kQueueStopped);
    FrameItem videoItem;
    video.Trim(&videoItem);
    FrameItem audioItem;
    DemuxOutputs out;
    out.videoQueue = &video;
    out.videoItem = &videoItem;
    if (withAudio) {
        audio.Init(kAudioQueueStorage, kAudioQueueMaxItem, kQueueStopped);
        audio.Trim(&audioItem);
        out.audioQueue = &audio;
        out.audioItem = &audioItem;
    }
    const DemuxControls controls;
    const auto takeAll = [&] {
        TakeAll(video, frames.video);
        if (withAudio) {
            TakeAll(audio, frames.audio);
        }
    };
    const std::vector<uint8_t> bytes = ReadBytes(path);
    for (size_t at = 0; at + kTsPacketSize <= bytes.size(); at += kTsPacketSize) {
        RoutePacket(state, bytes.data() + at, out, controls, PacketFlow::kForward);
        takeAll();
    }
    FlushPendingPes(state, out, controls);
    takeAll();
    return frames;
}

}  // namespace detail

// Every video and audio frame of a recording file, each in file order.
inline DemuxedFrames DemuxFrames(const std::string& path) {
    return detail::Demux(path, true);
}

// The video frames of a recording file, in file order.
inline std::vector<TestFrame> DemuxVideoFrames(const std::string& path) {
    return detail::Demux(path, false).video;
}

}  // namespace velmaro::test
