// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/video_decoder.h"

#include <chrono>
#include <cmath>
#include <cstring>
#include <new>
#include <string>
#include <utility>

#include "media/snapshot_writer.h"
#include "stream/channel_state.h"

namespace velmaro {

namespace {

constexpr double kWholeGroup = 1.0;  // a share that keeps every picture
constexpr double kMsPerSecond = 1000.0;
// libswscale reads whole vectors; a packed buffer may be read this far past its last row.
constexpr size_t kPackedTail = 64;
// Two pictures' times closer than this are the same picture.
constexpr double kSameTime = 1e-6;
constexpr double kHighestShownRate = 1000.0;  // pictures per second

int64_t SteadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

const uint8_t* Row(const uint8_t* plane, int stride, int row) {
    return plane + static_cast<ptrdiff_t>(row) * stride;
}

}  // namespace

PackedLayout PackedLayout::For(int width, int height) {
    return {width, height, ChromaSize(width), ChromaSize(height)};
}

size_t PackedLayout::BufferBytes() const {
    return LumaBytes() + 2 * ChromaBytes() + kPackedTail;
}

void CopyToPacked(const SourcePlanes& source, const PackedLayout& layout, uint8_t* buffer) {
    const int width = layout.width;
    const int chromaWidth = layout.chromaWidth;
    uint8_t* luma = buffer;
    uint8_t* u = buffer + layout.LumaBytes();
    uint8_t* v = u + layout.ChromaBytes();
    for (int pair = 0; pair < layout.chromaHeight; ++pair) {
        const int row = 2 * pair;
        std::memcpy(luma + static_cast<size_t>(row) * width,
                    Row(source.planes[0], source.strides[0], row), width);
        if (row + 1 < layout.height) {
            std::memcpy(luma + static_cast<size_t>(row + 1) * width,
                        Row(source.planes[0], source.strides[0], row + 1), width);
        }
        std::memcpy(u + static_cast<size_t>(pair) * chromaWidth,
                    Row(source.planes[1], source.strides[1], pair), chromaWidth);
        std::memcpy(v + static_cast<size_t>(pair) * chromaWidth,
                    Row(source.planes[2], source.strides[2], pair), chromaWidth);
    }
}

SourcePlanes PackedPlanes(const PackedLayout& layout, const uint8_t* buffer, double pts) {
    SourcePlanes planes;
    planes.planes[0] = buffer;
    planes.planes[1] = buffer + layout.LumaBytes();
    planes.planes[2] = planes.planes[1] + layout.ChromaBytes();
    planes.strides[0] = layout.width;
    planes.strides[1] = planes.strides[2] = layout.chromaWidth;
    planes.width = layout.width;
    planes.height = layout.height;
    planes.pts = pts;
    return planes;
}

namespace {

template <typename List>
void MoveAll(List& from, List& to) {
    for (auto& entry : from) {
        to.push_back(std::move(entry));
    }
    from.clear();
}

}  // namespace

VideoDecoder::VideoDecoder(ChannelState* channel) : channel_(channel) {}

VideoDecoder::~VideoDecoder() {
    StopAndWait(kWorkerStopTimeoutMs);
    FreePackedBuffers();
    codec_.Release();
    presenter_.Release();
}

bool VideoDecoder::Start() {
    if (ThreadAlive()) {
        return false;  // the codec and presenter belong to the thread still running
    }
    channel_->videoWidth.store(0);
    channel_->videoHeight.store(0);
    const int32_t forced = channel_->decoderThreads;
    codec_.SetThreads(forced > 0 ? forced : 1);
    channel_->decoderThreadsRunning.store(codec_.Threads());
    load_.Reset();
    return Reinitialise() && WorkerThread::Start();
}

bool VideoDecoder::Stop(uint32_t timeoutMs) {
    running_.store(0);
    channel_->clock.Wake();  // a pacing wait ends at once
    const bool ended = WorkerThread::Stop(timeoutMs);
    // A thread that did not end may still use the presenter: leave it alone then.
    if (ended && presenter_.IsReady()) {
        presenter_.Clear(clearColour_);
        presenter_.Present();
    }
    return ended;
}

PackedBufferCounts VideoDecoder::PackedBuffers() const {
    return {packedAllocated_.load(), packedFree_.load()};
}

int32_t VideoDecoder::Run() {
    FramePacer& clock = channel_->clock;
    clock.SetRate(kStartRate);
    clock.Wake();
    currentRate_ = kStartRate;
    groupCounter_ = 0;
    clock.Restart();
    while (IsRunning()) {
        ServicePresenter();
        FrameItem item;
        uint64_t clears = 0;
        if (!channel_->videoQueue.Take(item, clears)) {
            ServeIdleReader();
            DrainWhenStarved();
            SleepWhileRunning(kEmptyQueueSleepMs);
            clock.Restart();  // the first frame after a stall is not hurried
            continue;
        }
        starvedMs_ = 0;
        idleServed_ = false;
        if (clears != queueClears_) {
            queueClears_ = clears;
            AfterQueueCleared();
        }
        ProcessItem(item);
    }
    RecyclePacked();
    PublishPackedCounts();
    return 0;
}

void VideoDecoder::ProcessItem(const FrameItem& item) {
    frameTaken_ = true;
    CountGroup(item.kind);
    const int32_t playMode = channel_->playMode.load();
    const bool forward = item.order >= 0;
    if (forward) {
        RecyclePacked();
    } else if (item.kind == kKindVideoKey) {
        DrainBackward();
        ShowRestOfReverse();
        BeginBackwardGroup();
    }
    if (needKey_ && item.kind != kKindVideoKey) {
        return;  // its references were dropped with the drain
    }
    needKey_ = false;
    if (forward && item.kind == kKindVideoKey && !Thinned(playMode)) {
        ChooseThreads();
    }
    FollowCodec(item.codec);
    lastItem_ = item;
    RememberItem(item);
    if (!Thinned(playMode) && Decode(item) && PrepareSource(item, forward) && !Skipped(forward)) {
        ShowPicture(item, playMode);
    }
    PublishPackedCounts();
}

void VideoDecoder::RememberItem(const FrameItem& item) {
    if (item.kind == kKindVideoKey) {
        groupPos_ = item.filePos;
    }
    remembered_[nextRemembered_] = {item.DisplayTime(), item.fileSerial, item.filePos, groupPos_};
    nextRemembered_ = (nextRemembered_ + 1) % kRememberedItems;
}

// A picture comes out of the decoder with the time of the item that carried it, which may
// have been several items ago when the stream reorders.
VideoDecoder::PictureMark VideoDecoder::MarkOf(double pts) const {
    for (size_t i = 1; i <= kRememberedItems; ++i) {
        const PictureMark& m =
            remembered_[(nextRemembered_ + kRememberedItems - i) % kRememberedItems];
        if (m.filePos >= 0 && std::fabs(m.pts - pts) < kSameTime) {
            return m;
        }
    }
    return {pts, lastItem_.fileSerial, lastItem_.filePos, groupPos_};
}

// After a change to forward, delivery restarts at the key frame of the picture that was on
// screen; the pictures up to that one were seen already.
bool VideoDecoder::Skipped(bool forward) {
    if (!skip_.active || !forward || skip_.backward) {
        return false;
    }
    if (sourceMark_.fileSerial == skip_.fileSerial && source_.pts <= skip_.pts + kSameTime) {
        return true;
    }
    skip_.active = false;
    return false;
}

// The reader started over somewhere else (a seek, another file, the other direction): what
// the decoder and the backward lists still hold belongs to the old place, and the first new
// picture is due at once.
void VideoDecoder::AfterQueueCleared() {
    codec_.Flush();
    RecyclePacked();
    showAtOnce_ = true;
    groupPos_ = -1;
    // A change of direction raises the generation before it clears the queue, so the skip it
    // asks for is here by the time its clear is seen.
    const uint32_t generation = channel_->SkipGeneration();
    if (generation != skipGeneration_) {
        skipGeneration_ = generation;
        skip_ = channel_->Skip();
    }
}

// The reader has read all there is in its direction: what the decoder holds back (forward) or
// the groups decoded last (backward) are all that is left to show.
void VideoDecoder::ServeIdleReader() {
    // Idle is raised after the last push, so a frame pushed before it is seen in the queue.
    if (idleServed_ || !frameTaken_ || !channel_->readerIdle.load() ||
        channel_->videoQueue.EntryCount() != 0 || Stale()) {
        return;
    }
    idleServed_ = true;
    if (lastItem_.order >= 0) {
        if (!needKey_) {
            ShowHeldBackPictures(true);
            needKey_ = true;
        }
        return;
    }
    DrainBackward();
    ShowRestOfReverse();
    BeginBackwardGroup();
    ShowRestOfReverse();
}

// Pictures of the later group not yet shown when the earlier group has fewer pictures: they
// come before any picture of the earlier one.
void VideoDecoder::ShowRestOfReverse() {
    const int32_t playMode = channel_->playMode.load();
    while (IsRunning() && !reverseList_.empty() && !Stale()) {
        PackedPicture shown = std::move(reverseList_.back());
        reverseList_.pop_back();
        ShowPackedPicture(shown, playMode);
        freeList_.push_back(std::move(shown));
    }
}

void VideoDecoder::ShowPackedPicture(PackedPicture& picture, int32_t playMode) {
    source_ = PackedPlanes(packed_, picture.buffer.get(), picture.item.pts);
    sourceMark_ = picture.mark;
    ShowPicture(picture.item, playMode);
}

// A picture decoded from an item taken before the queue was last cleared is not shown.
bool VideoDecoder::Stale() const {
    return channel_->videoQueue.ClearCount() != queueClears_;
}

// The last pictures of a group come out only with the next packets: frame threads hold some
// back, and so does the reordering of B-pictures on any thread. Played backward the next
// packets belong to another group, so each group is drained before the next begins.
void VideoDecoder::DrainBackward() {
    ShowHeldBackPictures(false);
}

// With frame threads the last pictures before a stall stay in the decoder. When the queue has
// been empty for a while (the end of the last recording) they are shown; the decoder then
// starts again at the next key frame.
void VideoDecoder::DrainWhenStarved() {
    if (codec_.Threads() <= 1 || needKey_ || !frameTaken_) {
        return;
    }
    starvedMs_ += kEmptyQueueSleepMs;
    if (starvedMs_ < kStarvedDrainMs) {
        return;
    }
    ShowHeldBackPictures(lastItem_.order >= 0);
    needKey_ = true;
}

// Drains the pictures the decoder still holds back and shows them as pictures of the item
// decoded last, then flushes it: the next packet must start a group.
void VideoDecoder::ShowHeldBackPictures(bool forward) {
    const int32_t playMode = channel_->playMode.load();
    while (IsRunning() && codec_.DrainPicture()) {
        if (EnsurePresenter() && PrepareSource(lastItem_, forward)) {
            ShowPicture(lastItem_, playMode);
        }
    }
    codec_.Flush();
}

void VideoDecoder::CountGroup(int32_t kind) {
    if (kind == kKindVideoKey) {
        channel_->groupLength.store(groupCounter_);
        groupCounter_ = 0;
    } else if (kind == kKindVideoInter) {
        ++groupCounter_;
    }
}

// Until one whole group has been counted the group length is 0, so only key frames pass.
bool VideoDecoder::Thinned(int32_t playMode) const {
    const double share = GroupShare(playMode);
    return share < kWholeGroup && channel_->groupLength.load() * share < groupCounter_;
}

// A recording of another coding starts with a key frame, so nothing the old decoder held is
// needed; a decoder that cannot be opened leaves the frames undecoded until one can.
void VideoDecoder::FollowCodec(VideoCodec codec) {
    const AVCodecID wanted = DecoderFor(codec);
    if (wanted == decoderId_) {
        return;
    }
    decoderId_ = wanted;
    if (codec_.SwitchDecoder(decoderId_)) {
        codec_.SetErrorRecognition(0);
    }
}

bool VideoDecoder::Decode(const FrameItem& item) {
    const auto begin = std::chrono::steady_clock::now();
    const bool decoded = codec_.DecodeVideo(item.data, item.size, item.DisplayTime());
    const std::chrono::duration<double, std::milli> busy = std::chrono::steady_clock::now() - begin;
    load_.Add(busy.count(), SteadyMs(), codec_.Threads());
    return decoded && EnsurePresenter();
}

// A key frame forward is where the decoder may change its threads: what the old one held back
// is shown first, and the new one starts with this key frame.
void VideoDecoder::ChooseThreads() {
    const int wanted = load_.WantedThreads(channel_->decoderThreads, codec_.Threads());
    if (wanted == codec_.Threads() || !codec_.IsOpen()) {
        return;
    }
    ShowHeldBackPictures(true);
    const int before = codec_.Threads();
    if (!codec_.ChangeThreads(wanted)) {
        codec_.ChangeThreads(1);  // the single-threaded decoder opened before
    }
    codec_.SetErrorRecognition(0);
    load_.ThreadsChanged(before, codec_.Threads());
    channel_->decoderThreadsRunning.store(codec_.Threads());
}

// A late picture may be left out while decoding cannot keep up (see LatePictures); a picture
// the user stepped to, one shown while paused, and those of a rate no screen shows are always
// drawn.
bool VideoDecoder::MayDrop(int32_t playMode) const {
    return currentRate_ <= kHighestShownRate && load_.Overloaded() && playMode != kPlayStep &&
           playMode != kPlayHeld && channel_->playMode.load() != kPlayStep &&
           channel_->paused.load() == 0;
}

// The presenter fits the decoder's picture, rebuilt when the size changed.
bool VideoDecoder::EnsurePresenter() {
    const AVFrame& picture = *codec_.Picture();
    if (presenter_.IsReady() && picture.width == channel_->videoWidth.load() &&
        picture.height == channel_->videoHeight.load()) {
        return true;
    }
    channel_->videoWidth.store(picture.width);
    channel_->videoHeight.store(picture.height);
    if (Reinitialise()) {
        return true;
    }
    channel_->videoWidth.store(0);  // the next picture tries again
    channel_->videoHeight.store(0);
    return false;
}

bool VideoDecoder::Reinitialise() {
    FreePackedBuffers();  // their size may change
    const int width = channel_->videoWidth.load();
    const int height = channel_->videoHeight.load();
    int outputBits = codec_.OutputBits();
    if (width != 0 && height != 0) {
        VideoOutput* window = channel_->videoWindow;
        if (presenter_.OpenedWindow() != window || width != codec_.Width() ||
            height != codec_.Height() || width != presenter_.Width() ||
            height != presenter_.Height()) {
            presenter_.Release();
        }
        if (!presenter_.IsOpen() &&
            !presenter_.Open(window, width, height, channel_->displayMode)) {
            return false;
        }
        presenter_.Clear(clearColour_);
        outputBits = presenter_.BackBufferFormat() == PictureFormat::kRgb32 ? kOutputBitsRgb32
                                                                            : kOutputBitsYv12;
        packed_ = PackedLayout::For(width, height);
    }
    if (!codec_.OpenVideo(width, height, outputBits, decoderId_)) {
        return false;
    }
    codec_.SetErrorRecognition(0);
    return true;
}

bool VideoDecoder::PrepareSource(const FrameItem& item, bool forward) {
    const AVFrame& picture = *codec_.Picture();
    for (int plane = 0; plane < 4; ++plane) {
        source_.planes[plane] = picture.data[plane];
        source_.strides[plane] = picture.linesize[plane];
    }
    source_.width = picture.width;
    source_.height = picture.height;
    source_.pts = codec_.PictureTime();
    source_.frame = &picture;
    sourceMark_ = MarkOf(source_.pts);
    if (forward) {
        return true;
    }
    PackedPicture decoded;
    if (!TakePackedBuffer(decoded)) {
        return false;
    }
    CopyToPacked(source_, packed_, decoded.buffer.get());
    decoded.item = item;
    decoded.item.data = decoded.buffer.get();
    decoded.item.pts = source_.pts;
    decoded.mark = sourceMark_;
    groupList_.push_back(std::move(decoded));
    if (reverseList_.empty()) {
        return false;  // the first group decoded backward has nothing to show yet
    }
    PackedPicture shown = std::move(reverseList_.back());
    reverseList_.pop_back();
    source_ = PackedPlanes(packed_, shown.buffer.get(), shown.item.pts);
    sourceMark_ = shown.mark;
    freeList_.push_back(std::move(shown));  // reused only after it has been drawn
    return true;
}

bool VideoDecoder::TakePackedBuffer(PackedPicture& picture) {
    if (!freeList_.empty()) {
        picture = std::move(freeList_.back());
        freeList_.pop_back();
        if (picture.buffer) {
            return true;
        }
    }
    try {
        picture.buffer = std::make_unique_for_overwrite<uint8_t[]>(packed_.BufferBytes());
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

void VideoDecoder::ShowPicture(const FrameItem& item, int32_t playMode) {
    // Pictures shown one after another without a pass of the loop (a drain, the rest of a
    // group played backward) are each presented before the next is drawn.
    if (picturePending_) {
        ServicePresenter();
    }
    PublishPackedCounts();
    if (item.frameRate > 0) {
        currentRate_ = item.frameRate * RateFactor(playMode);
    }
    if (showAtOnce_) {
        showAtOnce_ = false;
        channel_->clock.Restart();  // the pictures after it are paced from now
    } else {
        FramePacer& clock = channel_->clock;
        const double frameMs = kMsPerSecond / currentRate_;
        clock.Wait(frameMs);
        const LateVerdict verdict = late_.Judge(clock.lateMs, frameMs, MayDrop(playMode));
        if (verdict == LateVerdict::kDrop) {
            channel_->framesDropped.fetch_add(1);
            AdoptStreamRate(item);
            return;
        }
        if (verdict == LateVerdict::kShowAndSlip) {
            clock.Restart();
        }
    }
    if (Stale() || !presenter_.Draw(source_, codec_.Scaler())) {
        return;  // shown nothing, nothing pending; playback goes on
    }
    picturePending_ = true;
    PublishShown(item.order >= 0);
    channel_->framesShown.fetch_add(1);
    if (channel_->paused.load() != 0 || channel_->playMode.load() == kPlayStep) {
        Hold();
    }
    AdoptStreamRate(item);
}

void VideoDecoder::PublishShown(bool forward) {
    ShownPicture shown;
    shown.valid = true;
    shown.fileSerial = sourceMark_.fileSerial;
    shown.filePos = sourceMark_.filePos;
    shown.groupPos = sourceMark_.groupPos;
    shown.pts = source_.pts;
    shown.shownAtMs = SteadyMs();
    shown.forward = forward;
    channel_->PublishShown(shown);
}

void VideoDecoder::Hold() {
    channel_->videoHeld.store(true);
    // Only a step becomes "held": a command written meanwhile by the UI thread stays.
    int32_t step = kPlayStep;
    channel_->playMode.compare_exchange_strong(step, kPlayHeld);
    while (IsRunning() &&
           (channel_->paused.load() != 0 || channel_->playMode.load() == kPlayHeld)) {
        picturePending_ = true;
        ServicePresenter();
        SleepWhileRunning(kHoldServiceMs);
    }
    channel_->videoHeld.store(false);
    channel_->clock.Restart();
}

void VideoDecoder::AdoptStreamRate(const FrameItem& item) {
    FramePacer& clock = channel_->clock;
    if (item.frameRate > 0 && item.frameRate != clock.fps) {
        clock.SetRate(item.frameRate);
        clock.Wake();
        currentRate_ = clock.fps;
    }
}

void VideoDecoder::ServicePresenter() {
    if (!presenter_.IsReady()) {
        return;
    }
    if (picturePending_) {
        picturePending_ = false;
        if (!frameTaken_) {
            presenter_.Clear(clearColour_);
        }
        presenter_.Present();
    }
    ServeSnapshot();
}

// Every request waiting is written from the picture now on the back buffer; one raised while
// these are written is served on the next pass.
void VideoDecoder::ServeSnapshot() {
    for (int32_t waiting = channel_->snapshotRequested.load(); waiting > 0; --waiting) {
        const std::optional<SnapshotRequest> request = channel_->PendingSnapshot();
        if (!request) {
            return;
        }
        const PresentedPicture* surface = presenter_.Surface();
        channel_->FinishSnapshot(
            surface != nullptr ? WriteSnapshot(*surface, request->path, request->stamp)
                               : SnapshotResult{SnapshotEnd::kNoPicture, {}, "no picture yet"});
    }
}

// The group decoded last becomes the one shown from its back. Done for every key frame taken,
// even one that fails to decode, so damaged data never lets the lists grow beyond two groups.
void VideoDecoder::BeginBackwardGroup() {
    MoveAll(reverseList_, freeList_);
    MoveAll(groupList_, reverseList_);
    DropPicturesAfterSkip();
}

// After a change to backward, delivery starts with the whole group of the picture that was on
// screen (or a later one when that group's end was not found): that picture and the later
// ones were seen already. A group with an earlier picture, or of another file, ends the skip.
void VideoDecoder::DropPicturesAfterSkip() {
    if (!skip_.active || !skip_.backward) {
        return;
    }
    while (!reverseList_.empty()) {
        const PackedPicture& last = reverseList_.back();
        if (last.mark.fileSerial != skip_.fileSerial || last.item.pts < skip_.pts - kSameTime) {
            skip_.active = false;
            return;
        }
        freeList_.push_back(std::move(reverseList_.back()));
        reverseList_.pop_back();
    }
}

void VideoDecoder::RecyclePacked() {
    MoveAll(reverseList_, freeList_);
    MoveAll(groupList_, freeList_);
}

void VideoDecoder::FreePackedBuffers() {
    freeList_.clear();
    groupList_.clear();
    reverseList_.clear();
    PublishPackedCounts();
}

void VideoDecoder::PublishPackedCounts() {
    packedFree_.store(static_cast<int>(freeList_.size()));
    packedAllocated_.store(
        static_cast<int>(freeList_.size() + groupList_.size() + reverseList_.size()));
}

}  // namespace velmaro
