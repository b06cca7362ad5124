// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Requests that reach the reader while it delivers backward: a seek, the previous or next
// recording, a file opened by path and a jump to a time of day. Each resets the reading once;
// what follows the reset is the new place's pictures only, backward, group by group.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "card_frames.h"
#include "platform/message_sink.h"
#include "playback/playback_channel.h"
#include "reader_harness.h"
#include "stream/recording_index.h"
#include "stream/ts_packet.h"
#include "tests/test_support.h"

namespace velmaro {
namespace {

using test::BackwardFrom;
using test::BackwardFromEnd;
using test::Delivered;
using test::DeliveredAs;
using test::ReaderHarness;
using test::WantGroup;

constexpr int kGop = 15;
constexpr int kSecondsPerFile = 3;  // six groups a file: room to be part-way through one
constexpr int32_t kBackwardOrder = -kPlayBackward;
constexpr size_t kLastFile = 2;

RecordingOptions RequestCard() {
    RecordingOptions o;
    o.files = 3;
    o.secondsPerFile = kSecondsPerFile;
    o.width = 320;
    o.height = 240;
    o.gop = kGop;
    // Times run on across the files, so a picture's time alone tells which file it came from.
    o.restartTimestamps = false;
    return o;
}

// The channel's own reader, queues and recording list, with a consumer that records every item
// in place of the decoding workers, so the pictures the reader delivers can be told one by one.
// Member names match ReaderHarness, so the steps below serve both.
class ChannelRig {
  public:
    ChannelRig()
        : main(lock, video, handOver),
          channel(ChannelLinks{&panel, &main, &handOver, nullptr, kDisplayYv12, 1.0, 1}),
          videoQueue(channel.state.videoQueue),
          reader(channel.reader),
          controls(channel.state) {}
    ~ChannelRig() {
        channel.StopAll();
        consuming = false;
        if (consumer.joinable()) {
            consumer.join();
        }
    }

    // What Open does, but the recorder takes the place of the workers.
    bool Start(const std::string& path, const std::vector<RecordingEntry>& list) {
        if (!OpenFrameQueues(videoQueue, channel.state.audioQueue, kQueueBlocking)) {
            return false;
        }
        channel.recordings.Append(list);
        channel.filePath = path;
        reader.SetPath(path);
        consumer = std::thread([this] { Consume(); });
        return reader.Start();
    }

    bool WaitUntilIdle() {
        size_t last = SIZE_MAX;
        int stable = 0;
        return ReaderHarness::WaitFor([&] {
            const size_t now = VideoCount() + panel.Count(kMsgPosition);
            stable = now == last ? stable + 1 : 0;
            last = now;
            return stable >= 40 && videoQueue.EntryCount() <= 1;
        });
    }
    size_t VideoCount() {
        std::lock_guard guard(lock);
        return video.size();
    }
    std::vector<Delivered> VideoSince(size_t from) {
        std::lock_guard guard(lock);
        return std::vector<Delivered>(video.begin() + static_cast<long>(from), video.end());
    }
    size_t Resets() {
        std::lock_guard guard(lock);
        return main.resetMarks.size();
    }
    size_t LastResetMark() {
        std::lock_guard guard(lock);
        return main.resetMarks.empty() ? 0 : main.resetMarks.back();
    }

    std::mutex lock;
    std::vector<Delivered> video;  // guarded by lock
    TelemetryHandOver handOver;
    RecordingSink panel;
    test::MainWindowSink main;
    PlaybackChannel channel;
    VideoFrameQueue& videoQueue;
    TsReader& reader;
    ChannelControls& controls;

  private:
    void Consume() {
        while (consuming) {
            FrameItem item;
            bool any = false;
            {
                std::lock_guard guard(lock);
                if (videoQueue.Take(item)) {
                    video.push_back({item.kind, item.pts, item.order, item.size});
                    any = true;
                }
                any = channel.state.audioQueue.Take(item) || any;
            }
            if (!any) {
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
        }
    }

    std::atomic<bool> consuming{true};
    std::thread consumer;
};

bool InFile(const Delivered& d, const FileStats& file) {
    return d.pts > file.firstVideoPts / test::kPtsClock - test::kPtsTolerance &&
           d.pts < file.lastVideoPts / test::kPtsClock + test::kPtsTolerance;
}

// Turns the reader backward at the end of the card and holds it part-way through `file`: the
// test takes the items itself (the consumer waits on the lock) until it has taken one of the
// file's pictures and the queue is full again. The reader then waits in the full queue with
// groups of that file still to deliver, until the returned lock is let go.
template <class Rig>
std::unique_lock<std::mutex> HoldDeliveringBackwardIn(Rig& rig, const FileStats& file) {
    rig.main.HoldSends(true);  // the direction's reset waits until the test has the lock
    rig.controls.playMode = kPlayBackward;
    EXPECT_EQ(rig.reader.SetDirection(true), 1);
    EXPECT_TRUE(test::WaitUntil([&] { return rig.main.Count(kMsgReset) == 1; }));
    std::unique_lock hold(rig.lock);
    rig.main.HoldSends(false);
    bool tookOne = false;
    EXPECT_TRUE(test::WaitUntil(
        [&] {
            if (tookOne &&
                rig.videoQueue.EntryCount() >= static_cast<size_t>(kVideoQueueMaxItems)) {
                return true;
            }
            FrameItem item;
            if (rig.videoQueue.Take(item)) {
                rig.video.push_back({item.kind, item.pts, item.order, item.size});
                tookOne = tookOne || InFile(rig.video.back(), file);
            }
            return false;
        },
        test::kPatience, std::chrono::milliseconds(1)))
        << "the reader never delivered backward in " << file.path;
    return hold;
}

// After the direction's reset and the request's: the new place only, backward.
template <class Rig>
void ExpectOneResetThen(Rig& rig, const std::vector<WantGroup>& want) {
    EXPECT_EQ(rig.Resets(), 2u) << "one for the direction, one for the request";
    EXPECT_TRUE(DeliveredAs(rig.VideoSince(rig.LastResetMark()), want, kBackwardOrder));
    EXPECT_TRUE(rig.reader.Backward());
}

// A request that cannot be served: no reset, and backward delivery of the whole card goes on
// as if nothing had been asked.
template <class Rig>
void ExpectNothingChanged(Rig& rig, const std::vector<FileStats>& stats) {
    EXPECT_EQ(rig.Resets(), 1u) << "only the direction's";
    EXPECT_TRUE(DeliveredAs(rig.VideoSince(rig.LastResetMark()),
                            BackwardFromEnd(stats, kGop, kLastFile), kBackwardOrder));
    EXPECT_FALSE(rig.reader.seeks.Pending());
}

class ReaderBackwardRequests : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { card = std::make_unique<test::TempCard>(RequestCard()); }
    static void TearDownTestSuite() { card.reset(); }

    void SetUp() override { ASSERT_TRUE(rec().ok) << rec().error; }
    static const RecordingResult& rec() { return card->result; }
    static const std::vector<FileStats>& stats() { return card->result.stats; }

    // Forward through the last file to its end, where backward delivery then begins.
    static void StartAtTheEnd(ReaderHarness& h) {
        ASSERT_TRUE(h.Start(rec().files[kLastFile]));
        ASSERT_TRUE(h.WaitUntilIdle());
    }

    static inline std::unique_ptr<test::TempCard> card;
};

TEST_F(ReaderBackwardRequests, PreviousOpensTheEarlierFileAtItsEnd) {
    ReaderHarness h;
    StartAtTheEnd(h);
    {
        auto hold = HoldDeliveringBackwardIn(h, stats()[1]);
        h.reader.seeks.Post(SeekRequest::PreviousRecording());
    }
    ASSERT_TRUE(h.WaitUntilIdle());
    ExpectOneResetThen(h, BackwardFromEnd(stats(), kGop, 0));
    EXPECT_EQ(h.reader.CurrentPath(), rec().files[0]);
}

TEST_F(ReaderBackwardRequests, NextOpensTheLaterFileAtItsEndAndGoesBackThroughTheCard) {
    ReaderHarness h;
    StartAtTheEnd(h);
    {
        auto hold = HoldDeliveringBackwardIn(h, stats()[0]);
        h.reader.seeks.Post(SeekRequest::NextRecording());
    }
    ASSERT_TRUE(h.WaitUntilIdle());
    ExpectOneResetThen(h, BackwardFromEnd(stats(), kGop, 1));
    EXPECT_EQ(h.reader.CurrentPath(), rec().files[0]);
}

TEST_F(ReaderBackwardRequests, PreviousOrNextWithoutSuchAFileLeavesDeliveryAlone) {
    {
        ReaderHarness h;
        StartAtTheEnd(h);
        {
            auto hold = HoldDeliveringBackwardIn(h, stats()[kLastFile]);
            h.reader.seeks.Post(SeekRequest::NextRecording());
        }
        ASSERT_TRUE(h.WaitUntilIdle());
        ExpectNothingChanged(h, stats());
    }
    ReaderHarness h;
    StartAtTheEnd(h);
    {
        auto hold = HoldDeliveringBackwardIn(h, stats()[0]);
        h.reader.seeks.Post(SeekRequest::PreviousRecording());
    }
    ASSERT_TRUE(h.WaitUntilIdle());
    ExpectNothingChanged(h, stats());
}

TEST_F(ReaderBackwardRequests, OpeningAFileByPathStartsAtItsEnd) {
    {
        ReaderHarness h;
        StartAtTheEnd(h);
        {
            auto hold = HoldDeliveringBackwardIn(h, stats()[kLastFile]);
            h.reader.RequestOpen(rec().files[0]);
        }
        ASSERT_TRUE(h.WaitUntilIdle());
        ExpectOneResetThen(h, BackwardFromEnd(stats(), kGop, 0));
    }
    // A later file than the one being read: back through it and the rest of the card again.
    ReaderHarness h;
    StartAtTheEnd(h);
    {
        auto hold = HoldDeliveringBackwardIn(h, stats()[0]);
        h.reader.RequestOpen(rec().files[kLastFile]);
    }
    ASSERT_TRUE(h.WaitUntilIdle());
    ExpectOneResetThen(h, BackwardFromEnd(stats(), kGop, kLastFile));
    EXPECT_EQ(h.reader.CurrentPath(), rec().files[0]);
}

TEST_F(ReaderBackwardRequests, JumpToTimeOpensTheFileOfThatTimeAtItsEnd) {
    RecordingIndex finder;
    finder.ScanNow(rec().files[0]);
    const std::vector<RecordingEntry> list = finder.Entries();
    ASSERT_EQ(list.size(), 3u);
    {
        ChannelRig rig;
        ASSERT_TRUE(rig.Start(rec().files[kLastFile], list));
        ASSERT_TRUE(rig.WaitUntilIdle());
        {
            auto hold = HoldDeliveringBackwardIn(rig, stats()[kLastFile]);
            rig.channel.JumpToTime(list[0].endTime - 1);
        }
        ASSERT_TRUE(rig.WaitUntilIdle());
        ExpectOneResetThen(rig, BackwardFromEnd(stats(), kGop, 0));
        EXPECT_EQ(rig.reader.CurrentPath(), rec().files[0]);
    }
    // A time inside the file being read changes nothing.
    ChannelRig rig;
    ASSERT_TRUE(rig.Start(rec().files[kLastFile], list));
    ASSERT_TRUE(rig.WaitUntilIdle());
    {
        auto hold = HoldDeliveringBackwardIn(rig, stats()[kLastFile]);
        rig.channel.JumpToTime(list[kLastFile].endTime - 1);
    }
    ASSERT_TRUE(rig.WaitUntilIdle());
    ExpectNothingChanged(rig, stats());
}

// --- seeking ------------------------------------------------------------------------------

// Where each picture's packets lie in a file: from its first packet's start to its last's end.
struct PictureSpan {
    int64_t begin = 0;
    int64_t end = 0;
};

std::vector<PictureSpan> PictureSpans(const std::string& path, int videoPid) {
    const std::vector<uint8_t> bytes = test::ReadBytes(path);
    std::vector<PictureSpan> spans;
    for (size_t at = 0; at + kTsPacketSize <= bytes.size(); at += kTsPacketSize) {
        const TsPacket packet = ParseTsPacket(bytes.data() + at);
        if (bytes[at] != kTsSyncByte || packet.pid != videoPid) {
            continue;
        }
        const auto end = static_cast<int64_t>(at + kTsPacketSize);
        if (packet.payloadUnitStart) {
            spans.push_back({static_cast<int64_t>(at), end});
        } else if (!spans.empty()) {
            spans.back().end = end;
        }
    }
    return spans;
}

enum class SeekTo { kPictureStart, kInsidePicture, kFileEnd };

struct SeekCase {
    const char* name;
    int picture;  // of the middle file
    SeekTo where;
};

void PrintTo(const SeekCase& c, std::ostream* out) {
    *out << c.name;
}

class ReaderBackwardSeek : public ReaderBackwardRequests,
                           public ::testing::WithParamInterface<SeekCase> {};

// Backward from a seek goes on from the picture at that place: the group it falls in, from its
// key frame up to the last picture before the place (the one cut by it may come whole or not),
// then every earlier group.
TEST_P(ReaderBackwardSeek, DeliversBackFromThePlaceWithNothingAfterIt) {
    const SeekCase c = GetParam();
    const std::vector<PictureSpan> spans = PictureSpans(rec().files[1], RequestCard().videoPid);
    ASSERT_EQ(spans.size(), static_cast<size_t>(stats()[1].videoFrames));
    int64_t place = stats()[1].bytes;
    if (c.where == SeekTo::kPictureStart) {
        place = spans[c.picture].begin;
    } else if (c.where == SeekTo::kInsidePicture) {
        // Past its first packet, so the picture before it is known to be whole.
        const PictureSpan s = spans[c.picture];
        ASSERT_GT(s.end - s.begin, 2 * kTsPacketSize);
        place = s.begin + kTsPacketSize + (s.end - s.begin - kTsPacketSize) / 2;
    }
    int wholeBefore = -1;  // the last picture whose packets all lie before the place
    int startedBefore = -1;
    for (size_t i = 0; i < spans.size(); ++i) {
        wholeBefore = spans[i].end <= place ? static_cast<int>(i) : wholeBefore;
        startedBefore = spans[i].begin < place ? static_cast<int>(i) : startedBefore;
    }

    ReaderHarness h;
    StartAtTheEnd(h);
    {
        auto hold = HoldDeliveringBackwardIn(h, stats()[1]);
        ASSERT_EQ(h.reader.CurrentPath(), rec().files[1]);
        h.reader.seeks.Post(SeekRequest::To(place));
    }
    ASSERT_TRUE(h.WaitUntilIdle());
    ASSERT_EQ(h.Resets(), 2u) << "one for the direction, one for the seek";
    EXPECT_EQ(h.reader.CurrentPath(), rec().files[0]);
    const std::vector<Delivered> got = h.VideoSince(h.LastResetMark());
    std::string mismatches;
    for (int last = wholeBefore; last <= startedBefore; ++last) {
        const ::testing::AssertionResult match =
            DeliveredAs(got, BackwardFrom(stats(), kGop, 1, last), kBackwardOrder);
        if (match) {
            return;
        }
        mismatches += "\nending with picture " + std::to_string(last) + ": " + match.message();
    }
    ADD_FAILURE() << "seek to byte " << place << mismatches;
}

INSTANTIATE_TEST_SUITE_P(
    Places, ReaderBackwardSeek,
    ::testing::Values(SeekCase{"WhereAnInterPictureStarts", 40, SeekTo::kPictureStart},
                      SeekCase{"InsideAnInterPicture", 70, SeekTo::kInsidePicture},
                      SeekCase{"WhereAKeyPictureStarts", 45, SeekTo::kPictureStart},
                      SeekCase{"InsideAKeyPicture", 45, SeekTo::kInsidePicture},
                      SeekCase{"AtTheEndOfTheFile", 0, SeekTo::kFileEnd}),
    [](const ::testing::TestParamInfo<SeekCase>& place) { return std::string(place.param.name); });

}  // namespace
}  // namespace velmaro

namespace velmaro {
namespace {

// A seek while the reader waits in a full queue, as when the picture is paused and the user
// drags the seek bar: the queue is emptied, and nothing of the old place may follow into it
// (the rest of the block the reader was routing belongs to the old place too), or the first
// picture shown after the seek, a step for instance, is one from before it.
TEST_F(ReaderBackwardRequests, ASeekLetNothingOfTheOldPlaceIntoTheQueue) {
    ChannelRig rig;
    std::unique_lock hold(rig.lock);  // the recorder waits: the queue fills and stays full
    ASSERT_TRUE(rig.Start(rec().files[0], {}));
    // Blocked in a full queue (the sound's or the pictures'): nothing comes in for a while.
    size_t last = 0;
    int still = 0;
    ASSERT_TRUE(test::WaitUntil(
        [&] {
            const size_t now = rig.videoQueue.EntryCount();
            still = now == last && now > 0 ? still + 1 : 0;
            last = now;
            return still >= 20;
        },
        test::kPatience, std::chrono::milliseconds(10)));
    const double firstTime = stats()[0].firstVideoPts / test::kPtsClock;
    rig.channel.Seek(700);  // the first key frame at or after 70 % of a 3 s file: 2 s or later
    hold.unlock();
    ASSERT_TRUE(rig.WaitUntilIdle());
    const std::vector<Delivered> after = rig.VideoSince(0);
    ASSERT_FALSE(after.empty());
    for (const Delivered& d : after) {
        ASSERT_GE(d.pts - firstTime, 1.9) << "a picture of the old place after the seek";
    }
}

}  // namespace
}  // namespace velmaro
