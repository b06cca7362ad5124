// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The sound ring driven by hand (deterministic pulls), and the SDL device behind it on the dummy
// driver, which plays at real pace without hardware, and on a driver that does not exist.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "media/sound_output.h"
#include "tests/test_support.h"

namespace velmaro {
namespace {

using std::chrono::milliseconds;

void FillChunk(int16_t* chunk, int16_t first) {
    for (int i = 0; i < kSoundChunkSamples; ++i) {
        chunk[i] = static_cast<int16_t>(first + i);
    }
}

std::vector<int16_t> Render(SoundRing& ring, size_t bytes, size_t pull) {
    std::vector<uint8_t> out(bytes, 0xAB);
    for (size_t at = 0; at < bytes; at += pull) {
        ring.Render(out.data() + at, std::min(pull, bytes - at));
    }
    std::vector<int16_t> samples(bytes / 2);
    std::memcpy(samples.data(), out.data(), samples.size() * 2);
    return samples;
}

TEST(SoundRing, PlaysCommittedChunksInOrderAcrossUnevenPullsAndHoldsTheLead) {
    SoundRing ring;
    ring.Reset(2);
    for (int16_t first : {100, 5000}) {
        int16_t* chunk = ring.AcquireChunk();
        ASSERT_NE(chunk, nullptr);
        FillChunk(chunk, first);
        ring.CommitChunk();
    }
    EXPECT_EQ(ring.AcquireChunk(), nullptr) << "two chunks ahead is the lead";
    EXPECT_FALSE(ring.WaitForRoom(milliseconds(0)));

    // Pulls of 1,000 bytes straddle the chunk boundary.
    const std::vector<int16_t> played = Render(ring, 2 * kSoundChunkBytes, 1000);
    for (int i = 0; i < kSoundChunkSamples; ++i) {
        ASSERT_EQ(played[i], 100 + i) << i;
        ASSERT_EQ(played[kSoundChunkSamples + i], 5000 + i) << i;
    }
    EXPECT_TRUE(ring.WaitForRoom(milliseconds(0))) << "a used-up chunk notifies the filler";
    EXPECT_NE(ring.AcquireChunk(), nullptr);
    const SoundCounters totals = ring.Counters();
    EXPECT_EQ(totals.chunksCommitted, 2u);
    EXPECT_EQ(totals.bytesPlayed, 2u * kSoundChunkBytes);
    EXPECT_EQ(totals.underrunBytes, 0u);
}

TEST(SoundRing, StarvedDevicePlaysSilenceAndCountsItOnlyOncePlaybackBegan) {
    SoundRing ring;
    ring.Reset(2);
    std::vector<int16_t> before = Render(ring, 512, 512);
    EXPECT_EQ(before, std::vector<int16_t>(256, 0));
    EXPECT_EQ(ring.Counters().underrunBytes, 0u) << "nothing was ever committed";

    FillChunk(ring.AcquireChunk(), 1);
    ring.CommitChunk();
    const std::vector<int16_t> played = Render(ring, kSoundChunkBytes + 200, 4096);
    EXPECT_EQ(played[kSoundChunkSamples - 1], kSoundChunkSamples);
    for (size_t i = kSoundChunkSamples; i < played.size(); ++i) {
        ASSERT_EQ(played[i], 0) << "silence, not the stale chunk played again";
    }
    EXPECT_EQ(ring.Counters().underrunBytes, 200u);
}

TEST(SoundRing, WrapsAroundTheSixteenChunksWithoutMixingLaps) {
    SoundRing ring;
    ring.Reset(kSoundChunkCount);
    int16_t next = 0;
    auto commit = [&] {
        int16_t* chunk = ring.AcquireChunk();
        ASSERT_NE(chunk, nullptr);
        std::fill(chunk, chunk + kSoundChunkSamples, next++);
        ring.CommitChunk();
    };
    for (int i = 0; i < kSoundChunkCount; ++i) {
        commit();
    }
    EXPECT_EQ(ring.AcquireChunk(), nullptr) << "a full ring never hands out a queued chunk";
    for (int16_t expected = 0; expected < 3 * kSoundChunkCount; ++expected) {
        const std::vector<int16_t> chunk = Render(ring, kSoundChunkBytes, kSoundChunkBytes);
        ASSERT_EQ(chunk.front(), expected);
        ASSERT_EQ(chunk.back(), expected);
        commit();
    }
}

// The player's own volume on known samples: silence stays silence, full leaves them as they are,
// half rounds to the nearest, and nothing ever grows (so nothing can clip).
TEST(SoundVolume, GainScalesKnownSamplesWithoutClipping) {
    const std::vector<int16_t> in = {0, 1, 3, -3, 1000, -1000, 32767, -32768};
    struct Case {
        const char* name;
        SoundVolume volume;
        std::vector<int16_t> out;
    };
    const Case cases[] = {
        {"full", SoundVolume::FromPercent(100), in},
        {"half", SoundVolume::FromPercent(50), {0, 1, 2, -2, 500, -500, 16384, -16384}},
        {"mute", SoundVolume::FromPercent(0), {0, 0, 0, 0, 0, 0, 0, 0}},
        {"above full is full", SoundVolume::FromGain(4.0F), in},
        {"below silent is silent", SoundVolume::FromPercent(-20), {0, 0, 0, 0, 0, 0, 0, 0}},
        {"no number is silent", SoundVolume::FromGain(std::nanf("")), {0, 0, 0, 0, 0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<int16_t> samples = in;
        ApplySoundVolume(samples, c.volume);
        EXPECT_EQ(samples, c.out);
    }
    EXPECT_EQ(SoundVolume::FromPercent(35).Percent(), 35);
    EXPECT_EQ(SoundVolume().Percent(), 100) << "full unless turned down";
}

// The device plays at the volume of the moment it pulls, even inside a chunk already written and
// with pulls that end inside a sample.
TEST(SoundRing, PlaysAtTheVolumeSetBeforeEachPull) {
    SoundRing ring;
    ring.Reset(2);
    std::fill_n(ring.AcquireChunk(), kSoundChunkSamples, int16_t{1000});
    ring.CommitChunk();
    ring.SetVolume(SoundVolume::FromPercent(25));
    const std::vector<int16_t> quiet = Render(ring, 1024, 333);
    EXPECT_EQ(quiet, std::vector<int16_t>(512, 250));
    ring.SetVolume(SoundVolume::FromPercent(0));
    EXPECT_EQ(Render(ring, 1024, 1024), std::vector<int16_t>(512, 0));
    ring.SetVolume(SoundVolume());
    EXPECT_EQ(Render(ring, 1024, 1024), std::vector<int16_t>(512, 1000));
    EXPECT_EQ(ring.Counters().bytesPlayed, 3072u) << "a silent volume still plays the chunk on";
}

class SoundDevice : public ::testing::Test {
  protected:
    void SetUp() override { setenv("SDL_AUDIODRIVER", "dummy", 1); }
    void TearDown() override { setenv("SDL_AUDIODRIVER", "dummy", 1); }

    // Fills every chunk the ring hands out with `value`; returns how many.
    static int FillAvailable(SoundOutput& sound, int16_t value) {
        int filled = 0;
        while (int16_t* chunk = sound.AcquireChunk()) {
            std::fill(chunk, chunk + kSoundChunkSamples, value);
            sound.CommitChunk();
            ++filled;
        }
        return filled;
    }
};

TEST_F(SoundDevice, DummyDevicePlaysCommittedChunksAndNotifiesTheFiller) {
    SoundOutput sound;
    std::mutex lock;
    std::vector<int16_t> tapped;
    sound.SetChunkTap([&](std::span<const int16_t> chunk) {
        std::lock_guard guard(lock);
        tapped.insert(tapped.end(), chunk.begin(), chunk.end());
    });
    ASSERT_TRUE(sound.OpenSound());
    ASSERT_TRUE(sound.HasSound());
    EXPECT_TRUE(sound.OpenSound()) << "an open device stays open";
    EXPECT_GE(sound.LeadChunks(), kSoundMinLeadChunks);

    int committed = FillAvailable(sound, 7);
    EXPECT_EQ(committed, sound.LeadChunks());
    // The device uses chunks up and the filler, woken each time, refills.
    while (committed < 8) {
        ASSERT_TRUE(test::WaitUntil([&] { return sound.WaitForChunk(milliseconds(100)); }));
        committed += FillAvailable(sound, 7);
    }
    ASSERT_TRUE(
        test::WaitUntil([&] { return sound.SoundTotals().bytesPlayed >= 4u * kSoundChunkBytes; }));
    sound.CloseSound();
    EXPECT_FALSE(sound.HasSound());
    EXPECT_EQ(sound.SoundTotals().chunksCommitted, static_cast<uint64_t>(committed));
    EXPECT_EQ(tapped, std::vector<int16_t>(static_cast<size_t>(committed) * kSoundChunkSamples, 7));
}

TEST_F(SoundDevice, WithoutAUsableDriverThereIsNoDeviceAndALaterOpenFindsOne) {
    setenv("SDL_AUDIODRIVER", "nonexistent", 1);
    SoundOutput sound;
    EXPECT_FALSE(sound.OpenSound());
    EXPECT_FALSE(sound.HasSound());
    sound.CloseSound();  // harmless without a device

    // The failed attempt left SDL's audio subsystem as it found it: the driver is chosen anew.
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    EXPECT_TRUE(sound.OpenSound());
    EXPECT_TRUE(sound.HasSound());
}

TEST_F(SoundDevice, OpenAndCloseFiftyTimesWhilePlaying) {
    SoundOutput sound;
    for (int i = 0; i < 50; ++i) {
        ASSERT_TRUE(sound.OpenSound()) << i;
        EXPECT_EQ(sound.SoundTotals().chunksCommitted, 0u) << "each open starts an empty ring";
        FillAvailable(sound, static_cast<int16_t>(i));
        sound.CloseSound();
        ASSERT_FALSE(sound.HasSound());
    }
}

}  // namespace
}  // namespace velmaro
