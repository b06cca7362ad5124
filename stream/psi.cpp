#include "stream/psi.h"

namespace velmaro {
namespace {

constexpr uint8_t kTableIdPat = 0x00;
constexpr uint8_t kTableIdPmt = 0x02;
constexpr int kCrcSize = 4;
constexpr int kSectionHeaderSize = 3;  // table_id and section_length

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

int Pid13(const uint8_t* p) { return ((p[0] & 0x1F) << 8) | p[1]; }

void ReadPat(PsiState& state, const Section& s) {
    constexpr int kFirstEntry = 8;
    constexpr int kEntrySize = 4;
    const int end = kSectionHeaderSize + s.length - kCrcSize;
    for (int at = kFirstEntry; at + kEntrySize <= end && at + kEntrySize <= s.available;
         at += kEntrySize) {
        const int number = (s.bytes[at] << 8) | s.bytes[at + 1];
        if (number != 0) {  // program 0 points at the network PID
            state.programs.push_back({number, Pid13(s.bytes + at + 2)});
        }
    }
}

void ReadPmt(PsiState& state, const Section& s) {
    constexpr int kProgramInfoLength = 10;
    constexpr int kFirstEntry = 12;
    constexpr int kEntrySize = 5;
    if (s.available < kFirstEntry) {
        return;
    }
    const int programInfo = ((s.bytes[kProgramInfoLength] & 0x0F) << 8) |
                            s.bytes[kProgramInfoLength + 1];
    for (int at = kFirstEntry + programInfo;
         at <= s.length - 2 && at + kEntrySize <= s.available;) {
        const uint8_t* e = s.bytes + at;
        state.streams.push_back({e[0], Pid13(e + 1)});
        at += kEntrySize + (((e[3] & 0x0F) << 8) | e[4]);
    }
}

}  // namespace

void PsiStep(PsiState& state, const TsPacket& packet) {
    Section section;
    if (packet.pid == kPatPid && state.programs.empty() &&
        FindSection(packet, kTableIdPat, section)) {
        ReadPat(state, section);
    }
    if (state.streams.empty() && !state.programs.empty() &&
        packet.pid == state.programs.front().pmtPid &&
        FindSection(packet, kTableIdPmt, section)) {
        ReadPmt(state, section);
    }
    if (state.streams.empty()) {
        return;
    }
    for (const StreamEntry& e : state.streams) {  // a later entry of the same type wins
        switch (e.streamType) {
            case kStreamTypeH264:
                state.videoPid = e.pid;
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
    state.pidsKnown = true;
}

}  // namespace velmaro
