// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// VideoDecoder: the video worker of a playback channel. On its own thread it takes H.264 or H.265
// frames from the channel's video queue (the decoder follows each frame's coding), decodes them,
// paces them on the channel's clock and puts them on the presenter, in every play mode: normal,
// faster with thinning of each group of pictures, slower, backward by groups, pause and single
// step. It also serves snapshot requests, since only this thread may touch the presenter while it
// runs.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "media/codec_state.h"
#include "media/decoder_load.h"
#include "media/late_pictures.h"
#include "media/presenter.h"
#include "stream/channel_state.h"
#include "stream/frame_item.h"
#include "stream/play_mode_rates.h"
#include "stream/worker_thread.h"

namespace velmaro {

constexpr double kStartRate = 60.0;  // frames per second until a frame gives its own rate
constexpr uint32_t kEmptyQueueSleepMs = 10;
constexpr uint32_t kHoldServiceMs = 10;    // a held picture is re-presented this often
constexpr uint32_t kStarvedDrainMs = 200;  // frame threads: an empty queue this long drains

// A decoded picture kept for backward play: planar YUV 4:2:0 in one buffer, Y then U then V,
// each plane tightly packed.
struct PackedLayout {
    int width = 0;
    int height = 0;
    int chromaWidth = 0;
    int chromaHeight = 0;

    static PackedLayout For(int width, int height);
    size_t LumaBytes() const { return static_cast<size_t>(width) * height; }
    size_t ChromaBytes() const { return static_cast<size_t>(chromaWidth) * chromaHeight; }
    // With a tail that libswscale's vector loops may read past the last row.
    size_t BufferBytes() const;
};

// Copies a picture of the layout's size into a packed buffer, a pair of luma rows and one row
// of each chroma plane per step; an odd last luma row is copied on its own, never beyond.
void CopyToPacked(const SourcePlanes& source, const PackedLayout& layout, uint8_t* buffer);
// The planes of a packed buffer, to draw it.
SourcePlanes PackedPlanes(const PackedLayout& layout, const uint8_t* buffer, double pts);

// Packed buffers of backward play, for observers: how many exist and how many are free.
struct PackedBufferCounts {
    int allocated = 0;
    int free = 0;
};

class VideoDecoder : public WorkerThread {
  public:
    explicit VideoDecoder(ChannelState* channel);
    ~VideoDecoder() override;

    // Opens the decoder (the presenter waits for the first picture), then starts the thread.
    bool Start() override;
    // Ends the thread (waking a pacing wait), then leaves the window black.
    bool Stop(uint32_t timeoutMs) override;
    int32_t Run() override;

    // Any thread; updated by the worker after each frame.
    PackedBufferCounts PackedBuffers() const;

  private:
    // Where a decoded picture came from in its file.
    struct PictureMark {
        double pts = 0.0;
        uint32_t fileSerial = 0;
        int64_t filePos = -1;
        int64_t groupPos = -1;
    };
    static constexpr size_t kRememberedItems = 64;  // more than the decoder ever holds back

    struct PackedPicture {
        std::unique_ptr<uint8_t[]> buffer;
        FrameItem item;  // data points into buffer; pts is the picture's
        PictureMark mark;
    };
    using PackedList = std::vector<PackedPicture>;

    void ServicePresenter();
    void ServeSnapshot();
    void ProcessItem(const FrameItem& item);
    void AfterQueueCleared();
    bool Stale() const;
    void DrainBackward();
    void DrainWhenStarved();
    void ShowHeldBackPictures(bool forward);
    void CountGroup(int32_t kind);
    bool Thinned(int32_t playMode) const;
    bool Decode(const FrameItem& item);
    void ChooseThreads();
    bool MayDrop(int32_t playMode) const;
    void FollowCodec(VideoCodec codec);
    bool EnsurePresenter();
    bool Reinitialise();
    bool PrepareSource(const FrameItem& item, bool forward);
    bool TakePackedBuffer(PackedPicture& picture);
    void ShowPicture(const FrameItem& item, int32_t playMode);
    void RememberItem(const FrameItem& item);
    PictureMark MarkOf(double pts) const;
    bool Skipped(bool forward);
    void DropPicturesAfterSkip();
    void PublishShown(bool forward);
    void ServeIdleReader();
    void ShowPackedPicture(PackedPicture& picture, int32_t playMode);
    void ShowRestOfReverse();
    void Hold();
    void AdoptStreamRate(const FrameItem& item);
    void BeginBackwardGroup();
    void RecyclePacked();
    void FreePackedBuffers();
    void PublishPackedCounts();

    ChannelState* const channel_;  // owner; not owned
    const uint32_t clearColour_ = kClearColour;

    // Worker thread while it runs; Start, Stop and the destructor otherwise.
    bool frameTaken_ = false;
    bool picturePending_ = false;
    PackedList freeList_;
    PackedList groupList_;    // the group being decoded, in decoding order
    PackedList reverseList_;  // the group decoded before it, shown from its back
    Presenter presenter_;
    CodecState codec_;
    AVCodecID decoderId_ = AV_CODEC_ID_H264;  // the coding of the frames decoded last
    SourcePlanes source_;
    PackedLayout packed_;
    int32_t groupCounter_ = 0;
    double currentRate_ = kStartRate;
    uint64_t queueClears_ = 0;  // the queue's clear count when the last item was taken
    FrameItem lastItem_;        // the last item decoded (its data is not kept)
    uint32_t starvedMs_ = 0;    // how long the queue has been empty
    bool needKey_ = false;      // after a drain the decoder must start a new group
    bool showAtOnce_ = false;   // the first picture of a new place is not paced
    PictureMark remembered_[kRememberedItems];  // the items decoded last, by their times
    size_t nextRemembered_ = 0;
    int64_t groupPos_ = -1;        // the key frame that began the group being decoded
    PictureMark sourceMark_;       // of the picture in source_
    SkipThrough skip_;             // pictures not to show after a change of direction
    uint32_t skipGeneration_ = 0;  // the channel's generation skip_ was taken from
    bool idleServed_ = false;      // what the decoder held was shown since the reader idled
    DecoderLoad load_{MachineCores()};
    LatePictures late_;

    // Written by the worker, read by anyone.
    std::atomic<int> packedAllocated_{0};
    std::atomic<int> packedFree_{0};
};

}  // namespace velmaro
