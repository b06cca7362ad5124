// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Packet routing and PES completion over arbitrary bytes, forward and backward, into real
// queues and the telemetry hand-over: no crash, no sanitizer report, no item outside storage.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/recording_sink.h"
#include "stream/demux.h"
#include "stream/frame_queue.h"
#include "stream/telemetry_handover.h"
#include "stream/ts_packet.h"

namespace {

using namespace velmaro;

struct Harness {
    Harness() {
        if (!state.PrepareBuffers() || !OpenFrameQueues(video, audio, kQueueStopped)) {
            std::abort();
        }
        video.Trim(&videoItem);
        audio.Trim(&audioItem);
        out = {&video, &videoItem, &audio, &audioItem, &telemetry, &sink};
    }

    template <typename Queue>
    void Drain(Queue& queue) {
        FrameItem item;
        while (queue.Take(item)) {
            const uint8_t* begin = queue.StorageBegin();
            if (item.size < 0 || item.size > queue.MaxItemSize() || item.data < begin ||
                item.data + item.size > begin + queue.StorageSize()) {
                std::abort();
            }
        }
    }

    void Route(const uint8_t* packet, bool backward) {
        RoutePacket(state, packet, out, controls,
                    backward ? PacketFlow::kBackwardScan : PacketFlow::kForward);
        Drain(video);
        Drain(audio);
        std::string text;
        if (telemetry.Take(text) && text.size() > TelemetryHandOver::kMaxText) {
            std::abort();
        }
    }

    DemuxState state;
    VideoFrameQueue video;
    AudioFrameQueue audio;
    FrameItem videoItem;
    FrameItem audioItem;
    TelemetryHandOver telemetry;
    RecordingSink sink;
    DemuxOutputs out;
    DemuxControls controls;
};

bool SyncPair(const uint8_t* data, size_t size, size_t at) {
    return at + kTsPacketSize < size && data[at] == kTsSyncByte &&
           data[at + kTsPacketSize] == kTsSyncByte;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) {
        return 0;
    }
    Harness h;
    h.controls.playMode = data[0] % 12;
    h.controls.audioEnabled = (data[0] & 0x80) == 0;
    for (size_t at = 0; at < size;) {  // forward, as the reader resynchronises
        if (SyncPair(data, size, at)) {
            h.Route(data + at, false);
            at += kTsPacketSize;
        } else {
            ++at;
        }
    }
    FlushPendingPes(h.state, h.out, h.controls);
    h.state.ResetFills();
    for (size_t end = size; end > kTsPacketSize;) {  // backward, from the end of the data
        const size_t at = end - 1 - kTsPacketSize;
        if (data[end - 1] == kTsSyncByte && data[at] == kTsSyncByte) {
            h.Route(data + at, true);
            end -= kTsPacketSize;
        } else {
            --end;
        }
    }
    return 0;
}
