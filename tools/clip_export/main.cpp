// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// velmaro-export: the player's clip export from the command line.
//   velmaro-export --in FILE[@TIME] [--in-pos N|--in-time TIME] --out FILE[@TIME]
//                  [--out-pos N|--out-time TIME] OUTPUT.ts|.avi|.mp4
//                  [--fps RATE] [--size WxH] [--no-srt] [--force] [--no-sound] [--speed-unit 0|1|2]
// RATE is frames per second: whole (25), decimal (12.5) or a fraction (30000/1001 for 29.97).
// Positions are byte positions in the mark files, as the player records them, or times within
// them. An AVI clip takes the picture size and rate of the mark-in's recording unless told
// otherwise. Ctrl-C abandons the export; the output name is then left as it was. A
// finished clip gets OUTPUT.srt with its telemetry beside it (speed in km/h, 1 mph, 2 knots)
// unless --no-srt is given; an OUTPUT.srt already there is replaced only with --force.
// --no-sound leaves the sound out of any kind of clip.
#include <signal.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <string>

extern "C" {
#include <libavutil/log.h>
}

#include "export/clip_export.h"
#include "export/clip_subtitles.h"
#include "export/subtitle_writer.h"
#include "tools/common/command_line.h"
#include "tools/common/mark_times.h"
#include "tools/probe/recording_probe.h"

namespace {

constexpr auto kPollInterval = std::chrono::milliseconds(200);

constexpr const char* kDescription =
    "Cuts the stretch between two marks of the recordings into a clip, as the player does.";

constexpr const char* kFooter = R"(
Positions are byte positions in the mark files, as the player records them, or times within
them (--in FILE@12.5, --in-time 0:12.5), taken at the byte the player starts reading at for
that time. An AVI clip has the picture size and frame rate of the mark-in's recording unless
--size or --fps say otherwise. Ctrl-C abandons the export; the output name is then left as it
was. A finished clip gets OUTPUT.srt with its telemetry beside it unless --no-srt is given (an
OUTPUT.srt already there is replaced only with --force); an MP4 clip also carries it as a text
track.

Exit status: 0 when the clip was written, 1 when it could not be (a file that cannot be read,
a time past a recording's end, a failed export), 2 on bad options.)";

constexpr int kPercent = 100;

std::atomic<bool> g_interrupted{false};

void OnSignal(int) {
    g_interrupted.store(true);
}

// Frames per second as a number or a fraction of two; false for anything else.
bool ParseRate(const std::string& text, double& rate) {
    const char* start = text.c_str();
    char* end = nullptr;
    errno = 0;
    double value = std::strtod(start, &end);
    if (end != start && *end == '/') {
        const char* denominator = end + 1;
        const double divisor = std::strtod(denominator, &end);
        if (end == denominator || divisor == 0.0) {
            return false;
        }
        value /= divisor;
    }
    if (errno != 0 || end == start || *end != '\0' || !std::isfinite(value) || value <= 0.0) {
        return false;
    }
    rate = value;
    return true;
}

// The stretch between two marks: each a mark file and a byte position in it.
void AddMarks(CLI::App& app, velmaro::ClipMarks& marks) {
    app.add_option("--in", marks.inPath, "the recording of the mark-in, optionally @TIME in it")
        ->required()
        ->check(velmaro::NonEmpty())
        ->type_name("FILE");
    app.add_option("--in-pos", marks.inPos, "byte position of the mark-in in it")
        ->transform(velmaro::Decimal())
        ->type_name("N");
    app.add_option("--out", marks.outPath, "the recording of the mark-out, optionally @TIME in it")
        ->required()
        ->check(velmaro::NonEmpty())
        ->type_name("FILE");
    app.add_option("--out-pos", marks.outPos, "byte position of the mark-out in it")
        ->transform(velmaro::Decimal())
        ->type_name("N");
}

void AddOptions(velmaro::CommandLine& commandLine, velmaro::ExportRequest& request,
                velmaro::MarkTimes& times, bool& noSubtitles) {
    commandLine.SetUsage(
        "velmaro-export [options] --in FILE --in-pos N --out FILE --out-pos N "
        "OUTPUT.ts|OUTPUT.avi|OUTPUT.mp4\n"
        "velmaro-export [options] --in FILE@TIME --out FILE@TIME OUTPUT");
    commandLine.SetFooter(kFooter);
    CLI::App& app = commandLine.Parser();
    commandLine.AddOtherGps();
    AddMarks(app, request.marks);
    velmaro::AddMarkTimeOptions(commandLine, times);
    commandLine.AddParsed(
        "--fps", [&request](const std::string& text) { return ParseRate(text, request.frameRate); },
        "RATE",
        "frames per second of an AVI clip: whole (25), decimal (12.5) or a fraction (30000/1001 "
        "for 29.97); the recording's by default");
    commandLine.AddSize("--size", request.width, request.height,
                        "picture size of an AVI clip; the recording's by default");
    app.add_flag("--no-srt", noSubtitles, "write no OUTPUT.srt with the clip's telemetry");
    app.add_flag("--force", request.replaceSubtitles, "replace an OUTPUT.srt that exists");
    app.add_flag("--no-sound", request.withoutSound,
                 "leave the sound out of the clip (cabin conversations)");
    app.add_option("--speed-unit", request.speedUnit,
                   "speed in OUTPUT.srt: 0 km/h (default), 1 mph, 2 knots")
        ->transform(velmaro::Decimal())
        ->type_name("0|1|2");
    app.add_option("OUTPUT", request.outputPath, "the clip: OUTPUT.ts, OUTPUT.avi or OUTPUT.mp4")
        ->required()
        ->check(velmaro::NonEmpty());
}

const char* EndName(velmaro::ExportEnd end) {
    switch (end) {
        case velmaro::ExportEnd::kFinished:
            return "finished";
        case velmaro::ExportEnd::kFailed:
            return "failed";
        case velmaro::ExportEnd::kRanOut:
            return "ran out of recordings";
        case velmaro::ExportEnd::kStopped:
            return "stopped";
    }
    return "?";
}

// Why the sidecar the clip would get cannot be written as asked, if it cannot.
std::optional<std::string> SidecarRefusal(const velmaro::ExportRequest& request) {
    if (!request.writeSubtitles) {
        return std::nullopt;
    }
    const std::string sidecar = velmaro::SubtitlePathFor(request.outputPath);
    switch (velmaro::SidecarPlaceFor(request.outputPath)) {
        case velmaro::SidecarPlace::kInTheWay:
            return sidecar + " is not a regular file; --no-srt leaves it alone";
        case velmaro::SidecarPlace::kFile:
            if (!request.replaceSubtitles) {
                return sidecar + " exists; --force replaces it, --no-srt leaves it";
            }
            return std::nullopt;
        case velmaro::SidecarPlace::kFree:
            return std::nullopt;
    }
    return std::nullopt;
}

// An AVI clip is sized and paced as the recording it starts in, unless told otherwise.
std::optional<std::string> TakeRecordingFormat(const CLI::App& app,
                                               velmaro::ExportRequest& request) {
    const bool sizeGiven = app.count("--size") > 0;
    const bool rateGiven = app.count("--fps") > 0;
    if (sizeGiven && rateGiven) {
        return std::nullopt;
    }
    velmaro::ProbeReport report;
    std::string error;
    if (!velmaro::ProbeRecording(request.marks.inPath, report, error)) {
        return error;
    }
    if (!sizeGiven) {
        if (report.pictureWidth <= 0 || report.pictureHeight <= 0) {
            return "no picture could be decoded from " + request.marks.inPath +
                   "; --size WxH gives the clip's picture size";
        }
        request.width = report.pictureWidth;
        request.height = report.pictureHeight;
    }
    if (!rateGiven && report.rateMeasured) {
        request.frameRate = report.frameRate;
    }
    return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
    // The recording's first picture is decoded for an AVI clip's size; damage is no news.
    av_log_set_level(AV_LOG_FATAL);
    velmaro::ExportRequest request;
    velmaro::CommandLine commandLine("velmaro-export", kDescription);
    bool noSubtitles = false;
    velmaro::MarkTimes times;
    AddOptions(commandLine, request, times, noSubtitles);
    if (const std::optional<int> status = commandLine.Parse(argc, argv)) {
        return *status;
    }
    if (const auto error = velmaro::TakeMarkTimes(commandLine.Parser(), request.marks, times)) {
        return commandLine.Fail(*error);
    }
    request.writeSubtitles = !noSubtitles;
    if (const auto error = velmaro::ApplyMarkTimes(request.marks, times)) {
        std::fprintf(stderr, "velmaro-export: %s\n", error->c_str());
        return EXIT_FAILURE;
    }
    if (velmaro::IsAviOutput(request.outputPath)) {
        if (const auto error = TakeRecordingFormat(commandLine.Parser(), request)) {
            std::fprintf(stderr, "velmaro-export: %s\n", error->c_str());
            return EXIT_FAILURE;
        }
    }
    // Asked before the clip is written, not found out after it.
    if (const std::optional<std::string> refusal = SidecarRefusal(request)) {
        std::fprintf(stderr, "velmaro-export: %s\n", refusal->c_str());
        return EXIT_FAILURE;
    }
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    std::mutex mutex;
    std::condition_variable ended;
    std::optional<velmaro::ExportOutcome> outcome;  // guarded by mutex
    velmaro::ClipExport backup([&](const velmaro::ExportOutcome& o) {
        std::lock_guard lock(mutex);
        outcome = o;
        ended.notify_all();
    });
    if (!backup.Begin(request)) {
        std::fprintf(stderr, "velmaro-export: %s\n", backup.LastError().c_str());
        return EXIT_FAILURE;
    }
    int shown = -1;
    std::unique_lock lock(mutex);
    while (!ended.wait_for(lock, kPollInterval, [&] { return outcome.has_value(); })) {
        if (g_interrupted.load()) {
            lock.unlock();
            backup.Stop();  // the worker reports the stop before this returns
            lock.lock();
            break;
        }
        const int64_t toDo = backup.BytesToDo();
        const int percent = toDo > 0 ? static_cast<int>(backup.BytesDone() * kPercent / toDo) : 0;
        if (percent != shown) {
            std::printf("%3d%% (%lld of %lld bytes)\n", percent,
                        static_cast<long long>(backup.BytesDone()), static_cast<long long>(toDo));
            std::fflush(stdout);
            shown = percent;
        }
    }
    const velmaro::ExportOutcome result = outcome.value_or(velmaro::ExportOutcome{});
    lock.unlock();
    backup.Stop();
    if (result.end != velmaro::ExportEnd::kFinished) {
        std::fprintf(stderr, "velmaro-export: %s%s%s\n", EndName(result.end),
                     result.reason.empty() ? "" : ": ", result.reason.c_str());
        return EXIT_FAILURE;
    }
    const velmaro::ExportCounters counters = backup.Counters();
    std::printf("100%% %s written", result.outputPath.c_str());
    if (backup.AviMode()) {
        std::printf(" (%lld video frames, %lld audio samples)",
                    static_cast<long long>(counters.videoFrames),
                    static_cast<long long>(counters.audioSamples));
    }
    std::printf("\n");
    if (!result.reason.empty()) {
        std::fprintf(stderr, "velmaro-export: %s\n", result.reason.c_str());
    }
    return EXIT_SUCCESS;
}
