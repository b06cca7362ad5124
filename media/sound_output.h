// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// SoundOutput: the looping sound buffer of the audio worker, backed here by an SDL2 audio device.
// The worker fills 6,144-byte chunks of a 16-chunk ring; the device callback plays them in
// order and sets the worker's event each time it has used a chunk up, so the worker refills one
// chunk per notification and stays one to two chunks ahead of what is heard.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <utility>

#include "platform/auto_reset_event.h"

namespace velmaro {

// The one output format, whatever the stream carries: mono, 48 kHz, signed 16-bit.
constexpr int kSoundSampleRate = 48000;
constexpr int kSoundChannels = 1;
constexpr int kSoundBytesPerSample = 2;
constexpr int32_t kSoundChunkBytes = 6144;  // 3,072 samples, 64 ms
constexpr int32_t kSoundChunkSamples = kSoundChunkBytes / kSoundBytesPerSample;
constexpr int32_t kSoundChunkCount = 16;
constexpr int32_t kSoundRingBytes = kSoundChunkBytes * kSoundChunkCount;  // 1.024 s
// Chunks written ahead of the one being played: enough to ride out one refill, and no more, so
// the sound lags the reader by about as little as the picture does.
constexpr int32_t kSoundMinLeadChunks = 2;
constexpr uint16_t kSoundDeviceSamples = 1024;  // samples per device callback, 21 ms

// The player's own loudness, as Linux players keep it: a gain applied to what it plays, so the
// desktop's volume stays the desktop's. Limited to 0 (silent) .. 1 (as decoded): a gain above
// one could clip, and louder is the amplification's job, applied where the sound is decoded.
class SoundVolume {
  public:
    static constexpr int kFullPercent = 100;
    constexpr SoundVolume() = default;
    static SoundVolume FromGain(float gain);
    static SoundVolume FromPercent(int percent);
    float Gain() const { return gain_; }
    int Percent() const;

  private:
    float gain_ = 1.0F;
};

// One sample at `gain` (0..1), rounded to the nearest; never louder than it was.
int16_t ScaleSample(int16_t sample, float gain);
void ApplySoundVolume(std::span<int16_t> samples, SoundVolume volume);

// Totals since the last Reset. Written by the thread named beside each; read by anyone.
struct SoundCounters {
    uint64_t chunksCommitted = 0;  // filler
    uint64_t bytesPlayed = 0;      // device: bytes taken from committed chunks
    uint64_t underrunBytes = 0;    // device: silence played after the first chunk for want of data
};

// A single-producer single-consumer ring of chunks. The filler writes only free chunks and hands
// them over whole; the device plays only handed-over chunks, so a slow filler is heard as
// silence, never as stale sound replayed from an old lap of the ring.
class SoundRing {
  public:
    SoundRing();
    SoundRing(const SoundRing&) = delete;
    SoundRing& operator=(const SoundRing&) = delete;

    // Empties the ring. Only while neither the filler nor the device is running.
    void Reset(int32_t leadChunks);
    int32_t LeadChunks() const { return lead_; }

    // Filler side. The next chunk to fill, or null while `lead` chunks are already waiting.
    int16_t* AcquireChunk();
    // The chunk AcquireChunk handed out, as the filler left it.
    std::span<const int16_t> FillingChunk() const;
    // Hands the acquired chunk to the device.
    void CommitChunk();
    // Waits until the device has used up a chunk or Wake is called; false on time-out.
    bool WaitForRoom(std::chrono::milliseconds timeout) { return chunkDone_.WaitFor(timeout); }
    void Wake() { chunkDone_.Set(); }

    // Device side: fills `out` with committed sound at the volume, silence where there is none.
    void Render(uint8_t* out, size_t length);
    // Any thread; heard from the device's next pull, not only from the next chunk written.
    void SetVolume(SoundVolume volume) { gain_.store(volume.Gain(), std::memory_order_relaxed); }
    SoundVolume Volume() const { return SoundVolume::FromGain(gain_.load()); }

    SoundCounters Counters() const;
    // Committed samples the device has not taken yet; any thread.
    int64_t QueuedSamples() const {
        return static_cast<int64_t>(chunksCommitted_.load()) * kSoundChunkSamples -
               static_cast<int64_t>(bytesPlayed_.load() / kSoundBytesPerSample);
    }

  private:
    size_t PlayFromChunk(uint8_t* out, size_t length, float gain);

    std::unique_ptr<int16_t[]> samples_;  // the whole ring, allocated once
    int32_t lead_ = kSoundMinLeadChunks;  // set by Reset while idle
    // Committed chunks not yet played to their end; the filler adds, the device subtracts.
    std::atomic<int32_t> queued_{0};
    int32_t writeChunk_ = 0;                    // filler only
    int32_t readChunk_ = 0;                     // device only
    size_t readOffset_ = 0;                     // device only: bytes of readChunk_ already played
    AutoResetEvent chunkDone_;                  // set by the device, waited on by the filler
    std::atomic<uint64_t> chunksCommitted_{0};  // filler
    std::atomic<uint64_t> bytesPlayed_{0};      // device
    std::atomic<uint64_t> underrunBytes_{0};    // device
    std::atomic<float> gain_{1.0F};             // the user-interface thread sets it
};

// Sees every chunk as it is committed, on the filler's thread: how tests follow the sample flow
// into the device without standing in for it.
using ChunkTap = std::function<void(std::span<const int16_t> chunk)>;

// One reference on SDL's audio subsystem (SDL counts them); empty when it could not start.
class SdlAudioSubsystem {
  public:
    SdlAudioSubsystem() = default;
    static SdlAudioSubsystem Acquire();
    SdlAudioSubsystem(SdlAudioSubsystem&& other) noexcept
        : held_(std::exchange(other.held_, false)) {}
    SdlAudioSubsystem& operator=(SdlAudioSubsystem&& other) noexcept;
    ~SdlAudioSubsystem() { Release(); }
    explicit operator bool() const { return held_; }

  private:
    void Release();
    bool held_ = false;
};

// An open SDL audio device; closing it waits for a running callback to return.
class SdlAudioDevice {
  public:
    SdlAudioDevice() = default;
    explicit SdlAudioDevice(uint32_t id) : id_(id) {}
    SdlAudioDevice(SdlAudioDevice&& other) noexcept : id_(std::exchange(other.id_, 0)) {}
    SdlAudioDevice& operator=(SdlAudioDevice&& other) noexcept;
    ~SdlAudioDevice() { Close(); }
    uint32_t id() const { return id_; }
    explicit operator bool() const { return id_ != 0; }

  private:
    void Close();
    uint32_t id_ = 0;
};

// The sound device and its ring. Open and close on the owner's thread while the filler is not
// running; fill from one worker thread in between.
class SoundOutput {
  public:
    SoundOutput();
    SoundOutput(const SoundOutput&) = delete;
    SoundOutput& operator=(const SoundOutput&) = delete;
    virtual ~SoundOutput();

    // Opens the default output device, paused until the first chunk arrives. True when it is
    // open (already or now); false when there is no usable device.
    bool OpenSound();
    void CloseSound();
    bool HasSound() const { return static_cast<bool>(device_); }

    int16_t* AcquireChunk() { return ring_.AcquireChunk(); }
    // Commits the acquired chunk and starts the device after the first.
    void CommitChunk();
    bool WaitForChunk(std::chrono::milliseconds timeout) { return ring_.WaitForRoom(timeout); }
    void WakeFiller() { ring_.Wake(); }

    // Set before the filler starts.
    void SetChunkTap(ChunkTap tap) { tap_ = std::move(tap); }
    SoundCounters SoundTotals() const { return ring_.Counters(); }
    // Any thread, open or not; kept across opening and closing the device.
    void SetSoundVolume(SoundVolume volume) { ring_.SetVolume(volume); }
    SoundVolume Volume() const { return ring_.Volume(); }
    int32_t LeadChunks() const { return ring_.LeadChunks(); }
    // Samples written that will be heard after the ones playing now: the ring's committed
    // chunks and the device's own buffer.
    int64_t SamplesAhead() const {
        return HasSound() ? ring_.QueuedSamples() + kSoundDeviceSamples : 0;
    }

  private:
    static void DeviceCallback(void* ring, uint8_t* stream, int length);

    // Declared in this order so that the device closes before the subsystem goes and both
    // before the ring its callback plays from.
    SoundRing ring_;
    ChunkTap tap_;
    SdlAudioSubsystem subsystem_;  // owner thread, while the filler is not running
    SdlAudioDevice device_;        // owner thread, while the filler is not running
    bool playing_ = false;         // filler; reset by the owner on open
};

}  // namespace velmaro
