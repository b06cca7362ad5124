// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Checks of transport stream clips that the export tests share: the program tables written in
// front of a stretch, and the pictures the player's own reader gets from a clip. The packet and
// section fields are read here from the bytes, apart from the player's parsers; only the CRC
// routine is the player's (its check value is tested on its own).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "stream/frame_item.h"
#include "stream/psi.h"
#include "tests/export/export_support.h"
#include "tests/stream/reader_harness.h"

namespace velmaro::test {

inline constexpr int kCounterModulo = 16;

inline bool StartsUnit(const uint8_t* p) {
    return (p[1] & 0x40) != 0;
}
inline int Counter(const uint8_t* p) {
    return p[3] & 0x0F;
}
inline bool DiscontinuityFlagged(const uint8_t* p) {
    return ((p[3] >> 4) & 3) == 3 && p[4] > 0 && (p[5] & 0x80) != 0;
}

// Where a packet's payload starts; kPacket when it has none.
inline size_t PayloadStart(const uint8_t* p) {
    const int afc = (p[3] >> 4) & 3;
    if (afc == 0 || afc == 2) {
        return kPacket;
    }
    return afc == 3 ? std::min<size_t>(kPacket, 5 + p[4]) : 4;
}

// The whole section a packet begins (table_id to the end of its CRC); empty when none.
inline Bytes SectionOf(const uint8_t* p) {
    size_t at = PayloadStart(p);
    if (!StartsUnit(p) || at >= kPacket) {
        return {};
    }
    at += 1 + p[at];  // the pointer field
    if (at + 3 > kPacket) {
        return {};
    }
    const size_t size = 3 + (((p[at + 1] & 0x0F) << 8) | p[at + 2]);
    return at + size <= kPacket ? Bytes(p + at, p + at + size) : Bytes{};
}

// Packets as the export finds them: a sync byte with another one a packet on, or with the end
// of the bytes right after it. Calls `visit(offset)` for each one starting in [from, end).
template <typename Visit>
void ForEachPacket(const Bytes& bytes, int64_t from, int64_t end, Visit visit) {
    const auto size = static_cast<int64_t>(bytes.size());
    for (int64_t p = from; p < end && p + kPacket <= size;) {
        if (bytes[p] == 0x47 && (p + kPacket == size || bytes[p + kPacket] == 0x47)) {
            visit(p);
            p += kPacket;
        } else {
            ++p;
        }
    }
}

// One PID's packets in [from, end): the last one's continuity counter and the last section of
// the table it carries.
struct PidHistory {
    int counter = -1;
    Bytes section;
};

inline PidHistory HistoryOf(const Bytes& file, int64_t from, int64_t end, int pid,
                            uint8_t tableId) {
    PidHistory h;
    ForEachPacket(file, from, end, [&](int64_t p) {
        const uint8_t* packet = file.data() + p;
        if (Pid(packet) != pid || (packet[1] & 0x80) != 0) {
            return;
        }
        h.counter = Counter(packet);
        const Bytes section = SectionOf(packet);
        if (!section.empty() && section[0] == tableId) {
            h.section = section;
        }
    });
    return h;
}

// The first program's PMT PID of a PAT section.
inline int MapPidOf(const Bytes& pat) {
    for (size_t at = 8; at + 4 + 4 <= pat.size(); at += 4) {
        if (((pat[at] << 8) | pat[at + 1]) != 0) {
            return ((pat[at + 2] & 0x1F) << 8) | pat[at + 3];
        }
    }
    return -1;
}

// The PID of the first stream of `type` in a PMT section.
inline int StreamPidOf(const Bytes& pmt, uint8_t type) {
    const size_t infoLength = ((pmt[10] & 0x0F) << 8) | pmt[11];
    for (size_t at = 12 + infoLength; at + 5 + 4 <= pmt.size();) {
        if (pmt[at] == type) {
            return ((pmt[at + 1] & 0x1F) << 8) | pmt[at + 2];
        }
        at += 5 + (((pmt[at + 3] & 0x0F) << 8) | pmt[at + 4]);
    }
    return -1;
}

// `fresh` is one packet carrying the same section as `inForce` with an intact CRC, the counter
// of the PID's last packet before the stretch, and the discontinuity flag exactly when that
// counter does not follow on from the head's last packet of the PID.
inline void ExpectFreshTable(const uint8_t* fresh, int pid, const PidHistory& inForce,
                             const PidHistory& head) {
    SCOPED_TRACE("PID " + std::to_string(pid));
    EXPECT_EQ(Pid(fresh), pid);
    const Bytes section = SectionOf(fresh);
    ASSERT_FALSE(section.empty());
    ASSERT_EQ(section.size(), inForce.section.size());
    EXPECT_TRUE(std::equal(section.begin(), section.end() - 4, inForce.section.begin()));
    EXPECT_EQ(Crc32Mpeg2(section.data(), section.size()), 0u) << "the CRC is intact";
    EXPECT_EQ(Counter(fresh), inForce.counter);
    const bool follows = head.counter < 0 || (head.counter + 1) % kCounterModulo == inForce.counter;
    EXPECT_EQ(DiscontinuityFlagged(fresh), !follows);
    for (size_t at = PayloadStart(fresh) + 1 + section.size(); at < kPacket; ++at) {
        ASSERT_EQ(fresh[at], 0xFF) << "stuffing after the section";
    }
}

// `tables` (two packets) are the PAT and the PMT in force where the stretch begins
// (`threshold`) in the mark-in file `source`, whose head ends at `head`.
inline void ExpectTablesInForce(const Bytes& tables, const Bytes& source, int64_t head,
                                int64_t threshold) {
    ASSERT_EQ(tables.size(), size_t{2 * kPacket});
    const PidHistory pat = HistoryOf(source, 0, threshold, 0, 0x00);
    ASSERT_FALSE(pat.section.empty());
    ExpectFreshTable(tables.data(), 0, pat, HistoryOf(source, 0, head, 0, 0x00));
    const int mapPid = MapPidOf(pat.section);
    const PidHistory pmt = HistoryOf(source, 0, threshold, mapPid, 0x02);
    ASSERT_FALSE(pmt.section.empty());
    ExpectFreshTable(tables.data() + kPacket, mapPid, pmt,
                     HistoryOf(source, 0, head, mapPid, 0x02));
}

// Whether a gathered PES holds a picture, and of which kind: the first slice after its header.
inline int PictureKind(const Bytes& pes) {
    if (pes.size() < 9 || pes[0] != 0 || pes[1] != 0 || pes[2] != 1) {
        return kKindNone;
    }
    for (size_t i = 9 + pes[8]; i + 4 < pes.size(); ++i) {
        if (pes[i] == 0 && pes[i + 1] == 0 && pes[i + 2] == 1) {
            const int type = pes[i + 3] & 0x1F;
            if (type == 1 || type == 5) {
                return type == 5 ? kKindVideoKey : kKindVideoInter;
            }
        }
    }
    return kKindNone;
}

// The pictures a player shows of `bytes` (whole packets back to back): every PES of the video
// PID that begins in them and holds a slice, from the first key picture on.
inline size_t PicturesFromFirstKey(const Bytes& bytes, int videoPid) {
    size_t count = 0;
    bool keySeen = false;
    Bytes pes;
    auto finish = [&] {
        const int kind = PictureKind(pes);
        keySeen = keySeen || kind == kKindVideoKey;
        count += keySeen && kind != kKindNone ? 1 : 0;
    };
    for (size_t at = 0; at + kPacket <= bytes.size(); at += kPacket) {
        const uint8_t* p = bytes.data() + at;
        if (Pid(p) != videoPid || (p[1] & 0x80) != 0) {
            continue;
        }
        if (StartsUnit(p)) {
            finish();
            pes.clear();
        }
        pes.insert(pes.end(), p + PayloadStart(p), p + kPacket);
    }
    finish();
    return count;
}

// `bytes` (whole packets back to back) with what a clip across recordings rewrites blanked:
// continuity counters, PCR and PES times. Their values are checked on their own.
inline Bytes WithoutClocks(Bytes bytes) {
    for (size_t at = 0; at + kPacket <= bytes.size(); at += kPacket) {
        uint8_t* p = bytes.data() + at;
        p[3] &= 0xF0;
        if ((p[3] & 0x20) != 0 && p[4] >= 7 && (p[5] & 0x10) != 0) {
            std::fill_n(p + 6, 6, 0);
        }
        const size_t payload = PayloadStart(p);
        uint8_t* pes = p + payload;
        if (StartsUnit(p) && payload + 19 <= kPacket && pes[0] == 0 && pes[1] == 0 && pes[2] == 1) {
            std::fill_n(pes + 9, (pes[7] >> 6) == 3 ? 10 : (pes[7] >> 6) == 2 ? 5 : 0, 0);
        }
    }
    return bytes;
}

// What the player's reader delivers of a clip, played forward to its end.
inline std::vector<Delivered> PlayClip(const std::string& path) {
    ReaderHarness h;
    if (!h.Start(path) || !h.WaitUntilIdle()) {
        return {};
    }
    return h.VideoSince(0);
}

// The player's reader plays every picture the clip's stretch holds from its first key picture
// on; returns that count (0 only when the stretch holds no key picture).
inline size_t ExpectClipPlays(const std::string& clipPath, const Bytes& stretch, int videoPid) {
    const size_t want = PicturesFromFirstKey(stretch, videoPid);
    EXPECT_EQ(PlayClip(clipPath).size(), want) << clipPath;
    return want;
}

}  // namespace velmaro::test
