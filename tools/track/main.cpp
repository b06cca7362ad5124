// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// velmaro-track: the player's track export from the command line.
//   velmaro-track RECORDING.ts OUTPUT.gpx|.kml|.csv
//   velmaro-track --in FILE[@TIME] [--in-pos N] --out FILE[@TIME] [--out-pos N] OUTPUT...
//   velmaro-track --day YYYY-MM-DD RECORDING-FOLDER-OR-CARD OUTPUT...
// The day is the camera's: the recordings of the folder that start on it by their file times.
// Positions are byte positions in the mark files, as the player records them, or times in them.
#include <signal.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "export/track_export.h"
#include "platform/drives.h"
#include "tools/common/command_line.h"
#include "tools/common/mark_times.h"

namespace {

constexpr const char* kDescription =
    "Saves the telemetry of a recording, of a marked stretch or of a day of a card as GPX, KML\n"
    "or CSV, as the player's track export does.";

constexpr const char* kFooter = R"(
The day is the camera's: the recordings of the folder that start on it by their file times. A
card root stands for its recordings' folder (DCIM/*MEDIA), as the player finds it.
Positions are byte positions in the mark files, as the player records them, or times within
them (--in FILE@12.5, --in-time 0:12.5), taken at the byte the player starts reading at.

Exit status: 0 when the track was written, 1 when it could not be (a file that cannot be read,
a time past a recording's end, no telemetry), 2 on bad options.)";

std::atomic<bool> g_interrupted{false};

void OnSignal(int) {
    g_interrupted.store(true);
}

bool ParseDay(const std::string& text, velmaro::CivilDate& date) {
    char tail = 0;
    const int fields =
        std::sscanf(text.c_str(), "%d-%d-%d%c", &date.year, &date.month, &date.day, &tail);
    return fields == 3 && date.month >= 1 && date.month <= 12 && date.day >= 1 && date.day <= 31;
}

// A folder stands for the recordings in it and a card root for those of its recordings' folder:
// the day export lists the folder of the path given.
std::string DayListingPath(const std::string& path) {
    std::error_code error;
    if (!std::filesystem::is_directory(path, error)) {
        return path;
    }
    const std::string onCard = velmaro::CardRecordingOnRoot(path);
    if (!onCard.empty()) {
        return onCard;
    }
    return path.ends_with('/') ? path : path + '/';
}

struct Arguments {
    std::vector<std::string> positional;
    const CLI::Option* in = nullptr;
    const CLI::Option* day = nullptr;
};

void AddOptions(velmaro::CommandLine& commandLine, velmaro::TrackRequest& request,
                velmaro::MarkTimes& times, Arguments& arguments) {
    commandLine.SetUsage(
        "velmaro-track RECORDING.ts OUTPUT.gpx|OUTPUT.kml|OUTPUT.csv\n"
        "       velmaro-track --in FILE --in-pos N --out FILE --out-pos N OUTPUT\n"
        "       velmaro-track --in FILE@TIME --out FILE@TIME OUTPUT\n"
        "       velmaro-track --day YYYY-MM-DD RECORDING-FOLDER-OR-CARD OUTPUT");
    commandLine.SetFooter(kFooter);
    CLI::App& app = commandLine.Parser();
    commandLine.AddOtherGps();
    CLI::Option* out = app.add_option("--out", request.marks.outPath,
                                      "the recording of the mark-out of a marked stretch, "
                                      "optionally @TIME in it")
                           ->type_name("FILE");
    app.add_option("--out-pos", request.marks.outPos, "byte position of the mark-out in it")
        ->transform(velmaro::Decimal())
        ->type_name("N");
    CLI::Option* day = commandLine.AddParsed(
        "--day", [&request](const std::string& text) { return ParseDay(text, request.day); },
        "YYYY-MM-DD", "the recordings of the folder that start on this day");
    arguments.in = app.add_option("--in", request.marks.inPath,
                                  "the recording of the mark-in, optionally @TIME in it")
                       ->needs(out)
                       ->excludes(day)
                       ->type_name("FILE");
    app.add_option("--in-pos", request.marks.inPos, "byte position of the mark-in in it")
        ->transform(velmaro::Decimal())
        ->type_name("N");
    arguments.day = day;
    velmaro::AddMarkTimeOptions(commandLine, times);
    app.add_option("ARGS", arguments.positional,
                   "RECORDING.ts or, with --day, a recording, folder or card root (none with "
                   "--in), then OUTPUT");
}

// Which of the forms the arguments take; the usage error otherwise.
std::optional<std::string> ChooseForm(const Arguments& arguments, velmaro::TrackRequest& request) {
    const bool stretch = arguments.in->count() > 0;
    const size_t wanted = stretch ? 1 : 2;
    if (arguments.positional.size() != wanted) {
        return stretch ? "a marked stretch takes OUTPUT alone" : "needs RECORDING and OUTPUT";
    }
    if (stretch && request.marks.outPath.empty()) {
        return "--out needs a file";
    }
    const bool day = arguments.day->count() > 0;
    if (stretch) {
        request.scope = velmaro::TrackScope::kStretch;
    } else {
        request.scope = day ? velmaro::TrackScope::kDay : velmaro::TrackScope::kRecording;
        request.recordingPath =
            day ? DayListingPath(arguments.positional[0]) : arguments.positional[0];
    }
    request.outputPath = arguments.positional.back();
    return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
    velmaro::TrackRequest request;
    velmaro::CommandLine commandLine("velmaro-track", kDescription);
    Arguments arguments;
    velmaro::MarkTimes times;
    AddOptions(commandLine, request, times, arguments);
    if (const std::optional<int> status = commandLine.Parse(argc, argv)) {
        return *status;
    }
    if (const auto error = velmaro::TakeMarkTimes(commandLine.Parser(), request.marks, times)) {
        return commandLine.Fail(*error);
    }
    if (const std::optional<std::string> error = ChooseForm(arguments, request)) {
        return commandLine.Fail(*error);
    }
    // Told apart from a day without recordings, which a missing folder would otherwise read as.
    std::error_code missing;
    if (request.scope == velmaro::TrackScope::kDay &&
        !std::filesystem::exists(arguments.positional.front(), missing)) {
        std::fprintf(stderr, "velmaro-track: cannot find %s\n",
                     arguments.positional.front().c_str());
        return EXIT_FAILURE;
    }
    if ((times.in || times.out) && request.scope != velmaro::TrackScope::kStretch) {
        return commandLine.Fail(
            "--in-time and --out-time belong to a marked stretch (--in, --out)");
    }
    if (const auto error = velmaro::ApplyMarkTimes(request.marks, times)) {
        std::fprintf(stderr, "velmaro-track: %s\n", error->c_str());
        return EXIT_FAILURE;
    }
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    const velmaro::TrackOutcome outcome =
        velmaro::RunTrackExport(request, [] { return g_interrupted.load(); });
    if (!outcome.ok) {
        std::fprintf(stderr, "velmaro-track: %s\n", outcome.error.c_str());
        return EXIT_FAILURE;
    }
    std::printf("%s written: %zu telemetry texts, %zu with a fix\n", outcome.outputPath.c_str(),
                outcome.texts, outcome.fixes);
    return EXIT_SUCCESS;
}
