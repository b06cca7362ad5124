// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/video_decoder.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <turbojpeg.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <numbers>
#include <random>
#include <thread>
#include <vector>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/samplefmt.h>
}

#include "media/audio_resampler.h"
#include "media/codec_state.h"
#include "media/offscreen_output.h"
#include "media/snapshot_writer.h"
#include "stream/channel_state.h"
#include "stream/demux.h"
#include "tests/media/demuxed_frames.h"
#include "tests/media/video_rig.h"
#include "tests/test_support.h"
#include "tools/make_recording/recording_writer.h"

namespace velmaro {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::DemuxedFrames;
using test::TempDir;
using test::TestFrame;
using test::VideoRig;
using test::WaitUntil;

const fs::path kOpenH264 = fs::path(VELMARO_DATA_DIR) / "h264" / "openh264";

// The visible bytes of a decoded picture, as the presenter would hold them.
uint64_t Digest(const AVFrame& frame) {
    PresentedPicture picture;
    picture.width = frame.width;
    picture.height = frame.height;
    for (int plane = 0; plane < 3; ++plane) {
        const int width = plane == 0 ? frame.width : ChromaSize(frame.width);
        const int rows = plane == 0 ? frame.height : ChromaSize(frame.height);
        picture.strides[plane] = width;
        for (int row = 0; row < rows; ++row) {
            const uint8_t* from = frame.data[plane] + row * frame.linesize[plane];
            picture.planes[plane].insert(picture.planes[plane].end(), from, from + width);
        }
    }
    return PictureDigest(picture);
}

// What each picture of a recording looks like when decoded straight through, by time stamp.
std::map<double, uint64_t> ReferenceDigests(const std::vector<TestFrame>& frames) {
    std::map<double, uint64_t> digests;
    CodecState codec;
    if (!codec.OpenVideo(0, 0, kOutputBitsNone)) {
        return digests;
    }
    for (const TestFrame& frame : frames) {
        if (codec.DecodeVideo(frame.bytes.data(), static_cast<int>(frame.bytes.size()),
                              frame.pts)) {
            digests[codec.PictureTime()] = Digest(*codec.Picture());
        }
    }
    return digests;
}

// Small camera-like recordings, made once for the whole file.
class Recordings : public ::testing::Environment {
  public:
    void SetUp() override {
        wide = Make("WIDE", 128, 72, 15, 2);
        small = Make("SMALL", 96, 64, 5, 1);
    }
    void TearDown() override { dir.reset(); }

    static DemuxedFrames Make(const std::string& prefix, int width, int height, int gop,
                              int seconds) {
        RecordingOptions options;
        options.outRoot = Dir().path();
        options.files = 1;
        options.secondsPerFile = seconds;
        options.gop = gop;
        options.width = width;
        options.height = height;
        options.prefix = prefix;
        const RecordingResult result = WriteRecording(options);
        return result.ok ? test::DemuxFrames(result.files.at(0)) : DemuxedFrames{};
    }
    static TempDir& Dir() {
        if (!dir) {
            dir = std::make_unique<TempDir>();
        }
        return *dir;
    }

    static inline std::unique_ptr<TempDir> dir;
    static inline DemuxedFrames wide;   // 128x72, groups of 15, 60 frames
    static inline DemuxedFrames small;  // 96x64, groups of 5, 30 frames
};

const auto* const kRecordings = ::testing::AddGlobalTestEnvironment(new Recordings);

std::vector<TestFrame> Slice(const std::vector<TestFrame>& frames, size_t from, size_t count) {
    return std::vector<TestFrame>(frames.begin() + static_cast<long>(from),
                                  frames.begin() + static_cast<long>(from + count));
}

std::vector<double> Times(const std::vector<TestFrame>& frames) {
    std::vector<double> times;
    for (const TestFrame& frame : frames) {
        times.push_back(frame.pts);
    }
    return times;
}

std::vector<TestFrame> WithOrder(std::vector<TestFrame> frames, int32_t order, int32_t frameRate) {
    for (TestFrame& frame : frames) {
        frame.order = order;
        frame.frameRate = frameRate;
    }
    return frames;
}

bool AllBlack(const PresentedPicture& picture) {
    const auto is = [](const std::vector<uint8_t>& plane, uint8_t value) {
        return !plane.empty() &&
               std::all_of(plane.begin(), plane.end(), [&](uint8_t v) { return v == value; });
    };
    return is(picture.planes[0], 16) && is(picture.planes[1], 128) && is(picture.planes[2], 128);
}

// ---------------------------------------------------------------------------------------------

TEST(VideoDecoder, RecordingsWereMade) {
    ASSERT_EQ(Recordings::wide.video.size(), 60u);
    ASSERT_EQ(Recordings::small.video.size(), 30u);
    EXPECT_EQ(Recordings::wide.video[0].kind, kKindVideoKey);
    EXPECT_EQ(Recordings::wide.video[15].kind, kKindVideoKey);
    EXPECT_EQ(Recordings::small.video[5].kind, kKindVideoKey);
}

TEST(VideoDecoder, NormalPlayShowsEveryFrameInOrderThenStopLeavesBlack) {
    const std::vector<TestFrame> frames = Slice(Recordings::wide.video, 0, 20);
    const std::map<double, uint64_t> reference = ReferenceDigests(frames);
    VideoRig rig;
    ASSERT_TRUE(rig.worker->Start());
    rig.Feed(frames);
    ASSERT_TRUE(rig.WaitShown(20));

    EXPECT_EQ(rig.ShownTimes(), Times(frames));
    for (const PresentRecord& record : rig.output.Records()) {
        EXPECT_EQ(record.width, 128);
        EXPECT_EQ(record.height, 72);
        EXPECT_EQ(record.digest, reference.at(record.pts)) << record.pts;
    }
    EXPECT_EQ(rig.channel.videoWidth.load(), 128);
    EXPECT_EQ(rig.channel.videoHeight.load(), 72);
    EXPECT_EQ(rig.channel.groupLength.load(), 14) << "one whole group was counted";
    EXPECT_FALSE(rig.channel.videoHeld.load());

    EXPECT_TRUE(rig.worker->Stop(kWorkerStopTimeoutMs));
    const std::vector<PresentRecord> records = rig.output.Records();
    ASSERT_EQ(records.size(), 21u);
    EXPECT_EQ(records.back().pts, kNoFramePts);
    EXPECT_TRUE(AllBlack(rig.output.LastPicture()));
}

TEST(VideoDecoder, RgbDisplayModeShowsConvertedPictures) {
    const std::vector<TestFrame> frames = Slice(Recordings::wide.video, 0, 4);
    VideoRig rig(kDisplayRgb);
    ASSERT_TRUE(rig.worker->Start());
    rig.Feed(frames);
    ASSERT_TRUE(rig.WaitShown(4));
    EXPECT_EQ(rig.ShownTimes(), Times(frames));
    const PresentedPicture last = rig.output.LastPicture();
    ASSERT_EQ(last.format, PictureFormat::kRgb32);
    ASSERT_EQ(last.width, 128);
    ASSERT_GE(last.strides[0], 128 * 4);

    // The same picture decoded directly and converted by the textbook formula (BT.601, video
    // levels, each chroma sample covering 2x2 pixels).
    CodecState codec;
    ASSERT_TRUE(codec.OpenVideo(0, 0, kOutputBitsNone));
    for (const TestFrame& frame : frames) {
        codec.DecodeVideo(frame.bytes.data(), static_cast<int>(frame.bytes.size()), frame.pts);
    }
    const AVFrame& yuv = *codec.Picture();
    double differenceSum = 0.0;
    int largest = 0;
    for (int y = 0; y < 72; ++y) {
        for (int x = 0; x < 128; ++x) {
            const double l = 1.164 * (yuv.data[0][y * yuv.linesize[0] + x] - 16);
            const double u = yuv.data[1][(y / 2) * yuv.linesize[1] + x / 2] - 128;
            const double v = yuv.data[2][(y / 2) * yuv.linesize[2] + x / 2] - 128;
            const double rgb[3] = {l + 1.596 * v, l - 0.392 * u - 0.813 * v, l + 2.017 * u};
            const uint8_t* bgrx = &last.planes[0][y * last.strides[0] + x * 4];
            for (int c = 0; c < 3; ++c) {
                const int expected = static_cast<int>(std::lround(std::clamp(rgb[c], 0.0, 255.0)));
                const int difference = std::abs(bgrx[2 - c] - expected);
                differenceSum += difference;
                largest = std::max(largest, difference);
            }
        }
    }
    EXPECT_LT(differenceSum / (128 * 72 * 3), 2.0);
    EXPECT_LE(largest, 8);
}

// Faster modes keep the key frame and only the leading share of the counted frames of each
// group, measured against the previous group (14 counted frames here).
struct Thinning {
    int32_t playMode;
    int kept;
};

class VideoDecoderThinning : public ::testing::TestWithParam<Thinning> {};

TEST_P(VideoDecoderThinning, KeepsKeyFrameAndLeadingShareOfCountedFrames) {
    const Thinning thinning = GetParam();
    const std::vector<TestFrame>& all = Recordings::wide.video;
    const std::vector<TestFrame> frames = Slice(all, 0, 31);  // two groups and the next key
    // Until a whole group has been counted only key frames pass.
    std::vector<double> expected = {all[0].pts, all[15].pts};
    for (int counted = 1; counted <= thinning.kept; ++counted) {
        expected.push_back(all[15 + counted].pts);
    }
    expected.push_back(all[30].pts);

    VideoRig rig;
    rig.channel.playMode.store(thinning.playMode);
    ASSERT_TRUE(rig.worker->Start());
    rig.Feed(frames);
    ASSERT_TRUE(rig.WaitShown(static_cast<int32_t>(expected.size())));
    ASSERT_TRUE(rig.WaitTaken());
    EXPECT_TRUE(rig.worker->Stop(kWorkerStopTimeoutMs));
    EXPECT_EQ(rig.ShownTimes(), expected);
    EXPECT_EQ(rig.channel.groupLength.load(), 14);
}

INSTANTIATE_TEST_SUITE_P(FasterModes, VideoDecoderThinning,
                         ::testing::Values(Thinning{3, 7}, Thinning{4, 3}, Thinning{5, 1},
                                           Thinning{6, 0}));

TEST(VideoDecoder, SingleStepShowsOnePictureAndHoldsIt) {
    const std::vector<TestFrame> frames = Slice(Recordings::wide.video, 0, 6);
    VideoRig rig;
    rig.channel.playMode.store(kPlayStep);
    ASSERT_TRUE(rig.worker->Start());
    rig.Feed(frames);
    ASSERT_TRUE(rig.WaitHeld());
    ASSERT_TRUE(rig.output.WaitForCount(4, test::kPatience)) << "the held picture is re-presented";
    EXPECT_EQ(rig.channel.framesShown.load(), 1);
    EXPECT_EQ(rig.channel.playMode.load(), kPlayHeld);
    for (double pts : rig.ShownTimes()) {
        EXPECT_EQ(pts, frames[0].pts);
    }

    rig.channel.playMode.store(kPlayStep);  // the next step
    ASSERT_TRUE(WaitUntil(
        [&] { return rig.channel.framesShown.load() == 2 && rig.channel.videoHeld.load(); }));
    const size_t before = rig.output.Count();
    ASSERT_TRUE(rig.output.WaitForCount(before + 3, test::kPatience));
    EXPECT_EQ(rig.channel.framesShown.load(), 2);
    EXPECT_EQ(rig.channel.playMode.load(), kPlayHeld);
    EXPECT_EQ(rig.ShownTimes().back(), frames[1].pts);

    rig.channel.playMode.store(kPlayNormal);  // play ends the hold
    ASSERT_TRUE(rig.WaitShown(6));
    EXPECT_TRUE(rig.worker->Stop(kWorkerStopTimeoutMs));
    EXPECT_FALSE(rig.channel.videoHeld.load());
}

TEST(VideoDecoder, StepCommandWrittenDuringTheStepIsNotOverwritten) {
    const std::vector<TestFrame> frames = Slice(Recordings::wide.video, 0, 6);
    VideoRig rig;
    rig.channel.playMode.store(kPlayStep);
    rig.channel.paused.store(1);  // paused too: the hold lasts while either asks for it
    ASSERT_TRUE(rig.worker->Start());
    rig.Feed(frames);
    ASSERT_TRUE(rig.WaitHeld());
    rig.channel.playMode.store(2);  // a speed change while held
    rig.channel.paused.store(0);
    ASSERT_TRUE(rig.WaitShown(2));
    EXPECT_EQ(rig.channel.playMode.load(), 2);
}

TEST(VideoDecoder, BackwardPlayShowsEachEarlierGroupFromItsLastPicture) {
    const std::vector<TestFrame>& all = Recordings::small.video;
    const std::map<double, uint64_t> reference = ReferenceDigests(all);
    // The reader delivers groups last first, each in its own forward order; frame rate not
    // given, so the worker keeps its starting rate.
    std::vector<TestFrame> backward;
    for (int group = 5; group >= 2; --group) {
        for (const TestFrame& frame : WithOrder(Slice(all, group * 5, 5), -kPlayBackward, 0)) {
            backward.push_back(frame);
        }
    }
    VideoRig rig;
    rig.channel.playMode.store(kPlayBackward);
    ASSERT_TRUE(rig.worker->Start());
    rig.Feed(backward);
    ASSERT_TRUE(rig.WaitShown(15));

    std::vector<double> expected;
    for (int group = 5; group >= 3; --group) {
        for (int i = 4; i >= 0; --i) {
            expected.push_back(all[group * 5 + i].pts);
        }
    }
    EXPECT_EQ(rig.ShownTimes(), expected) << "nothing for the first group, then last first";
    for (const PresentRecord& record : rig.output.Records()) {
        EXPECT_EQ(record.digest, reference.at(record.pts)) << "packed copy of " << record.pts;
    }
    const PackedBufferCounts during = rig.worker->PackedBuffers();
    EXPECT_GT(during.allocated, 0);
    EXPECT_LE(during.allocated, 11) << "about two groups are held";
    EXPECT_LT(during.free, during.allocated);

    // A forward item (a step forward) returns every packed buffer to the free list.
    rig.channel.playMode.store(kPlayStep);
    rig.Feed(WithOrder(Slice(all, 0, 1), kPlayStep, 30));
    // The hold raises videoHeld before it presents the stepped picture: wait for the picture.
    ASSERT_TRUE(WaitUntil([&] {
        return rig.channel.framesShown.load() == 16 && rig.channel.videoHeld &&
               !rig.ShownTimes().empty() && rig.ShownTimes().back() == all[0].pts;
    }));
    const PackedBufferCounts after = rig.worker->PackedBuffers();
    EXPECT_EQ(after.allocated, during.allocated) << "kept for reuse, not freed";
    EXPECT_EQ(after.free, after.allocated);
    EXPECT_EQ(rig.ShownTimes().back(), all[0].pts);
}

// A seek clears the queue while the worker waits for an old frame's time: that frame is not
// shown, and the first picture of the new place comes without waiting a frame interval.
TEST(VideoDecoder, AfterAQueueClearTheNewPlaceShowsAtOnceAndNothingOldFollows) {
    const std::vector<TestFrame>& all = Recordings::wide.video;
    constexpr int32_t kSlowRate = 1;  // a second per frame
    VideoRig rig;
    ASSERT_TRUE(rig.worker->Start());
    rig.Feed(WithOrder(Slice(all, 0, 10), kPlayNormal, kSlowRate));
    ASSERT_TRUE(rig.WaitShown(2));
    rig.channel.videoQueue.Clear();  // as a seek does: the queue, then the clock's wait
    rig.channel.clock.Wake();
    const auto cleared = std::chrono::steady_clock::now();
    rig.Feed(WithOrder(Slice(all, 30, 5), kPlayNormal, kSlowRate));
    // The picture after the new place's first may follow at once (the wake meant for the old
    // frame's wait can still be pending), so look for the first, not at the last.
    const auto newPlaceAt = [&] {
        const std::vector<double> shown = rig.ShownTimes();
        return std::find(shown.begin(), shown.end(), all[30].pts) - shown.begin();
    };
    ASSERT_TRUE(WaitUntil([&] { return newPlaceAt() < std::ssize(rig.ShownTimes()); }));
    EXPECT_LT(std::chrono::steady_clock::now() - cleared, 700ms)
        << "not paced against the old place's clock";
    const std::vector<double> shown = rig.ShownTimes();
    const auto at = static_cast<size_t>(newPlaceAt());
    ASSERT_EQ(at, 2u) << "the frame waited for was dropped";
    EXPECT_EQ(shown[1], all[1].pts);
    EXPECT_TRUE(rig.worker->Stop(kWorkerStopTimeoutMs));
}

// Backward play after a reset starts over: the group decoded before the reset belongs to the
// old place and is never shown at the new one.
TEST(VideoDecoder, BackwardPlayAfterAQueueClearShowsOnlyTheNewPlace) {
    const std::vector<TestFrame>& all = Recordings::small.video;
    auto groups = [&](int from, int to) {
        std::vector<TestFrame> frames;
        for (int group = from; group >= to; --group) {
            for (const TestFrame& f : WithOrder(Slice(all, group * 5, 5), -kPlayBackward, 0)) {
                frames.push_back(f);
            }
        }
        return frames;
    };
    VideoRig rig;
    rig.channel.playMode.store(kPlayBackward);
    ASSERT_TRUE(rig.worker->Start());
    rig.Feed(groups(5, 4));
    ASSERT_TRUE(rig.WaitShown(4));  // group 5 from its back while group 4 decodes
    ASSERT_TRUE(rig.WaitTaken());
    rig.channel.videoQueue.Clear();
    const size_t before = rig.ShownTimes().size();
    rig.Feed(groups(2, 1));
    ASSERT_TRUE(rig.WaitShown(static_cast<int32_t>(before) + 4));
    std::vector<double> expected;
    for (int i = 4; i >= 1; --i) {
        expected.push_back(all[10 + i].pts);
    }
    const std::vector<double> shown = rig.ShownTimes();
    EXPECT_EQ(std::vector<double>(shown.begin() + static_cast<long>(before), shown.end()),
              expected);
    EXPECT_TRUE(rig.worker->Stop(kWorkerStopTimeoutMs));
}

// Frame threads deliver each picture a packet late; played through, backward, and stepped,
// the pictures shown must still be exactly those of single-threaded decoding.
//
// libavcodec's frame threads hand pictures over through atomics inside the uninstrumented
// library, which ThreadSanitizer cannot see; it reports every such hand-over as a race.
#if defined(__SANITIZE_THREAD__)
#define SKIP_FRAME_THREADS_UNDER_TSAN() \
    GTEST_SKIP() << "frame-thread hand-overs inside libavcodec are invisible to TSan"
#else
#define SKIP_FRAME_THREADS_UNDER_TSAN() (void)0
#endif

TEST(VideoDecoderThreads, NormalPlayShowsEveryPictureIncludingTheLastAfterAStall) {
    SKIP_FRAME_THREADS_UNDER_TSAN();
    const std::vector<TestFrame> frames = Slice(Recordings::wide.video, 0, 20);
    const std::map<double, uint64_t> reference = ReferenceDigests(frames);
    VideoRig rig;
    rig.channel.decoderThreads = 2;
    ASSERT_TRUE(rig.worker->Start());
    rig.Feed(frames);
    ASSERT_TRUE(rig.WaitShown(20)) << "the last picture comes out once the queue runs dry";
    EXPECT_EQ(rig.ShownTimes(), Times(frames));
    for (const PresentRecord& record : rig.output.Records()) {
        EXPECT_EQ(record.digest, reference.at(record.pts)) << record.pts;
    }
    // After the drain the decoder starts again at a key frame: the inter frames in front of
    // it are skipped, the group from the key frame on is shown.
    rig.Feed(Slice(Recordings::wide.video, 28, 7));
    ASSERT_TRUE(rig.WaitShown(25));
    const std::vector<double> shown = rig.ShownTimes();
    EXPECT_EQ(shown[20], Recordings::wide.video[30].pts);
    EXPECT_TRUE(rig.worker->Stop(kWorkerStopTimeoutMs));
}

TEST(VideoDecoderThreads, BackwardPlayShowsTheSameGroupsAsOneThread) {
    SKIP_FRAME_THREADS_UNDER_TSAN();
    const std::vector<TestFrame>& all = Recordings::small.video;
    std::vector<TestFrame> backward;
    for (int group = 5; group >= 2; --group) {
        for (const TestFrame& frame : WithOrder(Slice(all, group * 5, 5), -kPlayBackward, 0)) {
            backward.push_back(frame);
        }
    }
    const std::map<double, uint64_t> reference = ReferenceDigests(all);
    VideoRig rig;
    rig.channel.decoderThreads = 2;
    rig.channel.playMode.store(kPlayBackward);
    ASSERT_TRUE(rig.worker->Start());
    rig.Feed(backward);
    ASSERT_TRUE(rig.WaitShown(15));
    std::vector<double> expected;
    for (int group = 5; group >= 3; --group) {
        for (int i = 4; i >= 0; --i) {
            expected.push_back(all[group * 5 + i].pts);
        }
    }
    EXPECT_EQ(rig.ShownTimes(), expected);
    for (const PresentRecord& record : rig.output.Records()) {
        EXPECT_EQ(record.digest, reference.at(record.pts)) << record.pts;
    }
    EXPECT_TRUE(rig.worker->Stop(kWorkerStopTimeoutMs));
}

TEST(VideoDecoderThreads, EachStepShowsTheNextPictureInOrder) {
    SKIP_FRAME_THREADS_UNDER_TSAN();
    const std::vector<TestFrame> frames = Slice(Recordings::wide.video, 0, 8);
    VideoRig rig;
    rig.channel.decoderThreads = 2;
    rig.channel.playMode.store(kPlayStep);
    ASSERT_TRUE(rig.worker->Start());
    rig.Feed(frames);
    for (int step = 1; step <= 4; ++step) {
        ASSERT_TRUE(WaitUntil([&] {
            return rig.channel.framesShown.load() == step && rig.channel.videoHeld.load() &&
                   !rig.ShownTimes().empty() && rig.ShownTimes().back() == frames[step - 1].pts;
        })) << "step "
            << step;
        EXPECT_EQ(rig.channel.framesShown.load(), step);
        rig.channel.playMode.store(kPlayStep);
    }
    EXPECT_TRUE(rig.worker->Stop(kWorkerStopTimeoutMs));
}

TEST(VideoDecoder, BackwardPlayWithUndecodableKeyFramesHoldsAtMostTwoGroups) {
    const std::vector<TestFrame>& all = Recordings::small.video;
    // One good group, then many whose key frame gives no picture while an inter frame of each
    // still does (the decoder conceals the missing references).
    std::vector<TestFrame> backward = WithOrder(Slice(all, 25, 5), -kPlayBackward, 0);
    for (int round = 0; round < 4; ++round) {
        for (int group = 4; group >= 0; --group) {
            std::vector<TestFrame> frames = WithOrder(Slice(all, group * 5, 5), -kPlayBackward, 0);
            frames[0].bytes.assign(frames[0].bytes.size(), 0x11);
            backward.insert(backward.end(), frames.begin(), frames.end());
        }
    }
    VideoRig rig;
    rig.channel.playMode.store(kPlayBackward);
    ASSERT_TRUE(rig.worker->Start());
    rig.Feed(backward);
    ASSERT_TRUE(rig.WaitTaken());
    EXPECT_TRUE(rig.worker->Stop(kWorkerStopTimeoutMs));
    EXPECT_LE(rig.worker->PackedBuffers().allocated, 11);
}

TEST(VideoDecoder, PausedWorkerHoldsAndServesSnapshotsInBothDisplayModes) {
    for (const int32_t mode : {kDisplayYv12, kDisplayRgb}) {
        SCOPED_TRACE(mode);
        TempDir dir;
        const std::string path = dir.File("Shots/Car/snap.jpg");
        const std::vector<TestFrame> frames = Slice(Recordings::wide.video, 0, 5);
        VideoRig rig(mode);
        rig.channel.paused.store(1);
        ASSERT_TRUE(rig.worker->Start());
        rig.Feed(frames);
        ASSERT_TRUE(rig.WaitHeld());
        rig.channel.RequestSnapshot({path, {}});
        ASSERT_TRUE(WaitUntil([&] { return rig.channel.snapshotRequested.load() == 0; }));
        EXPECT_EQ(rig.channel.framesShown.load(), 1);

        const std::vector<uint8_t> jpeg = test::ReadBytes(path);
        tjhandle handle = tjInitDecompress();
        int width = 0, height = 0, subsampling = 0, colourspace = 0;
        EXPECT_EQ(tjDecompressHeader3(handle, jpeg.data(), jpeg.size(), &width, &height,
                                      &subsampling, &colourspace),
                  0);
        tjDestroy(handle);
        EXPECT_EQ(width, 128);
        EXPECT_EQ(height, 72);

        // Re-presents while held count as presents too: wait for the last frame itself.
        rig.channel.paused.store(0);
        EXPECT_TRUE(WaitUntil([&] { return rig.ShownTimes().back() == frames.back().pts; }));
    }
}

// Snapshots asked for one after another within a second are all written, none over another,
// and each outcome comes back with the file's real name.
TEST(VideoDecoder, SnapshotsAskedTogetherAreEachWrittenAndReported) {
    TempDir dir;
    const std::string path = dir.File("Shots/2012-05-17 08-31-05.jpg");
    VideoRig rig;
    rig.channel.paused.store(1);
    rig.channel.RequestSnapshot({path, {}});
    std::vector<SnapshotResult> results = rig.channel.TakeSnapshotResults();
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].end, SnapshotEnd::kNoPicture) << "asked before any picture";

    ASSERT_TRUE(rig.worker->Start());
    rig.Feed(Slice(Recordings::wide.video, 0, 5));
    ASSERT_TRUE(rig.WaitHeld());
    constexpr int kAsked = 3;
    for (int i = 0; i < kAsked; ++i) {
        rig.channel.RequestSnapshot({path, {}});
    }
    ASSERT_TRUE(WaitUntil([&] { return rig.channel.snapshotRequested.load() == 0; }));
    results = rig.channel.TakeSnapshotResults();
    ASSERT_EQ(results.size(), static_cast<size_t>(kAsked));
    for (int i = 0; i < kAsked; ++i) {
        ASSERT_TRUE(results[i].Written()) << results[i].reason;
        EXPECT_EQ(results[i].path, NumberedSnapshotPath(path, i + 1));
        const std::vector<uint8_t> jpeg = test::ReadBytes(results[i].path);
        tjhandle handle = tjInitDecompress();
        int width = 0, height = 0, subsampling = 0, colourspace = 0;
        EXPECT_EQ(tjDecompressHeader3(handle, jpeg.data(), jpeg.size(), &width, &height,
                                      &subsampling, &colourspace),
                  0);
        tjDestroy(handle);
        EXPECT_EQ(width, 128);
    }

    // A folder that cannot be made: the request ends with the reason, and no path.
    test::WriteText(dir.File("plain"), "a file, not a folder");
    rig.channel.RequestSnapshot({dir.File("plain/Shots/snap.jpg"), {}});
    ASSERT_TRUE(WaitUntil([&] { return rig.channel.snapshotRequested.load() == 0; }));
    results = rig.channel.TakeSnapshotResults();
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].end, SnapshotEnd::kFolderUnwritable);
    EXPECT_TRUE(results[0].path.empty());
    EXPECT_TRUE(rig.worker->Stop(kWorkerStopTimeoutMs));
}

TEST(VideoDecoder, SizeChangeRebuildsThePresenterAndFreesPackedBuffers) {
    const std::vector<TestFrame>& small = Recordings::small.video;
    std::vector<TestFrame> frames = WithOrder(Slice(small, 5, 5), -kPlayBackward, 0);
    for (const TestFrame& frame : WithOrder(Slice(small, 0, 5), -kPlayBackward, 0)) {
        frames.push_back(frame);
    }
    for (const TestFrame& frame : Slice(Recordings::wide.video, 0, 5)) {
        frames.push_back(frame);
    }
    VideoRig rig;
    rig.channel.playMode.store(kPlayBackward);
    ASSERT_TRUE(rig.worker->Start());
    rig.Feed(frames);
    ASSERT_TRUE(rig.WaitShown(10));

    const std::vector<PresentRecord> records = rig.output.Records();
    ASSERT_EQ(records.size(), 10u);
    for (size_t i = 0; i < records.size(); ++i) {
        EXPECT_EQ(records[i].width, i < 5 ? 96 : 128) << i;
        EXPECT_EQ(records[i].height, i < 5 ? 64 : 72) << i;
    }
    EXPECT_EQ(rig.channel.videoWidth.load(), 128);
    EXPECT_EQ(rig.worker->PackedBuffers().allocated, 0);
}

TEST(VideoDecoder, DamagedAndEmptyFramesAreSkippedAndPlayGoesOn) {
    const std::vector<TestFrame>& all = Recordings::wide.video;
    std::vector<TestFrame> frames;
    std::mt19937 random(7);
    TestFrame empty = all[0];
    empty.bytes.clear();  // must not put the decoder into draining
    frames.push_back(empty);
    TestFrame garbage = all[0];
    for (uint8_t& byte : garbage.bytes) {
        byte = static_cast<uint8_t>(random());
    }
    frames.push_back(garbage);
    TestFrame cut = all[0];
    cut.bytes.resize(cut.bytes.size() / 3);
    frames.push_back(cut);
    for (int i = 1; i < 5; ++i) {
        TestFrame damaged = all[i];
        for (size_t at = damaged.bytes.size() / 2; at < damaged.bytes.size(); at += 7) {
            damaged.bytes[at] ^= 0x5A;
        }
        frames.push_back(damaged);
    }
    const std::vector<TestFrame> clean = Slice(all, 15, 5);
    frames.insert(frames.end(), clean.begin(), clean.end());

    VideoRig rig;
    rig.channel.playMode.store(2);
    ASSERT_TRUE(rig.worker->Start());
    rig.Feed(frames);
    ASSERT_TRUE(WaitUntil([&] {
        const std::vector<double> shown = rig.ShownTimes();
        return !shown.empty() && shown.back() == clean.back().pts;
    }));
    const std::vector<double> shown = rig.ShownTimes();
    const std::vector<double> tail(shown.end() - 5, shown.end());
    EXPECT_EQ(tail, Times(clean)) << "a clean group after damage is shown whole";
}

TEST(VideoDecoder, WithoutWindowNothingIsShownAndEachPictureTriesAgain) {
    VideoRig rig(kDisplayYv12, false);
    ASSERT_TRUE(rig.worker->Start());
    rig.Feed(Slice(Recordings::wide.video, 0, 5));
    ASSERT_TRUE(rig.WaitTaken());
    EXPECT_TRUE(rig.worker->Stop(kWorkerStopTimeoutMs));
    EXPECT_EQ(rig.channel.framesShown.load(), 0);
    EXPECT_EQ(rig.channel.videoWidth.load(), 0);
    EXPECT_EQ(rig.output.Count(), 0u);
}

TEST(VideoDecoder, StopEndsAPacingWaitAndRestartPlaysOn) {
    const std::vector<TestFrame>& all = Recordings::wide.video;
    VideoRig rig;
    rig.channel.playMode.store(10);  // the slowest speed: a long pacing wait per frame
    ASSERT_TRUE(rig.worker->Start());
    rig.Feed(Slice(all, 0, 3));
    ASSERT_TRUE(rig.WaitShown(1));
    EXPECT_TRUE(rig.worker->Stop(kWorkerStopTimeoutMs));
    EXPECT_FALSE(rig.worker->ThreadAlive());
    EXPECT_EQ(rig.output.Records().back().pts, kNoFramePts);

    rig.channel.playMode.store(2);
    ASSERT_TRUE(rig.worker->Start());
    rig.Feed(Slice(all, 3, 3));
    ASSERT_TRUE(WaitUntil([&] { return rig.ShownTimes().back() == all[5].pts; }));
}

// ---------------------------------------------------------------------------------------------

TEST(VideoPackedBuffer, OddSizesAreCopiedWithinThePicture) {
    for (const auto& [width, height] : {std::pair{7, 5}, {1, 1}, {8, 3}, {6, 4}}) {
        SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height));
        const PackedLayout layout = PackedLayout::For(width, height);
        const int chromaWidth = ChromaSize(width);
        const int chromaHeight = ChromaSize(height);
        // Planes of exactly the picture's size with strides wider than it.
        const int strides[3] = {width + 3, chromaWidth + 1, chromaWidth + 2};
        const int rows[3] = {height, chromaHeight, chromaHeight};
        std::vector<std::unique_ptr<uint8_t[]>> planes;
        SourcePlanes source;
        for (int p = 0; p < 3; ++p) {
            const int rowBytes = p == 0 ? width : chromaWidth;
            const size_t size = static_cast<size_t>(strides[p]) * (rows[p] - 1) + rowBytes;
            planes.push_back(std::make_unique<uint8_t[]>(size));
            for (size_t i = 0; i < size; ++i) {
                planes[p][i] = static_cast<uint8_t>(p * 80 + i);
            }
            source.planes[p] = planes[p].get();
            source.strides[p] = strides[p];
        }
        source.width = width;
        source.height = height;

        const size_t exact = layout.LumaBytes() + 2 * layout.ChromaBytes();
        auto buffer = std::make_unique<uint8_t[]>(exact);
        CopyToPacked(source, layout, buffer.get());
        const SourcePlanes packed = PackedPlanes(layout, buffer.get(), 1.5);
        for (int p = 0; p < 3; ++p) {
            const int rowBytes = p == 0 ? width : chromaWidth;
            for (int row = 0; row < rows[p]; ++row) {
                EXPECT_EQ(std::memcmp(packed.planes[p] + row * packed.strides[p],
                                      source.planes[p] + row * strides[p], rowBytes),
                          0)
                    << "plane " << p << " row " << row;
            }
        }
        EXPECT_EQ(packed.planes[2] + chromaWidth * chromaHeight, buffer.get() + exact);
        EXPECT_GE(layout.BufferBytes(), exact);
    }
}

// ---------------------------------------------------------------------------------------------

// Access units of an Annex-B file, split by libavcodec's H.264 parser.
std::vector<std::vector<uint8_t>> AccessUnits(const fs::path& file) {
    std::vector<std::vector<uint8_t>> units;
    const std::vector<uint8_t> bytes = test::ReadBytes(file);
    AVCodecParserContext* parser = av_parser_init(AV_CODEC_ID_H264);
    AVCodecContext* context = avcodec_alloc_context3(avcodec_find_decoder(AV_CODEC_ID_H264));
    size_t at = 0;
    while (parser && context) {
        uint8_t* out = nullptr;
        int outSize = 0;
        const int left = static_cast<int>(bytes.size() - at);
        const int used = av_parser_parse2(parser, context, &out, &outSize,
                                          left > 0 ? bytes.data() + at : nullptr, left,
                                          AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
        if (outSize > 0) {
            units.emplace_back(out, out + outSize);
        }
        at += static_cast<size_t>(std::max(used, 0));
        if (left == 0) {
            break;
        }
    }
    av_parser_close(parser);
    avcodec_free_context(&context);
    return units;
}

struct AnnexB {
    const char* file;
    int width;  // 0: any
    int height;
    int pictures;  // -1: damaged, any number
};

TEST(CodecState, DecodesThirdPartyAnnexBStreamsIncludingDamagedOnes) {
    const AnnexB streams[] = {
        {"BA_MW_D.264", 176, 144, 100},
        {"CVFC1_Sony_C.jsv", 300, 168, 50},  // cropped: not a multiple of 16
        {"test_scalinglist_jm.264", 320, 192, 5},
        {"MR1_BT_A.h264", 176, 144, 62},
        {"Error_I_P.264", 0, 0, -1},  // damaged: sizes vary too
        {"sps_subsetsps_bothVUI.264", 0, 0, -1},
    };
    for (const AnnexB& stream : streams) {
        SCOPED_TRACE(stream.file);
        const auto units = AccessUnits(kOpenH264 / stream.file);
        ASSERT_FALSE(units.empty());
        CodecState codec;
        ASSERT_TRUE(codec.OpenVideo(0, 0, kOutputBitsNone));
        int pictures = 0;
        for (const auto& unit : units) {
            if (codec.DecodeVideo(unit.data(), static_cast<int>(unit.size()), pictures)) {
                ++pictures;
                const AVFrame& picture = *codec.Picture();
                EXPECT_EQ(picture.format, AV_PIX_FMT_YUV420P);
                if (stream.width != 0) {
                    EXPECT_EQ(picture.width, stream.width);
                    EXPECT_EQ(picture.height, stream.height);
                }
            }
        }
        if (stream.pictures >= 0) {
            EXPECT_EQ(pictures, stream.pictures);
        }
        codec.Release();
        codec.Release();
        EXPECT_FALSE(codec.IsOpen());
    }
}

TEST(CodecState, GarbageAndEmptyPacketsYieldNothingAndDecodingGoesOn) {
    CodecState codec;
    ASSERT_TRUE(codec.OpenVideo(0, 0, kOutputBitsNone));
    const std::vector<TestFrame>& frames = Recordings::wide.video;
    std::vector<uint8_t> junk(4096);
    std::mt19937 random(3);
    for (uint8_t& byte : junk) {
        byte = static_cast<uint8_t>(random());
    }
    EXPECT_FALSE(codec.DecodeVideo(nullptr, 0, 0.0));
    EXPECT_FALSE(codec.DecodeVideo(junk.data(), 0, 0.0));
    EXPECT_FALSE(codec.DecodeVideo(junk.data(), static_cast<int>(junk.size()), 0.0));
    ASSERT_TRUE(codec.DecodeVideo(frames[0].bytes.data(), static_cast<int>(frames[0].bytes.size()),
                                  frames[0].pts));
    EXPECT_EQ(codec.PictureTime(), frames[0].pts) << "the time travels with the picture";
    EXPECT_TRUE(codec.DecodeVideo(frames[1].bytes.data(), static_cast<int>(frames[1].bytes.size()),
                                  frames[1].pts));
}

TEST(CodecState, ScalerFollowsSizeAndOutputBitsAndMovesWithItsOwner) {
    CodecState codec;
    ASSERT_TRUE(codec.OpenVideo(64, 48, kOutputBitsRgb32));
    SwsContext* scaler = codec.Scaler();
    ASSERT_NE(scaler, nullptr);
    ASSERT_TRUE(codec.OpenVideo(64, 48, kOutputBitsRgb32));
    EXPECT_EQ(codec.Scaler(), scaler) << "same size and bits: reused";
    ASSERT_TRUE(codec.OpenVideo(64, 48, kOutputBitsRgb565));
    EXPECT_NE(codec.Scaler(), nullptr);
    ASSERT_TRUE(codec.OpenVideo(64, 48, kOutputBitsYv12));
    EXPECT_EQ(codec.Scaler(), nullptr) << "planes shown as they are need no conversion";
    EXPECT_FALSE(codec.OpenVideo(64, 48, 24));
    EXPECT_EQ(codec.Width(), 64);

    CodecState moved(std::move(codec));
    EXPECT_TRUE(moved.IsOpen());
    EXPECT_FALSE(codec.IsOpen());  // NOLINT(bugprone-use-after-move): moved-from is empty
    CodecState assigned;
    assigned = std::move(moved);
    EXPECT_TRUE(assigned.IsOpen());
    EXPECT_EQ(assigned.OutputBits(), kOutputBitsYv12);
}

TEST(CodecState, OtherPixelLayoutsComeOutAsPlanarYuv420WithVideoLevels) {
    // A decoder that delivers full-range 4:4:4 (Motion JPEG here; a High 4:4:4 H.264 stream
    // takes the same path) is converted to the one layout the presenter and backward play use.
    const AVCodec* encoder = avcodec_find_encoder(AV_CODEC_ID_MJPEG);
    ASSERT_NE(encoder, nullptr);
    AVCodecContext* context = avcodec_alloc_context3(encoder);
    context->width = 20;
    context->height = 10;
    context->pix_fmt = AV_PIX_FMT_YUVJ444P;
    context->time_base = {1, 25};
    ASSERT_EQ(avcodec_open2(context, encoder, nullptr), 0);
    AVFrame* frame = av_frame_alloc();
    frame->format = AV_PIX_FMT_YUVJ444P;
    frame->width = 20;
    frame->height = 10;
    ASSERT_EQ(av_frame_get_buffer(frame, 0), 0);
    for (int p = 0; p < 3; ++p) {
        for (int y = 0; y < 10; ++y) {
            std::memset(frame->data[p] + y * frame->linesize[p], p == 0 ? 255 : 140, 20);
        }
    }
    frame->pts = 0;
    AVPacket* packet = av_packet_alloc();
    ASSERT_EQ(avcodec_send_frame(context, frame), 0);
    ASSERT_EQ(avcodec_receive_packet(context, packet), 0);

    CodecState codec;
    ASSERT_TRUE(codec.OpenDecoder(AV_CODEC_ID_MJPEG));
    ASSERT_TRUE(codec.DecodeVideo(packet->data, packet->size, 2.0));
    const AVFrame& picture = *codec.Picture();
    EXPECT_EQ(picture.format, AV_PIX_FMT_YUV420P);
    EXPECT_EQ(picture.width, 20);
    EXPECT_EQ(picture.height, 10);
    EXPECT_NEAR(picture.data[0][9 * picture.linesize[0] + 19], 235, 2) << "full white";
    EXPECT_NEAR(picture.data[1][0], 128 + 12 * 224 / 255, 2);
    EXPECT_NEAR(picture.data[2][4 * picture.linesize[2] + 9], 128 + 12 * 224 / 255, 2);
    EXPECT_EQ(codec.PictureTime(), 2.0);

    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&context);
}

// ---------------------------------------------------------------------------------------------

TEST(CodecAudioResampler, RecordingAacComesOutAsMono48kSigned16) {
    const std::vector<TestFrame>& audio = Recordings::wide.audio;
    ASSERT_GT(audio.size(), 10u);
    CodecState codec;
    ASSERT_TRUE(codec.OpenDecoder(AV_CODEC_ID_AAC));
    AudioResampler resampler;
    size_t frames = 0;
    size_t samples = 0;
    for (const TestFrame& frame : audio) {
        if (!codec.SendPacket(frame.bytes.data(), static_cast<int>(frame.bytes.size()))) {
            continue;
        }
        while (codec.ReceiveFrame()) {
            ++frames;
            samples += resampler.Convert(*codec.Frame()).size();
        }
    }
    EXPECT_GE(frames, audio.size() - 1);
    EXPECT_EQ(samples, frames * 1024) << "48 kHz in, 48 kHz out: one sample per sample";
}

TEST(CodecAudioResampler, StereoFloatAt44kIsMixedToMonoAndResampledTo48k) {
    constexpr int kRate = 44100;
    constexpr int kSamples = 1024;
    AVFrame* frame = av_frame_alloc();
    frame->format = AV_SAMPLE_FMT_FLTP;
    frame->sample_rate = kRate;
    frame->nb_samples = kSamples;
    const AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    ASSERT_EQ(av_channel_layout_copy(&frame->ch_layout, &stereo), 0);
    ASSERT_EQ(av_frame_get_buffer(frame, 0), 0);
    AudioResampler resampler;
    size_t total = 0;
    int16_t peak = 0;
    for (int round = 0; round < 20; ++round) {
        for (int i = 0; i < kSamples; ++i) {
            const double t = static_cast<double>(round * kSamples + i) / kRate;
            const auto tone = static_cast<float>(0.5 * std::sin(2 * std::numbers::pi * 441.0 * t));
            reinterpret_cast<float*>(frame->data[0])[i] = tone;
            reinterpret_cast<float*>(frame->data[1])[i] = tone;
        }
        const std::span<const int16_t> out = resampler.Convert(*frame);
        total += out.size();
        for (int16_t s : out) {
            peak = std::max<int16_t>(peak, static_cast<int16_t>(std::abs(s)));
        }
    }
    const double expected = 20.0 * kSamples * kAudioOutputRate / kRate;
    EXPECT_NEAR(static_cast<double>(total), expected, 64.0) << "a few held back at most";
    EXPECT_NEAR(peak, 0.5 * 32767, 0.02 * 32767) << "equal channels mix to the same level";

    AudioResampler moved(std::move(resampler));
    EXPECT_FALSE(moved.Convert(*frame).empty());
    frame->sample_rate = 0;
    EXPECT_TRUE(moved.Convert(*frame).empty()) << "an unusable frame gives nothing";
    av_frame_free(&frame);
}

}  // namespace
}  // namespace velmaro

namespace velmaro {
namespace {

// A stream that reorders its pictures keeps the last ones in the decoder until it is drained:
// once the reader has read everything, every picture fed comes out, the last ones included.
TEST(VideoDecoderAtTheEnd, ReorderingStreamShowsEveryPictureOnceTheReaderIsIdle) {
    const std::string path =
        (fs::path(VELMARO_DATA_DIR) / "ts" / "lpms" / "test_short.ts").string();
    std::vector<TestFrame> frames = test::DemuxVideoFrames(path);
    while (!frames.empty() && frames.front().kind != kKindVideoKey) {
        frames.erase(frames.begin());
    }
    ASSERT_GT(frames.size(), 20u);
    for (TestFrame& frame : frames) {
        frame.order = 1;
    }
    const auto count = static_cast<int32_t>(frames.size());
    VideoRig rig;
    ASSERT_TRUE(rig.worker->Start());
    rig.Feed(frames);
    ASSERT_TRUE(rig.WaitTaken());
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_LT(rig.channel.framesShown.load(), count) << "the decoder holds the last pictures back";
    rig.channel.readerIdle = true;
    ASSERT_TRUE(rig.WaitShown(count)) << rig.channel.framesShown.load() << " of " << count;
    std::vector<double> shown = rig.ShownTimes();
    std::vector<double> fed;
    for (const TestFrame& frame : frames) {
        fed.push_back(frame.pts);
    }
    std::sort(shown.begin(), shown.end());
    std::sort(fed.begin(), fed.end());
    EXPECT_EQ(shown, fed) << "each picture fed, once";
}

}  // namespace
}  // namespace velmaro

namespace velmaro {
namespace {

// Played backward, a group is shown from its back while the group before it decodes. When that
// earlier group is shorter (a file's cut last group, a damaged one), the rest of the later group
// is still shown before it; when the reader reaches the card's start, the last group decoded is
// shown too.
TEST(VideoDecoderBackward, ShorterEarlierGroupsAndTheCardsFirstGroupLoseNoPicture) {
    const std::vector<TestFrame>& all = Recordings::small.video;
    std::vector<TestFrame> backward;
    for (const auto& [first, count] : {std::pair{25, 5}, std::pair{20, 2}, std::pair{15, 5}}) {
        for (const TestFrame& frame : WithOrder(Slice(all, first, count), -kPlayBackward, 0)) {
            backward.push_back(frame);
        }
    }
    VideoRig rig;
    rig.channel.playMode.store(kPlayBackward);
    ASSERT_TRUE(rig.worker->Start());
    rig.Feed(backward);
    ASSERT_TRUE(rig.WaitShown(7));
    ASSERT_TRUE(rig.WaitTaken());
    rig.channel.readerIdle = true;
    ASSERT_TRUE(rig.WaitShown(12));
    std::vector<double> expected;
    for (int i : {29, 28, 27, 26, 25, 21, 20, 19, 18, 17, 16, 15}) {
        expected.push_back(all[static_cast<size_t>(i)].pts);
    }
    EXPECT_EQ(rig.ShownTimes(), expected);
}

}  // namespace
}  // namespace velmaro
