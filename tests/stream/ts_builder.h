// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Builds transport packets for parser tests: PAT, PMT and PES split over packets, with the
// byte layout a camera writes. Test-only; the real muxer lives in the sample-card generator.
#pragma once

#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "stream/psi.h"
#include "stream/ts_packet.h"

namespace velmaro::test {

using Bytes = std::vector<uint8_t>;

inline Bytes Packet(int pid, bool start, const uint8_t* payload, size_t size) {
    Bytes p(kTsPacketSize, 0xFF);
    p[0] = kTsSyncByte;
    p[1] = static_cast<uint8_t>((start ? 0x40 : 0) | ((pid >> 8) & 0x1F));
    p[2] = static_cast<uint8_t>(pid & 0xFF);
    const size_t room = kTsPacketSize - 4;
    if (size >= room) {
        p[3] = 0x10;
        std::memcpy(p.data() + 4, payload, room);
    } else {
        // Adaptation field stuffing puts the payload at the end of the packet.
        p[3] = 0x30;
        const size_t afLength = room - 1 - size;
        p[4] = static_cast<uint8_t>(afLength);
        if (afLength > 0) {
            p[5] = 0x00;
        }
        std::memcpy(p.data() + kTsPacketSize - size, payload, size);
    }
    return p;
}

// A section after a pointer field of 0, with a valid CRC.
inline Bytes Section(uint8_t tableId, const Bytes& body) {
    const size_t length = body.size() + 4;  // + CRC
    Bytes s;
    s.reserve(4 + length);
    s.push_back(0x00);  // pointer_field
    s.push_back(tableId);
    s.push_back(static_cast<uint8_t>(0xB0 | (length >> 8)));
    s.push_back(static_cast<uint8_t>(length & 0xFF));
    for (const uint8_t b : body) {
        s.push_back(b);
    }
    const uint32_t crc = Crc32Mpeg2(s.data() + 1, s.size() - 1);
    for (int shift = 24; shift >= 0; shift -= 8) {
        s.push_back(static_cast<uint8_t>(crc >> shift));
    }
    return s;
}

// The byte after table_id_extension: reserved bits, version_number, current_next_indicator.
inline uint8_t VersionByte(int version, bool current) {
    return static_cast<uint8_t>(0xC0 | ((version & 0x1F) << 1) | (current ? 1 : 0));
}

inline Bytes PatPacket(int pmtPid, int programNumber = 1, int version = 0, bool current = true) {
    Bytes body = {0x00, 0x01, VersionByte(version, current), 0x00, 0x00};
    body.insert(body.end(),
                {static_cast<uint8_t>(programNumber >> 8), static_cast<uint8_t>(programNumber),
                 static_cast<uint8_t>(0xE0 | (pmtPid >> 8)), static_cast<uint8_t>(pmtPid)});
    const Bytes s = Section(0x00, body);
    return Packet(0, true, s.data(), s.size());
}

// The map of program 1 (or `programNumber`).
inline Bytes PmtPacket(int pmtPid, const std::vector<std::pair<uint8_t, int>>& streams,
                       int version = 0, bool current = true, int programNumber = 1) {
    Bytes body = {static_cast<uint8_t>(programNumber >> 8), static_cast<uint8_t>(programNumber)};
    body.insert(body.end(), {VersionByte(version, current), 0x00, 0x00, 0xF0, 0x11, 0xF0, 0x00});
    for (auto [type, pid] : streams) {
        body.insert(body.end(), {type, static_cast<uint8_t>(0xE0 | (pid >> 8)),
                                 static_cast<uint8_t>(pid), 0xF0, 0x00});
    }
    const Bytes s = Section(0x02, body);
    return Packet(pmtPid, true, s.data(), s.size());
}

inline void PutTime(uint8_t* p, uint8_t marker, int64_t t) {
    p[0] = static_cast<uint8_t>(marker | ((t >> 29) & 0x0E) | 1);
    p[1] = static_cast<uint8_t>(t >> 22);
    p[2] = static_cast<uint8_t>(((t >> 14) & 0xFE) | 1);
    p[3] = static_cast<uint8_t>(t >> 7);
    p[4] = static_cast<uint8_t>(((t << 1) & 0xFE) | 1);
}

// A PES: header with PTS (and DTS when dts >= 0), times in 90 kHz ticks.
inline Bytes Pes(uint8_t streamId, const Bytes& payload, int64_t pts, int64_t dts = -1) {
    const bool hasDts = dts >= 0;
    Bytes h = {0x00,
               0x00,
               0x01,
               streamId,
               0x00,
               0x00,
               0x80,
               static_cast<uint8_t>(hasDts ? 0xC0 : 0x80),
               static_cast<uint8_t>(hasDts ? 10 : 5)};
    h.resize(hasDts ? 19 : 14);
    PutTime(h.data() + 9, hasDts ? 0x30 : 0x20, pts);
    if (hasDts) {
        PutTime(h.data() + 14, 0x10, dts);
    }
    h.insert(h.end(), payload.begin(), payload.end());
    return h;
}

// Splits a PES over packets of one PID; the first carries PUSI.
inline std::vector<Bytes> PesPackets(int pid, const Bytes& pes) {
    std::vector<Bytes> packets;
    for (size_t at = 0; at < pes.size(); at += kTsPacketSize - 4) {
        const size_t n = std::min<size_t>(pes.size() - at, kTsPacketSize - 4);
        packets.push_back(Packet(pid, at == 0, pes.data() + at, n));
    }
    return packets;
}

// An H.264 access unit as the camera writes it: AUD, then SPS and PPS before an IDR slice.
inline Bytes AccessUnit(bool key, size_t sliceBytes = 200, bool threeByteSlices = false) {
    Bytes au = {0, 0, 0, 1, 0x09, 0xF0};
    if (key) {
        au.insert(au.end(), {0, 0, 0, 1, 0x67, 0x42, 0xC0, 0x1F, 0xDA, 0x01});
        au.insert(au.end(), {0, 0, 0, 1, 0x68, 0xCE, 0x3C, 0x80});
    }
    if (threeByteSlices) {
        au.insert(au.end(), {0, 0, 1, 0x06, 0x05, 0x01, 0x80});  // SEI
        au.insert(au.end(), {0, 0, 1, static_cast<uint8_t>(key ? 0x65 : 0x41), 0x88});
    } else {
        au.insert(au.end(), {0, 0, 0, 1, static_cast<uint8_t>(key ? 0x65 : 0x41), 0x88});
    }
    for (size_t i = 0; i < sliceBytes; ++i) {
        au.push_back(static_cast<uint8_t>(0x10 + i % 0x60));
    }
    return au;
}

}  // namespace velmaro::test
