// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "stream/frame_queue.h"

#include <algorithm>
#include <chrono>
#include <new>

namespace velmaro {

FrameQueue::~FrameQueue() {
    // A producer still waiting must not sleep on an event that is about to disappear.
    mode_.store(kQueueStopped);
    if (spaceEvent_) {
        spaceEvent_->Set();
    }
}

bool FrameQueue::Init(int32_t storageSize, int32_t maxItemSize, int32_t mode) {
    if (storageSize <= 0 || maxItemSize <= 0 || maxItemSize > storageSize) {
        return false;
    }
    if (!storage_ || storageSize_ < storageSize) {
        storage_.reset();
        storageSize_ = 0;
        try {
            storage_ = std::make_unique_for_overwrite<uint8_t[]>(storageSize);
        } catch (const std::bad_alloc&) {
            return false;
        }
        storageSize_ = storageSize;
    }
    if (mode == kQueueBlocking) {
        if (spaceEvent_) {
            spaceEvent_->Reset();
        } else {
            spaceEvent_ = std::make_unique<AutoResetEvent>();
        }
    }
    mode_.store(mode);
    retired_.clear();
    maxItemSize_ = maxItemSize;
    usedBytes_ = 0;
    items_.clear();
    return true;
}

void FrameQueue::Stop() {
    mode_.store(kQueueStopped);
    if (spaceEvent_) {
        spaceEvent_->Set();
    }
}

void FrameQueue::Trim(FrameItem* item) {
    ResetProducerRecord(item, BaseTrim());
}

void FrameQueue::Clear() {
    items_.clear();
    usedBytes_ = 0;
}

bool FrameQueue::Push(FrameItem& w) {
    BasePush(w);
    SignalSpace();
    return mode_.load() != kQueueStopped;
}

bool FrameQueue::Take(FrameItem& out) {
    return BaseTake(out);
}

bool FrameQueue::Reserve(FrameItem& w, int32_t size) {
    Growth growth = StorageFor(size);
    BaseGrow(w, growth);
    return !growth.refused;
}

FrameQueue::Growth FrameQueue::StorageFor(int32_t size) const {
    Growth growth;
    if (size <= maxItemSize_) {
        return growth;
    }
    if (size > itemLimit || !storage_) {
        growth.refused = true;
        return growth;
    }
    // Doubling keeps the number of growths small however the pictures grow.
    int64_t item = maxItemSize_;
    while (item < size) {
        item *= 2;
    }
    growth.maxItemSize = static_cast<int32_t>(std::min<int64_t>(item, itemLimit));
    growth.storageSize = std::max(storageSize_, growth.maxItemSize * kGrownStorageItems);
    try {
        growth.storage = std::make_unique_for_overwrite<uint8_t[]>(growth.storageSize);
    } catch (const std::bad_alloc&) {
        growth.refused = true;
    }
    return growth;
}

void FrameQueue::BaseGrow(FrameItem& w, Growth& growth) {
    if (!growth.storage) {
        return;
    }
    retired_.push_back(std::move(storage_));
    storage_ = std::move(growth.storage);
    storageSize_ = growth.storageSize;
    maxItemSize_ = growth.maxItemSize;
    w.data = storage_.get();
}

const FrameItem* FrameQueue::OldestInStorageLocked() {
    for (size_t i = 0; i < items_.size(); ++i) {
        if (InStorage(items_.At(i).data)) {
            return &items_.At(i);
        }
    }
    return nullptr;
}

// The consumer has just given up its previous item: once the item it now holds lies in the
// current storage (items follow one another from storage to storage), no one reads the
// retired ones any more.
void FrameQueue::ReleaseRetiredLocked() {
    if (!retired_.empty() && (items_.empty() || InStorage(items_.front().data))) {
        retired_.clear();
    }
}

uint8_t* FrameQueue::NextWritePosition(const uint8_t* data, int32_t size) const {
    if (!InStorage(data)) {
        return storage_.get();  // the item lies in a retired storage: this one is empty
    }
    const int64_t next = (data - storage_.get()) + int64_t{size};
    if (next + maxItemSize_ > storageSize_) {
        return storage_.get();
    }
    return storage_.get() + next;
}

bool FrameQueue::BasePush(FrameItem& w) {
    const int64_t at = storage_ && w.data ? w.data - storage_.get() : -1;
    const int64_t end = at + int64_t{w.size};
    if (at < 0 || at >= storageSize_ || w.size < 0 || end > storageSize_) {
        w.size = 0;  // not a record of this queue's write position
        return false;
    }
    bool queued = true;
    uint8_t* next = w.data + w.size;
    if (items_.empty()) {
        items_.push_back(w);  // placeholder head, discarded by the consumer's first Take
        items_.push_back(w);
        usedBytes_ = w.size;
        next = NextWritePosition(w.data, w.size);
    } else if (const FrameItem* oldest = OldestInStorageLocked(); oldest == nullptr) {
        items_.push_back(w);  // the first item of a new storage: nothing of it is in use
        usedBytes_ += w.size;
        next = NextWritePosition(w.data, w.size);
    } else {
        const int64_t head = oldest->data - storage_.get();
        if (head > at) {
            queued = end + maxItemSize_ <= head;  // wrapped writer must stay behind the head
        } else if (end + maxItemSize_ > storageSize_) {
            queued = maxItemSize_ <= head;  // room for a maximal item before the head?
            next = storage_.get();
        }
        if (queued) {
            items_.push_back(w);
            usedBytes_ += w.size;
        }
    }
    if (queued) {
        w.data = next;
    }
    w.size = 0;
    return queued;
}

bool FrameQueue::BaseTake(FrameItem& out) {
    if (!items_.empty()) {
        items_.pop_front();
    }
    ReleaseRetiredLocked();
    if (items_.empty()) {
        usedBytes_ = 0;
        return false;
    }
    out = items_.front();
    usedBytes_ -= out.size;
    return true;
}

uint8_t* FrameQueue::BaseTrim() {
    if (items_.empty()) {
        usedBytes_ = 0;
        return storage_.get();
    }
    while (items_.size() > 1) {
        items_.pop_back();
    }
    usedBytes_ = items_.front().size;
    return NextWritePosition(items_.front().data, items_.front().size);
}

void FrameQueue::ResetProducerRecord(FrameItem* item, uint8_t* writePosition) {
    if (item) {
        *item = FrameItem{};
        item->data = writePosition;
    }
}

bool FrameQueue::FullLocked(bool timeBound) const {
    return static_cast<int32_t>(items_.size()) >= maxItems ||
           3 * int64_t{maxItemSize_} + usedBytes_ >= storageSize_ ||
           (timeBound && maxSeconds > 0.0 && QueuedSecondsLocked() >= maxSeconds);
}

double FrameQueue::QueuedSecondsLocked() const {
    if (items_.size() < 2) {
        return 0.0;
    }
    const double span = items_.back().pts - items_.front().pts;
    return span >= 0.0 && span <= kLargestQueuedSpan ? span : 0.0;
}

void FrameQueue::WaitWhileFull(std::mutex& lock) {
    while (mode_.load() == kQueueBlocking) {
        {
            std::lock_guard guard(lock);
            if (!FullLocked()) {
                return;
            }
        }
        spaceEvent_->Wait();
    }
}

void FrameQueue::SignalSpace() {
    if (spaceEvent_) {
        spaceEvent_->Set();
    }
}

// --- video queue -------------------------------------------------------------------------

void VideoFrameQueue::Trim(FrameItem* item) {
    std::lock_guard guard(lock_);
    uint8_t* writePosition = storage_.get();
    if (items_.empty()) {
        usedBytes_ = 0;
    } else {
        // Drop everything newer than the head or the last discontinuity marker.
        while (items_.size() > 1 && items_.back().kind != kKindDiscontinuity) {
            usedBytes_ -= items_.back().size;
            items_.pop_back();
        }
        writePosition = NextWritePosition(items_.back().data, items_.back().size);
    }
    ResetProducerRecord(item, writePosition);
    ResetKeyCountAfterLoss();
}

void VideoFrameQueue::Clear() {
    {
        std::lock_guard guard(lock_);
        items_.clear();
        usedBytes_ = 0;
        ResetKeyCountAfterLoss();
        clears_.fetch_add(1);
    }
    SignalSpace();  // a producer waiting in a full queue goes on at once
}

bool VideoFrameQueue::Push(FrameItem& w) {
    // Looked at under the push's own lock: taking it again for every frame, against a consumer
    // that takes it as often, costs the producer more than the frame's bytes.
    bool full = false;
    {
        std::lock_guard guard(lock_);
        const auto entries = static_cast<int32_t>(items_.size());
        switch (w.kind) {
            case kKindNone:
                break;
            case kKindDiscontinuity:
                BaseTrim();
                keyCount_ = BasePush(w) ? 0 : -1;
                break;
            case kKindVideoKey:
                if (keyCount_ >= 0) {
                    if (entries < maxItems && BasePush(w)) {
                        ++keyCount_;
                    } else if (keyCount_ > 0) {
                        keyCount_ = 0;
                    }
                }
                break;
            case kKindVideoInter:
                // An inter frame is useless once anything since its key frame was lost.
                if (!(keyCount_ > 0 && entries <= maxItems && BasePush(w))) {
                    ResetKeyCountAfterLoss();
                }
                break;
            default:
                BasePush(w);
                break;
        }
        full = FullLocked();
    }
    w.kind = kKindNone;
    w.size = 0;
    if (full) {
        WaitWhileFull(lock_);
    }
    return mode_.load() != kQueueStopped;
}

bool VideoFrameQueue::Take(FrameItem& out) {
    uint64_t clears = 0;
    return Take(out, clears);
}

bool VideoFrameQueue::Take(FrameItem& out, uint64_t& clears) {
    if (items_.SeenEmpty()) {
        // Nothing held and nothing queued: a consumer polling here must not take the lock
        // from the producer on every look.
        clears = clears_.load();
        return false;
    }
    bool taken = false;
    bool space = false;
    {
        std::lock_guard guard(lock_);
        clears = clears_.load();
        const bool released = !items_.empty();
        taken = BaseTake(out);
        if (taken && out.kind == kKindVideoKey && keyCount_ > 1) {
            --keyCount_;
        }
        space = released && HasSpaceLocked();
    }
    if (space) {
        SignalSpace();
    }
    return taken;
}

bool VideoFrameQueue::Reserve(FrameItem& w, int32_t size) {
    Growth growth = StorageFor(size);
    if (growth.storage) {
        std::lock_guard guard(lock_);
        BaseGrow(w, growth);
    }
    return !growth.refused;
}

size_t VideoFrameQueue::EntryCount() {
    std::lock_guard guard(lock_);
    return items_.size();
}

int32_t VideoFrameQueue::UsedBytes() {
    std::lock_guard guard(lock_);
    return usedBytes_;
}

int32_t VideoFrameQueue::KeyCount() {
    std::lock_guard guard(lock_);
    return keyCount_;
}

void VideoFrameQueue::SetKeyCount(int32_t value) {
    std::lock_guard guard(lock_);
    keyCount_ = value;
}

// --- audio queue -------------------------------------------------------------------------

void AudioFrameQueue::Trim(FrameItem* item) {
    std::lock_guard guard(lock_);
    ResetProducerRecord(item, BaseTrim());
}

void AudioFrameQueue::Clear() {
    {
        std::lock_guard guard(lock_);
        items_.clear();
        usedBytes_ = 0;
        clears_.fetch_add(1);
    }
    SignalSpace();
}

bool AudioFrameQueue::Full() {
    std::lock_guard guard(lock_);
    // With pictures to watch, what holds the producer without fail is the storage's bound.
    return FullLocked(pictures_ == nullptr);
}

void AudioFrameQueue::WaitWhileFullOfSound() {
    if (pictures_ == nullptr) {
        WaitWhileFull(lock_);
        return;
    }
    // The pictures' queue is asked outside this queue's lock: the two locks never nest.
    while (mode_.load() == kQueueBlocking) {
        const bool picturesQueued = pictures_->EntryCount() > 1;
        {
            std::lock_guard guard(lock_);
            if (!FullLocked(picturesQueued)) {
                return;
            }
        }
        spaceEvent_->WaitFor(std::chrono::milliseconds(kPictureCheckMs));
    }
}

bool AudioFrameQueue::Push(FrameItem& w) {
    // Full by every bound, the time included, is the most a wait could ask: short of it the
    // producer goes on without looking at the pictures' queue.
    bool full = false;
    {
        std::lock_guard guard(lock_);
        if (static_cast<int32_t>(items_.size()) > maxItems || !BasePush(w)) {
            w.size = 0;
        }
        full = FullLocked();
    }
    if (full) {
        WaitWhileFullOfSound();
    }
    return mode_.load() != kQueueStopped;
}

bool AudioFrameQueue::Take(FrameItem& out) {
    if (items_.SeenEmpty()) {
        return false;
    }
    bool taken = false;
    bool space = false;
    {
        std::lock_guard guard(lock_);
        const bool released = !items_.empty();
        taken = BaseTake(out);
        space = released && HasSpaceLocked();
    }
    if (space) {
        SignalSpace();
    }
    return taken;
}

size_t AudioFrameQueue::EntryCount() {
    std::lock_guard guard(lock_);
    return items_.size();
}

int32_t AudioFrameQueue::UsedBytes() {
    std::lock_guard guard(lock_);
    return usedBytes_;
}

bool OpenFrameQueues(VideoFrameQueue& video, AudioFrameQueue& audio, int32_t mode) {
    video.SetKeyCount(0);
    return video.Init(kVideoQueueStorage, kVideoQueueMaxItem, mode) &&
           audio.Init(kAudioQueueStorage, kAudioQueueMaxItem, mode);
}

}  // namespace velmaro
