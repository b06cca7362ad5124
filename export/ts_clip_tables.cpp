// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/ts_clip_tables.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace velmaro {
namespace {

constexpr int kCrcBytes = 4;
constexpr int kCounterModulo = 16;
constexpr uint8_t kPayloadOnly = 0x10;
constexpr uint8_t kAdaptationAndPayload = 0x30;
constexpr uint8_t kPayloadUnitStart = 0x40;
constexpr uint8_t kDiscontinuityIndicator = 0x80;
constexpr uint8_t kStuffing = 0xFF;
// An adaptation field of its length byte and its flags byte only.
constexpr int kFlagsOnlyAdaptation = 2;
constexpr int kPcrPidAt = 8;       // in a PMT section
constexpr size_t kMaxTargets = 2;  // the PAT and one map

// What one look back is after: the last intact section of one table on one PID.
struct Target {
    int pid = kNoPid;
    uint8_t tableId = kTableIdPat;
    int programNumber = 0;  // of the map sought
    TableTrack found;
    bool sectionSeen = false;
    bool counterSeen = false;
    bool Done() const { return sectionSeen && counterSeen; }
};

const uint8_t* SectionStart(const TsPacket& packet) {
    const uint8_t* payload = packet.Payload();
    return payload + 1 + payload[0];
}

bool FirstProgram(const TablePacket& pat, ProgramEntry& program) {
    PsiState state;
    PsiStep(state, ParseTsPacket(pat.bytes.data()));
    if (state.programs.empty()) {
        return false;
    }
    program = state.programs.front();
    return true;
}

bool Usable(const TsPacket& packet, const Target& target) {
    PsiSection section;
    if (!FindWholeSection(packet, target.tableId, section) || !section.current ||
        !section.crcValid) {
        return false;
    }
    if (target.tableId == kTableIdPmt) {
        return section.tableIdExtension == target.programNumber;
    }
    PsiState state;  // a PAT must name a program to play
    PsiStep(state, packet);
    return !state.programs.empty();
}

// Packets in one read: a sync byte with another one a packet further on, or with the end of
// the read right after it. Only packets that start before `end` count. The last ones found
// are kept for the targets that have not seen theirs in a later read.
void ScanRead(const uint8_t* bytes, size_t size, int64_t base, int64_t end, Target* targets,
              size_t count) {
    std::array<const uint8_t*, kMaxTargets> section{};
    std::array<int, kMaxTargets> counter{kNoCounter, kNoCounter};
    count = std::min(count, kMaxTargets);
    for (size_t at = 0; at + kTsPacketSize <= size && base + static_cast<int64_t>(at) < end;) {
        const bool next = at + kTsPacketSize >= size || bytes[at + kTsPacketSize] == kTsSyncByte;
        if (bytes[at] != kTsSyncByte || !next) {
            ++at;
            continue;
        }
        const TsPacket packet = ParseTsPacket(bytes + at);
        for (size_t t = 0; t < count && !packet.transportError; ++t) {
            if (packet.pid != targets[t].pid) {
                continue;
            }
            counter[t] = ContinuityCounter(bytes + at);
            if (packet.Routable() && Usable(packet, targets[t])) {
                section[t] = bytes + at;
            }
        }
        at += kTsPacketSize;
    }
    for (size_t t = 0; t < count; ++t) {
        Target& target = targets[t];
        if (!target.sectionSeen && section[t] != nullptr) {
            std::memcpy(target.found.table.bytes.data(), section[t], kTsPacketSize);
            target.found.table.found = target.sectionSeen = true;
        }
        if (!target.counterSeen && counter[t] != kNoCounter) {
            target.found.counter = counter[t];
            target.counterSeen = true;
        }
    }
}

// Reads back from `to` to `from`, a buffer's worth at a time, until every target is done.
TableSearch LookBack(int fd, int64_t from, int64_t to, std::vector<uint8_t>& buffer,
                     const std::atomic<bool>& running, Target* targets, size_t count) {
    const int64_t step = static_cast<int64_t>(buffer.size()) - kTsPacketSize;
    auto done = [&] {
        return std::all_of(targets, targets + count, [](const Target& t) { return t.Done(); });
    };
    for (int64_t end = to; end > from && !done();) {
        if (!running.load(std::memory_order_relaxed)) {
            return TableSearch::kStopped;
        }
        const int64_t begin = std::max(from, end - step);
        // A packet further, so that the last one starting before `end` is whole and checked.
        const auto want = static_cast<size_t>(end - begin + kTsPacketSize);
        ssize_t n;
        do {
            n = ::pread(fd, buffer.data(), want, begin);
        } while (n < 0 && errno == EINTR);
        if (n < 0) {
            return TableSearch::kReadError;
        }
        ScanRead(buffer.data(), static_cast<size_t>(n), begin, end, targets, count);
        end = begin;
    }
    return TableSearch::kDone;
}

void Take(const Target& target, TableTrack& track) {
    if (target.sectionSeen) {
        track.table = target.found.table;
    }
    if (target.counterSeen) {
        track.counter = target.found.counter;
    }
}

}  // namespace

TableSearch FindTablesInForce(int fd, int64_t from, int64_t to, std::vector<uint8_t>& buffer,
                              const std::atomic<bool>& running, TablesInForce& tables) {
    ProgramEntry program{};
    if (buffer.size() < 2 * kTsPacketSize || !FirstProgram(tables.pat.table, program)) {
        return TableSearch::kDone;  // nothing to follow on from
    }
    Target targets[kMaxTargets];
    targets[0].pid = kPatPid;
    targets[0].tableId = kTableIdPat;
    targets[1].pid = program.pmtPid;
    targets[1].tableId = kTableIdPmt;
    targets[1].programNumber = program.programNumber;
    TableSearch end = LookBack(fd, from, to, buffer, running, targets, kMaxTargets);
    if (end != TableSearch::kDone) {
        return end;
    }
    ProgramEntry now = program;
    if (targets[0].sectionSeen && FirstProgram(targets[0].found.table, now) &&
        (now.pmtPid != program.pmtPid || now.programNumber != program.programNumber)) {
        // The program moved on the way: its map is looked for where it went. Without one
        // there, the program table from before stays, to make a pair with the map it names.
        Target moved;
        moved.pid = now.pmtPid;
        moved.tableId = kTableIdPmt;
        moved.programNumber = now.programNumber;
        end = LookBack(fd, from, to, buffer, running, &moved, 1);
        if (end != TableSearch::kDone) {
            return end;
        }
        if (!moved.sectionSeen) {
            targets[0].sectionSeen = false;  // only its counter goes on
        } else {
            targets[1] = moved;
        }
    }
    Take(targets[0], tables.pat);
    Take(targets[1], tables.pmt);
    return TableSearch::kDone;
}

PsiState PsiOf(const TablesInForce& tables) {
    PsiState state;
    PsiStep(state, ParseTsPacket(tables.pat.table.bytes.data()));
    PsiStep(state, ParseTsPacket(tables.pmt.table.bytes.data()));
    return state;
}

TsPacketBytes FreshTablePacket(const TableTrack& track, int previousCounter, int pcrPid) {
    TsPacketBytes out;
    out.fill(kStuffing);
    const TsPacket packet = ParseTsPacket(track.table.bytes.data());
    PsiSection section;
    if (!FindWholeSection(packet, *SectionStart(packet), section)) {
        return out;  // never handed one: sources are checked when found
    }
    const int counter = track.counter != kNoCounter ? track.counter : 0;
    const bool follows =
        previousCounter == kNoCounter || (previousCounter + 1) % kCounterModulo == counter;
    const int room = kTsPacketSize - kTsHeaderSize - 1;  // after the pointer field
    const bool flag =
        !follows && packet.pid != pcrPid && section.size <= room - kFlagsOnlyAdaptation;
    out[0] = kTsSyncByte;
    out[1] = static_cast<uint8_t>(kPayloadUnitStart | ((packet.pid >> 8) & 0x1F));
    out[2] = static_cast<uint8_t>(packet.pid & 0xFF);
    out[3] = static_cast<uint8_t>((flag ? kAdaptationAndPayload : kPayloadOnly) | counter);
    size_t at = kTsHeaderSize;
    if (flag) {
        out[at++] = 1;  // adaptation_field_length: the flags byte
        out[at++] = kDiscontinuityIndicator;
    }
    out[at++] = 0;  // pointer_field
    const auto body = static_cast<size_t>(section.size - kCrcBytes);
    std::memcpy(out.data() + at, section.bytes, body);
    const uint32_t crc = Crc32Mpeg2(section.bytes, body);
    at += body;
    for (int shift = 24; shift >= 0; shift -= 8) {
        out[at++] = static_cast<uint8_t>(crc >> shift);
    }
    return out;
}

int PcrPidOf(const TablePacket& pmt) {
    const TsPacket packet = ParseTsPacket(pmt.bytes.data());
    PsiSection section;
    if (!pmt.found || !FindWholeSection(packet, kTableIdPmt, section)) {
        return kNoPid;
    }
    return ((section.bytes[kPcrPidAt] & 0x1F) << 8) | section.bytes[kPcrPidAt + 1];
}

}  // namespace velmaro
