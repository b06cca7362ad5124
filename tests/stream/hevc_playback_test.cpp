// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// H.265 recordings (stream type 0x24) through the real reader, decoder and export: every picture
// plays forward across files, backward by groups from IDR and CRA key pictures with the same
// pictures as forward, a transport stream clip of one plays back whole, and AVI export refuses
// it without leaving a file.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "export/clip_export.h"
#include "media/offscreen_output.h"
#include "platform/recording_sink.h"
#include "playback/playback_channel.h"
#include "stream/group_bounds.h"
#include "stream/recording_files.h"
#include "stream/telemetry_handover.h"
#include "tests/test_support.h"
#include "tools/make_recording/recording_writer.h"

namespace velmaro {
namespace {

using test::WaitUntil;

constexpr int kFps = 30;
constexpr int kSeconds = 3;
constexpr size_t kPicturesPerFile = kFps * kSeconds;
constexpr double kFrame = 1.0 / kFps;
constexpr double kHalfFrame = kFrame / 2;
constexpr double kFirstPts = 1.0;  // each file's times start at 1 s
constexpr int kTwiceNormalSpeed = kNormalSpeedPosition + 1;

// The presented pictures, leaving out cleared ones.
std::vector<PresentRecord> Pictures(const OffscreenOutput& output, size_t from = 0) {
    std::vector<PresentRecord> pictures;
    const std::vector<PresentRecord> records = output.Records();
    for (size_t i = from; i < records.size(); ++i) {
        if (records[i].pts != kNoFramePts) {
            pictures.push_back(records[i]);
        }
    }
    return pictures;
}

// How far `pts` is from the file's picture `index`, in pictures.
int PictureIndex(double pts) {
    return static_cast<int>(std::lround((pts - kFirstPts) / kFrame));
}

class HevcRecording : public ::testing::Test {
  protected:
    // libx265 is slow: one small card for the whole suite.
    static void SetUpTestSuite() {
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        card = std::make_unique<test::TempDir>();
        RecordingOptions o;
        o.outRoot = card->path().string();
        o.files = 2;
        o.secondsPerFile = kSeconds;
        o.fps = kFps;
        o.gop = 15;
        o.width = 320;
        o.height = 240;
        o.codec = VideoCodec::kHevc;
        recording = WriteRecording(o);
    }
    static void TearDownTestSuite() { card.reset(); }

    void SetUp() override { ASSERT_TRUE(recording.ok) << recording.error; }

    std::unique_ptr<PlaybackChannel> Open(const std::string& file) {
        ChannelLinks links{&panel, &mainWindow, &telemetry, &output, kDisplayYv12, 1.0};
        auto channel = std::make_unique<PlaybackChannel>(links);
        channel->filePath = file;
        RecordingIndex finder;
        finder.ScanNow(file);
        const std::vector<RecordingEntry> list = finder.Entries();
        EXPECT_TRUE(channel->Open(&list));
        return channel;
    }

    static inline std::unique_ptr<test::TempDir> card;
    static inline RecordingResult recording;
    RecordingSink panel;
    RecordingSink mainWindow;
    TelemetryHandOver telemetry;
    OffscreenOutput output{true};  // with digests, to compare pictures
};

TEST_F(HevcRecording, ForwardPlayShowsEveryPictureOfEveryFileInOrder) {
    auto channel = Open(recording.files[0]);
    channel->SetSpeed(kTwiceNormalSpeed);
    ASSERT_TRUE(WaitUntil([&] { return Pictures(output).size() >= 2 * kPicturesPerFile; }))
        << "shown: " << Pictures(output).size();
    EXPECT_EQ(channel->reader.VideoCodecSeen(), VideoCodec::kHevc);
    EXPECT_EQ(channel->reader.CurrentPath(), recording.files[1]);
    const std::vector<PresentRecord> pictures = Pictures(output);
    ASSERT_EQ(pictures.size(), static_cast<size_t>(2 * kPicturesPerFile));
    for (size_t i = 0; i < pictures.size(); ++i) {
        ASSERT_EQ(PictureIndex(pictures[i].pts), static_cast<int>(i % kPicturesPerFile))
            << "picture " << i;
        EXPECT_EQ(pictures[i].width, 320);
    }
}

// The first file has an IDR picture at its start and CRA pictures every 15 after it: each group
// played backward shows the same pictures, bit for bit, as forward play did.
TEST_F(HevcRecording, BackwardPlayShowsEveryPictureOfEachGroupAsForwardDid) {
    auto channel = Open(recording.files[0]);
    channel->SetSpeed(kTwiceNormalSpeed);
    ASSERT_TRUE(WaitUntil([&] {
        const ShownPicture s = channel->state.Shown();
        return s.valid && s.pts >= kFirstPts + kSeconds - 0.5;
    }));
    channel->Pause();
    ASSERT_TRUE(WaitUntil([&] { return channel->state.videoHeld.load(); }));
    const ShownPicture paused = channel->state.Shown();
    std::map<int, uint64_t> forward;
    for (const PresentRecord& r : Pictures(output)) {
        forward[PictureIndex(r.pts)] = r.digest;
    }
    const size_t before = output.Records().size();

    channel->PlayBackward();
    ASSERT_TRUE(WaitUntil([&] {
        return !channel->state.Shown().forward && output.LastPts() < kFirstPts + kHalfFrame;
    })) << "backward play reaches the first picture";
    std::vector<PresentRecord> backward = Pictures(output, before);
    // The held picture may be presented again, as the paused worker does, before backward play
    // takes over; a slow machine (the thread sanitizer) shows that often.
    const int pausedIndex = PictureIndex(paused.pts);
    while (!backward.empty() && PictureIndex(backward.front().pts) == pausedIndex) {
        backward.erase(backward.begin());
    }
    ASSERT_FALSE(backward.empty());
    int expected = PictureIndex(backward.front().pts);
    EXPECT_LT(expected, PictureIndex(paused.pts));
    EXPECT_GE(expected, PictureIndex(paused.pts) - 3);
    for (const PresentRecord& r : backward) {
        // Pictures re-presented while held carry the same time; anything else is the next one.
        const int index = PictureIndex(r.pts);
        if (index == expected + 1) {
            continue;
        }
        ASSERT_EQ(index, expected) << "no picture is skipped going backward";
        ASSERT_TRUE(forward.contains(index));
        EXPECT_EQ(r.digest, forward[index]) << "picture " << index;
        --expected;
    }
    EXPECT_EQ(expected, -1) << "down to the first picture";
}

// A mark-out at the picture on screen cuts at the next key picture, which for H.265 is found by
// its own unit types: CRA pictures end the groups inside a file.
TEST_F(HevcRecording, GroupsEndAtTheNextIdrOrCraPicture) {
    const std::string& file = recording.files[0];
    const int64_t size = std::filesystem::file_size(file);
    constexpr int kVideoPid = 0x1011;
    const int64_t idr = FindGroupEnd(file, kVideoPid, 0, VideoCodec::kHevc);
    ASSERT_GT(idr, 0);
    const int64_t cra = FindGroupEnd(file, kVideoPid, idr, VideoCodec::kHevc);
    EXPECT_GT(cra, idr);
    EXPECT_LT(cra, size / 4 + idr) << "a quarter of the file holds the first of six groups";
    EXPECT_EQ(FindGroupEnd(file, kVideoPid, idr, VideoCodec::kH264), size)
        << "read as H.264 no key picture follows";
}

TEST_F(HevcRecording, TransportStreamClipPlaysBackAndAviExportRefusesH265) {
    const std::string& source = recording.files[0];
    const int64_t size = std::filesystem::file_size(source);
    test::TempDir target;
    ExportRequest request;
    request.width = 320;
    request.height = 240;
    // Marks as the player sets them at the first and the last picture: the mark-out lies past
    // the block holding the file's last byte.
    const int64_t pastLastBlock =
        (size - 1) / kExportBlockSize * kExportBlockSize + kExportBlockSize + 1;
    request.marks = {source, 0, source, pastLastBlock};
    request.syncBeforeRename = false;

    request.outputPath = (target.path() / "clip.avi").string();
    std::promise<ExportOutcome> refused;
    {
        ClipExport avi([&](const ExportOutcome& o) { refused.set_value(o); });
        ASSERT_TRUE(avi.Begin(request)) << avi.LastError();
        const ExportOutcome outcome = refused.get_future().get();
        EXPECT_EQ(outcome.end, ExportEnd::kFailed);
        EXPECT_EQ(outcome.reason, kAviNeedsH264Reason);
    }
    EXPECT_TRUE(std::filesystem::is_empty(target.path())) << "no AVI file is left";

    request.outputPath = (target.path() / "clip.ts").string();
    std::promise<ExportOutcome> done;
    {
        ClipExport ts([&](const ExportOutcome& o) { done.set_value(o); });
        ASSERT_TRUE(ts.Begin(request)) << ts.LastError();
        ASSERT_EQ(done.get_future().get().end, ExportEnd::kFinished);
    }

    auto channel = Open(request.outputPath);
    channel->SetSpeed(kTwiceNormalSpeed);
    const double last = recording.stats[0].lastVideoPts / 90000.0;
    ASSERT_TRUE(WaitUntil([&] { return output.LastPts() > last - kHalfFrame; }))
        << "the clip plays to its last picture; shown " << Pictures(output).size() << " up to "
        << output.LastPts() << " of " << std::filesystem::file_size(request.outputPath) << " bytes";
    const std::vector<PresentRecord> pictures = Pictures(output);
    ASSERT_FALSE(pictures.empty());
    EXPECT_EQ(PictureIndex(pictures.front().pts), 0) << "the clip opens with the first picture";
    for (size_t i = 1; i < pictures.size(); ++i) {
        ASSERT_EQ(PictureIndex(pictures[i].pts), PictureIndex(pictures[i - 1].pts) + 1);
    }
    EXPECT_EQ(PictureIndex(pictures.back().pts), static_cast<int>(kPicturesPerFile) - 1);
}

// A card whose camera changed its coding between two recordings: play goes on from the H.264
// file into the H.265 one without losing a picture, the decoder following the stream type.
TEST(MixedCodingCard, ForwardPlayGoesFromAnH264FileIntoAnH265FileWithEveryPicture) {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    test::TempDir card;
    RecordingOptions o;
    o.outRoot = card.path().string();
    o.files = 1;
    o.secondsPerFile = 1;
    o.width = 320;
    o.height = 240;
    const RecordingResult h264 = WriteRecording(o);
    ASSERT_TRUE(h264.ok) << h264.error;
    o.firstNumber = 2;
    o.startTime += o.secondsPerFile;
    o.codec = VideoCodec::kHevc;
    o.width = 352;  // a new size as well, as a new camera may bring
    o.height = 288;
    const RecordingResult hevc = WriteRecording(o);
    ASSERT_TRUE(hevc.ok) << hevc.error;

    RecordingSink panel;
    RecordingSink mainWindow;
    TelemetryHandOver telemetry;
    OffscreenOutput output(true);
    ChannelLinks links{&panel, &mainWindow, &telemetry, &output, kDisplayYv12, 1.0};
    PlaybackChannel channel(links);
    channel.filePath = h264.files[0];
    RecordingIndex finder;
    finder.ScanNow(channel.filePath);
    const std::vector<RecordingEntry> list = finder.Entries();
    ASSERT_TRUE(channel.Open(&list));
    channel.SetSpeed(kTwiceNormalSpeed);
    constexpr size_t kPictures = 2 * kFps;
    constexpr size_t kPerFile = kFps;
    const bool all = WaitUntil([&] { return Pictures(output).size() >= kPictures; });
    const std::vector<PresentRecord> pictures = Pictures(output);
    std::string shown;
    for (const PresentRecord& r : pictures) {
        shown += std::to_string(PictureIndex(r.pts)) + "/" + std::to_string(r.width) + " ";
    }
    ASSERT_TRUE(all) << shown;
    ASSERT_EQ(pictures.size(), kPictures);
    for (size_t i = 0; i < pictures.size(); ++i) {
        ASSERT_EQ(PictureIndex(pictures[i].pts), static_cast<int>(i % kPerFile)) << "picture " << i;
        EXPECT_EQ(pictures[i].width, i < kPerFile ? 320 : 352) << "picture " << i;
    }
    EXPECT_EQ(channel.reader.VideoCodecSeen(), VideoCodec::kHevc);

    // And back from the H.265 file into the H.264 one, down to its first picture.
    const size_t before = output.Records().size();
    channel.PlayBackward();
    ASSERT_TRUE(WaitUntil([&] {
        const std::vector<PresentRecord> back = Pictures(output, before);
        return !back.empty() && back.back().width == 320 &&
               back.back().pts < kFirstPts + kHalfFrame;
    })) << "backward into the H.264 file";
    std::vector<int> h264Back;
    for (const PresentRecord& r : Pictures(output, before)) {
        if (r.width == 320 && (h264Back.empty() || h264Back.back() != PictureIndex(r.pts))) {
            h264Back.push_back(PictureIndex(r.pts));
        }
    }
    ASSERT_EQ(h264Back.size(), kPerFile) << "every picture of the H.264 file, backward";
    for (size_t i = 0; i < h264Back.size(); ++i) {
        EXPECT_EQ(h264Back[i], kFps - 1 - static_cast<int>(i));
    }
}

}  // namespace
}  // namespace velmaro
