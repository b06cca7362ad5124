// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// PAT and PMT: which PIDs carry the video, audio and telemetry streams. Only the first program
// is used, and the lists are kept across files, as every file of a recording shares its PIDs.
// Once the PIDs are known, a table of a new version (current, with a valid CRC) replaces the one
// in use, as a stream may announce a stream only in a later version of its program map.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "stream/ts_packet.h"
#include "stream/video_codec.h"

namespace velmaro {

enum StreamType : uint8_t {
    kStreamTypeH264 = 0x1B,
    kStreamTypeHevc = 0x24,
    kStreamTypeAac = 0x0F,
    kStreamTypeTelemetry = 0xA0,
};

constexpr int kNoPid = -1;
constexpr int kNoVersion = -1;
constexpr uint8_t kTableIdPat = 0x00;
constexpr uint8_t kTableIdPmt = 0x02;

struct ProgramEntry {
    int programNumber;
    int pmtPid;
};

struct StreamEntry {
    uint8_t streamType;
    int pid;
};

struct PsiState {
    std::vector<ProgramEntry> programs;  // from the PAT
    std::vector<StreamEntry> streams;    // from the PMT of the first program
    bool pidsKnown = false;
    int videoPid = kNoPid;
    VideoCodec videoCodec = VideoCodec::kH264;  // of the stream at videoPid
    int audioPid = kNoPid;
    int dataPid = kNoPid;
    // Versions of the tables in use: a section of another version is a new table, one of the
    // same version a repetition. kNoVersion while none is known for the PMT PID in use.
    int patVersion = kNoVersion;
    int pmtVersion = kNoVersion;

    // The first program's PMT PID, or kNoPid before a PAT.
    int PmtPid() const { return programs.empty() ? kNoPid : programs.front().pmtPid; }
};

// Feeds one packet while the PIDs are unknown; may set `pidsKnown`.
void PsiStep(PsiState& state, const TsPacket& packet);

// Feeds one packet once the PIDs are known: a PAT or PMT section of a new version that is
// current and passes its CRC replaces the table in use (and, for the PMT, every PID it gives).
// A PAT that moves the first program's map to another PID keeps the streams in use until a map
// arrives there. True when a table was replaced.
bool PsiFollow(PsiState& state, const TsPacket& packet);

// Whether packets of `pid` carry the tables the state follows. Inline: asked of every packet.
inline bool IsTablePid(const PsiState& state, int pid) {
    return pid == kPatPid || (pid == state.PmtPid() && pid != kNoPid);
}

// CRC-32 of MPEG-2 PSI sections (polynomial 0x04C11DB7, initial value all ones, not
// reflected). Over a whole section, its CRC included, it gives 0.
uint32_t Crc32Mpeg2(const uint8_t* data, size_t size);

// One section that a packet begins and holds whole.
struct PsiSection {
    const uint8_t* bytes = nullptr;  // from table_id to the end of the CRC
    int size = 0;                    // 3 + section_length
    int tableIdExtension = 0;        // the program number of a PMT
    int version = 0;
    bool current = false;  // current_next_indicator
    bool crcValid = false;
};

// The section of `tableId` the packet begins; false when it begins none, or its section goes on
// beyond the packet.
bool FindWholeSection(const TsPacket& packet, uint8_t tableId, PsiSection& section);

}  // namespace velmaro
