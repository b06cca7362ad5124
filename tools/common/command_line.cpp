// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/common/command_line.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <sstream>
#include <string_view>
#include <utility>
#include <vector>

#include "app/app_settings.h"
#include "stream/telemetry.h"

namespace velmaro {
namespace {

constexpr std::size_t kOptionColumn = 26;
constexpr std::size_t kLineWidth = 100;
constexpr const char* kWhitespace = " \t\n\v\f\r";
constexpr const char* kHelpHint = "Run with --help for more information.";

// What CLI11 left over: an option no tool knows, or one argument more than the forms take.
std::string ExtrasMessage(const std::vector<std::string>& extras) {
    const std::string& first = extras.front();
    const bool option = first.size() > 1 && first.front() == '-';
    return (option ? "unknown option " : "unexpected argument ") + first;
}

// What the whole number in `text` is, read as the tools have always read them: decimal only,
// after optional blanks and sign.
std::optional<int64_t> DecimalValue(std::string_view text) {
    text.remove_prefix(std::min(text.find_first_not_of(kWhitespace), text.size()));
    if (text.starts_with('+') && !text.substr(1).starts_with('-')) {
        text.remove_prefix(1);
    }
    int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

// CLI11 2.1 does not wrap option descriptions; long ones would run past the tools' own texts.
std::string Wrapped(const std::string& text, std::size_t width) {
    std::string out;
    std::size_t lineStart = 0;
    std::istringstream words(text);
    for (std::string word; words >> word;) {
        if (out.size() > lineStart && out.size() - lineStart + 1 + word.size() > width) {
            out += '\n';
            lineStart = out.size();
        } else if (out.size() > lineStart) {
            out += ' ';
        }
        out += word;
    }
    return out;
}

// The forms of a tool as GNU tools list them, which is also what help2man reads into a manual
// page's synopsis: "Usage: " before the first, "  or:  " before each further one. A line of
// `usage` that does not start with the tool's name continues the form before it.
std::string UsageLines(const std::string& usage, const std::string& name) {
    std::string lines;
    std::istringstream in(usage);
    for (std::string line; std::getline(in, line);) {
        line.erase(0, std::min(line.find_first_not_of(kWhitespace), line.size()));
        if (lines.empty()) {
            lines = "Usage: " + line;
        } else if (line.starts_with(name + ' ') || line == name) {
            lines += "\n  or:  " + line;
        } else if (!line.empty()) {
            lines += ' ' + line;
        }
    }
    return lines + "\n";
}

// "WIDTHxHEIGHT" and nothing after it.
bool ParsePictureSize(const std::string& text, int& width, int& height) {
    char tail = 0;
    return std::sscanf(text.c_str(), "%dx%d%c", &width, &height, &tail) == 2;
}

CLI::Validator MakeNonEmpty() {
    return CLI::Validator(
        [](const std::string& text) -> std::string {
            return text.empty() ? "needs a value that is not empty" : std::string();
        },
        "", "NONEMPTY");
}

}  // namespace

// Tools with several forms name them all, which the generated usage line cannot.
class CommandLine::UsageFormatter : public CLI::Formatter {
  public:
    void SetUsage(std::string usage) { usage_ = std::move(usage); }

    std::string make_option_desc(const CLI::Option* option) const override {
        return Wrapped(CLI::Formatter::make_option_desc(option), kLineWidth - kOptionColumn);
    }

    std::string make_usage(const CLI::App* app, std::string name) const override {
        if (usage_.empty()) {
            return CLI::Formatter::make_usage(app, std::move(name));
        }
        return UsageLines(usage_, name);
    }

  private:
    std::string usage_;
};

CommandLine::CommandLine(std::string name, const std::string& description)
    : name_(std::move(name)),
      app_(description, name_),
      formatter_(std::make_shared<UsageFormatter>()) {
    formatter_->column_width(kOptionColumn);
    app_.formatter(formatter_);
    // As the hand-written parsers did: an option given twice takes its last value.
    app_.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app_.set_help_flag("-h,--help", "show this text and exit");
    app_.set_version_flag("--version", name_ + " " + VersionText(),
                          "show the name and version and exit");
}

void CommandLine::SetUsage(const std::string& usage) {
    formatter_->SetUsage(usage);
}

void CommandLine::SetFooter(const std::string& footer) {
    // A raw string literal starts on the line after its R"(; CLI11 puts a blank line itself.
    app_.footer(footer.starts_with('\n') ? footer.substr(1) : footer);
}

CLI::Option* CommandLine::AddParsed(const std::string& name,
                                    std::function<bool(const std::string&)> parse,
                                    const std::string& form, const std::string& description) {
    auto take = [name, form, parse = std::move(parse)](const std::string& text) {
        if (!parse(text)) {
            throw CLI::ValidationError(name, "'" + text + "' is not " + form);
        }
    };
    return app_.add_option_function<std::string>(name, take, description)->type_name(form);
}

CLI::Option* CommandLine::AddSize(const std::string& name, int& width, int& height,
                                  const std::string& description) {
    return AddParsed(
        name,
        [&width, &height](const std::string& text) {
            return ParsePictureSize(text, width, height);
        },
        "WxH", description);
}

CLI::Option* CommandLine::AddOtherGps() {
    return app_.add_flag_callback(
        "--other-gps", [] { SetRunTelemetryOptions({.otherReceivers = true}); },
        "also take other receivers' checksummed $GNRMC/$GPRMC sentences");
}

std::optional<int> CommandLine::Parse(int argc, const char* const* argv, std::ostream& out,
                                      std::ostream& err) {
    try {
        app_.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == static_cast<int>(CLI::ExitCodes::Success)) {
            return app_.exit(e, out, err);  // --help or --version
        }
        // CLI11 looks for missing options before unknown ones; a mistyped name is the real fault.
        const std::vector<std::string> extras = app_.remaining();
        return Fail(extras.empty() ? std::string(e.what()) : ExtrasMessage(extras), err);
    }
    return std::nullopt;
}

int CommandLine::Fail(const std::string& message, std::ostream& err) const {
    err << name_ << ": " << message << "\n" << kHelpHint << "\n";
    err.flush();
    return kExitUsage;
}

int CommandLine::FailWithUsage(const std::string& message, std::ostream& err) const {
    err << name_ << ": " << message << "\n" << formatter_->make_usage(&app_, name_);
    err << kHelpHint << "\n";
    err.flush();
    return kExitUsage;
}

CLI::Validator Decimal(int64_t least, int64_t most) {
    const bool bounded =
        least != std::numeric_limits<int64_t>::min() || most != std::numeric_limits<int64_t>::max();
    const std::string what =
        bounded ? "a whole number from " + std::to_string(least) + " to " + std::to_string(most)
                : "a whole number";
    return CLI::Validator(
        [least, most, what](std::string& text) -> std::string {
            const std::optional<int64_t> value = DecimalValue(text);
            if (!value || *value < least || *value > most) {
                return "'" + text + "' is not " + what;
            }
            text = std::to_string(*value);  // CLI11 would read a leading 0 as octal
            return {};
        },
        "", "DECIMAL");
}

const CLI::Validator& NonEmpty() {
    static const CLI::Validator nonEmpty = MakeNonEmpty();
    return nonEmpty;
}

}  // namespace velmaro
