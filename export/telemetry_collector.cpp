// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/telemetry_collector.h"

#include <algorithm>

#include "stream/pes.h"
#include "stream/telemetry_handover.h"
#include "stream/ts_packet.h"

namespace velmaro {
namespace {

// Room for the PES header in front of the longest text the player would keep.
constexpr size_t kMaxGathered = TelemetryHandOver::kMaxText + 512;

}  // namespace

void TelemetryCollector::Feed(const uint8_t* bytes, int64_t pos) {
    const TsPacket packet = ParseTsPacket(bytes);
    if (!packet.Routable()) {
        return;
    }
    if (!psi_.pidsKnown) {
        PsiStep(psi_, packet);
        return;
    }
    if (IsTablePid(psi_, packet.pid)) {
        PsiFollow(psi_, packet);
        return;
    }
    const uint8_t* payload = packet.Payload();
    const int length = packet.payloadLength;
    if (packet.pid == psi_.videoPid && packet.payloadUnitStart) {
        PesHeader header;
        if (ParsePesHeader(payload, length, header) && header.HasTime()) {
            videoStarts_.push_back({pos, header.pts});
            lastVideoPts_ = header.pts;
            lastVideoKnown_ = true;
        }
    } else if (packet.pid == psi_.dataPid) {
        if (packet.payloadUnitStart) {
            CompleteText();
            gathering_.clear();
            gatheringPos_ = pos;
            gatheringActive_ = true;
        }
        if (gatheringActive_) {
            const size_t room = kMaxGathered - gathering_.size();
            const size_t take = std::min(room, static_cast<size_t>(length));
            gathering_.insert(gathering_.end(), payload, payload + take);
        }
    }
}

void TelemetryCollector::Finish() {
    CompleteText();
}

// A PES without the start prefix, or without text after its header, is dropped as the player
// drops it.
void TelemetryCollector::CompleteText() {
    if (!gatheringActive_) {
        return;
    }
    gatheringActive_ = false;
    PesHeader header;
    const int size = static_cast<int>(gathering_.size());
    if (!ParsePesHeader(gathering_.data(), size, header) || header.payloadOffset >= size) {
        return;
    }
    CollectedText text;
    const auto begin = gathering_.begin() + header.payloadOffset;
    const size_t available = gathering_.size() - static_cast<size_t>(header.payloadOffset);
    text.text.assign(
        begin, begin + static_cast<ptrdiff_t>(std::min(available, TelemetryHandOver::kMaxText)));
    text.pos = gatheringPos_;
    if (header.HasTime()) {
        text.pts = header.pts;
        text.timed = true;
    } else if (lastVideoKnown_) {
        text.pts = lastVideoPts_;
        text.timed = true;
    }
    texts_.push_back(std::move(text));
}

}  // namespace velmaro
