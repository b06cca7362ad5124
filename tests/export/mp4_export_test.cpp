// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// MP4 clips and clips without sound, judged by ffprobe and ffmpeg on a generated card.
#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <string>

#include "export/clip_export.h"
#include "export/ts_sound_filter.h"
#include "tests/export/clip_checks.h"
#include "tests/export/export_support.h"
#include "tools/make_recording/recording_writer.h"

namespace velmaro {
namespace {

constexpr int kFiles = 4;
constexpr int kSeconds = 3;
constexpr double kFrame = 1.0 / 30;

int64_t SizeOf(const std::string& file) {
    return static_cast<int64_t>(std::filesystem::file_size(file));
}

std::string CodecsOf(const std::string& file) {
    std::string codecs;
    for (test::StreamFields& s : test::ProbeStreams(file)) {
        codecs += (codecs.empty() ? "" : ",") + s["codec_name"];
    }
    return codecs;
}

// Top-level boxes in file order, as "ftyp moov free mdat".
std::string BoxesOf(const std::string& file) {
    const test::Bytes bytes = test::ReadBytes(file);
    std::string boxes;
    for (size_t at = 0; at + 8 <= bytes.size();) {
        const uint32_t size = (uint32_t{bytes[at]} << 24) | (bytes[at + 1] << 16) |
                              (bytes[at + 2] << 8) | bytes[at + 3];
        boxes += (boxes.empty() ? "" : " ") +
                 std::string(bytes.begin() + at + 4, bytes.begin() + at + 8);
        at = size >= 8 ? at + size : bytes.size();
    }
    return boxes;
}

std::string ProbeField(const std::string& file, const std::string& entries) {
    std::string out = test::RunCommand("ffprobe -v error -show_entries " + entries +
                                       " -of csv=p=0 " + test::ShellQuote(file))
                          .out;
    while (!out.empty() && (out.back() == '\n' || out.back() == ',')) {
        out.pop_back();
    }
    return out;
}

class Mp4ExportTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const RecordingResult r = WriteRecording(test::SmallCard(card_, kFiles, kSeconds));
        ASSERT_TRUE(r.ok) << r.error;
        files_ = r.files;
    }
    // The whole card, first byte to last.
    ExportRequest Across(const std::string& name, bool withoutSound) const {
        ExportRequest r = test::ClipRequest(out_.File(name), files_.front(), 0, files_.back(),
                                            SizeOf(files_.back()), false);
        r.withoutSound = withoutSound;
        r.writeSubtitles = true;
        return r;
    }
    test::TempDir card_{"velmaro-mp4-card"};
    test::TempDir out_{"velmaro-mp4-out"};
    std::vector<std::string> files_;
};

// Across four recordings that each start their clocks again: one timeline, every picture, the
// index in front, the telemetry as text and the first picture's time as creation time.
TEST_F(Mp4ExportTest, AClipAcrossRecordingsIsOneCleanFastStartMp4) {
    const ExportRequest request = Across("across.mp4", false);
    const test::ExportRun run = test::RunExport(request);
    ASSERT_EQ(run.outcome.end, ExportEnd::kFinished) << run.outcome.reason;
    const std::string& clip = request.outputPath;
    EXPECT_NEAR(std::stod(ProbeField(clip, "format=duration")), kFiles * kSeconds, kFrame + 0.02);
    EXPECT_EQ(ProbeField(clip, "stream=nb_frames -select_streams v"),
              std::to_string(kFiles * kSeconds * 30));
    EXPECT_EQ(test::DecodeErrors(clip), "");
    EXPECT_EQ(CodecsOf(clip), "h264,aac,mov_text");
    EXPECT_EQ(BoxesOf(clip).rfind("ftyp moov", 0), 0u) << BoxesOf(clip);

    std::tm start{};
    start.tm_year = 2026 - 1900, start.tm_mon = 5, start.tm_mday = 12, start.tm_hour = 8;
    start.tm_min = 30, start.tm_isdst = -1;
    const std::time_t seconds = std::mktime(&start);
    char utc[32];
    std::strftime(utc, sizeof utc, "%Y-%m-%dT%H:%M:%S", std::gmtime(&seconds));
    EXPECT_EQ(ProbeField(clip, "format_tags=creation_time").rfind(utc, 0), 0u);

    // The text track says what the sidecar says.
    const std::string text = test::RunCommand("ffmpeg -nostdin -v error -i " +
                                              test::ShellQuote(clip) + " -map 0:s -f srt -")
                                 .out;
    const std::string sidecar = test::ReadText(out_.File("across.srt"));
    ASSERT_FALSE(text.empty());
    // ffmpeg's SubRip of it spells out the style: markup and CRs are no part of the text.
    const auto firstCue = [](const std::string& srt) {
        std::string plain;
        for (size_t i = 0, depth = 0; i < srt.size(); ++i) {
            depth += srt[i] == '<' ? 1 : srt[i] == '>' && depth > 0 ? -1 : 0;
            if (depth == 0 && srt[i] != '>' && srt[i] != '\r') {
                plain += srt[i];
            }
        }
        const size_t from = plain.find('\n', plain.find("-->")) + 1;
        return plain.substr(from, plain.find("\n\n", from) - from);
    };
    EXPECT_EQ(firstCue(text), firstCue(sidecar));
}

// Left-out sound leaves nothing of it: no stream in any kind of clip, and in a transport
// stream clip no packet of its PID either.
TEST_F(Mp4ExportTest, AClipWithoutSoundCarriesNoneOfIt) {
    const struct {
        const char* name;
        const char* codecs;
    } cases[] = {
        {"quiet.ts", "h264,unknown"},
        {"quiet.mp4", "h264,mov_text"},
        {"quiet.avi", "h264"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ExportRequest request = Across(c.name, true);
        const test::ExportRun run = test::RunExport(request);
        ASSERT_EQ(run.outcome.end, ExportEnd::kFinished) << run.outcome.reason;
        EXPECT_EQ(CodecsOf(request.outputPath), c.codecs);
        EXPECT_EQ(test::DecodeErrors(request.outputPath), "");
    }
    const test::Bytes ts = test::ReadBytes(out_.File("quiet.ts"));
    int soundPackets = 0;
    test::ForEachPacket(ts, 0, static_cast<int64_t>(ts.size()), [&](int64_t p) {
        const test::Bytes packet(ts.begin() + p, ts.begin() + p + test::kPacket);
        soundPackets += test::Pid(packet.data()) == test::kAudioPid &&
                        test::PayloadStart(packet.data()) < test::kPacket;
    });
    EXPECT_EQ(soundPackets, 0);
}

// A sound packet that carries the programme clock keeps the clock and loses the sound.
TEST(TsSoundFilter, KeepsOnlyTheClockOfSoundPackets) {
    test::Bytes withClock(test::kPacket, 0xAA);
    const uint8_t head[] = {0x47, 0x11, 0x00, 0x35, 20, 0x10, 1, 2, 3, 4, 5, 6};
    std::copy(std::begin(head), std::end(head), withClock.begin());
    test::Bytes plain = withClock;
    plain[3] = 0x15;  // payload only
    EXPECT_FALSE(KeepClockOnly(plain.data()));
    ASSERT_TRUE(KeepClockOnly(withClock.data()));
    EXPECT_EQ(withClock[3], 0x25);  // adaptation only, same counter
    EXPECT_EQ(withClock[4], 183);
    EXPECT_EQ(test::Bytes(withClock.begin() + 6, withClock.begin() + 12),
              test::Bytes(head + 6, head + 12));
    EXPECT_EQ(std::count(withClock.begin() + 12, withClock.end(), 0xFF), test::kPacket - 12);
}

}  // namespace
}  // namespace velmaro
