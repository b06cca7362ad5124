// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// A clip across recordings is one stream with one timeline: the times of each later file go on
// one frame after the last picture before them, wrapping as the 33-bit clocks do, with the PCR
// moved alike and the continuity counters going on; players then see the clip's whole length.
#include "export/clip_timeline.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "export/clip_export.h"
#include "tests/export/export_support.h"
#include "tests/stream/ts_builder.h"
#include "tests/test_support.h"
#include "tools/make_recording/recording_writer.h"

namespace velmaro {
namespace {

using test::Bytes;
using test::kVideoPid;

constexpr int64_t kClock = int64_t{1} << 33;
constexpr int64_t kFrame = 3000;

// The presentation time of the PES that starts in packet `packet`.
int64_t PtsOf(const Bytes& packet) {
    const uint8_t* p = packet.data() + 5 + packet[4] + 9;  // every packet here has stuffing
    return (int64_t{p[0] & 0x0E} << 29) | (int64_t{p[1]} << 22) | (int64_t{p[2] & 0xFE} << 14) |
           (int64_t{p[3]} << 7) | (p[4] >> 1);
}

// A file's pictures: one packet each, presentation times as given, counters from 0.
std::vector<Bytes> Pictures(const std::vector<int64_t>& times) {
    std::vector<Bytes> packets;
    for (size_t i = 0; i < times.size(); ++i) {
        Bytes p = test::PesPackets(kVideoPid, test::Pes(0xE0, Bytes(100, 1), times[i])).front();
        p[3] = static_cast<uint8_t>((p[3] & 0xF0) | (i % 16));
        packets.push_back(p);
    }
    return packets;
}

Bytes PcrPacket(int64_t base) {
    Bytes p(kTsPacketSize, 0xFF);
    p[0] = kTsSyncByte;
    p[1] = static_cast<uint8_t>(kVideoPid >> 8);
    p[2] = static_cast<uint8_t>(kVideoPid & 0xFF);
    p[3] = 0x2F;  // adaptation field only: the counter stays at that of the packet before
    p[4] = 183;
    p[5] = 0x10;
    p[6] = static_cast<uint8_t>(base >> 25);
    p[7] = static_cast<uint8_t>(base >> 17);
    p[8] = static_cast<uint8_t>(base >> 9);
    p[9] = static_cast<uint8_t>(base >> 1);
    p[10] = static_cast<uint8_t>(((base & 1) << 7) | 0x7E);
    p[11] = 0;
    return p;
}

int64_t PcrOf(const Bytes& p) {
    return (int64_t{p[6]} << 25) | (int64_t{p[7]} << 17) | (int64_t{p[8]} << 9) |
           (int64_t{p[9]} << 1) | (p[10] >> 7);
}

TEST(ClipTimeline, LaterFilesGoOnOneFrameAfterTheLastPictureShown) {
    const struct {
        const char* name;
        std::vector<int64_t> first;
        std::vector<int64_t> second;
        std::vector<int64_t> want;  // the second file's times in the clip
    } cases[] = {
        {"restart", {90000, 93000, 96000}, {90000, 93000}, {99000, 102000}},
        {"reordered",
         {90000, 99000, 93000, 96000},
         {96000, 90000, 93000},
         {108000, 102000, 105000}},
        {"wrap", {kClock - 6000, kClock - 3000, 0}, {90000, 93000}, {3000, 6000}},
        {"later", {90000, 93000}, {900000, 903000}, {96000, 99000}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ClipTimeline timeline;
        std::vector<Bytes> first = Pictures(c.first);
        for (Bytes& p : first) {
            timeline.Pass(p.data(), kVideoPid);
        }
        EXPECT_EQ(PtsOf(first.front()), c.first.front());  // the first file as it was
        std::vector<Bytes> second = Pictures(c.second);
        second.insert(second.begin(), PcrPacket(c.second.front() - 1000));
        Bytes head;
        for (const Bytes& p : second) {
            head.insert(head.end(), p.begin(), p.end());
        }
        timeline.BeginFile(head.data(), head.size(), kVideoPid);
        for (Bytes& p : second) {
            timeline.Pass(p.data(), kVideoPid);
        }
        EXPECT_EQ(PcrOf(second.front()), (c.want.front() - 1000 + kClock) % kClock);
        EXPECT_EQ(second.front()[3] & 0x0F, (c.first.size() - 1) % 16);  // no payload: no step
        for (size_t i = 0; i < c.want.size(); ++i) {
            EXPECT_EQ(PtsOf(second[i + 1]), c.want[i]) << i;
            EXPECT_EQ(second[i + 1][3] & 0x0F, static_cast<int>((c.first.size() + i) % 16));
        }
    }
}

// Four recordings that each start their clocks again make one clip as long as they are, which
// ffmpeg decodes without a complaint; one whole recording gives every packet of it.
TEST(ClipTimelineOnCard, AClipAcrossRecordingsLastsAsLongAsThemAndDecodesCleanly) {
    test::TempDir card("velmaro-timeline-card");
    test::TempDir out("velmaro-timeline-out");
    constexpr int kFiles = 4;
    constexpr int kSeconds = 3;
    const RecordingResult r = WriteRecording(test::SmallCard(card, kFiles, kSeconds));
    ASSERT_TRUE(r.ok) << r.error;
    const auto size = [](const std::string& f) {
        return static_cast<int64_t>(std::filesystem::file_size(f));
    };
    const std::string across = out.File("across.ts");
    test::ExportRun run = test::RunExport(
        test::ClipRequest(across, r.files.front(), 0, r.files.back(), size(r.files.back()), false));
    ASSERT_EQ(run.outcome.end, ExportEnd::kFinished) << run.outcome.reason;
    const test::CommandResult probe = test::RunCommand(
        "ffprobe -v error -show_entries format=duration -of csv=p=0 " + test::ShellQuote(across));
    EXPECT_NEAR(std::stod(probe.out), kFiles * kSeconds, 1.0 / 30 + 0.001) << probe.out;
    EXPECT_EQ(test::DecodeErrors(across), "");

    const std::string whole = out.File("whole.ts");
    run = test::RunExport(
        test::ClipRequest(whole, r.files[1], 0, r.files[1], size(r.files[1]), false));
    ASSERT_EQ(run.outcome.end, ExportEnd::kFinished) << run.outcome.reason;
    EXPECT_TRUE(test::ReadBytes(whole) == test::ReadBytes(r.files[1]));
    EXPECT_EQ(test::DecodeErrors(whole), "");
}

}  // namespace
}  // namespace velmaro
