// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/make_recording/ts_muxer.h"

#include <algorithm>

#include "stream/psi.h"

namespace velmaro {
namespace {

void PutTimestamp(std::vector<uint8_t>& out, int prefix, int64_t t) {
    out.push_back(static_cast<uint8_t>((prefix << 4) | ((t >> 29) & 0x0E) | 1));
    out.push_back(static_cast<uint8_t>(t >> 22));
    out.push_back(static_cast<uint8_t>(((t >> 14) & 0xFE) | 1));
    out.push_back(static_cast<uint8_t>(t >> 7));
    out.push_back(static_cast<uint8_t>(((t << 1) & 0xFE) | 1));
}

void PutPid(std::vector<uint8_t>& out, int pid) {
    out.push_back(static_cast<uint8_t>(0xE0 | ((pid >> 8) & 0x1F)));
    out.push_back(static_cast<uint8_t>(pid));
}

}  // namespace

void TsMuxer::WriteSection(int pid, std::vector<uint8_t> section) {
    // section_length: everything after its own field, the CRC included.
    const size_t length = section.size() - 3 + 4;
    section[1] = static_cast<uint8_t>(0xB0 | (length >> 8));
    section[2] = static_cast<uint8_t>(length);
    const uint32_t crc = Crc32Mpeg2(section.data(), section.size());
    for (int shift = 24; shift >= 0; shift -= 8) {
        section.push_back(static_cast<uint8_t>(crc >> shift));
    }
    const size_t at = out_->size();
    out_->resize(at + kPacketSize, 0xFF);
    uint8_t* p = out_->data() + at;
    p[0] = 0x47;
    p[1] = static_cast<uint8_t>(0x40 | (pid >> 8));  // payload_unit_start_indicator
    p[2] = static_cast<uint8_t>(pid);
    p[3] = static_cast<uint8_t>(0x10 | NextCounter(pid));
    p[4] = 0;  // pointer_field
    std::copy(section.begin(), section.end(), p + 5);
}

void TsMuxer::WriteTables() {
    std::vector<uint8_t> pat = {0x00, 0, 0, 0x00, 0x01, 0xC1, 0x00, 0x00, 0x00, 0x01};
    PutPid(pat, layout_.pmtPid);
    WriteSection(0, std::move(pat));

    std::vector<uint8_t> pmt = {0x02, 0, 0, 0x00, 0x01, 0xC1, 0x00, 0x00};
    PutPid(pmt, layout_.videoPid);  // PCR_PID
    pmt.insert(pmt.end(), {0xF0, 0x00});
    auto stream = [&](uint8_t type, int pid) {
        pmt.push_back(type);
        PutPid(pmt, pid);
        pmt.insert(pmt.end(), {0xF0, 0x00});
    };
    stream(layout_.videoStreamType, layout_.videoPid);
    stream(0x0F, layout_.audioPid);
    if (layout_.withData) {
        stream(0xA0, layout_.dataPid);
    }
    WriteSection(layout_.pmtPid, std::move(pmt));
}

void TsMuxer::WriteVideo(const std::vector<uint8_t>& accessUnit, bool key, int64_t pts, int64_t dts,
                         int64_t pcr) {
    WritePes(layout_.videoPid, 0xE0, accessUnit, pts, dts, pcr, key);
}

void TsMuxer::WriteAudio(const std::vector<uint8_t>& adtsFrame, int64_t pts) {
    WritePes(layout_.audioPid, 0xC0, adtsFrame, pts, -1, -1, false);
}

void TsMuxer::WriteData(const std::vector<uint8_t>& text, int64_t pts) {
    WritePes(layout_.dataPid, 0xBD, text, pts, -1, -1, false);
}

void TsMuxer::WritePes(int pid, uint8_t streamId, const std::vector<uint8_t>& payload, int64_t pts,
                       int64_t dts, int64_t pcr, bool randomAccess) {
    const bool withDts = dts >= 0;
    const size_t headerData = withDts ? 10 : 5;
    const size_t pesLength = 3 + headerData + payload.size();  // bytes after PES_packet_length
    pes_.assign({0x00, 0x00, 0x01, streamId});
    // Video PES longer than 65535 bytes use the "unbounded" length 0.
    const size_t lengthField = pesLength > 0xFFFF ? 0 : pesLength;
    pes_.push_back(static_cast<uint8_t>(lengthField >> 8));
    pes_.push_back(static_cast<uint8_t>(lengthField));
    pes_.push_back(0x84);  // marker '10', data_alignment_indicator
    pes_.push_back(withDts ? 0xC0 : 0x80);
    pes_.push_back(static_cast<uint8_t>(headerData));
    PutTimestamp(pes_, withDts ? 3 : 2, pts);
    if (withDts) {
        PutTimestamp(pes_, 1, dts);
    }
    pes_.insert(pes_.end(), payload.begin(), payload.end());

    size_t pos = 0;
    bool first = true;
    while (pos < pes_.size()) {
        const bool withPcr = first && pcr >= 0;
        const bool flags = withPcr || (first && randomAccess);
        // Adaptation field bytes: length byte + flags byte + 6 PCR bytes, then stuffing.
        size_t adaptation = flags ? (withPcr ? 8 : 2) : 0;
        const size_t payloadBytes = std::min(pes_.size() - pos, 184 - adaptation);
        adaptation = 184 - payloadBytes;

        const size_t at = out_->size();
        out_->resize(at + kPacketSize, 0xFF);
        uint8_t* p = out_->data() + at;
        p[0] = 0x47;
        p[1] = static_cast<uint8_t>((first ? 0x40 : 0x00) | (pid >> 8));
        p[2] = static_cast<uint8_t>(pid);
        p[3] = static_cast<uint8_t>((adaptation > 0 ? 0x30 : 0x10) | NextCounter(pid));
        if (adaptation > 0) {
            p[4] = static_cast<uint8_t>(adaptation - 1);
            if (adaptation > 1) {
                p[5] =
                    static_cast<uint8_t>((first && randomAccess ? 0x40 : 0) | (withPcr ? 0x10 : 0));
            }
            if (withPcr) {
                const int64_t base = pcr;  // 27 MHz extension 0
                p[6] = static_cast<uint8_t>(base >> 25);
                p[7] = static_cast<uint8_t>(base >> 17);
                p[8] = static_cast<uint8_t>(base >> 9);
                p[9] = static_cast<uint8_t>(base >> 1);
                p[10] = static_cast<uint8_t>(((base & 1) << 7) | 0x7E);
                p[11] = 0;
            }
        }
        std::copy_n(pes_.begin() + static_cast<ptrdiff_t>(pos), payloadBytes, p + 4 + adaptation);
        pos += payloadBytes;
        first = false;
    }
}

}  // namespace velmaro
