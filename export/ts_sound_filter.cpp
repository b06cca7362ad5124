// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/ts_sound_filter.h"

#include <algorithm>
#include <cstring>

#include "stream/psi.h"
#include "stream/ts_packet.h"

namespace velmaro {
namespace {

constexpr int kCrcBytes = 4;
constexpr int kSectionHeader = 3;     // table_id and section_length
constexpr int kProgramInfoAt = 10;    // program_info_length, in a PMT section
constexpr int kFirstStreamBase = 12;  // where the stream loop starts, before the programme info
constexpr int kStreamEntry = 5;       // stream_type, PID and ES_info_length
constexpr uint8_t kStuffing = 0xFF;
constexpr uint8_t kAdaptationOnly = 0x20;
constexpr uint8_t kControlBits = 0x30;
constexpr uint8_t kPcrFlag = 0x10;
constexpr uint8_t kDiscontinuityIndicator = 0x80;
constexpr int kPcrBytes = 6;
constexpr int kAdaptationAt = kTsHeaderSize;  // adaptation_field_length

int Field12(const uint8_t* at) {
    return ((at[0] & 0x0F) << 8) | at[1];
}

}  // namespace

bool DropStreamFromMap(uint8_t* packet, int pid) {
    PsiSection section;
    if (!FindWholeSection(ParseTsPacket(packet), kTableIdPmt, section) || !section.crcValid) {
        return false;
    }
    // The section lies inside `packet`: rewritten where it stands.
    uint8_t* bytes = packet + (section.bytes - packet);
    const int end = section.size - kCrcBytes;
    int read = kFirstStreamBase + Field12(bytes + kProgramInfoAt);
    int write = read;
    while (read + kStreamEntry <= end) {
        const int entry = kStreamEntry + Field12(bytes + read + 3);
        if (read + entry > end) {
            return false;
        }
        if ((((bytes[read + 1] & 0x1F) << 8) | bytes[read + 2]) != pid) {
            std::memmove(bytes + write, bytes + read, static_cast<size_t>(entry));
            write += entry;
        }
        read += entry;
    }
    if (write == read) {
        return false;
    }
    const int length = write + kCrcBytes - kSectionHeader;
    bytes[1] = static_cast<uint8_t>((bytes[1] & 0xF0) | ((length >> 8) & 0x0F));
    bytes[2] = static_cast<uint8_t>(length & 0xFF);
    const uint32_t crc = Crc32Mpeg2(bytes, static_cast<size_t>(write));
    for (int shift = 24; shift >= 0; shift -= 8) {
        bytes[write++] = static_cast<uint8_t>(crc >> shift);
    }
    std::fill(bytes + write, packet + kTsPacketSize, kStuffing);
    return true;
}

bool KeepClockOnly(uint8_t* packet) {
    const TsPacket parsed = ParseTsPacket(packet);
    const bool adaptation =
        parsed.afc == kAfcAdaptationOnly || parsed.afc == kAfcAdaptationAndPayload;
    const int length = adaptation ? packet[kAdaptationAt] : 0;
    if (length < 1 + kPcrBytes || (packet[kAdaptationAt + 1] & kPcrFlag) == 0) {
        return false;
    }
    packet[3] = static_cast<uint8_t>((packet[3] & ~kControlBits) | kAdaptationOnly);
    packet[kAdaptationAt] = kTsPacketSize - kTsHeaderSize - 1;
    packet[kAdaptationAt + 1] &= kDiscontinuityIndicator | kPcrFlag;
    std::fill(packet + kAdaptationAt + 2 + kPcrBytes, packet + kTsPacketSize, kStuffing);
    return true;
}

size_t DropSoundPackets(uint8_t* data, size_t size, int pid) {
    size_t write = 0;
    for (size_t read = 0; read < size; read += kTsPacketSize) {
        const size_t length = std::min<size_t>(kTsPacketSize, size - read);
        uint8_t* packet = data + read;
        const bool sound =
            length == kTsPacketSize && packet[0] == kTsSyncByte && ParseTsPacket(packet).pid == pid;
        if (sound && !KeepClockOnly(packet)) {
            continue;
        }
        std::memmove(data + write, packet, length);
        write += length;
    }
    return write;
}

}  // namespace velmaro
