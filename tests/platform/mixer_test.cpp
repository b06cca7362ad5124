// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The master volume: the volume slider's arithmetic, a mixer that does not exist, and the real
// default mixer where this machine has one.
#include "platform/mixer.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace velmaro {
namespace {

TEST(VolumeSliderTest, PositionsAndVolumesMapAsThePanelShowsThem) {
    const struct {
        int position;
        uint32_t volume;
    } toVolume[] = {{0, 65529}, {1, 63102},  {10, 41259}, {14, 31551},   {26, 2427},
                    {27, 0},    {-1, 65529}, {28, 0},     {-1000, 65529}};
    for (const auto& c : toVolume) {
        EXPECT_EQ(VolumeForSliderPosition(c.position), c.volume) << "position " << c.position;
    }
    const struct {
        int64_t volume;
        int position;
    } toPosition[] = {{65535, 0}, {65529, 0}, {65528, 1}, {32768, 14}, {2427, 26},
                      {2426, 27}, {0, 27},    {-5, 27},   {70000, 0},  {INT64_MAX, 0}};
    for (const auto& c : toPosition) {
        EXPECT_EQ(VolumeSliderPosition(c.volume), c.position) << "volume " << c.volume;
    }
    for (int p = 0; p <= kVolumeSliderMax; ++p) {
        EXPECT_EQ(VolumeSliderPosition(VolumeForSliderPosition(p)), p) << "thumb stays put";
    }
}

TEST(MixerTest, AMissingMixerIsNotValidAndDoesNothing) {
    Mixer mixer("velmaro-no-such-mixer");
    EXPECT_FALSE(mixer.IsValid());
    EXPECT_EQ(mixer.ControlId(), -1);
    mixer.SetVolume(40000);
    EXPECT_EQ(mixer.GetVolume(), 0);
    EXPECT_EQ(VolumeSliderPosition(mixer.GetVolume()), kVolumeSliderMax) << "slider starts at 27";
}

// Changes the machine's volume for a moment and puts it back.
TEST(MixerTest, TheDefaultMixerTakesAndGivesBackVolumes) {
    const int before = Mixer().GetVolume();
    if (!Mixer().IsValid()) {
        GTEST_SKIP() << "no sound card with a playback volume here";
    }
    EXPECT_GE(Mixer().Channels(), 1);
    EXPECT_GE(Mixer().ControlId(), 0);
    Mixer().SetVolume(kMaxVolume);
    EXPECT_EQ(Mixer().GetVolume(), static_cast<int>(kMaxVolume)) << "the ends map exactly";
    Mixer().SetVolume(0);
    EXPECT_EQ(Mixer().GetVolume(), 0);
    for (int p : {3, 10, 20}) {
        Mixer().SetVolume(VolumeForSliderPosition(p));
        // An element with fewer steps than the slider may land on the neighbouring position.
        EXPECT_NEAR(VolumeSliderPosition(Mixer().GetVolume()), p, 1) << Mixer().ElementName();
    }
    Mixer().SetVolume(static_cast<uint32_t>(before));
}

}  // namespace
}  // namespace velmaro
