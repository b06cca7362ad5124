// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Marks that hold no picture that can be decoded from the clip (none, or none that is a key
// frame) save nothing: a transport stream clip is refused as an AVI clip is, with the same
// words, through the export and through velmaro-export, and any file under the output name
// stays as it was.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "export/clip_export.h"
#include "tests/export/export_support.h"
#include "tests/test_support.h"

namespace velmaro {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::ClipRequest;
using test::kAudioPid;
using test::kBlock;
using test::kPmtPid;
using test::kVideoPid;
using test::Muxed;
using test::NamesIn;
using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

const fs::path kExportTool = fs::path(VELMARO_BIN_DIR) / "velmaro-export";

// A recording whose second key picture is of 200 kB among small ones: marks well inside it
// hold only the middle of its PES, and marks before it only pictures that are no key frame.
class OneBigPicture : public ::testing::Test {
  protected:
    void SetUp() override {
        Muxed m;
        m.Add(test::PatPacket(kPmtPid));
        m.Add(test::PmtPacket(kPmtPid, {{0x1B, kVideoPid}, {0x0F, kAudioPid}}));
        m.Pictures(0, 1);
        afterFirstKey = static_cast<int64_t>(m.bytes.size());
        m.Pictures(2, test::kGop - 1);
        bigStart = static_cast<int64_t>(m.bytes.size());
        m.Pictures(test::kGop, test::kGop, kVideoPid, 200000);
        bigEnd = static_cast<int64_t>(m.bytes.size());
        m.Pictures(test::kGop + 1, 40);
        source = dir.File("BIG_0001.ts");
        WriteBytes(source, m.bytes);
        insideIn = bigStart + 2 * kBlock;
        insideOut = bigEnd - 2 * kBlock;
    }

    TempDir dir;
    TempDir out;
    std::string source;
    int64_t afterFirstKey = 0;
    int64_t bigStart = 0;
    int64_t bigEnd = 0;
    int64_t insideIn = 0;
    int64_t insideOut = 0;
};

TEST_F(OneBigPicture, MarksInsideAPictureOrWithoutAKeyFrameSaveNoClipOfEitherKind) {
    const Bytes old = {'o', 'l', 'd'};
    const struct {
        const char* name;
        int64_t in;
        int64_t out;
    } cases[] = {{"inside", insideIn, insideOut}, {"nokey", afterFirstKey + kBlock, bigStart - 1}};
    for (const auto& c : cases) {
        for (const std::string suffix : {".ts", ".avi"}) {
            SCOPED_TRACE(c.name + suffix);
            const std::string target = out.File(c.name + suffix);
            WriteBytes(target, old);
            const test::ExportRun run =
                test::RunExport(ClipRequest(target, source, c.in, source, c.out));
            EXPECT_EQ(run.outcome.end, ExportEnd::kFailed);
            EXPECT_EQ(run.outcome.reason, kNoPictureReason);
            EXPECT_TRUE(ReadBytes(target) == old);
        }
    }
    EXPECT_EQ(NamesIn(out.path()).size(), 4u);

    // From just before the picture begins, the clip holds its start and is saved.
    const std::string target = out.File("whole.ts");
    const test::ExportRun run =
        test::RunExport(ClipRequest(target, source, bigStart - 1, source, insideOut));
    ASSERT_EQ(run.outcome.end, ExportEnd::kFinished) << run.outcome.reason;
    EXPECT_TRUE(fs::is_regular_file(target));
}

TEST_F(OneBigPicture, AStretchOfARecordingWithoutVideoSavesNothing) {
    Muxed m;
    m.Add(test::PatPacket(kPmtPid));
    m.Add(test::PmtPacket(kPmtPid, {{0x0F, kAudioPid}}));  // pictures on a PID it does not list
    m.Pictures(0, 60);
    const std::string sound = dir.File("SOUND_0001.ts");
    WriteBytes(sound, m.bytes);
    const auto size = static_cast<int64_t>(m.bytes.size());
    const test::ExportRun run =
        test::RunExport(ClipRequest(out.File("sound.ts"), sound, size / 3, sound, size - 1000));
    EXPECT_EQ(run.outcome.end, ExportEnd::kFailed);
    EXPECT_EQ(run.outcome.reason, kNoPictureReason);
    EXPECT_TRUE(NamesIn(out.path()).empty());
}

TEST_F(OneBigPicture, TheExportToolSaysSoAndFails) {
    auto runTool = [&](int64_t inPos, int64_t outPos, const std::string& target) {
        return test::RunCommand(kExportTool.string() + " --in " + test::ShellQuote(source) +
                                " --in-pos " + std::to_string(inPos) + " --out " +
                                test::ShellQuote(source) + " --out-pos " + std::to_string(outPos) +
                                " " + test::ShellQuote(target) + " 2>&1");
    };
    const test::CommandResult refused = runTool(insideIn, insideOut, out.File("inside.ts"));
    EXPECT_EQ(refused.status, EXIT_FAILURE);
    EXPECT_NE(refused.out.find(kNoPictureReason), std::string::npos) << refused.out;
    EXPECT_TRUE(NamesIn(out.path()).empty());

    const test::CommandResult saved = runTool(bigStart - 1, insideOut, out.File("whole.ts"));
    EXPECT_EQ(saved.status, EXIT_SUCCESS) << saved.out;
    EXPECT_EQ(NamesIn(out.path()), std::vector<std::string>{"whole.ts"});
}

}  // namespace
}  // namespace velmaro
