// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// A small MPEG-2 transport stream muxer for the sample recordings: one program with H.264 video
// (stream type 0x1B, or H.265 as 0x24; PCR carrier), AAC in ADTS (0x0F) and optionally the camera's
// private telemetry text (0xA0). Packets of 188 bytes are appended to a byte buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

namespace velmaro {

struct TsLayout {
    int pmtPid = 0x0100;
    int videoPid = 0x1011;
    int audioPid = 0x1100;
    int dataPid = 0x1200;
    bool withData = true;  // list the 0xA0 stream in the PMT
    uint8_t videoStreamType = 0x1B;
};

class TsMuxer {
  public:
    static constexpr size_t kPacketSize = 188;

    TsMuxer(const TsLayout& layout, std::vector<uint8_t>* out) : layout_(layout), out_(out) {}

    // PAT and PMT, one packet each.
    void WriteTables();
    // One access unit as one PES (stream id 0xE0, PTS and DTS); the first packet carries the
    // PCR and, for key pictures, the random access indicator. Times in 90 kHz units.
    void WriteVideo(const std::vector<uint8_t>& accessUnit, bool key, int64_t pts, int64_t dts,
                    int64_t pcr);
    // One ADTS frame as one PES (stream id 0xC0, PTS only).
    void WriteAudio(const std::vector<uint8_t>& adtsFrame, int64_t pts);
    // One telemetry text as one PES (private_stream_1, 0xBD, PTS only).
    void WriteData(const std::vector<uint8_t>& text, int64_t pts);

  private:
    void WritePes(int pid, uint8_t streamId, const std::vector<uint8_t>& payload, int64_t pts,
                  int64_t dts, int64_t pcr, bool randomAccess);
    void WriteSection(int pid, std::vector<uint8_t> section);
    uint8_t NextCounter(int pid) { return counters_[pid]++ & 0x0F; }

    TsLayout layout_;
    std::vector<uint8_t>* out_;
    std::map<int, uint8_t> counters_;  // continuity counter per PID
    std::vector<uint8_t> pes_;         // reused PES assembly buffer
};

}  // namespace velmaro
