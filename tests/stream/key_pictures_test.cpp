// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// A stream without an IDR picture: one cut at an open group's I picture, which a recovery point
// SEI marks, and the same with every SEI removed (an encoder that writes neither IDR pictures
// nor recovery points). Played through the real reader and decoder it shows every picture
// libavcodec shows of it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "media/offscreen_output.h"
#include "platform/recording_sink.h"
#include "playback/playback_channel.h"
#include "stream/frame_scan.h"
#include "stream/recording_files.h"
#include "stream/telemetry_handover.h"
#include "tests/stream/reordered_stream.h"
#include "tests/test_support.h"

namespace velmaro {
namespace {

constexpr int kEncoded = 3 * test::kGroup;

// Pictures from the second group's I picture on: the stream starts on a non-IDR I picture.
std::vector<test::AccessUnit> CutStream() {
    const test::StreamCase open{"open", VideoCodec::kH264, 2, true};
    std::vector<test::AccessUnit> units = test::Encode(open, 0, kEncoded);
    size_t firstKey = 1;
    while (firstKey < units.size() && !units[firstKey].key) {
        ++firstKey;
    }
    units.erase(units.begin(), units.begin() + static_cast<ptrdiff_t>(firstKey));
    return units;
}

// Every H.264 SEI unit taken out of each access unit.
std::vector<test::AccessUnit> WithoutSei(std::vector<test::AccessUnit> units) {
    constexpr uint8_t kSeiType = 6;
    for (test::AccessUnit& unit : units) {
        std::vector<uint8_t> kept;
        const std::vector<uint8_t>& b = unit.bytes;
        bool keep = true;
        for (size_t i = 0; i < b.size(); ++i) {
            if (i + 3 < b.size() && b[i] == 0 && b[i + 1] == 0 && b[i + 2] == 1) {
                keep = (b[i + 3] & 0x1F) != kSeiType;
            }
            if (keep) {
                kept.push_back(b[i]);
            }
        }
        unit.bytes = std::move(kept);
    }
    return units;
}

class KeyPictures : public ::testing::TestWithParam<bool> {};

TEST_P(KeyPictures, StreamStartingAtAnOpenGroupShowsEveryPictureLibavcodecShows) {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    {
        const std::vector<test::AccessUnit> units =
            GetParam() ? CutStream() : WithoutSei(CutStream());
        ASSERT_FALSE(units.empty());
        const FrameScan first =
            ScanFrameKind(units[0].bytes.data(), static_cast<int>(units[0].bytes.size()));
        EXPECT_EQ(first.kind, kKindVideoKey) << "the first picture starts a group";
        const std::vector<uint64_t> answer = test::DecodedDigests(VideoCodec::kH264, units);
        ASSERT_GT(answer.size(), static_cast<size_t>(2 * test::kGroup - 4));

        test::TempDir card;
        const std::filesystem::path folder = card.path() / "DCIM" / "100MEDIA";
        std::filesystem::create_directories(folder);
        const std::string file = (folder / "REC_0001.ts").string();
        test::WriteBytes(file, test::Mux(VideoCodec::kH264, units));

        RecordingSink panel;
        RecordingSink mainWindow;
        TelemetryHandOver telemetry;
        OffscreenOutput output{true};
        ChannelLinks links{&panel, &mainWindow, &telemetry, &output, kDisplayYv12, 1.0};
        PlaybackChannel channel(links);
        channel.filePath = file;
        RecordingIndex finder;
        finder.ScanNow(file);
        const std::vector<RecordingEntry> list = finder.Entries();
        ASSERT_TRUE(channel.Open(&list));
        channel.SetSpeed(kNormalSpeedPosition + 1);
        const auto shown = [&] {
            std::vector<uint64_t> digests;
            for (const PresentRecord& r : output.Records()) {
                if (r.pts != kNoFramePts && (digests.empty() || digests.back() != r.digest)) {
                    digests.push_back(r.digest);
                }
            }
            return digests;
        };
        EXPECT_TRUE(test::WaitUntil([&] { return shown().size() >= answer.size(); }))
            << "shown " << shown().size() << " of " << answer.size();
        EXPECT_EQ(shown(), answer);
    }
}

INSTANTIATE_TEST_SUITE_P(RecoveryPoint, KeyPictures, ::testing::Values(true, false),
                         [](const auto& param) { return param.param ? "Marked" : "Unmarked"; });

}  // namespace
}  // namespace velmaro
