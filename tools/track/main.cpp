// velmaro-track: the player's track export from the command line.
//   velmaro-track RECORDING.ts OUTPUT.gpx|.kml|.csv
//   velmaro-track --in FILE --in-pos N --out FILE --out-pos N OUTPUT...
//   velmaro-track --day YYYY-MM-DD RECORDING-OR-FOLDER OUTPUT...
// The day is the camera's: the recordings of the folder that start on it by their file times.
// Positions are byte positions in the mark files, as the player records them.
#include <signal.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "export/track_export.h"

namespace {

constexpr int kExitUsage = 2;

std::atomic<bool> g_interrupted{false};

void OnSignal(int) {
    g_interrupted.store(true);
}

void Usage() {
    std::fprintf(stderr,
                 "usage: velmaro-track RECORDING.ts OUTPUT.gpx|OUTPUT.kml|OUTPUT.csv\n"
                 "       velmaro-track --in FILE --in-pos N --out FILE --out-pos N OUTPUT\n"
                 "       velmaro-track --day YYYY-MM-DD RECORDING-OR-FOLDER OUTPUT\n");
}

bool ParseInt64(const char* text, int64_t* value) {
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0') {
        return false;
    }
    *value = v;
    return true;
}

bool ParseDay(const char* text, velmaro::CivilDate* date) {
    char tail = 0;
    return std::sscanf(text, "%d-%d-%d%c", &date->year, &date->month, &date->day, &tail) == 3 &&
           date->month >= 1 && date->month <= 12 && date->day >= 1 && date->day <= 31;
}

// A folder stands for the recordings in it: the day export lists the folder of the path given.
std::string DayListingPath(const std::string& path) {
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) {
        return path.ends_with('/') ? path : path + '/';
    }
    return path;
}

bool ParseArguments(int argc, char** argv, velmaro::TrackRequest* request) {
    std::vector<std::string> positional;
    bool marks = false;
    bool day = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--in" && hasValue) {
            request->marks.inPath = argv[++i];
            marks = true;
        } else if (arg == "--out" && hasValue) {
            request->marks.outPath = argv[++i];
        } else if (arg == "--in-pos" && hasValue && ParseInt64(argv[++i], &request->marks.inPos)) {
        } else if (arg == "--out-pos" && hasValue &&
                   ParseInt64(argv[++i], &request->marks.outPos)) {
        } else if (arg == "--day" && hasValue && ParseDay(argv[++i], &request->day)) {
            day = true;
        } else if (!arg.starts_with("--")) {
            positional.push_back(arg);
        } else {
            return false;
        }
    }
    if (marks && !day && positional.size() == 1 && !request->marks.outPath.empty()) {
        request->scope = velmaro::TrackScope::kStretch;
    } else if (!marks && positional.size() == 2) {
        request->scope = day ? velmaro::TrackScope::kDay : velmaro::TrackScope::kRecording;
        request->recordingPath = day ? DayListingPath(positional[0]) : positional[0];
    } else {
        return false;
    }
    request->outputPath = positional.back();
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    velmaro::TrackRequest request;
    if (!ParseArguments(argc, argv, &request)) {
        Usage();
        return kExitUsage;
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
