// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The fields of a 188-byte transport packet that routing needs.
#pragma once

#include <cstdint>

namespace velmaro {

constexpr int kTsPacketSize = 188;
constexpr uint8_t kTsSyncByte = 0x47;
constexpr int kTsHeaderSize = 4;
constexpr int kPatPid = 0x0000;

enum AdaptationFieldControl : int {
    kAfcReserved = 0,
    kAfcPayloadOnly = 1,
    kAfcAdaptationOnly = 2,
    kAfcAdaptationAndPayload = 3,
};

struct TsPacket {
    const uint8_t* bytes = nullptr;
    bool transportError = false;
    bool payloadUnitStart = false;  // PUSI
    int pid = 0;
    int afc = kAfcReserved;
    int payloadLength = 0;  // the payload is always the packet's last payloadLength bytes

    const uint8_t* Payload() const { return bytes + kTsPacketSize - payloadLength; }
    // Packets with the error indicator or the reserved AFC value carry nothing usable.
    bool Routable() const { return !transportError && afc != kAfcReserved; }
};

// `bytes` must hold kTsPacketSize bytes.
inline TsPacket ParseTsPacket(const uint8_t* bytes) {
    TsPacket p;
    p.bytes = bytes;
    p.transportError = (bytes[1] & 0x80) != 0;
    p.payloadUnitStart = (bytes[1] & 0x40) != 0;
    p.pid = ((bytes[1] & 0x1F) << 8) | bytes[2];
    p.afc = (bytes[3] >> 4) & 0x03;
    if (p.afc == kAfcPayloadOnly) {
        p.payloadLength = kTsPacketSize - kTsHeaderSize;
    } else if (p.afc == kAfcAdaptationAndPayload) {
        // An adaptation field longer than the packet leaves no payload rather than a negative one.
        const int length = kTsPacketSize - kTsHeaderSize - 1 - bytes[4];
        p.payloadLength = length > 0 ? length : 0;
    }
    return p;
}

}  // namespace velmaro
