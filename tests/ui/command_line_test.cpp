// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The player's command line: its own options answered, Qt's passed on, anything else refused
// with exit status 2 before a window opens.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "ui/main/player_app.h"

namespace velmaro {
namespace {

TEST(PlayerCommandLine, AnswersItsOwnOptionsPassesQtsOnAndRefusesTheRest) {
    const struct {
        std::vector<std::string> arguments;
        std::optional<int> status;
    } cases[] = {
        {{"--bogus"}, 2},
        {{"-x", "recording.ts"}, 2},
        {{"recording.ts", "--frames=3"}, 2},
        {{"--help"}, 0},
        {{"--version"}, 0},
        {{"recording.ts"}, std::nullopt},
        {{}, std::nullopt},
        {{"-platform", "offscreen", "recording.ts"}, std::nullopt},
        {{"-style", "--odd-but-a-value"}, std::nullopt},
        {{"--style=fusion", "-reverse"}, std::nullopt},
        {{"--webEngineArgs", "--enable-logging"}, std::nullopt},
        {{"-"}, std::nullopt},
    };
    for (const auto& c : cases) {
        std::vector<std::string> words{"velmaro"};
        words.insert(words.end(), c.arguments.begin(), c.arguments.end());
        std::vector<char*> argv;
        for (std::string& w : words) {
            argv.push_back(w.data());
        }
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        const std::optional<int> status =
            AnswerCommandLine(static_cast<int>(argv.size()), argv.data());
        testing::internal::GetCapturedStdout();
        const std::string error = testing::internal::GetCapturedStderr();
        EXPECT_EQ(status, c.status) << words.back();
        EXPECT_EQ(error.find("Usage: velmaro") != std::string::npos, c.status == 2) << error;
    }
}

}  // namespace
}  // namespace velmaro
