// PAT and PMT: which PIDs carry the video, audio and telemetry streams. Only the first program
// is used, and the lists are kept across files, as every file of a recording shares its PIDs.
#pragma once

#include <cstdint>
#include <vector>

#include "stream/ts_packet.h"

namespace velmaro {

enum StreamType : uint8_t {
    kStreamTypeH264 = 0x1B,
    kStreamTypeAac = 0x0F,
    kStreamTypeTelemetry = 0xA0,
};

constexpr int kNoPid = -1;

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
    int audioPid = kNoPid;
    int dataPid = kNoPid;
};

// Feeds one packet while the PIDs are unknown; may set `pidsKnown`.
void PsiStep(PsiState& state, const TsPacket& packet);

}  // namespace velmaro
