// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "stream/psi.h"

#include <utility>

namespace velmaro {
namespace {

constexpr int kCrcSize = 4;
constexpr int kSectionHeaderSize = 3;  // table_id and section_length
constexpr int kTableIdExtensionAt = 3;
constexpr int kVersionAt = 5;
// Up to last_section_number, the CRC after it: the smallest section with the long syntax.
constexpr int kSmallestLongSection = 8 + kCrcSize;
constexpr uint32_t kCrcPolynomial = 0x04C11DB7;
constexpr uint32_t kCrcTopBit = 0x80000000;

struct Section {
    const uint8_t* bytes = nullptr;
    int available = 0;  // bytes of the packet from the section start on
    int length = 0;     // section_length
};

// A section starts after the pointer field of a packet that begins one. Sections spanning
// packets are not followed: the tables of a camera file fit in one packet.
bool FindSection(const TsPacket& packet, uint8_t tableId, Section& section) {
    if (!packet.payloadUnitStart || packet.payloadLength < 1) {
        return false;
    }
    const uint8_t* payload = packet.Payload();
    const int start = 1 + payload[0];
    section.bytes = payload + start;
    section.available = packet.payloadLength - start;
    if (section.available < kSectionHeaderSize || section.bytes[0] != tableId) {
        return false;
    }
    section.length = ((section.bytes[1] & 0x0F) << 8) | section.bytes[2];
    return true;
}

int Pid13(const uint8_t* p) {
    return ((p[0] & 0x1F) << 8) | p[1];
}

int VersionOf(const Section& s) {
    return s.available > kVersionAt ? (s.bytes[kVersionAt] >> 1) & 0x1F : kNoVersion;
}

void ReadPat(std::vector<ProgramEntry>& programs, const Section& s) {
    constexpr int kFirstEntry = 8;
    constexpr int kEntrySize = 4;
    const int end = kSectionHeaderSize + s.length - kCrcSize;
    for (int at = kFirstEntry; at + kEntrySize <= end && at + kEntrySize <= s.available;
         at += kEntrySize) {
        const int number = (s.bytes[at] << 8) | s.bytes[at + 1];
        if (number != 0) {  // program 0 points at the network PID
            programs.push_back({number, Pid13(s.bytes + at + 2)});
        }
    }
}

void ReadPmt(std::vector<StreamEntry>& streams, const Section& s) {
    constexpr int kProgramInfoLength = 10;
    constexpr int kFirstEntry = 12;
    constexpr int kEntrySize = 5;
    if (s.available < kFirstEntry) {
        return;
    }
    const int programInfo =
        ((s.bytes[kProgramInfoLength] & 0x0F) << 8) | s.bytes[kProgramInfoLength + 1];
    for (int at = kFirstEntry + programInfo;
         at <= s.length - 2 && at + kEntrySize <= s.available;) {
        const uint8_t* e = s.bytes + at;
        streams.push_back({e[0], Pid13(e + 1)});
        at += kEntrySize + (((e[3] & 0x0F) << 8) | e[4]);
    }
}

// A later entry of the same type wins; a type the map does not list has no PID. An H.265
// stream is the video only when the map lists no H.264 one, so a map listing both plays as it
// always has.
void TakePids(PsiState& state) {
    state.videoPid = state.audioPid = state.dataPid = kNoPid;
    state.videoCodec = VideoCodec::kH264;
    int hevcPid = kNoPid;
    for (const StreamEntry& e : state.streams) {
        switch (e.streamType) {
            case kStreamTypeH264:
                state.videoPid = e.pid;
                break;
            case kStreamTypeHevc:
                hevcPid = e.pid;
                break;
            case kStreamTypeAac:
                state.audioPid = e.pid;
                break;
            case kStreamTypeTelemetry:
                state.dataPid = e.pid;
                break;
            default:
                break;
        }
    }
    if (state.videoPid == kNoPid && hevcPid != kNoPid) {
        state.videoPid = hevcPid;
        state.videoCodec = VideoCodec::kHevc;
    }
}

// A section that may replace the table in use: current, whole, intact and of another version.
bool NewVersion(const TsPacket& packet, uint8_t tableId, int versionInUse, PsiSection& section) {
    return FindWholeSection(packet, tableId, section) && section.current && section.crcValid &&
           section.version != versionInUse;
}

bool FollowPat(PsiState& state, const TsPacket& packet) {
    PsiSection section;
    if (!NewVersion(packet, kTableIdPat, state.patVersion, section)) {
        return false;
    }
    std::vector<ProgramEntry> programs;
    ReadPat(programs, {section.bytes, section.size, section.size - kSectionHeaderSize});
    if (programs.empty()) {
        return false;  // a table without a program would leave nothing to play
    }
    const ProgramEntry& first = programs.front();
    const bool moved = first.pmtPid != state.programs.front().pmtPid ||
                       first.programNumber != state.programs.front().programNumber;
    state.programs = std::move(programs);
    state.patVersion = section.version;
    if (moved) {
        state.pmtVersion = kNoVersion;  // any map on the new PID is news
    }
    return true;
}

bool FollowPmt(PsiState& state, const TsPacket& packet) {
    PsiSection section;
    if (!NewVersion(packet, kTableIdPmt, state.pmtVersion, section) ||
        section.tableIdExtension != state.programs.front().programNumber) {
        return false;
    }
    std::vector<StreamEntry> streams;
    ReadPmt(streams, {section.bytes, section.size, section.size - kSectionHeaderSize});
    state.streams = std::move(streams);
    state.pmtVersion = section.version;
    TakePids(state);
    return true;
}

}  // namespace

uint32_t Crc32Mpeg2(const uint8_t* data, size_t size) {
    uint32_t crc = 0xFFFFFFFF;
    for (size_t i = 0; i < size; ++i) {
        crc ^= static_cast<uint32_t>(data[i]) << 24;
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & kCrcTopBit) != 0 ? (crc << 1) ^ kCrcPolynomial : crc << 1;
        }
    }
    return crc;
}

bool FindWholeSection(const TsPacket& packet, uint8_t tableId, PsiSection& section) {
    Section s;
    if (!FindSection(packet, tableId, s)) {
        return false;
    }
    const int size = kSectionHeaderSize + s.length;
    if (size < kSmallestLongSection || size > s.available) {
        return false;
    }
    section.bytes = s.bytes;
    section.size = size;
    section.tableIdExtension =
        (s.bytes[kTableIdExtensionAt] << 8) | s.bytes[kTableIdExtensionAt + 1];
    section.version = VersionOf(s);
    section.current = (s.bytes[kVersionAt] & 0x01) != 0;
    section.crcValid = Crc32Mpeg2(s.bytes, static_cast<size_t>(size)) == 0;
    return true;
}

void PsiStep(PsiState& state, const TsPacket& packet) {
    Section section;
    if (packet.pid == kPatPid && state.programs.empty() &&
        FindSection(packet, kTableIdPat, section)) {
        ReadPat(state.programs, section);
        state.patVersion = VersionOf(section);
    }
    if (state.streams.empty() && !state.programs.empty() &&
        packet.pid == state.programs.front().pmtPid && FindSection(packet, kTableIdPmt, section)) {
        ReadPmt(state.streams, section);
        state.pmtVersion = VersionOf(section);
    }
    if (state.streams.empty()) {
        return;
    }
    TakePids(state);
    state.pidsKnown = true;
}

bool PsiFollow(PsiState& state, const TsPacket& packet) {
    if (!state.pidsKnown || state.programs.empty()) {
        return false;
    }
    if (packet.pid == kPatPid) {
        return FollowPat(state, packet);
    }
    return packet.pid == state.programs.front().pmtPid && FollowPmt(state, packet);
}

}  // namespace velmaro
