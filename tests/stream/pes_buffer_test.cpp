// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "stream/pes.h"

namespace velmaro {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Counting(int from, int count) {
    Bytes bytes(count);
    for (int i = 0; i < count; ++i) {
        bytes[i] = static_cast<uint8_t>(from + i);
    }
    return bytes;
}

Bytes Gathered(const PesBuffer& buffer) {
    return Bytes(buffer.Bytes(), buffer.Bytes() + buffer.Fill());
}

// A PES gathered in someone else's room stays there while it fits, and is taken into the
// buffer's own storage, whole, once it does not; the room is never written past.
TEST(PesBufferOutside, GathersInTheRoomUntilItOutgrowsIt) {
    constexpr int kRoom = 400;
    constexpr int kPacketPayload = 184;
    struct Case {
        const char* name;
        int packets;
        bool staysOutside;
    };
    const Case cases[] = {
        {"two packets fit", 2, true},
        {"the third passes the room", 3, false},
        {"far past the room and the first storage", 6000, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PesBuffer buffer(kPesBufferLimit);
        ASSERT_TRUE(buffer.Allocate());
        Bytes room(kRoom + 1, 0xEE);
        buffer.GatherAt(room.data(), kRoom);
        Bytes expected;
        for (int i = 0; i < c.packets; ++i) {
            const Bytes payload = Counting(i, kPacketPayload);
            buffer.Append(payload.data(), kPacketPayload);
            expected.insert(expected.end(), payload.begin(), payload.end());
        }
        EXPECT_EQ(buffer.Outside() != nullptr, c.staysOutside);
        EXPECT_EQ(buffer.Bytes() == room.data(), c.staysOutside);
        EXPECT_FALSE(buffer.Overflowed());
        EXPECT_EQ(Gathered(buffer), expected);
        EXPECT_EQ(room[kRoom], 0xEE) << "nothing written past the room";
    }
}

TEST(PesBufferOutside, ResetPrependAndMovingInsideLeaveTheRoom) {
    PesBuffer buffer;
    ASSERT_TRUE(buffer.Allocate());
    Bytes room(64);
    const Bytes head = Counting(1, 10);
    const Bytes tail = Counting(50, 10);

    buffer.GatherAt(room.data(), static_cast<int>(room.size()));
    buffer.Prepend(tail.data(), 10);
    buffer.Prepend(head.data(), 10);
    EXPECT_EQ(buffer.Outside(), nullptr) << "prepending gathers inside";
    Bytes both = head;
    both.insert(both.end(), tail.begin(), tail.end());
    EXPECT_EQ(Gathered(buffer), both);
    buffer.Reset();

    buffer.Reset();
    buffer.GatherAt(room.data(), static_cast<int>(room.size()));
    buffer.Append(head.data(), 10);
    ASSERT_TRUE(buffer.MoveInside());
    room.assign(room.size(), 0);
    EXPECT_EQ(Gathered(buffer), head) << "the bytes no longer depend on the room";

    buffer.GatherAt(room.data(), static_cast<int>(room.size()));
    buffer.Reset();
    EXPECT_EQ(buffer.Outside(), nullptr);
    EXPECT_EQ(buffer.Fill(), 0);

    PesBuffer unallocated;
    unallocated.GatherAt(room.data(), static_cast<int>(room.size()));
    EXPECT_EQ(unallocated.Outside(), nullptr) << "only a buffer that can take the PES back";
}

}  // namespace
}  // namespace velmaro
