// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/common/mark_times.h"

#include <charconv>
#include <cstdint>
#include <vector>

#include "stream/recording_index.h"

namespace velmaro {
namespace {

constexpr int kMaxFields = 3;  // h:mm:ss
constexpr double kSixty = 60.0;

// Digits, then optionally a point and more digits; no sign, no exponent.
std::optional<double> PlainNumber(std::string_view text, bool fractionAllowed) {
    const size_t point = text.find('.');
    const std::string_view whole = text.substr(0, point);
    const std::string_view fraction =
        point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
    const auto digitsOnly = [](std::string_view part) {
        return !part.empty() && part.find_first_not_of("0123456789") == std::string_view::npos;
    };
    if (!digitsOnly(whole) ||
        (point != std::string_view::npos && (!fractionAllowed || !digitsOnly(fraction)))) {
        return std::nullopt;
    }
    double value = 0.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

std::vector<std::string_view> SplitAtColons(std::string_view text) {
    std::vector<std::string_view> fields;
    for (size_t start = 0;;) {
        const size_t colon = text.find(':', start);
        fields.push_back(text.substr(start, colon - start));
        if (colon == std::string_view::npos) {
            return fields;
        }
        start = colon + 1;
    }
}

// One mark's time into its byte position.
std::optional<std::string> ApplyTime(const std::string& path, const std::optional<double>& time,
                                     int64_t& position) {
    if (!time) {
        return std::nullopt;
    }
    std::string error;
    const std::optional<int64_t> at = PositionAtTime(path, *time, error);
    if (!at) {
        return error;
    }
    position = *at;
    return std::nullopt;
}

std::optional<std::string> TakeOne(const CLI::App& app, const std::string& mark, std::string& path,
                                   std::optional<double>& time) {
    FileAtTime split = SplitFileAtTime(path);
    if (split.seconds) {
        if (time) {
            return "--" + mark + " has a time after its file and --" + mark + "-time too";
        }
        path = split.path;
        time = split.seconds;
    }
    if (time && app.count("--" + mark + "-pos") > 0) {
        return "--" + mark + "-pos and a time for the same mark";
    }
    return std::nullopt;
}

}  // namespace

std::optional<double> ParseRecordingTime(std::string_view text) {
    const std::vector<std::string_view> fields = SplitAtColons(text);
    if (fields.size() > kMaxFields) {
        return std::nullopt;
    }
    double seconds = 0.0;
    for (size_t i = 0; i < fields.size(); ++i) {
        const bool last = i + 1 == fields.size();
        const std::optional<double> value = PlainNumber(fields[i], last);
        if (!value || (i > 0 && *value >= kSixty)) {
            return std::nullopt;
        }
        seconds = seconds * kSixty + *value;
    }
    return seconds;
}

FileAtTime SplitFileAtTime(const std::string& text) {
    const size_t at = text.rfind('@');
    if (at != std::string::npos && at > 0) {
        if (const std::optional<double> seconds = ParseRecordingTime(text.substr(at + 1))) {
            return {text.substr(0, at), seconds};
        }
    }
    return {text, std::nullopt};
}

void AddMarkTimeOptions(CommandLine& commandLine, MarkTimes& times) {
    const auto timeInto = [](std::optional<double>& into) {
        return [&into](const std::string& text) {
            into = ParseRecordingTime(text);
            return into.has_value();
        };
    };
    commandLine.AddParsed("--in-time", timeInto(times.in), "TIME",
                          "time of the mark-in within its recording: seconds (12.5), m:ss.s or "
                          "h:mm:ss; also --in FILE@TIME");
    commandLine.AddParsed("--out-time", timeInto(times.out), "TIME",
                          "time of the mark-out within its recording; also --out FILE@TIME");
}

std::optional<std::string> TakeMarkTimes(const CLI::App& app, ClipMarks& marks, MarkTimes& times) {
    if (std::optional<std::string> error = TakeOne(app, "in", marks.inPath, times.in)) {
        return error;
    }
    return TakeOne(app, "out", marks.outPath, times.out);
}

std::optional<std::string> ApplyMarkTimes(ClipMarks& marks, const MarkTimes& times) {
    if (std::optional<std::string> error = ApplyTime(marks.inPath, times.in, marks.inPos)) {
        return error;
    }
    return ApplyTime(marks.outPath, times.out, marks.outPos);
}

}  // namespace velmaro
