// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "stream/demux.h"

#include <cstring>

#include "platform/message_sink.h"
#include "stream/frame_queue.h"
#include "stream/telemetry_handover.h"

namespace velmaro {
namespace {

constexpr double kSmallestUsableDts = 0.0001;
constexpr int kPtsAndDts = 3;  // PTS_DTS_flags
constexpr int32_t kPlayModeHeld = 0;
constexpr int32_t kPlayModeStep = 11;

struct Payload {
    const uint8_t* bytes = nullptr;
    int size = 0;
    PesHeader header;
};

// The PES's payload, or false when the gathered bytes are unusable (no start code, no payload,
// or more than the buffer could hold).
bool GatheredPayload(const PesBuffer& buffer, uint64_t& oversizeCount, Payload& payload) {
    if (buffer.Overflowed()) {
        ++oversizeCount;
        return false;
    }
    if (!ParsePesHeader(buffer.Bytes(), buffer.Fill(), payload.header)) {
        return false;
    }
    payload.size = buffer.Fill() - payload.header.payloadOffset;
    payload.bytes = buffer.Bytes() + payload.header.payloadOffset;
    return payload.size > 0;
}

int32_t PlayOrder(int32_t playMode, bool backward) {
    const int32_t order = playMode == kPlayModeHeld ? kPlayModeStep : playMode;
    return backward ? -order : order;
}

// Room kept in front of a picture gathered in the video queue, so that the parameter sets a
// key frame lacks can be written ahead of it where it lies.
constexpr int kSlotHeadroom = 256;

// A video PES starts: it is gathered where the queue will take its frame, when there is one.
void GatherVideoInQueue(DemuxState& state, const DemuxOutputs& out) {
    if (!out.videoQueue || !out.videoItem || !out.videoItem->data) {
        return;
    }
    const int room = out.videoQueue->MaxItemSize() - kSlotHeadroom;
    if (room > 0) {
        state.video.GatherAt(out.videoItem->data + kSlotHeadroom, room);
    }
}

// The frame (`size` bytes) was gathered in the queue's free room at the producer's write
// position: the record is pointed at it, parameter sets written in front as needed. False when
// it lies elsewhere (the record was reset meanwhile), or its parameter sets do not fit there.
bool FrameInPlace(DemuxState& state, int payloadOffset, const FrameScan& scan, int size,
                  FrameItem& w) {
    uint8_t* const gathered = state.video.Outside();
    if (gathered == nullptr || gathered != w.data + kSlotHeadroom) {
        return false;
    }
    const int prefix = state.parameterSets.PrefixSize(scan);
    uint8_t* const start = gathered + payloadOffset + scan.offset - prefix;
    if (start < w.data) {
        return false;
    }
    if (prefix > 0) {
        state.parameterSets.WritePrefix(start);
    }
    w.data = start;
    w.size = prefix + size;
    return true;
}

// The frame is copied from the PES buffer to the queue's write position, which grows the
// queue for a picture larger than any before it.
bool CopyFrameIntoQueue(DemuxState& state, VideoFrameQueue& queue, const FrameScan& scan,
                        int payloadOffset, FrameItem& w) {
    // Growing retires the storage the PES may have been gathered in.
    if (!state.video.MoveInside()) {
        ++state.drops.oversizePes;
        return false;
    }
    const uint8_t* frame = state.video.Bytes() + payloadOffset + scan.offset;
    const int size = state.video.Fill() - payloadOffset - scan.offset;
    // A key frame without parameter sets of its own gets the latest ones, so that the decoder
    // can start from it; when they do not fit the frame goes alone (the decoder may hold them).
    int prefix = state.parameterSets.PrefixSize(scan);
    if (prefix > 0 && !queue.Reserve(w, size + prefix)) {
        prefix = 0;
    }
    if (prefix == 0 && !queue.Reserve(w, size)) {
        ++state.drops.oversizeVideoFrames;
        queue.NoteOversize();
        return false;
    }
    if (prefix > 0) {
        state.parameterSets.WritePrefix(w.data);
    }
    std::memcpy(w.data + prefix, frame, size);
    w.size = prefix + size;
    return true;
}

}  // namespace

bool DemuxState::PrepareBuffers() {
    const bool ok = video.Allocate() && audio.Allocate() && data.Allocate();
    rate.Reset();
    return ok;
}

void DemuxState::ReleaseBuffers() {
    video.Release();
    audio.Release();
    data.Release();
}

bool CompleteVideoPes(DemuxState& state, const DemuxOutputs& out, const DemuxControls& controls,
                      bool backward, bool keyOnly) {
    Payload pes;
    if (!GatheredPayload(state.video, state.drops.oversizePes, pes)) {
        if (state.video.Overflowed() && out.videoQueue) {
            out.videoQueue->NoteOversize();
        }
        return false;
    }
    // Decode times come at a steady interval; presentation times of reordered pictures do not.
    const double decodeTime = pes.header.dts > kSmallestUsableDts ? pes.header.dts : pes.header.pts;
    if (pes.header.HasTime()) {
        // The rate is taken on the decode clock alone, negative times and all: a PES without a
        // decode time is decoded at its presentation time.
        state.rate.Feed(pes.header.ptsDtsFlags == kPtsAndDts ? pes.header.dts : pes.header.pts);
    }
    if (state.videoFromPos >= 0) {
        if (state.videoStartPos < state.videoFromPos) {
            return false;
        }
        // From the key frame on the file is read as always (the next file's times may be
        // lower).
        state.videoFromPos = -1;
        state.soundFromPts = -1.0;
    }
    const FrameScan scan =
        ScanFrameKind(pes.bytes, pes.size, controls.running, state.videoStartCodec);
    state.parameterSets.Keep(pes.bytes, scan);
    if (scan.kind == kKindNone || controls.DirectionChangePending() ||
        (keyOnly && scan.kind != kKindVideoKey)) {
        return false;
    }
    if (!out.videoQueue || !out.videoItem || !out.videoItem->data) {
        return false;
    }
    // The frame runs from its first kept unit to the end of the PES.
    const int size = pes.size - scan.offset;
    FrameItem& w = *out.videoItem;
    uint8_t* const slot = w.data;
    const bool inPlace = FrameInPlace(state, pes.header.payloadOffset, scan, size, w);
    if (!inPlace &&
        !CopyFrameIntoQueue(state, *out.videoQueue, scan, pes.header.payloadOffset, w)) {
        return false;
    }
    w.kind = scan.kind;
    w.frameRate = state.rate.rate;
    w.order = PlayOrder(controls.playMode, backward);
    w.pts = decodeTime;
    w.displayTime = pes.header.HasTime() ? pes.header.pts : decodeTime;
    w.fileSerial = state.videoStartSerial;
    w.filePos = state.videoStartPos;
    w.codec = scan.codec;
    const uint8_t* const queuedAt = w.data;
    out.videoQueue->Push(w);
    if (inPlace && w.data == queuedAt) {
        // Not queued: the room promised for the next frame starts where this one's was.
        w.data = slot;
    }
    state.keyQueued = state.keyQueued || scan.kind == kKindVideoKey;
    return scan.kind == kKindVideoKey;
}

void CompleteAudioPes(DemuxState& state, const DemuxOutputs& out, const DemuxControls& controls) {
    Payload pes;
    if (!GatheredPayload(state.audio, state.drops.oversizePes, pes) || !controls.audioEnabled ||
        controls.DirectionChangePending()) {
        return;
    }
    if (!out.audioQueue || !out.audioItem || !out.audioItem->data) {
        return;
    }
    if (controls.audioWaitsForPicture && !state.keyQueued && out.videoQueue &&
        state.psi.videoPid != kNoPid && out.videoQueue->KeyCount() == 0) {
        ++state.drops.audioBeforePicture;
        return;
    }
    if (pes.header.pts < state.soundFromPts) {
        return;
    }
    if (pes.size > out.audioQueue->MaxItemSize()) {
        ++state.drops.oversizeAudioFrames;
        return;
    }
    FrameItem& w = *out.audioItem;
    std::memcpy(w.data, pes.bytes, pes.size);
    w.size = pes.size;
    w.kind = kKindAudio;
    w.pts = pes.header.HasTime() ? pes.header.pts : 0.0;
    w.fileSerial = state.audioStartSerial;
    w.filePos = state.audioStartPos;
    out.audioQueue->Push(w);
}

void CompleteDataPes(DemuxState& state, const DemuxOutputs& out, const DemuxControls& controls) {
    Payload pes;
    if (!GatheredPayload(state.data, state.drops.oversizePes, pes) ||
        controls.DirectionChangePending() || !out.telemetry) {
        return;
    }
    if (out.telemetry->Store(pes.bytes, pes.size) < static_cast<size_t>(pes.size)) {
        ++state.drops.cutTelemetryTexts;
    }
    if (out.sink) {
        out.sink->Post(kMsgTelemetry, 0, 0);
    }
}

RouteResult RoutePacket(DemuxState& state, const uint8_t* bytes, const DemuxOutputs& out,
                        const DemuxControls& controls, PacketFlow flow) {
    const TsPacket packet = ParseTsPacket(bytes);
    if (!packet.Routable()) {
        return RouteResult::kSkipped;
    }
    if (!state.psi.pidsKnown) {
        PsiStep(state.psi, packet);
        if (!state.psi.pidsKnown) {
            return RouteResult::kSkipped;
        }
    } else if (IsTablePid(state.psi, packet.pid)) {
        // Tables are followed in forward play only: backward delivery meets the versions last
        // first, and an older one would replace the newer one for the pictures after it.
        if (flow == PacketFlow::kForward) {
            PsiFollow(state.psi, packet);
        }
        return RouteResult::kSkipped;
    }
    const uint8_t* payload = packet.Payload();
    const int length = packet.payloadLength;
    const bool start = packet.payloadUnitStart;
    const bool backward = flow != PacketFlow::kForward;
    if (packet.pid == state.psi.videoPid) {
        if (flow != PacketFlow::kBackwardScan) {
            if (start) {
                CompleteVideoPes(state, out, controls, backward, false);
                state.video.Reset();
                GatherVideoInQueue(state, out);
                state.videoStartPos = state.packetPos;
                state.videoStartSerial = state.fileSerial;
                state.videoStartCodec = state.psi.videoCodec;
            }
            state.video.Append(payload, length);
            return RouteResult::kRouted;
        }
        state.video.Prepend(payload, length);
        if (start) {
            state.videoStartPos = state.packetPos;
            state.videoStartSerial = state.fileSerial;
            state.videoStartCodec = state.psi.videoCodec;
            const bool key =
                state.backwardTailComplete && CompleteVideoPes(state, out, controls, true, true);
            state.video.Reset();
            state.backwardTailComplete = true;
            if (key) {
                return RouteResult::kBackwardKeyFound;
            }
        }
        return RouteResult::kRouted;
    }
    if (backward) {
        return RouteResult::kSkipped;
    }
    if (packet.pid == state.psi.audioPid) {
        if (start) {
            CompleteAudioPes(state, out, controls);
            state.audio.Reset();
            state.audioStartPos = state.packetPos;
            state.audioStartSerial = state.fileSerial;
        }
        state.audio.Append(payload, length);
        return RouteResult::kRouted;
    }
    if (packet.pid == state.psi.dataPid) {
        if (start) {
            CompleteDataPes(state, out, controls);
            state.data.Reset();
        }
        state.data.Append(payload, length);
        return RouteResult::kRouted;
    }
    return RouteResult::kSkipped;
}

void FlushPendingPes(DemuxState& state, const DemuxOutputs& out, const DemuxControls& controls) {
    CompleteVideoPes(state, out, controls, false, false);
    CompleteAudioPes(state, out, controls);
    CompleteDataPes(state, out, controls);
    state.ResetFills();
}

}  // namespace velmaro
