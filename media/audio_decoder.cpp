#include "media/audio_decoder.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "stream/channel_state.h"
#include "stream/frame_item.h"

namespace velmaro {
namespace {

constexpr double kSampleMin = std::numeric_limits<int16_t>::min();
constexpr double kSampleMax = std::numeric_limits<int16_t>::max();
constexpr size_t kChunkSamples = kSoundChunkSamples;

}  // namespace

void AmplifySamples(std::span<int16_t> samples, double factor) {
    if (!std::isfinite(factor) || factor <= 0.0 || factor == 1.0) {
        return;
    }
    for (int16_t& sample : samples) {
        const double scaled = std::clamp(sample * factor, kSampleMin, kSampleMax);
        sample = static_cast<int16_t>(std::lround(scaled));
    }
}

CAudioCtx::CAudioCtx(ChannelState* channel) : channel_(channel) {
    decoded_.reserve(kDecodedBlockReserve);
}

CAudioCtx::~CAudioCtx() {
    StopAndWait(kWorkerStopTimeoutMs);
    CloseSound();
}

bool CAudioCtx::Start() {
    // A thread left over from a stop that timed out still uses the decoder and the ring.
    if (ThreadAlive() || channel_ == nullptr || !decoder_.Open()) {
        return false;
    }
    decoder_.Flush();
    ForgetPending();
    ResetCounters();
    OpenSound();  // without a device the worker still runs and keeps the queue empty
    if (!CMyThread::Start()) {
        CloseSound();
        return false;
    }
    return true;
}

bool CAudioCtx::Stop(uint32_t timeoutMs) {
    running_.store(0);
    WakeFiller();  // ends a notification wait at once
    if (!CMyThread::Stop(timeoutMs)) {
        return false;
    }
    CloseSound();
    return true;
}

int32_t CAudioCtx::Run() {
    ForgetPending();
    bool stalled = false;
    while (running_.load() != 0) {
        if (!HasSound()) {
            DiscardQueued();
            SleepWhileRunning(kNoSoundDiscardIntervalMs);
            continue;
        }
        int16_t* chunk = AcquireChunk();
        if (chunk == nullptr) {
            // A device that stops pulling (a sound server hiccup) is treated like no device until
            // it pulls again, so the reader, which also feeds the picture, never waits on audio.
            stalled = !WaitForChunk(stalled ? kNoSoundDiscardInterval : kSoundNotificationWait);
            if (stalled) {
                DiscardQueued();
            }
            continue;
        }
        FillChunk(chunk);
        CommitChunk();
    }
    ForgetPending();  // the pending frame belongs to the queue, which may be reset next
    return 0;
}

bool CAudioCtx::Audible() const {
    return channel_->audioEnabled.load() && !channel_->videoHeld.load();
}

void CAudioCtx::FillChunk(int16_t* chunk) {
    size_t filled = 0;
    while (filled < kChunkSamples && running_.load() != 0) {
        if (decodedRead_ < decoded_.size()) {
            filled += WriteDecoded(chunk + filled, kChunkSamples - filled);
        } else if (pendingLeft_ > 0 || TakeFrameToPlay()) {
            DecodePendingFrame();
        } else {
            break;
        }
    }
    std::memset(chunk + filled, 0, (kChunkSamples - filled) * sizeof(int16_t));
    silenceSamples_.fetch_add(kChunkSamples - filled);
    chunksWritten_.fetch_add(1);
}

// What does not fit stays in the decoded block and opens the next chunk.
size_t CAudioCtx::WriteDecoded(int16_t* target, size_t room) {
    const size_t count = std::min(room, decoded_.size() - decodedRead_);
    std::memcpy(target, decoded_.data() + decodedRead_, count * sizeof(int16_t));
    decodedRead_ += count;
    samplesWritten_.fetch_add(count);
    return count;
}

// Muted or held, frames are still taken so the queue never backs up into the reader, which
// also feeds the picture; they are dropped unplayed.
bool CAudioCtx::TakeFrameToPlay() {
    FrameItem item;
    while (channel_->audioQueue.Take(item)) {
        framesTaken_.fetch_add(1);
        if (Audible() && item.kind == kKindAudio && item.data != nullptr && item.size > 0) {
            pending_ = item.data;
            pendingLeft_ = static_cast<size_t>(item.size);
            return true;
        }
        framesDiscarded_.fetch_add(1);
    }
    return false;
}

void CAudioCtx::DecodePendingFrame() {
    decoded_.clear();
    decodedRead_ = 0;
    const size_t used = decoder_.DecodeFrame(pending_, pendingLeft_, decoded_);
    if (used == 0) {
        // Nothing after an undecodable spot can be trusted to start a frame: drop the rest.
        decoded_.clear();
        ForgetPendingFrame();
        decodeFailures_.fetch_add(1);
        return;
    }
    pending_ += used;
    pendingLeft_ -= used;
    aacFrames_.fetch_add(1);
    // Read for every block, so a changed factor applies from the next frame on.
    AmplifySamples(decoded_, channel_->soundAmplification);
    samplesDecoded_.fetch_add(decoded_.size());
}

void CAudioCtx::DiscardQueued() {
    FrameItem item;
    while (channel_->audioQueue.Take(item)) {
        framesTaken_.fetch_add(1);
        framesDiscarded_.fetch_add(1);
    }
}

void CAudioCtx::ForgetPending() {
    ForgetPendingFrame();
    decoded_.clear();
    decodedRead_ = 0;
}

void CAudioCtx::ForgetPendingFrame() {
    pending_ = nullptr;
    pendingLeft_ = 0;
}

void CAudioCtx::ResetCounters() {
    for (auto* counter : {&framesTaken_, &framesDiscarded_, &aacFrames_, &decodeFailures_,
                          &samplesDecoded_, &samplesWritten_, &silenceSamples_, &chunksWritten_}) {
        counter->store(0);
    }
}

AudioCounters CAudioCtx::Counters() const {
    AudioCounters c;
    c.framesTaken = framesTaken_.load();
    c.framesDiscarded = framesDiscarded_.load();
    c.aacFrames = aacFrames_.load();
    c.decodeFailures = decodeFailures_.load();
    c.samplesDecoded = samplesDecoded_.load();
    c.samplesWritten = samplesWritten_.load();
    c.silenceSamples = silenceSamples_.load();
    c.chunksWritten = chunksWritten_.load();
    return c;
}

}  // namespace velmaro
