// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// A stream that sends its parameter sets once, in a PES of their own, and then loses the key
// frame they came with: from the next key frame on, the video worker shows every picture, the
// same as a decoder that saw the whole stream.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "media/codec_state.h"
#include "media/offscreen_output.h"
#include "media/presenter.h"
#include "stream/frame_item.h"
#include "tests/media/demuxed_frames.h"
#include "tests/media/video_rig.h"
#include "tests/stream/ts_builder.h"
#include "tests/test_support.h"
#include "tools/make_recording/recording_writer.h"

namespace velmaro {
namespace {

using test::Bytes;
using test::TestFrame;

constexpr int kPmtPid = 0x100;
constexpr int kVideoPid = 0x1011;
constexpr int kGop = 15;
constexpr int kFrames = 60;
constexpr double kClock = 90000.0;
constexpr int kNalSps = 7;
constexpr int kNalPps = 8;

// The units of an Annex B access unit, each with its start code.
std::vector<Bytes> SplitUnits(const Bytes& au) {
    std::vector<size_t> starts;
    for (size_t i = 0; i + 3 < au.size(); ++i) {
        if (au[i] == 0 && au[i + 1] == 0 && au[i + 2] == 1) {
            starts.push_back(i > 0 && au[i - 1] == 0 ? i - 1 : i);
            i += 2;
        }
    }
    std::vector<Bytes> units;
    for (size_t n = 0; n < starts.size(); ++n) {
        const size_t end = n + 1 < starts.size() ? starts[n + 1] : au.size();
        units.emplace_back(au.begin() + static_cast<long>(starts[n]),
                           au.begin() + static_cast<long>(end));
    }
    return units;
}

int UnitType(const Bytes& unit) {
    const size_t header = unit[2] == 1 ? 3 : 4;
    return unit[header] & 0x1F;
}

bool IsParameterSet(const Bytes& unit) {
    return UnitType(unit) == kNalSps || UnitType(unit) == kNalPps;
}

Bytes Units(const Bytes& au, bool parameterSets) {
    Bytes out;
    for (const Bytes& unit : SplitUnits(au)) {
        if (IsParameterSet(unit) == parameterSets) {
            out.insert(out.end(), unit.begin(), unit.end());
        }
    }
    return out;
}

// The recording as a camera that sends its sets once would write it, with the first key frame
// lost: the sets alone in the first PES, then every frame after the first, without sets.
Bytes SetsOnceFirstKeyLost(const std::vector<TestFrame>& frames) {
    Bytes ts = test::PatPacket(kPmtPid);
    const Bytes pmt = test::PmtPacket(kPmtPid, {{0x1B, kVideoPid}});
    ts.insert(ts.end(), pmt.begin(), pmt.end());
    const auto add = [&](const Bytes& payload, double seconds) {
        const auto ticks = static_cast<int64_t>(std::llround(seconds * kClock));
        for (const Bytes& p : test::PesPackets(kVideoPid, test::Pes(0xE0, payload, ticks, ticks))) {
            ts.insert(ts.end(), p.begin(), p.end());
        }
    };
    add(Units(frames[0].bytes, true), frames[0].pts);
    for (size_t i = 1; i < frames.size(); ++i) {
        add(Units(frames[i].bytes, false), frames[i].pts);
    }
    return ts;
}

// The digest of each picture of the whole recording decoded straight through, by time.
std::map<double, uint64_t> ReferenceDigests(const std::vector<TestFrame>& frames) {
    std::map<double, uint64_t> digests;
    CodecState codec;
    EXPECT_TRUE(codec.OpenVideo(0, 0, kOutputBitsNone));
    for (const TestFrame& frame : frames) {
        if (!codec.DecodeVideo(frame.bytes.data(), static_cast<int>(frame.bytes.size()),
                               frame.pts)) {
            continue;
        }
        const AVFrame& f = *codec.Picture();
        PresentedPicture picture;
        picture.width = f.width;
        picture.height = f.height;
        for (int plane = 0; plane < 3; ++plane) {
            const int width = plane == 0 ? f.width : ChromaSize(f.width);
            const int rows = plane == 0 ? f.height : ChromaSize(f.height);
            picture.strides[plane] = width;
            for (int row = 0; row < rows; ++row) {
                const uint8_t* from = f.data[plane] + row * f.linesize[plane];
                picture.planes[plane].insert(picture.planes[plane].end(), from, from + width);
            }
        }
        digests[codec.PictureTime()] = PictureDigest(picture);
    }
    return digests;
}

TEST(ParameterSetsOnce, PicturesDecodeFromTheFirstKeyFrameThatArrives) {
    test::TempDir dir;
    RecordingOptions options;
    options.outRoot = dir.path();
    options.files = 1;
    options.secondsPerFile = 2;
    options.gop = kGop;
    options.width = 96;
    options.height = 64;
    const RecordingResult recording = WriteRecording(options);
    ASSERT_TRUE(recording.ok) << recording.error;
    const std::vector<TestFrame> original = test::DemuxVideoFrames(recording.files.at(0));
    ASSERT_EQ(original.size(), static_cast<size_t>(kFrames));
    ASSERT_FALSE(Units(original[0].bytes, true).empty()) << "the camera's key frames carry sets";

    const std::string crafted = dir.File("sets_once.ts");
    test::WriteBytes(crafted, SetsOnceFirstKeyLost(original));
    const std::vector<TestFrame> frames = test::DemuxVideoFrames(crafted);
    // The inter frames of the lost key frame's group are not queued without their key frame.
    ASSERT_EQ(frames.size(), static_cast<size_t>(kFrames - kGop));
    ASSERT_EQ(frames[0].kind, kKindVideoKey);

    test::VideoRig rig;
    ASSERT_TRUE(rig.worker->Start());
    rig.Feed(frames);
    ASSERT_TRUE(rig.WaitTaken());
    rig.WaitShown(static_cast<int32_t>(frames.size()));
    EXPECT_EQ(rig.channel.framesShown.load(), kFrames - kGop);
    const std::map<double, uint64_t> reference = ReferenceDigests(original);
    const std::vector<PresentRecord> shown = rig.output.Records();
    ASSERT_FALSE(shown.empty());
    for (const PresentRecord& record : shown) {
        ASSERT_TRUE(reference.count(record.pts)) << record.pts;
        EXPECT_EQ(record.digest, reference.at(record.pts)) << "picture at " << record.pts;
    }
    EXPECT_EQ(shown.front().pts, original[kGop].pts);
}

}  // namespace
}  // namespace velmaro
