// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// velmaro-play's export, driven through its standard input as a user would: the clip gets its
// telemetry beside it like the other exports', and a file of that name the user has stays.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/test_support.h"
#include "tools/make_recording/recording_writer.h"

namespace velmaro {
namespace {

namespace fs = std::filesystem;
using test::ShellQuote;
using test::TempDir;

const fs::path kPlay = fs::path(VELMARO_BIN_DIR) / "velmaro-play";

TEST(PlayExport, AClipGetsItsSidecarAndAUsersFileOfThatNameStays) {
    ASSERT_TRUE(fs::exists(kPlay)) << kPlay;
    const TempDir card;
    RecordingOptions options;
    options.outRoot = card.path();
    options.files = 1;
    options.secondsPerFile = 8;
    options.width = 160;
    options.height = 96;
    const RecordingResult made = WriteRecording(options);
    ASSERT_TRUE(made.ok) << made.error;

    const TempDir out;
    test::WriteText(out.path() / "mine.srt", "the user's own");
    for (const std::string name : {"clip", "mine"}) {
        SCOPED_TRACE(name);
        const fs::path clip = out.path() / (name + ".ts");
        const std::string commands =
            "(sleep 1; echo mark-in; sleep 2; echo mark-out; echo export " + clip.string() +
            "; sleep 3; echo quit)";
        const test::CommandResult run =
            test::RunCommand(commands + " | SDL_AUDIODRIVER=dummy " + ShellQuote(kPlay.string()) +
                             " " + ShellQuote(made.files[0]) + " 2>&1");
        EXPECT_EQ(run.status, 0) << run.out;
        EXPECT_NE(run.out.find("export: finished " + clip.string()), std::string::npos) << run.out;
        ASSERT_TRUE(fs::exists(out.path() / (name + ".srt")));
    }
    EXPECT_NE(test::ReadText(out.path() / "clip.srt").find("-->"), std::string::npos);
    EXPECT_EQ(test::ReadText(out.path() / "mine.srt"), "the user's own");
}

}  // namespace
}  // namespace velmaro
