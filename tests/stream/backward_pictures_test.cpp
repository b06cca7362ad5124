// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Backward play and previous-frame steps over streams that reorder their pictures: from a file's
// key picture into the end of the file before it, every picture of every group comes back in
// reverse display order, the B-pictures after a group's last reference picture included, down
// to the first picture of the card. The answer key is libavcodec's own decode of the same access
// units.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "media/offscreen_output.h"
#include "platform/recording_sink.h"
#include "playback/playback_channel.h"
#include "stream/recording_files.h"
#include "stream/telemetry_handover.h"
#include "tests/stream/reordered_stream.h"
#include "tests/test_support.h"

namespace velmaro {
namespace {

using test::WaitUntil;

constexpr int kTwiceNormalSpeed = kNormalSpeedPosition + 1;

using test::Card;
using test::kFiles;
using test::kPicturesPerFile;
using test::StreamCase;

class BackwardPictures : public ::testing::TestWithParam<StreamCase> {
  protected:
    static void SetUpTestSuite() { setenv("SDL_AUDIODRIVER", "dummy", 1); }

    void SetUp() override {
        card_ = test::MakeCard(GetParam());
        ASSERT_EQ(card_->pictures.size(), static_cast<size_t>(kFiles * kPicturesPerFile))
            << "libavcodec decodes every picture";
    }

    // A channel holding the first picture of the card's second file, its key picture.
    std::unique_ptr<PlaybackChannel> HeldAtSecondFile() {
        ChannelLinks links{&panel_, &mainWindow_, &telemetry_, &output_, kDisplayYv12, 1.0};
        auto channel = std::make_unique<PlaybackChannel>(links);
        channel->filePath = card_->files.at(1);
        RecordingIndex finder;
        finder.ScanNow(channel->filePath);
        const std::vector<RecordingEntry> list = finder.Entries();
        channel->Pause();
        EXPECT_TRUE(channel->Open(&list));
        EXPECT_TRUE(WaitUntil([&] {
            return channel->state.videoHeld.load() &&
                   LastShown() == static_cast<size_t>(kPicturesPerFile);
        })) << "held at the file's first picture, not "
            << LastShown();
        return channel;
    }

    size_t LastShown() const {
        const std::vector<PresentRecord> records = output_.Records();
        return records.empty() ? kUnknown : IndexOf(records.back().digest);
    }

    size_t IndexOf(uint64_t digest) const {
        const auto at = std::find(card_->pictures.begin(), card_->pictures.end(), digest);
        return at == card_->pictures.end() ? kUnknown : at - card_->pictures.begin();
    }

    // The card's pictures shown since record `from`, each once, by their display index.
    std::vector<size_t> ShownSince(size_t from) const {
        std::vector<size_t> shown;
        const std::vector<PresentRecord> records = output_.Records();
        for (size_t i = from; i < records.size(); ++i) {
            const size_t index = IndexOf(records[i].digest);
            if (records[i].pts != kNoFramePts && (shown.empty() || shown.back() != index)) {
                shown.push_back(index);
            }
        }
        return shown;
    }

    // The first file's pictures, last first.
    static std::vector<size_t> FirstFileReversed() {
        std::vector<size_t> reverse;
        for (size_t i = kPicturesPerFile; i-- > 0;) {
            reverse.push_back(i);
        }
        return reverse;
    }

    static constexpr size_t kUnknown = static_cast<size_t>(-1);
    std::unique_ptr<Card> card_;
    RecordingSink panel_;
    RecordingSink mainWindow_;
    TelemetryHandOver telemetry_;
    OffscreenOutput output_{true, 100000};
};

TEST_P(BackwardPictures, PlayShowsEveryPictureInReverseDisplayOrder) {
    auto channel = HeldAtSecondFile();
    const size_t before = output_.Records().size();
    channel->PlayBackward();
    EXPECT_TRUE(WaitUntil([&] { return LastShown() == 0; })) << "down to the card's first";
    std::vector<size_t> shown = ShownSince(before);
    if (!shown.empty() && shown.front() == static_cast<size_t>(kPicturesPerFile)) {
        shown.erase(shown.begin());  // the held picture presented again
    }
    EXPECT_EQ(shown, FirstFileReversed());
}

// Held inside a group, where pictures shown before the held one follow it in the file and
// pictures shown after it come before it: only the earlier ones come back.
TEST_P(BackwardPictures, PlayFromInsideAGroupShowsEveryEarlierPicture) {
    constexpr size_t kInside = kPicturesPerFile + 13;
    auto channel = HeldAtSecondFile();
    while (LastShown() < kInside) {
        const size_t on = LastShown();
        channel->Step(false);
        ASSERT_TRUE(WaitUntil([&] { return LastShown() != on; })) << "forward from " << on;
    }
    const size_t before = output_.Records().size();
    channel->PlayBackward();
    EXPECT_TRUE(WaitUntil([&] { return LastShown() == 0; })) << "down to the card's first";
    std::vector<size_t> shown = ShownSince(before);
    if (!shown.empty() && shown.front() == kInside) {
        shown.erase(shown.begin());
    }
    std::vector<size_t> want;
    for (size_t i = kInside; i-- > 0;) {
        want.push_back(i);
    }
    EXPECT_EQ(shown, want);
}

TEST_P(BackwardPictures, PreviousFrameStepsThroughEveryPicture) {
    auto channel = HeldAtSecondFile();
    std::vector<size_t> shown;
    for (int step = 0; step < kPicturesPerFile; ++step) {
        const int32_t before = channel->state.framesShown.load();
        const size_t on = LastShown();
        channel->Step(true);
        // The held picture is presented again and again: the step's own is another one.
        ASSERT_TRUE(WaitUntil([&] {
            return channel->state.framesShown.load() > before &&
                   channel->state.playMode.load() == kPlayHeld && LastShown() != on;
        })) << "step "
            << step;
        shown.push_back(LastShown());
    }
    EXPECT_EQ(shown, FirstFileReversed());
}

INSTANTIATE_TEST_SUITE_P(
    Streams, BackwardPictures,
    ::testing::Values(test::StreamCase{"H264TwoBClosed", VideoCodec::kH264, 2, false},
                      test::StreamCase{"H264TwoBOpen", VideoCodec::kH264, 2, true},
                      test::StreamCase{"H264ThreeBClosed", VideoCodec::kH264, 3, false},
                      test::StreamCase{"H265TwoBOpen", VideoCodec::kHevc, 2, true},
                      test::StreamCase{"H265ThreeBClosed", VideoCodec::kHevc, 3, false}),
    [](const ::testing::TestParamInfo<StreamCase>& param) { return param.param.name; });

}  // namespace
}  // namespace velmaro
