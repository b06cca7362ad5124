// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The program tables a transport stream clip opens its stretch with. A stretch cut from the
// middle of a recording starts after the recording's own PAT and PMT; a stream that sends them
// only once, or changed them on the way, would leave the clip without the map its pictures
// need. The tables in force where the stretch begins are found by looking back from there and
// are written afresh in front of it, with a valid CRC and continuity counters that the
// stretch's own table packets follow on from.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <vector>

#include "stream/psi.h"
#include "stream/ts_packet.h"

namespace velmaro {

using TsPacketBytes = std::array<uint8_t, kTsPacketSize>;

constexpr int kNoCounter = -1;

// A packet that begins one whole section of the tables.
struct TablePacket {
    TsPacketBytes bytes{};
    bool found = false;
};

// One table's PID as a stretch would continue it.
struct TableTrack {
    TablePacket table;         // the last usable section before the position
    int counter = kNoCounter;  // continuity counter of the PID's last packet before it
};

struct TablesInForce {
    TableTrack pat;
    TableTrack pmt;
};

enum class TableSearch { kDone, kReadError, kStopped };

// Looks back from `to` towards `from` in the file for the last current PAT with a program and
// CRC intact, and the last such map of its first program; what is not found there stays as it
// is in `tables`, which the caller fills with what it knows from before `from`. `buffer` is
// the caller's read buffer (at least two packets long). kReadError leaves errno set.
TableSearch FindTablesInForce(int fd, int64_t from, int64_t to, std::vector<uint8_t>& buffer,
                              const std::atomic<bool>& running, TablesInForce& tables);

// The PID state the tables give: the PAT's first program and the map's streams.
PsiState PsiOf(const TablesInForce& tables);

// The packet that opens a stretch with `track`'s section, its CRC worked out afresh. It takes
// the counter of the PID's last packet before the stretch, so that the stretch's own packets
// of the PID follow on from it. Where that does not follow on from `previousCounter` (the
// counter of the PID's packet before it in the clip, kNoCounter when there is none), its
// discontinuity indicator says so, unless the PID is `pcrPid` (the flag would then announce a
// break of the time base) or the section leaves no room for the flag.
TsPacketBytes FreshTablePacket(const TableTrack& track, int previousCounter, int pcrPid);

// The PCR PID a map names; kNoPid without a map.
int PcrPidOf(const TablePacket& pmt);

// The continuity counter of a packet.
inline int ContinuityCounter(const uint8_t* packet) {
    return packet[3] & 0x0F;
}

}  // namespace velmaro
