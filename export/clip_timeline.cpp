// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/clip_timeline.h"

#include <algorithm>
#include <optional>

#include "stream/ts_packet.h"

namespace velmaro {
namespace {

constexpr int64_t kClockModulo = int64_t{1} << 33;
constexpr int64_t kHalfClock = kClockModulo / 2;
constexpr int64_t kTicksPerSecond = 90000;
constexpr int64_t kDefaultFrameTicks = kTicksPerSecond / 30;
constexpr int kCounterModulo = 16;
// Enough pictures to pass the reordering of a group's head: its first PES need not be the
// first picture shown.
constexpr int kHeadPictures = 32;

// PES header fields, counted from the start code.
constexpr int kPesStreamId = 3;
constexpr int kPesMarkerByte = 6;
constexpr int kPesFlagsByte = 7;
constexpr int kPesPtsAt = 9;
constexpr int kPesDtsAt = 14;
constexpr int kTimeBytes = 5;
constexpr uint8_t kPaddingStream = 0xBE;
constexpr uint8_t kPrivateStream2 = 0xBF;
constexpr int kPtsOnly = 2;
constexpr int kPtsAndDts = 3;

// Adaptation field: length at byte 4, flags at 5, PCR from 6.
constexpr int kAdaptationLength = 4;
constexpr int kAdaptationFlags = 5;
constexpr int kPcrAt = 6;
constexpr uint8_t kPcrFlag = 0x10;
constexpr int kPcrFieldLength = 7;  // flags byte and the six PCR bytes

int64_t Wrap(int64_t ticks) {
    return ((ticks % kClockModulo) + kClockModulo) % kClockModulo;
}

// The value on the unwrapped line that is nearest `reference`.
int64_t Unwrap(int64_t wrapped, int64_t reference) {
    int64_t step = Wrap(wrapped - reference);
    if (step >= kHalfClock) {
        step -= kClockModulo;
    }
    return reference + step;
}

int64_t ReadTime(const uint8_t* p) {
    return (int64_t{p[0] & 0x0E} << 29) | (int64_t{p[1]} << 22) | (int64_t{p[2] & 0xFE} << 14) |
           (int64_t{p[3]} << 7) | (p[4] >> 1);
}

// Keeps the prefix bits of the first byte; the marker bits stay set.
void WriteTime(uint8_t* p, int64_t t) {
    p[0] = static_cast<uint8_t>((p[0] & 0xF1) | ((t >> 29) & 0x0E) | 0x01);
    p[1] = static_cast<uint8_t>(t >> 22);
    p[2] = static_cast<uint8_t>(((t >> 14) & 0xFE) | 0x01);
    p[3] = static_cast<uint8_t>(t >> 7);
    p[4] = static_cast<uint8_t>(((t << 1) & 0xFE) | 0x01);
}

// Where the PES that starts in this packet keeps its times; flags 0 when it keeps none or its
// header does not fit the packet.
struct PesTimes {
    uint8_t* at = nullptr;
    int flags = 0;
};

PesTimes FindPesTimes(uint8_t* packet, const TsPacket& ts) {
    if (!ts.payloadUnitStart || ts.payloadLength <= kPesFlagsByte) {
        return {};
    }
    uint8_t* p = packet + kTsPacketSize - ts.payloadLength;
    const bool startCode = p[0] == 0 && p[1] == 0 && p[2] == 1;
    const uint8_t id = p[kPesStreamId];
    if (!startCode || id == kPaddingStream || id == kPrivateStream2 ||
        (p[kPesMarkerByte] & 0xC0) != 0x80) {
        return {};
    }
    const int flags = p[kPesFlagsByte] >> 6;
    const int needed = flags == kPtsAndDts ? kPesDtsAt + kTimeBytes : kPesPtsAt + kTimeBytes;
    if ((flags != kPtsOnly && flags != kPtsAndDts) || ts.payloadLength < needed) {
        return {};
    }
    return {p, flags};
}

bool HasPcr(const uint8_t* packet, const TsPacket& ts) {
    return (ts.afc == kAfcAdaptationOnly || ts.afc == kAfcAdaptationAndPayload) &&
           packet[kAdaptationLength] >= kPcrFieldLength && (packet[kAdaptationFlags] & kPcrFlag);
}

void ShiftPcr(uint8_t* packet, int64_t shift) {
    uint8_t* p = packet + kPcrAt;
    const int64_t base = (int64_t{p[0]} << 25) | (int64_t{p[1]} << 17) | (int64_t{p[2]} << 9) |
                         (int64_t{p[3]} << 1) | (p[4] >> 7);
    const int64_t moved = Wrap(base + shift);
    p[0] = static_cast<uint8_t>(moved >> 25);
    p[1] = static_cast<uint8_t>(moved >> 17);
    p[2] = static_cast<uint8_t>(moved >> 9);
    p[3] = static_cast<uint8_t>(moved >> 1);
    p[4] = static_cast<uint8_t>((p[4] & 0x7F) | ((moved & 1) << 7));
}

// The earliest presentation time among the first pictures of `head` (whole packets only).
std::optional<int64_t> EarliestTime(const uint8_t* head, size_t size, int pid) {
    std::optional<int64_t> earliest;
    int pictures = 0;
    uint8_t packet[kTsPacketSize];
    for (size_t at = 0; at + kTsPacketSize <= size && pictures < kHeadPictures;) {
        const bool next = at + kTsPacketSize >= size || head[at + kTsPacketSize] == kTsSyncByte;
        if (head[at] != kTsSyncByte || !next) {
            ++at;
            continue;
        }
        std::copy_n(head + at, kTsPacketSize, packet);
        at += kTsPacketSize;
        const TsPacket ts = ParseTsPacket(packet);
        const PesTimes times = FindPesTimes(packet, ts);
        if (!ts.Routable() || (pid >= 0 && ts.pid != pid) || times.flags == 0) {
            continue;
        }
        const int64_t pts = ReadTime(times.at + kPesPtsAt);
        earliest = earliest ? std::min(*earliest, Unwrap(pts, *earliest)) : pts;
        ++pictures;
    }
    return earliest;
}

}  // namespace

ClipTimeline::ClipTimeline() : frameTicks_(kDefaultFrameTicks) {}

std::array<int8_t, ClipTimeline::kPidCount> ClipTimeline::FilledWith(int8_t value) {
    std::array<int8_t, kPidCount> a{};
    a.fill(value);
    return a;
}

void ClipTimeline::BeginFile(const uint8_t* head, size_t size, int videoPid) {
    laterFile_ = true;
    counterStep_ = FilledWith(kNoCounter);
    std::optional<int64_t> first = EarliestTime(head, size, videoPid);
    if (!first) {
        first = EarliestTime(head, size, -1);
    }
    if (first && anyPicture_) {
        shift_ = Wrap(latestPts_ + frameTicks_ - *first);
    }
}

void ClipTimeline::Pass(uint8_t* packet, int videoPid) {
    const TsPacket ts = ParseTsPacket(packet);
    if (!ts.Routable()) {
        return;
    }
    const PesTimes times = FindPesTimes(packet, ts);
    if (laterFile_) {
        ContinueCounter(packet, ts.pid);
        if (HasPcr(packet, ts)) {
            ShiftPcr(packet, shift_);
        }
        if (times.flags != 0) {
            WriteTime(times.at + kPesPtsAt, Wrap(ReadTime(times.at + kPesPtsAt) + shift_));
        }
        if (times.flags == kPtsAndDts) {
            WriteTime(times.at + kPesDtsAt, Wrap(ReadTime(times.at + kPesDtsAt) + shift_));
        }
    }
    lastCounter_[ts.pid] = static_cast<int8_t>(packet[3] & 0x0F);
    if (ts.pid == videoPid && times.flags != 0) {
        const int64_t pts = ReadTime(times.at + kPesPtsAt);
        NotePictureTimes(pts, times.flags == kPtsAndDts ? ReadTime(times.at + kPesDtsAt) : pts);
    }
}

// Counters of one file step on as they did there; only where they start is moved.
void ClipTimeline::ContinueCounter(uint8_t* packet, int pid) {
    const int counter = packet[3] & 0x0F;
    if (counterStep_[pid] == kNoCounter) {
        const bool payload = (packet[3] & 0x10) != 0;
        const int last = lastCounter_[pid];
        const int wanted =
            last == kNoCounter ? counter : (last + (payload ? 1 : 0)) % kCounterModulo;
        counterStep_[pid] =
            static_cast<int8_t>((wanted - counter + kCounterModulo) % kCounterModulo);
    }
    packet[3] =
        static_cast<uint8_t>((packet[3] & 0xF0) | ((counter + counterStep_[pid]) % kCounterModulo));
}

void ClipTimeline::NotePictureTimes(int64_t pts, int64_t dts) {
    if (!anyPicture_) {
        anyPicture_ = true;
        latestPts_ = pts;
        lastDts_ = dts;
        return;
    }
    const int64_t decoded = Unwrap(dts, lastDts_);
    const int64_t spacing = decoded - lastDts_;
    if (spacing > 0 && spacing < kTicksPerSecond) {
        frameTicks_ = spacing;
    }
    lastDts_ = decoded;
    latestPts_ = std::max(latestPts_, Unwrap(pts, latestPts_));
}

}  // namespace velmaro
