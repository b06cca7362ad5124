// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/common/command_line.h"

#include "app/app_settings.h"
#include "stream/telemetry.h"
#include "tests/test_support.h"

#include <gtest/gtest.h>

#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace velmaro {
namespace {

// A tool with a number in a range, a picture size, a required name and several forms.
struct SampleTool {
    CommandLine commandLine{"sample-tool", "Does nothing, for the parser's sake."};
    int count = 0;
    int width = 0;
    int height = 0;
    std::string name;
    std::ostringstream out;
    std::ostringstream err;

    SampleTool() {
        CLI::App& app = commandLine.Parser();
        app.add_option("--count", count, "how many")->transform(Decimal(0, 20));
        commandLine.AddSize("--size", width, height, "picture size");
        app.add_option("NAME", name, "a name")->required()->check(NonEmpty());
        // A form may run on over a line of its own; further forms start with the name.
        commandLine.SetUsage(
            "sample-tool [--count N]\n            NAME\n       sample-tool --size WxH NAME");
    }

    std::optional<int> Parse(const std::vector<std::string>& args) {
        std::vector<const char*> argv = {"sample-tool"};
        for (const std::string& arg : args) {
            argv.push_back(arg.c_str());
        }
        return commandLine.Parse(static_cast<int>(argv.size()), argv.data(), out, err);
    }
};

constexpr const char* kHint = "Run with --help for more information.\n";
constexpr const char* kUsage =
    "Usage: sample-tool [--count N] NAME\n  or:  sample-tool --size WxH NAME\n";

TEST(CommandLine, AnswersHelpVersionAndUsageErrorsAlike) {
    struct Case {
        std::vector<std::string> args;
        std::optional<int> status;
        std::string out;  // the start of standard output
        std::string err;  // all of standard error
    };
    const Case cases[] = {
        {{"--help"}, 0, "Does nothing", ""},
        {{"-h", "--bogus"}, 0, "Does nothing", ""},
        {{"--version"}, 0, "sample-tool " + VersionText() + "\n", ""},
        {{"--bogus", "x"}, 2, "", "sample-tool: unknown option --bogus\n"},
        {{"x", "y"}, 2, "", "sample-tool: unexpected argument y\n"},
        {{"--count", "many", "x"},
         2,
         "",
         "sample-tool: --count: 'many' is not a whole number from 0 to 20\n"},
        {{"--count", "21", "x"},
         2,
         "",
         "sample-tool: --count: '21' is not a whole number from 0 to 20\n"},
        {{"x", "--count"}, 2, "", "sample-tool: --count: 1 required INT missing\n"},
        {{"--size", "640x480p", "x"}, 2, "", "sample-tool: --size: '640x480p' is not WxH\n"},
        {{"--count", "3"}, 2, "", "sample-tool: NAME is required\n"},
        {{""}, 2, "", "sample-tool: NAME: needs a value that is not empty\n"},
        {{"x", "--count", "010", "--size=640x480"}, std::nullopt, "", ""},
    };
    for (const Case& c : cases) {
        SampleTool tool;
        const std::string args = testing::PrintToString(c.args);
        EXPECT_EQ(tool.Parse(c.args), c.status) << args;
        EXPECT_EQ(tool.out.str().substr(0, c.out.size()), c.out) << args;
        EXPECT_EQ(tool.err.str(), c.err.empty() ? "" : c.err + kHint) << args;
    }
}

TEST(CommandLine, ReadsNumbersInDecimalAndTakesTheLastOfRepeatedOptions) {
    SampleTool tool;
    ASSERT_EQ(tool.Parse({"--count", "010", "--count", "+012", "--size", "-2x7", "x"}),
              std::nullopt);
    EXPECT_EQ(tool.count, 12);
    EXPECT_EQ(tool.width, -2);
    EXPECT_EQ(tool.height, 7);
    EXPECT_EQ(tool.name, "x");
}

TEST(CommandLine, OtherGpsTakesOtherReceiversForTheWholeRun) {
    for (const bool given : {false, true}) {
        SampleTool tool;
        tool.commandLine.AddOtherGps();
        const std::vector<std::string> args =
            given ? std::vector<std::string>{"--other-gps", "x"} : std::vector<std::string>{"x"};
        ASSERT_EQ(tool.Parse(args), std::nullopt);
        EXPECT_EQ(RunTelemetryOptions().otherReceivers, given);
        SetRunTelemetryOptions({});
    }
}

TEST(CommandLine, HelpShowsEveryFormAndOption) {
    SampleTool tool;
    ASSERT_EQ(tool.Parse({"--help"}), 0);
    const std::string help = tool.out.str();
    EXPECT_NE(help.find(kUsage), std::string::npos) << help;
    for (const char* option : {"--count", "--size", "--version", "--help"}) {
        EXPECT_NE(help.find(option), std::string::npos) << option;
    }
}

TEST(CommandLine, ErrorsFoundAfterParsingReadLikeTheParsers) {
    const SampleTool tool;
    std::ostringstream err;
    EXPECT_EQ(tool.commandLine.Fail("--in needs --out", err), kExitUsage);
    EXPECT_EQ(err.str(), std::string("sample-tool: --in needs --out\n") + kHint);
    std::ostringstream withUsage;
    EXPECT_EQ(tool.commandLine.FailWithUsage("needs a NAME", withUsage), kExitUsage);
    EXPECT_EQ(withUsage.str(), std::string("sample-tool: needs a NAME\n") + kUsage + kHint);
}

// Each tool is built on the shared command line: the same answers to the same arguments.
TEST(ToolCommandLines, EveryToolAnswersHelpVersionAndUnknownOptionsAlike) {
    for (const std::string tool :
         {"make-recording", "make-offset-grid", "velmaro-export", "velmaro-play", "velmaro-probe",
          "velmaro-track", "velmaro-usrset"}) {
        const std::string path = test::ShellQuote(std::string(VELMARO_BIN_DIR) + "/" + tool);
        const test::CommandResult help = test::RunCommand(path + " --help 2>&1");
        EXPECT_EQ(help.status, 0) << tool;
        EXPECT_NE(help.out.find("Usage: " + tool), std::string::npos) << help.out;
        const test::CommandResult version = test::RunCommand(path + " --version 2>&1");
        EXPECT_EQ(version.status, 0) << tool;
        EXPECT_EQ(version.out, tool + " " + VersionText() + "\n");
        const test::CommandResult bogus = test::RunCommand(path + " --bogus 2>&1 >/dev/null");
        EXPECT_EQ(bogus.status, kExitUsage) << tool;
        EXPECT_EQ(bogus.out, tool + ": unknown option --bogus\n" + kHint);
    }
}

}  // namespace
}  // namespace velmaro
