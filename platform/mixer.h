// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Mixer: the system's master playback volume as one value from 0 to 65,535. Backed here by the
// ALSA simple mixer of the default card: its "Master" element, else the first element with a
// playback volume, whose own range is mapped linearly onto 0..65,535. A Mixer is short-lived
// (one per slider set-up or move): the mixer is opened and closed around every operation, so
// nothing stays open in between.
#pragma once

#include <cstdint>
#include <string>

namespace velmaro {

inline constexpr char kDefaultMixerDevice[] = "default";
inline constexpr uint32_t kMaxVolume = 65535;

class Mixer {
  public:
    // Finds the volume element of `device` (an ALSA control name such as "default" or "hw:1").
    explicit Mixer(const std::string& device = kDefaultMixerDevice);
    virtual ~Mixer() = default;
    Mixer(const Mixer&) = delete;
    Mixer& operator=(const Mixer&) = delete;

    // True when the mixer opened and holds an element with a playback volume.
    bool IsValid() const { return valid_; }
    // Every channel of the element to `value` (above 65,535 counts as 65,535). Nothing when not
    // valid or when the mixer has gone; nothing is reported.
    void SetVolume(uint32_t value);
    // The loudest channel's volume; 0 when not valid or when it cannot be read.
    int GetVolume() const;

    int Channels() const { return channels_; }
    int ControlId() const { return controlId_; }
    const std::string& ElementName() const { return elementName_; }

  private:
    std::string device_;
    int channels_ = 0;    // playback channels of the element found (kept, not used further)
    int controlId_ = -1;  // the element's place among the mixer's simple elements; -1 until found
    bool valid_ = false;
    std::string elementName_;  // found again by name and index on each operation
    unsigned elementIndex_ = 0;
};

// The play control's volume slider runs from 0 (loudest) to 27 (silent) in steps of 2,427.
inline constexpr int kVolumeSliderMax = 27;
inline constexpr int kVolumeSliderStep = 2427;

// The slider position that shows `volume`: 27 − volume / 2,427, the volume first limited to
// 0..65,535 (so 65,535 gives 0 and no mixer, reading 0, gives 27).
constexpr int VolumeSliderPosition(int64_t volume) {
    const int64_t v = volume < 0 ? 0 : (volume > kMaxVolume ? kMaxVolume : volume);
    return kVolumeSliderMax - static_cast<int>(v / kVolumeSliderStep);
}

// The volume set for slider `position` (limited to 0..27): 65,529 − 2,427 × position.
constexpr uint32_t VolumeForSliderPosition(int position) {
    const int p = position < 0 ? 0 : (position > kVolumeSliderMax ? kVolumeSliderMax : position);
    return static_cast<uint32_t>(kVolumeSliderStep * (kVolumeSliderMax - p));
}

}  // namespace velmaro
