// Streams without an IDR picture: one cut at an open group's I picture (recovery point SEI), and
// the same with its SEI removed, so that nothing but its I pictures says where a group starts.
// Played through the real reader and decoder they show every picture libavcodec shows of them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "media/offscreen_output.h"
#include "platform/recording_sink.h"
#include "stream/frame_scan.h"
#include "stream/recording_files.h"
#include "stream/telemetry_handover.h"
#include "stream/ts_channel.h"
#include "tests/stream/reordered_stream.h"
#include "tests/test_support.h"

namespace velmaro {
namespace {

constexpr int kEncoded = 3 * test::kGroup;
constexpr uint8_t kH264NalType = 0x1F;
constexpr uint8_t kH264Sei = 6;

// The access unit without its SEI units, each unit kept after a four-byte start code (the
// zero before a four-byte code stays with the unit before it, as trailing zero bytes may).
std::vector<uint8_t> WithoutSei(const std::vector<uint8_t>& unit) {
    std::vector<size_t> starts;
    for (size_t i = 0; i + 3 < unit.size(); ++i) {
        if (unit[i] == 0 && unit[i + 1] == 0 && unit[i + 2] == 1) {
            starts.push_back(i + 3);
        }
    }
    std::vector<uint8_t> kept;
    for (size_t n = 0; n < starts.size(); ++n) {
        const size_t end = n + 1 < starts.size() ? starts[n + 1] - 3 : unit.size();
        if ((unit[starts[n]] & kH264NalType) != kH264Sei) {
            kept.insert(kept.end(), {0, 0, 0, 1});
            kept.insert(kept.end(), unit.begin() + static_cast<ptrdiff_t>(starts[n]),
                        unit.begin() + static_cast<ptrdiff_t>(end));
        }
    }
    return kept;
}

// Pictures from the second group's I picture on: the stream starts on a non-IDR I picture.
std::vector<test::AccessUnit> CutStream(bool keepSei) {
    const test::StreamCase open{"open", VideoCodec::kH264, 2, true};
    std::vector<test::AccessUnit> units = test::Encode(open, 0, kEncoded);
    size_t firstKey = 1;
    while (firstKey < units.size() && !units[firstKey].key) {
        ++firstKey;
    }
    units.erase(units.begin(), units.begin() + static_cast<ptrdiff_t>(firstKey));
    for (test::AccessUnit& unit : units) {
        if (!keepSei) {
            unit.bytes = WithoutSei(unit.bytes);
        }
    }
    return units;
}

TEST(KeyPictures, StreamsWithoutIdrShowEveryPictureLibavcodecShows) {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    for (const bool keepSei : {true, false}) {
        SCOPED_TRACE(keepSei ? "recovery point SEI" : "I pictures only");
        const std::vector<test::AccessUnit> units = CutStream(keepSei);
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
        CTSChn channel(links);
        channel.filePath = file;
        CFindFilePath finder;
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

}  // namespace
}  // namespace velmaro
