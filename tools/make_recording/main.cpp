// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// make-recording: writes a camera-like sample card (see recording_writer.h).
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "tools/common/command_line.h"
#include "tools/make_recording/recording_writer.h"

namespace {

constexpr const char* kDescription =
    "Writes a camera-like sample card: DIR/DCIM/100MEDIA/<PREFIX>_<NNNN>.ts, MPEG-2 TS files\n"
    "with H.264 video (libx264), AAC-LC mono 48 kHz audio and a telemetry text stream\n"
    "(G-sensor + $GPRMC) once a second.";

// The bounds the tool has always held its numbers to.
constexpr int kLeastNumber = -1000000;
constexpr int kMostNumber = 1000000000;

CLI::Option* AddNumber(CLI::App& app, const std::string& name, int& value,
                       const std::string& description) {
    return app.add_option(name, value, description)
        ->transform(velmaro::Decimal(kLeastNumber, kMostNumber))
        ->type_name("N");
}

// The picture pattern that was named last on the command line wins.
velmaro::PicturePattern LastPattern(const CLI::App& app, const CLI::Option* bars,
                                    const CLI::Option* footage, velmaro::PicturePattern pattern) {
    for (const CLI::Option* option : app.parse_order()) {
        if (option == bars) {
            pattern = velmaro::PicturePattern::kColourBars;
        } else if (option == footage) {
            pattern = velmaro::PicturePattern::kFootage;
        }
    }
    return pattern;
}

struct Extras {
    bool continuousPts = false;
    int seed = 0;
    int clockOffset = 0;
    std::vector<std::string> noTelemetry;
};

// Every option but the picture patterns, which need their order.
void AddOptions(velmaro::CommandLine& commandLine, velmaro::RecordingOptions& o, Extras& extras) {
    CLI::App& app = commandLine.Parser();
    app.add_option("--out", o.outRoot, "card root to write into (required)")
        ->required()
        ->type_name("DIR");
    AddNumber(app, "--files", o.files, "number of files (default 3)");
    AddNumber(app, "--seconds", o.secondsPerFile, "length of each file in seconds (default 4)");
    AddNumber(app, "--fps", o.fps,
              "frames per second, 1 to 120: 24, 25, 30, 50, 60, ... (default 30)");
    AddNumber(app, "--gop", o.gop, "pictures per group of pictures: 15, 30, 60, ... (default 15)");
    commandLine.AddSize("--size", o.width, o.height,
                        "picture size, even numbers (default 1280x720)");
    commandLine.AddParsed(
        "--codec",
        [&o](const std::string& text) {
            o.codec = text == "hevc" ? velmaro::VideoCodec::kHevc : velmaro::VideoCodec::kH264;
            return text == "h264" || text == "hevc";
        },
        "h264|hevc",
        "video coding: H.264 (libx264, stream type 0x1B, the default) or H.265 (libx265, "
        "stream type 0x24)");
    app.add_option("--prefix", o.prefix, "file name prefix (default REC)")->type_name("P");
    AddNumber(app, "--first-number", o.firstNumber, "number of the first file (default 1)");
    app.add_flag("--south", o.south, "start in the southern hemisphere");
    app.add_flag("--west", o.west, "start in the western hemisphere");
    commandLine.AddParsed(
        "--start",
        [&o](const std::string& text) {
            o.startTime = velmaro::ParseLocalTime(text);
            return o.startTime >= 0;
        },
        "\"YYYY-MM-DD HH:MM:SS\"",
        "local start time of the first file (default 2026-06-12 08:30:00)");
    app.add_flag("--truncate-last", o.truncateLast,
                 "cut the last file in the middle of a packet, as in a power cut");
    app.add_flag("--garbage", o.garbage,
                 "insert runs of garbage bytes between packets in each file");
    app.add_option("--no-telemetry", extras.noTelemetry,
                   "file number N (repeatable) or every file without telemetry stream")
        ->allow_extra_args(false)
        ->transform(
            (CLI::IsMember({"all"}) | velmaro::Decimal(kLeastNumber, kMostNumber)).description(""))
        ->type_name("N|all");
    app.add_flag("--continuous-pts", extras.continuousPts,
                 "let the time stamps run on across files (default: each file starts again at "
                 "1 s, as the camera does)");
    app.add_option("--g-spike", o.gSpikes,
                   "the G-sensor sample at second S of the recording jumps by about 3 g, as in a "
                   "knock (repeatable)")
        ->allow_extra_args(false)
        ->transform(velmaro::Decimal(0, kMostNumber))
        ->type_name("S");
    AddNumber(app, "--clock-offset", extras.clockOffset,
              "the camera's clock is S seconds ahead of GPS time (negative: behind): the "
              "sentences' UTC times are shifted by -S")
        ->type_name("S");
    AddNumber(app, "--seed", extras.seed,
              "seed for the route details, sensor noise and garbage (default 1)");
}

// Folds the options that do not map onto a field one to one into the recording options.
void ApplyExtras(const Extras& extras, velmaro::RecordingOptions& o) {
    o.restartTimestamps = !extras.continuousPts;
    o.clockOffset = extras.clockOffset;
    o.seed = static_cast<uint32_t>(extras.seed);
    for (const std::string& file : extras.noTelemetry) {
        if (file == "all") {
            o.telemetry = false;
        } else {
            o.filesWithoutTelemetry.push_back(std::stoi(file));  // checked by the parser
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    velmaro::RecordingOptions o;
    velmaro::CommandLine commandLine("make-recording", kDescription);
    Extras extras;
    extras.seed = static_cast<int>(o.seed);
    extras.clockOffset = static_cast<int>(o.clockOffset);
    commandLine.SetUsage("make-recording --out DIR [options]");
    AddOptions(commandLine, o, extras);
    CLI::App& app = commandLine.Parser();
    const CLI::Option* bars = app.add_flag("--bars")->description(
        "still 75 % colour bars (BT.601, limited range) instead of the moving picture; the "
        "picture number still counts along the top");
    const CLI::Option* footage =
        app.add_flag("--footage")
            ->description(
                "camera-like footage instead of the moving picture: moving detail and sensor noise "
                "at a "
                "camera's bit rate (11 Mb/s at 1920x1080, 30 fps), decoding as slowly as real "
                "recordings do");
    if (const std::optional<int> status = commandLine.Parse(argc, argv)) {
        return *status;
    }
    o.pattern = LastPattern(app, bars, footage, o.pattern);
    ApplyExtras(extras, o);
    if (o.outRoot.empty()) {
        return commandLine.Fail("--out DIR is required");
    }
    const velmaro::RecordingResult result = velmaro::WriteRecording(o);
    if (!result.ok) {
        std::fprintf(stderr, "make-recording: %s\n", result.error.c_str());
        return 1;
    }
    for (const velmaro::FileStats& s : result.stats) {
        std::printf(
            "%s: %d video frames (%d key), %d audio frames, %zu telemetry texts, %lld bytes%s\n",
            s.path.c_str(), s.videoFrames, s.keyFrames, s.audioFrames, s.telemetry.size(),
            static_cast<long long>(s.bytes), s.truncated ? " (truncated)" : "");
    }
    return 0;
}
