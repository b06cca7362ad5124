// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// AudioDecoder: the audio worker of a playback channel. On its own thread it takes AAC frames from
// the channel's audio queue, decodes them, applies the amplification and streams the samples
// into the sound ring (SoundOutput, an SDL2 device here) one chunk per device notification.
// There is no timing link to the picture: the device's rate drives everything.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <span>
#include <vector>

#include "media/aac_decoder.h"
#include "media/sound_output.h"
#include "stream/worker_thread.h"

namespace velmaro {

struct ChannelState;

// Longest wait for the device to use up a chunk; a stop wakes it at once.
constexpr std::chrono::milliseconds kSoundNotificationWait{1000};
// Without a device (or while it has stopped pulling), how often the queue is emptied so that
// the reader never blocks on it.
constexpr uint32_t kNoSoundDiscardIntervalMs = 10;
constexpr std::chrono::milliseconds kNoSoundDiscardInterval{kNoSoundDiscardIntervalMs};
// How far sound may stray from the picture before it is cut or delayed to meet it again.
constexpr double kSoundSyncTolerance = 0.04;
// Beyond this the two clocks are unrelated (a damaged or odd stream): the sound plays as it
// comes rather than waiting or being thrown away for it.
constexpr double kSoundSyncLimit = 2.0;
// A picture older than this no longer says where the picture is (the video has stalled).
constexpr int64_t kPictureClockStaleMs = 1000;
// Room kept for one decoded frame: the most one ADTS frame can give after resampling
// (2,048 samples at 7,350 Hz become about 13,400 at 48 kHz).
constexpr size_t kDecodedBlockReserve = 16384;

// Scales in place, saturating at -32,768 and 32,767 instead of wrapping. A factor of 1, or one
// that is not a finite positive number, leaves the samples as they are.
void AmplifySamples(std::span<int16_t> samples, double factor);

// Totals of the current run, for the owner and tests. Written by the worker only.
struct AudioCounters {
    uint64_t framesTaken = 0;      // items taken from the audio queue
    uint64_t framesDiscarded = 0;  // of those, dropped unplayed (muted, held, no device, empty)
    uint64_t aacFrames = 0;        // ADTS frames decoded
    uint64_t decodeFailures = 0;   // queued frames cut short by data the decoder could not use
    uint64_t samplesDecoded = 0;   // samples out of the decoder
    uint64_t samplesWritten = 0;   // decoded samples placed in the ring
    uint64_t silenceSamples = 0;   // zero samples placed in the ring for want of sound
    uint64_t chunksWritten = 0;
    uint64_t samplesCut = 0;   // decoded samples dropped to meet the picture
    uint64_t syncSilence = 0;  // zero samples written to wait for the picture
};

// The time of the sound being heard, for observers: the file serial and time of the sample
// the device plays now, as far as the worker knows. Not valid while silence plays.
struct SoundClock {
    bool valid = false;
    uint32_t fileSerial = 0;
    double pts = 0.0;
};

class AudioDecoder : public WorkerThread, public SoundOutput {
  public:
    explicit AudioDecoder(ChannelState* channel);
    ~AudioDecoder() override;

    // Opens the AAC decoder (once per object) and the sound device, then starts the thread.
    // False without a decoder or thread; a missing device only means frames are discarded.
    bool Start() override;
    // Returns false when the thread did not end in time; the device then stays open until it
    // has (the destructor waits for that).
    bool Stop(uint32_t timeoutMs) override;
    int32_t Run() override;

    // Each total is loaded in turn, in the order declared; together they are no snapshot.
    AudioCounters Counters() const;
    SoundClock HeardClock() const;

  private:
    // What the sound about to be written should do to stay with the picture.
    enum class Meet { kPlay, kWait, kCut };
    struct Decision {
        Meet meet = Meet::kPlay;
        double seconds = 0.0;
    };

    bool Audible() const;
    bool PictureRuns() const;
    void FillChunk(int16_t* chunk);
    size_t MeetPicture(int16_t* target, size_t filled, size_t room);
    Decision Compare(uint32_t serial, double pts, size_t filled) const;
    bool PendingIsPast();
    void ForgetClearedPending();
    void PublishHeard();
    double BlockTimeNow() const;
    bool TakeFrameToPlay();
    void DecodePendingFrame();
    size_t WriteDecoded(int16_t* target, size_t room);
    void DiscardQueued();
    void ForgetPending();
    void ForgetPendingFrame();
    void ResetCounters();

    ChannelState* const channel_;  // owner; not owned
    AacDecoder decoder_;           // owner thread before Start, then the worker

    // Worker thread only. The pending frame lies in the queue's storage and stays valid until
    // the next Take; the decoded block keeps what did not fit into the last chunk.
    const uint8_t* pending_ = nullptr;
    size_t pendingLeft_ = 0;
    std::vector<int16_t> decoded_;  // capacity reserved once, reused for every frame
    size_t decodedRead_ = 0;
    uint64_t pendingClears_ = 0;  // the queue's clear count when the pending frame was taken
    uint32_t pendingSerial_ = 0;
    double pendingPts_ = 0.0;    // of the pending frame's next sound
    bool pendingTimed_ = false;  // the pending frame carried a time
    double blockPts_ = 0.0;      // of decoded_[0]
    bool blockMet_ = true;       // the decoded block was set against the picture
    double waited_ = 0.0;        // seconds of silence written for the current block
    uint32_t writtenSerial_ = 0;
    double writtenEnd_ = 0.0;  // time just after the last sample of sound written
    bool writtenValid_ = false;
    int64_t silenceAfter_ = 0;  // samples of silence written since that sample

    // Written by the worker (and reset by Start before the thread runs); read by anyone.
    std::atomic<uint64_t> framesTaken_{0};
    std::atomic<uint64_t> framesDiscarded_{0};
    std::atomic<uint64_t> aacFrames_{0};
    std::atomic<uint64_t> decodeFailures_{0};
    std::atomic<uint64_t> samplesDecoded_{0};
    std::atomic<uint64_t> samplesWritten_{0};
    std::atomic<uint64_t> silenceSamples_{0};
    std::atomic<uint64_t> chunksWritten_{0};
    std::atomic<uint64_t> samplesCut_{0};
    std::atomic<uint64_t> syncSilence_{0};

    mutable std::mutex heardMutex_;
    SoundClock heardBase_;      // guarded by heardMutex_: the last sound written and committed
    uint64_t heardChunks_ = 0;  // guarded by heardMutex_: chunks committed with it
    int64_t heardSilence_ = 0;  // guarded by heardMutex_: silence written after it
};

}  // namespace velmaro
