// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/mixer.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <memory>

namespace velmaro {
namespace {

constexpr char kMasterElement[] = "Master";

struct MixerCloser {
    void operator()(snd_mixer_t* mixer) const { snd_mixer_close(mixer); }
};
using MixerHandle = std::unique_ptr<snd_mixer_t, MixerCloser>;

struct SelemIdFree {
    void operator()(snd_mixer_selem_id_t* id) const { snd_mixer_selem_id_free(id); }
};

// A machine without a sound card has no mixer, which the caller learns from the result; ALSA
// would also print its configuration's complaints each time one is looked for.
void IgnoreAlsaMessage(const char*, int, const char*, int, const char*, ...) {}

class QuietAlsa {
  public:
    QuietAlsa() { snd_lib_error_set_handler(&IgnoreAlsaMessage); }
    ~QuietAlsa() { snd_lib_error_set_handler(nullptr); }
    QuietAlsa(const QuietAlsa&) = delete;
    QuietAlsa& operator=(const QuietAlsa&) = delete;
};

// The simple-element view of `device`, loaded; null when there is no such mixer.
MixerHandle OpenMixer(const std::string& device) {
    const QuietAlsa quiet;
    snd_mixer_t* raw = nullptr;
    if (snd_mixer_open(&raw, 0) < 0) {
        return nullptr;
    }
    MixerHandle mixer(raw);
    if (snd_mixer_attach(raw, device.c_str()) < 0 ||
        snd_mixer_selem_register(raw, nullptr, nullptr) < 0 || snd_mixer_load(raw) < 0) {
        return nullptr;
    }
    return mixer;
}

bool HasVolume(snd_mixer_elem_t* elem) {
    return snd_mixer_selem_is_active(elem) != 0 && snd_mixer_selem_has_playback_volume(elem) != 0;
}

struct Found {
    snd_mixer_elem_t* elem = nullptr;
    int position = -1;
};

// "Master" when it has a playback volume, else the first element that has one.
Found FindVolumeElement(snd_mixer_t* mixer) {
    Found first;
    int position = 0;
    for (snd_mixer_elem_t* e = snd_mixer_first_elem(mixer); e != nullptr;
         e = snd_mixer_elem_next(e), ++position) {
        if (!HasVolume(e)) {
            continue;
        }
        if (std::string(snd_mixer_selem_get_name(e)) == kMasterElement &&
            snd_mixer_selem_get_index(e) == 0) {
            return {e, position};
        }
        if (first.elem == nullptr) {
            first = {e, position};
        }
    }
    return first;
}

snd_mixer_elem_t* FindByName(snd_mixer_t* mixer, const std::string& name, unsigned index) {
    snd_mixer_selem_id_t* raw = nullptr;
    if (snd_mixer_selem_id_malloc(&raw) < 0) {
        return nullptr;
    }
    const std::unique_ptr<snd_mixer_selem_id_t, SelemIdFree> id(raw);
    snd_mixer_selem_id_set_name(raw, name.c_str());
    snd_mixer_selem_id_set_index(raw, index);
    snd_mixer_elem_t* elem = snd_mixer_find_selem(mixer, raw);
    return elem != nullptr && HasVolume(elem) ? elem : nullptr;
}

int PlaybackChannels(snd_mixer_elem_t* elem) {
    int count = 0;
    for (int c = 0; c <= SND_MIXER_SCHN_LAST; ++c) {
        count += snd_mixer_selem_has_playback_channel(
                     elem, static_cast<snd_mixer_selem_channel_id_t>(c)) != 0
                     ? 1
                     : 0;
    }
    return count;
}

struct Range {
    long min = 0;
    long max = 0;
    bool Usable() const { return max > min; }
};

Range VolumeRange(snd_mixer_elem_t* elem) {
    Range range;
    if (snd_mixer_selem_get_playback_volume_range(elem, &range.min, &range.max) < 0) {
        return {};
    }
    return range;
}

// Rounded to the nearest step, so that 0 and 65,535 land exactly on the element's ends.
long ToElement(uint32_t value, const Range& range) {
    const long double span = static_cast<long double>(range.max - range.min);
    return range.min + static_cast<long>(value * span / kMaxVolume + 0.5L);
}

int FromElement(long raw, const Range& range) {
    const long clamped = std::clamp(raw, range.min, range.max);
    const long double span = static_cast<long double>(range.max - range.min);
    return static_cast<int>((clamped - range.min) * static_cast<long double>(kMaxVolume) / span +
                            0.5L);
}

}  // namespace

Mixer::Mixer(const std::string& device) : device_(device) {
    const MixerHandle mixer = OpenMixer(device_);
    if (!mixer) {
        return;
    }
    const Found found = FindVolumeElement(mixer.get());
    if (found.elem == nullptr || !VolumeRange(found.elem).Usable()) {
        return;
    }
    channels_ = PlaybackChannels(found.elem);
    controlId_ = found.position;
    elementName_ = snd_mixer_selem_get_name(found.elem);
    elementIndex_ = snd_mixer_selem_get_index(found.elem);
    valid_ = true;
}

void Mixer::SetVolume(uint32_t value) {
    if (!valid_) {
        return;
    }
    const MixerHandle mixer = OpenMixer(device_);
    snd_mixer_elem_t* elem = mixer ? FindByName(mixer.get(), elementName_, elementIndex_) : nullptr;
    const Range range = elem != nullptr ? VolumeRange(elem) : Range();
    if (range.Usable()) {
        snd_mixer_selem_set_playback_volume_all(elem,
                                                ToElement(std::min(value, kMaxVolume), range));
    }
}

int Mixer::GetVolume() const {
    if (!valid_) {
        return 0;
    }
    const MixerHandle mixer = OpenMixer(device_);
    snd_mixer_elem_t* elem = mixer ? FindByName(mixer.get(), elementName_, elementIndex_) : nullptr;
    const Range range = elem != nullptr ? VolumeRange(elem) : Range();
    if (!range.Usable()) {
        return 0;
    }
    long loudest = range.min;
    bool read = false;
    for (int c = 0; c <= SND_MIXER_SCHN_LAST; ++c) {
        const auto channel = static_cast<snd_mixer_selem_channel_id_t>(c);
        long raw = 0;
        if (snd_mixer_selem_has_playback_channel(elem, channel) != 0 &&
            snd_mixer_selem_get_playback_volume(elem, channel, &raw) >= 0) {
            loudest = read ? std::max(loudest, raw) : raw;
            read = true;
        }
    }
    return read ? FromElement(loudest, range) : 0;
}

}  // namespace velmaro
