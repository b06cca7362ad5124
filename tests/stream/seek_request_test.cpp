// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "stream/seek_request.h"

#include <gtest/gtest.h>

#include <thread>

namespace velmaro {
namespace {

TEST(SeekMailbox, CarriesEveryKindAndPositionWhole) {
    const SeekRequest cases[] = {SeekRequest::To(0), SeekRequest::To(1),
                                 SeekRequest::To(int64_t{1} << 40),
                                 SeekRequest::PreviousRecording(), SeekRequest::NextRecording()};
    SeekMailbox box;
    for (const SeekRequest& r : cases) {
        box.Post(r);
        EXPECT_TRUE(box.Pending());
        EXPECT_EQ(box.Peek(), r);
        EXPECT_EQ(box.Take(), r);
        EXPECT_TRUE(box.Take().None()) << "taken once";
    }
}

TEST(SeekMailbox, GivingBackNeverHidesANewerRequest) {
    SeekMailbox box;
    box.Post(SeekRequest::To(100));
    const SeekRequest early = box.Take();
    box.Post(SeekRequest::NextRecording());
    box.GiveBack(early);
    EXPECT_EQ(box.Take(), SeekRequest::NextRecording());
    box.GiveBack(early);
    EXPECT_EQ(box.Take(), early) << "with nothing newer it waits again";
}

TEST(SeekMailbox, TheLastPostFromAnotherThreadIsAlwaysTaken) {
    constexpr int kPosts = 20000;
    SeekMailbox box;
    std::thread poster([&] {
        for (int i = 1; i <= kPosts; ++i) {
            box.Post(SeekRequest::To(i));
        }
    });
    int64_t last = 0;
    while (last != kPosts) {
        const SeekRequest r = box.Take();
        if (!r.None()) {
            ASSERT_GT(r.position, last) << "never an older request after a newer one";
            last = r.position;
        }
    }
    poster.join();
    EXPECT_FALSE(box.Pending());
}

}  // namespace
}  // namespace velmaro
