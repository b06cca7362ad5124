// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Frame queues: a byte ring plus a list of item records, one producer (the reader) and one
// consumer (a decoding worker). The producer writes a frame straight into the ring at the write
// position held in its own FrameItem, then pushes the record; the consumer reads in place.
// Bounded by entry count and bytes; the producer blocks while full, the consumer never blocks,
// and an item that does not fit is dropped rather than overwriting queued bytes. The video
// queue grows its storage for a picture larger than any before it (up to a bound): the new
// storage takes the following items while the old one lives on until the consumer has left
// every item in it behind.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/auto_reset_event.h"
#include "stream/frame_item.h"
#include "stream/item_ring.h"

namespace velmaro {

constexpr int32_t kVideoQueueStorage = 2 * 1024 * 1024;
constexpr int32_t kVideoQueueMaxItem = 512 * 1024;
constexpr int32_t kVideoQueueMaxItems = 30;
// The largest picture the video queue grows for: far above what any camera writes (a 4K key
// picture at a high bit rate is a few MiB), low enough that a damaged length cannot make the
// player ask for gigabytes.
constexpr int32_t kVideoPictureLimit = 32 * 1024 * 1024;
// A grown video queue's storage holds this many of its largest items, so that it still holds
// about as much time of the stream as before it grew (fullness leaves three items' room).
constexpr int32_t kGrownStorageItems = 8;
// Sound is bounded by the time it holds, not by a count: a stream may carry one AAC frame per
// PES (about 21 ms) or many, and may write its sound well ahead of the pictures it goes with.
// The time covers such a lead plus the video queue's second of pictures; the storage holds
// that much sound at any bit rate AAC is written at, and the count only bounds sound without
// times.
constexpr double kAudioQueueSeconds = 3.0;
constexpr int32_t kAudioQueueStorage = 512 * 1024;
constexpr int32_t kAudioQueueMaxItem = 16 * 1024;
constexpr int32_t kAudioQueueMaxItems = 512;
// Times further apart than this in one queue belong to two files or a jump: they say nothing
// of how much sound is queued.
constexpr double kLargestQueuedSpan = 10.0;
// How often a producer held by a full sound queue looks whether the pictures still have
// something queued.
constexpr int kPictureCheckMs = 5;

constexpr int32_t kQueueStopped = 0;
constexpr int32_t kQueueBlocking = 1;

// One mutual-exclusion lock; the queues take it around every change of their list.
class QueueLock {
  public:
    virtual ~QueueLock() = default;

  protected:
    std::mutex lock_;
};

class FrameQueue {
  public:
    FrameQueue() = default;
    FrameQueue(const FrameQueue&) = delete;
    FrameQueue& operator=(const FrameQueue&) = delete;
    virtual ~FrameQueue();

    // Called before any thread uses the queue. Storage is kept when large enough.
    virtual bool Init(int32_t storageSize, int32_t maxItemSize, int32_t mode);
    // Ends blocking: a waiting producer is released and later pushes never wait.
    virtual void Stop();
    virtual void Trim(FrameItem* item);
    virtual void Clear();
    // Queues the producer's record and advances it to the next write position. Returns false
    // once the queue is stopped; it does not say whether the item was queued.
    virtual bool Push(FrameItem& w);
    // Never waits. Releases the current head and hands out the next item, if any.
    virtual bool Take(FrameItem& out);
    // Producer only: makes room for an item of `size` bytes at the record's write position,
    // growing the storage when the item is larger than any so far and no larger than
    // `itemLimit`. False when it is larger, or memory is short: the item cannot be queued.
    virtual bool Reserve(FrameItem& w, int32_t size);

    int32_t maxItems = kVideoQueueMaxItems;  // set by the owner before Init
    int32_t itemLimit = 0;    // set by the owner before Init; 0: the storage never grows
    double maxSeconds = 0.0;  // set by the owner before Init; 0: no bound by time

    // Observers for the owner and tests; they read under the derived lock where there is one.
    virtual size_t EntryCount() { return items_.size(); }
    virtual int32_t UsedBytes() { return usedBytes_; }
    int32_t StorageSize() const { return storageSize_; }
    int32_t MaxItemSize() const { return maxItemSize_; }
    const uint8_t* StorageBegin() const { return storage_.get(); }
    int32_t Mode() const { return mode_.load(); }

  protected:
    struct Growth {
        std::unique_ptr<uint8_t[]> storage;  // null when the item fits as things are
        int32_t storageSize = 0;
        int32_t maxItemSize = 0;
        bool refused = false;  // past the limit, or memory is short
    };
    // Producer, outside the lock: allocating may take a while and the consumer need not wait.
    Growth StorageFor(int32_t size) const;
    // Under the lock: later items go to the new storage; the old one is retired.
    void BaseGrow(FrameItem& w, Growth& growth);
    bool InStorage(const uint8_t* data) const {
        return data >= storage_.get() && data < storage_.get() + storageSize_;
    }
    // The oldest queued item that lies in the current storage; null when none does.
    const FrameItem* OldestInStorageLocked();
    void ReleaseRetiredLocked();
    // The ring step shared by the derived queues; callers hold their lock.
    bool BasePush(FrameItem& w);
    bool BaseTake(FrameItem& out);
    uint8_t* BaseTrim();
    void ResetProducerRecord(FrameItem* item, uint8_t* writePosition);
    // After an item (at `data`, `size`) stays as the newest, where the next frame goes.
    uint8_t* NextWritePosition(const uint8_t* data, int32_t size) const;
    // `timeBound`: whether the bound by time counts; the bounds by count and bytes always do.
    bool FullLocked(bool timeBound = true) const;
    double QueuedSecondsLocked() const;
    bool HasSpaceLocked() const { return mode_.load() == kQueueBlocking && !FullLocked(); }
    // Producer side, outside the lock: waits on the space event while the queue is full.
    void WaitWhileFull(std::mutex& lock);
    void SignalSpace();

    std::unique_ptr<AutoResetEvent> spaceEvent_;  // created by the first blocking Init
    std::atomic<int32_t> mode_{kQueueStopped};    // written by Init/Stop, read by the producer
    // Written by the producer (Reserve) and Init under the derived lock; the consumer reads
    // only the items' own pointers.
    std::unique_ptr<uint8_t[]> storage_;
    int32_t storageSize_ = 0;
    // Storages replaced by a bigger one, kept while queued items (or the consumer's current
    // one) may still lie in them; freed by the consumer's next Take that leaves them behind.
    std::vector<std::unique_ptr<uint8_t[]>> retired_;
    int32_t usedBytes_ = 0;  // bytes queued behind the head; guarded by the derived lock
    int32_t maxItemSize_ = 0;
    ItemRing items_;  // oldest first; the head is the consumer's current item
};

class VideoFrameQueue : public FrameQueue, public QueueLock {
  public:
    VideoFrameQueue() {
        maxItems = kVideoQueueMaxItems;
        itemLimit = kVideoPictureLimit;
    }
    void Trim(FrameItem* item) override;
    void Clear() override;
    bool Push(FrameItem& w) override;
    bool Take(FrameItem& out) override;
    // Also tells how many times the queue had been cleared when the item was taken: an item
    // taken under an older count than ClearCount() was queued before a reset (a seek, a new
    // file, a change of direction).
    bool Take(FrameItem& out, uint64_t& clears);
    bool Reserve(FrameItem& w, int32_t size) override;
    uint64_t ClearCount() const { return clears_.load(); }
    // Pictures that could not be queued for their size (past the limit, or memory short),
    // counted by the producer; any thread may read it to tell the user.
    uint64_t OversizeDrops() const { return oversizeDrops_.load(); }
    void NoteOversize() { oversizeDrops_.fetch_add(1); }
    size_t EntryCount() override;
    int32_t UsedBytes() override;

    // Key frames accepted since the last loss; -1 closes the queue to video frames.
    int32_t KeyCount();
    void SetKeyCount(int32_t value);

  private:
    void ResetKeyCountAfterLoss() { keyCount_ = keyCount_ < 0 ? -1 : 0; }
    int32_t keyCount_ = -1;                   // guarded by lock_
    std::atomic<uint64_t> clears_{0};         // changed under lock_ by Clear; read by anyone
    std::atomic<uint64_t> oversizeDrops_{0};  // written by the producer; read by anyone
};

class AudioFrameQueue : public FrameQueue, public QueueLock {
  public:
    AudioFrameQueue() {
        maxItems = kAudioQueueMaxItems;
        maxSeconds = kAudioQueueSeconds;
    }
    // Set before any thread uses the queue. While `video` has no picture queued beyond the
    // one being shown, the producer does not wait for sound to be played (the sound may be
    // waiting for those very pictures): it waits only when the storage itself is full.
    void WaitOnlyWithPicturesIn(VideoFrameQueue* video) { pictures_ = video; }
    void Trim(FrameItem* item) override;
    void Clear() override;
    bool Push(FrameItem& w) override;
    bool Take(FrameItem& out) override;
    size_t EntryCount() override;
    int32_t UsedBytes() override;
    // How many times the queue has been cleared: a frame taken under an older count, and
    // still being played from the storage, belongs to the place before a reset.
    uint64_t ClearCount() const { return clears_.load(); }
    // A producer pushing now would wait, whatever the pictures have queued.
    bool Full();

  private:
    void WaitWhileFullOfSound();

    VideoFrameQueue* pictures_ = nullptr;
    std::atomic<uint64_t> clears_{0};  // changed under lock_ by Clear; read by anyone
};

// Both queues of a playback at their usual sizes, video open from the next key frame on. False
// when either storage could not be had.
bool OpenFrameQueues(VideoFrameQueue& video, AudioFrameQueue& audio, int32_t mode);

}  // namespace velmaro
