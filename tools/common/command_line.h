// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The command line of a tool: its options on CLI11, with --help, --version and usage errors
// answered the same way by every tool.
#pragma once

#include <CLI/CLI.hpp>
#include <cstdint>
#include <functional>
#include <iostream>
#include <limits>
#include <memory>
#include <optional>
#include <string>

namespace velmaro {

// The exit status of a command line a tool cannot use; scripts tell it from a failed run.
inline constexpr int kExitUsage = 2;

class CommandLine {
  public:
    CommandLine(std::string name, const std::string& description);
    CommandLine(const CommandLine&) = delete;
    CommandLine& operator=(const CommandLine&) = delete;

    CLI::App& Parser() { return app_; }
    const std::string& Name() const { return name_; }

    // For tools with several forms: the usage lines --help shows instead of the generated one.
    void SetUsage(const std::string& usage);
    // Shown by --help after the options: what the tool does in detail, its exit statuses.
    void SetFooter(const std::string& footer);

    // An option whose value only `parse` understands (a date, a fraction); `parse` returns false
    // on text it cannot use, which then is a usage error. `form` names the value in --help.
    CLI::Option* AddParsed(const std::string& name, std::function<bool(const std::string&)> parse,
                           const std::string& form, const std::string& description);
    // --other-gps: the run also takes other GPS receivers' checksummed RMC sentences, as the
    // player does with GPS_Other_Receivers=1 in its Config.ini.
    CLI::Option* AddOtherGps();
    // A picture size WIDTHxHEIGHT.
    CLI::Option* AddSize(const std::string& name, int& width, int& height,
                         const std::string& description);

    // Empty when the tool should go on; otherwise the status to exit with, once --help or
    // --version has been answered on `out` or the error has been told on `err`.
    std::optional<int> Parse(int argc, const char* const* argv, std::ostream& out = std::cout,
                             std::ostream& err = std::cerr);

    // A usage error found after parsing (a form that does not fit), told as the parser's are.
    int Fail(const std::string& message, std::ostream& err = std::cerr) const;
    // The same with the usage lines between the message and the hint: for a command line that
    // names nothing to work on, where the forms are what the user is missing.
    int FailWithUsage(const std::string& message, std::ostream& err = std::cerr) const;

  private:
    class UsageFormatter;

    std::string name_;
    CLI::App app_;
    std::shared_ptr<UsageFormatter> formatter_;
};

// A transform for whole numbers from `least` to `most`: decimal only, so "010" stays ten (CLI11
// alone reads it as octal), with an optional sign, as the tools have always read their numbers.
CLI::Validator Decimal(int64_t least = std::numeric_limits<int64_t>::min(),
                       int64_t most = std::numeric_limits<int64_t>::max());
// A check refusing an empty value where a name is needed.
const CLI::Validator& NonEmpty();

}  // namespace velmaro
