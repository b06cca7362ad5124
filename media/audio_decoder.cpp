// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/audio_decoder.h"

#include <algorithm>
#include <chrono>
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
constexpr double kSampleRate = kSoundSampleRate;
constexpr double kMsPerSecond = 1000.0;

int64_t SteadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

size_t SamplesIn(double seconds) {
    return static_cast<size_t>(std::ceil(seconds * kSampleRate));
}

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

AudioDecoder::AudioDecoder(ChannelState* channel) : channel_(channel) {
    decoded_.reserve(kDecodedBlockReserve);
}

AudioDecoder::~AudioDecoder() {
    StopAndWait(kWorkerStopTimeoutMs);
    CloseSound();
}

bool AudioDecoder::Start() {
    // A thread left over from a stop that timed out still uses the decoder and the ring.
    if (ThreadAlive() || channel_ == nullptr || !decoder_.Open()) {
        return false;
    }
    decoder_.Flush();
    ForgetPending();
    ResetCounters();
    OpenSound();  // without a device the worker still runs and keeps the queue empty
    if (!WorkerThread::Start()) {
        CloseSound();
        return false;
    }
    return true;
}

bool AudioDecoder::Stop(uint32_t timeoutMs) {
    running_.store(0);
    WakeFiller();  // ends a notification wait at once
    if (!WorkerThread::Stop(timeoutMs)) {
        return false;
    }
    CloseSound();
    return true;
}

int32_t AudioDecoder::Run() {
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
        PublishHeard();
        CommitChunk();
    }
    ForgetPending();  // the pending frame belongs to the queue, which may be reset next
    return 0;
}

bool AudioDecoder::Audible() const {
    return channel_->audioEnabled.load();
}

// The sound follows the picture only while the picture runs at normal speed; otherwise the
// sound still to come waits for it, and what the picture has passed is dropped.
bool AudioDecoder::PictureRuns() const {
    return !channel_->videoHeld.load() && channel_->paused.load() == 0 &&
           channel_->playMode.load() == kPlayNormal;
}

void AudioDecoder::FillChunk(int16_t* chunk) {
    ForgetClearedPending();
    size_t filled = 0;
    while (filled < kChunkSamples && running_.load() != 0) {
        if (!PictureRuns()) {
            if (PendingIsPast()) {
                continue;
            }
            break;
        }
        if (decodedRead_ < decoded_.size()) {
            if (!blockMet_) {
                filled += MeetPicture(chunk + filled, filled, kChunkSamples - filled);
                continue;
            }
            filled += WriteDecoded(chunk + filled, kChunkSamples - filled);
        } else if (pendingLeft_ > 0 || TakeFrameToPlay()) {
            DecodePendingFrame();
        } else {
            break;
        }
    }
    std::memset(chunk + filled, 0, (kChunkSamples - filled) * sizeof(int16_t));
    silenceSamples_.fetch_add(kChunkSamples - filled);
    silenceAfter_ += static_cast<int64_t>(kChunkSamples - filled);
    chunksWritten_.fetch_add(1);
}

// Where the sound at `pts` stands against the picture when it is heard: written `filled`
// samples into the chunk being filled, behind what the device has still to play.
AudioDecoder::Decision AudioDecoder::Compare(uint32_t serial, double pts, size_t filled) const {
    const ShownPicture shown = channel_->Shown();
    const int64_t now = SteadyMs();
    if (!shown.valid || !shown.forward || now - shown.shownAtMs > kPictureClockStaleMs) {
        return {};  // no picture to follow: the sound keeps its own pace
    }
    if (serial != shown.fileSerial) {
        // Another file: the sound of a file the picture has left goes; that of the next waits.
        return {serial < shown.fileSerial ? Meet::kCut : Meet::kWait, kSoundSyncLimit};
    }
    const double heardAt = static_cast<double>(SamplesAhead() + static_cast<int64_t>(filled));
    const double expected = shown.pts + static_cast<double>(now - shown.shownAtMs) / kMsPerSecond +
                            heardAt / kSampleRate;
    const double gap = pts - expected;
    if (std::fabs(gap) > kSoundSyncLimit) {
        return {};
    }
    if (gap > kSoundSyncTolerance) {
        return {Meet::kWait, gap};
    }
    if (gap < -kSoundSyncTolerance) {
        return {Meet::kCut, -gap};
    }
    return {};
}

// Sets a fresh decoded block against the picture: cuts its head when it comes too late, or
// writes silence before it when it comes too early. Returns the silence samples written.
size_t AudioDecoder::MeetPicture(int16_t* target, size_t filled, size_t room) {
    const double pts = BlockTimeNow();
    const Decision d = pendingTimed_ ? Compare(pendingSerial_, pts, filled) : Decision{};
    if (d.meet == Meet::kCut) {
        const size_t cut = std::min(decoded_.size() - decodedRead_, SamplesIn(d.seconds));
        decodedRead_ += cut;
        samplesCut_.fetch_add(cut);
        blockMet_ = decodedRead_ < decoded_.size();  // a block cut whole leaves the next to meet
        return 0;
    }
    if (d.meet == Meet::kWait && waited_ < kSoundSyncLimit) {
        const size_t silence = std::min(room, SamplesIn(d.seconds));
        std::memset(target, 0, silence * sizeof(int16_t));
        waited_ += static_cast<double>(silence) / kSampleRate;
        syncSilence_.fetch_add(silence);
        silenceAfter_ += static_cast<int64_t>(silence);
        return silence;
    }
    blockMet_ = true;
    return 0;
}

// While the picture stands or steps: drops the sound it has passed (so that the reader, which
// feeds the picture too, never waits on a full sound queue), and keeps the first sound still
// to come. True when something was dropped and there may be more to look at.
// The queue was cleared (a seek, another file, a change of direction): what is pending lies
// in storage the reader writes again, and belongs to the old place.
void AudioDecoder::ForgetClearedPending() {
    if (channel_->audioQueue.ClearCount() != pendingClears_) {
        pendingClears_ = channel_->audioQueue.ClearCount();
        ForgetPending();
    }
}

bool AudioDecoder::PendingIsPast() {
    if (decodedRead_ >= decoded_.size() && pendingLeft_ == 0 && !TakeFrameToPlay()) {
        return false;
    }
    // Sound without a time, or with no picture to go by, is dropped as before there was one.
    const ShownPicture shown = channel_->Shown();
    const double pts = decodedRead_ < decoded_.size() ? BlockTimeNow() : pendingPts_;
    const bool toCome = pendingTimed_ && shown.valid && pendingSerial_ >= shown.fileSerial &&
                        (pendingSerial_ > shown.fileSerial ||
                         (pts >= shown.pts && pts - shown.pts < kSoundSyncLimit));
    // A stream whose sound runs far ahead of its pictures could fill the sound queue while the
    // picture still needs frames from behind it: the reader must never wait on sound then.
    const bool starving = channel_->videoQueue.EntryCount() == 0 && channel_->audioQueue.Full();
    const bool past = !toCome || starving;
    if (!past) {
        return false;
    }
    ForgetPending();
    framesDiscarded_.fetch_add(1);
    return true;
}

// The time of the next sample of the decoded block to be written.
double AudioDecoder::BlockTimeNow() const {
    return blockPts_ + static_cast<double>(decodedRead_) / kSampleRate;
}

void AudioDecoder::PublishHeard() {
    std::lock_guard lock(heardMutex_);
    heardBase_ = {writtenValid_, writtenSerial_, writtenEnd_};
    heardChunks_ = SoundTotals().chunksCommitted + 1;  // with the chunk about to be committed
    heardSilence_ = silenceAfter_;
}

SoundClock AudioDecoder::HeardClock() const {
    std::lock_guard lock(heardMutex_);
    if (!heardBase_.valid || !HasSound()) {
        return {};
    }
    const int64_t ahead = static_cast<int64_t>(heardChunks_) * kSoundChunkSamples -
                          static_cast<int64_t>(SoundTotals().bytesPlayed / kSoundBytesPerSample) +
                          kSoundDeviceSamples;
    if (ahead < heardSilence_) {
        return {};  // the silence after the last sound is playing
    }
    SoundClock clock = heardBase_;
    clock.pts -= static_cast<double>(ahead - heardSilence_) / kSampleRate;
    return clock;
}

// What does not fit stays in the decoded block and opens the next chunk.
size_t AudioDecoder::WriteDecoded(int16_t* target, size_t room) {
    const size_t count = std::min(room, decoded_.size() - decodedRead_);
    std::memcpy(target, decoded_.data() + decodedRead_, count * sizeof(int16_t));
    decodedRead_ += count;
    samplesWritten_.fetch_add(count);
    writtenValid_ = pendingTimed_;
    writtenSerial_ = pendingSerial_;
    writtenEnd_ = BlockTimeNow();
    silenceAfter_ = 0;
    return count;
}

// Muted, frames are still taken so the queue never backs up into the reader, which also
// feeds the picture; they are dropped unplayed.
bool AudioDecoder::TakeFrameToPlay() {
    FrameItem item;
    pendingClears_ = channel_->audioQueue.ClearCount();
    while (channel_->audioQueue.Take(item)) {
        framesTaken_.fetch_add(1);
        if (Audible() && item.kind == kKindAudio && item.data != nullptr && item.size > 0) {
            pending_ = item.data;
            pendingLeft_ = static_cast<size_t>(item.size);
            pendingSerial_ = item.fileSerial;
            pendingPts_ = item.pts;
            pendingTimed_ = item.pts != 0.0;
            return true;
        }
        framesDiscarded_.fetch_add(1);
    }
    return false;
}

void AudioDecoder::DecodePendingFrame() {
    decoded_.clear();
    decodedRead_ = 0;
    blockPts_ = pendingPts_;
    blockMet_ = false;
    waited_ = 0.0;
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
    pendingPts_ += static_cast<double>(decoded_.size()) / kSampleRate;
    aacFrames_.fetch_add(1);
    // Read for every block, so a changed factor applies from the next frame on.
    AmplifySamples(decoded_, channel_->soundAmplification.load());
    samplesDecoded_.fetch_add(decoded_.size());
}

void AudioDecoder::DiscardQueued() {
    FrameItem item;
    while (channel_->audioQueue.Take(item)) {
        framesTaken_.fetch_add(1);
        framesDiscarded_.fetch_add(1);
    }
}

void AudioDecoder::ForgetPending() {
    ForgetPendingFrame();
    decoded_.clear();
    decodedRead_ = 0;
}

void AudioDecoder::ForgetPendingFrame() {
    pending_ = nullptr;
    pendingLeft_ = 0;
    pendingTimed_ = false;
}

void AudioDecoder::ResetCounters() {
    for (auto* counter :
         {&framesTaken_, &framesDiscarded_, &aacFrames_, &decodeFailures_, &samplesDecoded_,
          &samplesWritten_, &silenceSamples_, &chunksWritten_, &samplesCut_, &syncSilence_}) {
        counter->store(0);
    }
}

AudioCounters AudioDecoder::Counters() const {
    AudioCounters c;
    c.framesTaken = framesTaken_.load();
    c.framesDiscarded = framesDiscarded_.load();
    c.aacFrames = aacFrames_.load();
    c.decodeFailures = decodeFailures_.load();
    c.samplesDecoded = samplesDecoded_.load();
    c.samplesWritten = samplesWritten_.load();
    c.silenceSamples = silenceSamples_.load();
    c.chunksWritten = chunksWritten_.load();
    c.samplesCut = samplesCut_.load();
    c.syncSilence = syncSilence_.load();
    return c;
}

}  // namespace velmaro
