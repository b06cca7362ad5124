// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/sound_output.h"

#include <SDL2/SDL.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace velmaro {

static_assert(kSoundChunkSamples * kSoundBytesPerSample == kSoundChunkBytes);

namespace {
constexpr size_t kChunkBytes = kSoundChunkBytes;

// Copies `count` bytes from byte `from` of `samples` into `out`, each sample at `gain`. Works
// sample by sample so that a pull ending inside a sample still gets that sample's scaled bytes.
void CopyScaled(const int16_t* samples, size_t from, size_t count, float gain, uint8_t* out) {
    const size_t end = from + count;
    for (size_t at = from; at < end;) {
        const int16_t scaled = ScaleSample(samples[at / kSoundBytesPerSample], gain);
        uint8_t bytes[kSoundBytesPerSample];
        std::memcpy(bytes, &scaled, sizeof bytes);
        const size_t sampleEnd =
            std::min(end, (at / kSoundBytesPerSample + 1) * kSoundBytesPerSample);
        for (; at < sampleEnd; ++at) {
            *out++ = bytes[at % kSoundBytesPerSample];
        }
    }
}
}  // namespace

// --- volume --------------------------------------------------------------------------------

SoundVolume SoundVolume::FromGain(float gain) {
    SoundVolume volume;
    // Written as a comparison so that a NaN is silence rather than whatever clamp makes of it.
    volume.gain_ = gain > 0.0F ? std::min(gain, 1.0F) : 0.0F;
    return volume;
}

SoundVolume SoundVolume::FromPercent(int percent) {
    return FromGain(static_cast<float>(std::clamp(percent, 0, kFullPercent)) /
                    static_cast<float>(kFullPercent));
}

int SoundVolume::Percent() const {
    return static_cast<int>(std::lround(gain_ * static_cast<float>(kFullPercent)));
}

int16_t ScaleSample(int16_t sample, float gain) {
    // |sample × gain| ≤ |sample| for a gain of at most one, so the result always fits.
    return static_cast<int16_t>(std::lround(static_cast<float>(sample) * gain));
}

void ApplySoundVolume(std::span<int16_t> samples, SoundVolume volume) {
    const float gain = volume.Gain();
    if (gain >= 1.0F) {
        return;
    }
    for (int16_t& sample : samples) {
        sample = ScaleSample(sample, gain);
    }
}

// --- ring ----------------------------------------------------------------------------------

SoundRing::SoundRing()
    : samples_(std::make_unique<int16_t[]>(kSoundRingBytes / kSoundBytesPerSample)) {}

void SoundRing::Reset(int32_t leadChunks) {
    lead_ = std::clamp(leadChunks, kSoundMinLeadChunks, kSoundChunkCount);
    queued_.store(0);
    writeChunk_ = 0;
    readChunk_ = 0;
    readOffset_ = 0;
    chunkDone_.Reset();
    chunksCommitted_.store(0);
    bytesPlayed_.store(0);
    underrunBytes_.store(0);
}

int16_t* SoundRing::AcquireChunk() {
    if (queued_.load(std::memory_order_acquire) >= lead_) {
        return nullptr;
    }
    return samples_.get() + static_cast<size_t>(writeChunk_) * kSoundChunkSamples;
}

std::span<const int16_t> SoundRing::FillingChunk() const {
    return {samples_.get() + static_cast<size_t>(writeChunk_) * kSoundChunkSamples,
            static_cast<size_t>(kSoundChunkSamples)};
}

void SoundRing::CommitChunk() {
    if (queued_.load(std::memory_order_acquire) >= kSoundChunkCount) {
        return;  // nothing was acquired: never hand over a chunk the device may still be playing
    }
    writeChunk_ = (writeChunk_ + 1) % kSoundChunkCount;
    chunksCommitted_.fetch_add(1, std::memory_order_relaxed);
    queued_.fetch_add(1, std::memory_order_release);
}

void SoundRing::Render(uint8_t* out, size_t length) {
    const float gain = gain_.load(std::memory_order_relaxed);  // one gain for the whole pull
    size_t done = 0;
    while (done < length) {
        const size_t played = PlayFromChunk(out + done, length - done, gain);
        if (played == 0) {
            break;
        }
        done += played;
    }
    if (done < length) {
        std::memset(out + done, 0, length - done);  // silence is all zero in signed 16-bit
        if (chunksCommitted_.load(std::memory_order_relaxed) > 0) {
            underrunBytes_.fetch_add(length - done, std::memory_order_relaxed);
        }
    }
}

size_t SoundRing::PlayFromChunk(uint8_t* out, size_t length, float gain) {
    if (queued_.load(std::memory_order_acquire) == 0) {
        return 0;
    }
    const int16_t* chunk = samples_.get() + static_cast<size_t>(readChunk_) * kSoundChunkSamples;
    const size_t count = std::min(length, kChunkBytes - readOffset_);
    if (gain >= 1.0F) {
        std::memcpy(out, reinterpret_cast<const uint8_t*>(chunk) + readOffset_, count);
    } else {
        CopyScaled(chunk, readOffset_, count, gain, out);
    }
    readOffset_ += count;
    bytesPlayed_.fetch_add(count, std::memory_order_relaxed);
    if (readOffset_ == kChunkBytes) {
        readOffset_ = 0;
        readChunk_ = (readChunk_ + 1) % kSoundChunkCount;
        queued_.fetch_sub(1, std::memory_order_release);
        chunkDone_.Set();
    }
    return count;
}

SoundCounters SoundRing::Counters() const {
    return {chunksCommitted_.load(), bytesPlayed_.load(), underrunBytes_.load()};
}

// --- SDL objects ---------------------------------------------------------------------------

SdlAudioSubsystem SdlAudioSubsystem::Acquire() {
    SdlAudioSubsystem subsystem;
    // SDL's audio brings up its event loop, which would otherwise take SIGINT and SIGTERM for a
    // quit event nothing here reads: the player could then be neither interrupted nor ended.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    subsystem.held_ = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
    return subsystem;
}

SdlAudioSubsystem& SdlAudioSubsystem::operator=(SdlAudioSubsystem&& other) noexcept {
    if (this != &other) {
        Release();
        held_ = std::exchange(other.held_, false);
    }
    return *this;
}

void SdlAudioSubsystem::Release() {
    if (held_) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        held_ = false;
    }
}

SdlAudioDevice& SdlAudioDevice::operator=(SdlAudioDevice&& other) noexcept {
    if (this != &other) {
        Close();
        id_ = std::exchange(other.id_, 0);
    }
    return *this;
}

void SdlAudioDevice::Close() {
    if (id_ != 0) {
        SDL_CloseAudioDevice(id_);
        id_ = 0;
    }
}

// --- device --------------------------------------------------------------------------------

SoundOutput::SoundOutput() = default;

SoundOutput::~SoundOutput() {
    CloseSound();
}

bool SoundOutput::OpenSound() {
    if (device_) {
        return true;
    }
    SdlAudioSubsystem subsystem = SdlAudioSubsystem::Acquire();
    if (!subsystem) {
        return false;
    }
    SDL_AudioSpec wanted{};
    wanted.freq = kSoundSampleRate;
    wanted.format = AUDIO_S16SYS;
    wanted.channels = kSoundChannels;
    wanted.samples = kSoundDeviceSamples;
    wanted.callback = &SoundOutput::DeviceCallback;
    wanted.userdata = &ring_;
    SDL_AudioSpec obtained{};
    // No changes allowed: SDL converts to whatever the hardware wants, so the ring's format is
    // fixed. The device starts paused; the callback does not run until the first chunk.
    SdlAudioDevice device(SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, 0));
    if (!device) {
        return false;
    }
    // A device that asks for more per callback than one chunk needs that much more lead.
    const auto perCallback = static_cast<int32_t>(obtained.size);
    ring_.Reset((perCallback + kSoundChunkBytes - 1) / kSoundChunkBytes + 1);
    playing_ = false;
    subsystem_ = std::move(subsystem);
    device_ = std::move(device);
    return true;
}

void SoundOutput::CloseSound() {
    device_ = SdlAudioDevice();
    subsystem_ = SdlAudioSubsystem();
    playing_ = false;
}

void SoundOutput::CommitChunk() {
    if (tap_) {
        tap_(ring_.FillingChunk());
    }
    ring_.CommitChunk();
    if (!playing_ && device_) {
        SDL_PauseAudioDevice(device_.id(), 0);
        playing_ = true;
    }
}

void SoundOutput::DeviceCallback(void* ring, uint8_t* stream, int length) {
    static_cast<SoundRing*>(ring)->Render(stream, length > 0 ? static_cast<size_t>(length) : 0);
}

}  // namespace velmaro
