// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Turns routed transport packets into outputs: H.264 access units into the video queue, AAC
// payloads into the audio queue, telemetry text into the hand-over. Passive: the reader, the
// probe and the fuzz target feed it packets on their own thread; all state is in DemuxState.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstring>

#include "stream/frame_item.h"
#include "stream/frame_scan.h"
#include "stream/pes.h"
#include "stream/psi.h"
#include "stream/ts_packet.h"

namespace velmaro {

class VideoFrameQueue;
class AudioFrameQueue;
class MessageSink;
class TelemetryHandOver;

// Frames and texts dropped because they broke a size bound; kept for the probe and tests.
struct DemuxDropCounts {
    uint64_t oversizeVideoFrames = 0;  // larger than the video queue grows for
    uint64_t oversizeAudioFrames = 0;  // larger than the audio queue's largest item
    uint64_t audioBeforePicture = 0;   // audio after a seek, before its first key frame
    uint64_t oversizePes = 0;          // more than a PES buffer holds
    uint64_t cutTelemetryTexts = 0;    // longer than the hand-over keeps; the head is kept
};

struct DemuxState {
    PsiState psi;
    FrameRateMeter rate;
    ParameterSetStore parameterSets;   // kept across seeks and files: a stream may send them once
    PesBuffer video{kPesBufferLimit};  // as large as the largest picture the player takes
    PesBuffer audio;
    PesBuffer data;
    DemuxDropCounts drops;
    // Backward scanning: the video bytes gathered so far end where a PES ends (the next PES's
    // start was seen, or the file ends there). A PES cut off at the scan's starting point is
    // not a whole frame and must not be queued.
    bool backwardTailComplete = false;
    // Set by the caller before each packet: the file it comes from and the packet's byte
    // position there (-1 when the caller has no file). Frames carry them from the packet that
    // began their PES.
    uint32_t fileSerial = 0;
    int64_t packetPos = -1;
    int64_t videoStartPos = -1;
    int64_t audioStartPos = -1;
    // The file of the packet that began each PES: the last PES of a file is completed by the
    // next file's first packet.
    uint32_t videoStartSerial = 0;
    uint32_t audioStartSerial = 0;
    // The video coding in force when the PES being gathered began: the next file's map, which
    // may announce another one, arrives before the packet that completes the last PES.
    VideoCodec videoStartCodec = VideoCodec::kH264;
    // A key frame was queued since the reader last started over: sound waiting for a picture
    // may go on, though the video worker may have taken that picture from the queue already.
    bool keyQueued = false;
    // Forward play going on from a picture reads from before its group's key frame, where the
    // sound that goes with it may be stored: video PES that begin before `videoFromPos`, and
    // sound before `soundFromPts`, are left out (-1: none).
    int64_t videoFromPos = -1;
    double soundFromPts = -1.0;

    // Allocates missing buffers and starts every gathering and the rate measurement afresh.
    bool PrepareBuffers();
    void ReleaseBuffers();
    void ResetFills() {
        video.Reset();
        audio.Reset();
        data.Reset();
    }
};

// Where outputs go; any of them may be null, and that output is then discarded.
struct DemuxOutputs {
    VideoFrameQueue* videoQueue = nullptr;
    FrameItem* videoItem = nullptr;  // the producer's record: its data is the write position
    AudioFrameQueue* audioQueue = nullptr;
    FrameItem* audioItem = nullptr;
    TelemetryHandOver* telemetry = nullptr;
    MessageSink* sink = nullptr;
};

// What the channel and the reader decide; read at each completion.
struct DemuxControls {
    int32_t playMode = 1;
    bool audioEnabled = true;
    // Set after a seek: audio is dropped until the video queue holds a key frame. That audio
    // would play ahead of anything on screen, and a reader held up by a full audio queue
    // before the key frame would hold up the new picture as well.
    bool audioWaitsForPicture = false;
    const std::atomic<bool>* directionChangePending = nullptr;
    const std::atomic<bool>* running = nullptr;

    bool DirectionChangePending() const {
        return directionChangePending && directionChangePending->load();
    }
};

// Each completes the gathered PES of its stream; the caller resets that buffer afterwards.
// Returns true exactly when a key frame was queued.
bool CompleteVideoPes(DemuxState& state, const DemuxOutputs& out, const DemuxControls& controls,
                      bool backward, bool keyOnly);
void CompleteAudioPes(DemuxState& state, const DemuxOutputs& out, const DemuxControls& controls);
void CompleteDataPes(DemuxState& state, const DemuxOutputs& out, const DemuxControls& controls);

// How packets arrive: in file order while playing forward, or while reading one group of
// pictures forward again during backward delivery; or last-first while scanning back.
enum class PacketFlow {
    kForward,
    kBackwardScan,
    kBackwardGroupPass,
};

enum class RouteResult {
    kSkipped,           // not routable, PIDs unknown, or not one of our streams
    kRouted,            // payload gathered
    kBackwardKeyFound,  // backward scan: a key frame was queued; the caller starts its forward pass
};

// Routes one packet (kTsPacketSize bytes). Backward scanning prepends video payloads and
// completes a PES at its PUSI packet with key frames only. While delivering backward (scan or
// group pass) audio and telemetry are ignored and frames carry a negative order.
RouteResult RoutePacket(DemuxState& state, const uint8_t* packet, const DemuxOutputs& out,
                        const DemuxControls& controls, PacketFlow flow);

// Most of a recording's packets carry nothing but the next bytes of a picture, and the full
// routing of each costs more than copying its payload. `ContinuationKey` is what bytes 1-2 of
// such a packet read (with its priority bit cleared) under the tables in force, or -1 while
// no packet can be taken that way; the caller takes it again after each routed packet, which
// may change the tables. `GatherContinuation` (read forward) and `ScanContinuation` (scanning
// backward) then do for a matching packet exactly what RoutePacket would.
inline int ContinuationKey(const PsiState& psi) {
    return psi.pidsKnown && psi.videoPid != kNoPid && !IsTablePid(psi, psi.videoPid) ? psi.videoPid
                                                                                     : -1;
}
inline bool IsContinuation(const uint8_t* packet, int key) {
    constexpr uint8_t kFlagsAndPidHighMask = 0xDF;  // error, start and PID; not the priority
    constexpr uint8_t kPayloadOnly = 0x10;
    constexpr uint8_t kControlMask = 0x30;
    const int header = ((packet[1] & kFlagsAndPidHighMask) << 8) | packet[2];
    return header == key && (packet[3] & kControlMask) == kPayloadOnly;
}
// The run of such packets that starts at `bytes` (of which `available` are read), each one
// confirmed by the sync byte of the one after it, as far as the gathering's room goes: their
// payloads are gathered in one go. Returns the bytes of the packets taken, 0 when the first
// packet is not one of them.
inline int GatherContinuationRun(DemuxState& state, const uint8_t* bytes, int available, int key) {
    uint8_t* to = state.video.OutsideEnd();
    const int room = state.video.OutsideRoomLeft();
    int taken = 0;
    int gathered = 0;
    while (available - taken > kTsPacketSize && room - gathered >= kWholeTsPayload) {
        const uint8_t* packet = bytes + taken;
        if (packet[0] != kTsSyncByte || packet[kTsPacketSize] != kTsSyncByte ||
            !IsContinuation(packet, key)) {
            break;
        }
        std::memcpy(to + gathered, packet + kTsHeaderSize, kWholeTsPayload);
        gathered += kWholeTsPayload;
        taken += kTsPacketSize;
    }
    state.video.Appended(gathered);
    return taken;
}
inline bool GatherContinuation(DemuxState& state, const uint8_t* packet, int key) {
    if (!IsContinuation(packet, key)) {
        return false;
    }
    state.video.Append(packet + kTsHeaderSize, kWholeTsPayload);
    return true;
}
// The same for a packet met while scanning backward.
inline bool ScanContinuation(DemuxState& state, const uint8_t* packet, int key) {
    if (!IsContinuation(packet, key)) {
        return false;
    }
    state.video.Prepend(packet + kTsHeaderSize, kWholeTsPayload);
    return true;
}

// Completes the three PES still gathering, as no later packet will: for a whole-file count.
void FlushPendingPes(DemuxState& state, const DemuxOutputs& out, const DemuxControls& controls);

}  // namespace velmaro
