// CAudioCtx: the audio worker of a playback channel. On its own thread it takes AAC frames from
// the channel's audio queue, decodes them, applies the amplification and streams the samples
// into the sound ring (CDSoundCtx, an SDL2 device here) one chunk per device notification.
// There is no timing link to the picture: the device's rate drives everything.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
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
};

class CAudioCtx : public CMyThread, public CDSoundCtx {
  public:
    explicit CAudioCtx(ChannelState* channel);
    ~CAudioCtx() override;

    // Opens the AAC decoder (once per object) and the sound device, then starts the thread.
    // False without a decoder or thread; a missing device only means frames are discarded.
    bool Start() override;
    // Returns false when the thread did not end in time; the device then stays open until it
    // has (the destructor waits for that).
    bool Stop(uint32_t timeoutMs) override;
    int32_t Run() override;

    // Each total is loaded in turn, in the order declared; together they are no snapshot.
    AudioCounters Counters() const;

  private:
    bool Audible() const;
    void FillChunk(int16_t* chunk);
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

    // Written by the worker (and reset by Start before the thread runs); read by anyone.
    std::atomic<uint64_t> framesTaken_{0};
    std::atomic<uint64_t> framesDiscarded_{0};
    std::atomic<uint64_t> aacFrames_{0};
    std::atomic<uint64_t> decodeFailures_{0};
    std::atomic<uint64_t> samplesDecoded_{0};
    std::atomic<uint64_t> samplesWritten_{0};
    std::atomic<uint64_t> silenceSamples_{0};
    std::atomic<uint64_t> chunksWritten_{0};
};

}  // namespace velmaro
