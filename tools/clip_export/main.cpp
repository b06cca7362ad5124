// velmaro-export: the player's clip export from the command line.
//   velmaro-export --in FILE --in-pos N --out FILE --out-pos N OUTPUT.ts|.avi
//                  [--fps RATE --size WxH] [--no-srt] [--speed-unit 0|1|2]
// RATE is frames per second: whole (25), decimal (12.5) or a fraction (30000/1001 for 29.97).
// Positions are byte positions in the mark files, as the player records them. An AVI clip needs
// the picture size. Ctrl-C abandons the export; the output name is then left as it was. A
// finished clip gets OUTPUT.srt with its telemetry beside it (speed in km/h, 1 mph, 2 knots)
// unless --no-srt is given.
#include <signal.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>

#include "export/ts_backup.h"

namespace {

constexpr auto kPollInterval = std::chrono::milliseconds(200);
constexpr int kExitUsage = 2;
constexpr int kPercent = 100;

std::atomic<bool> g_interrupted{false};

void OnSignal(int) {
    g_interrupted.store(true);
}

void Usage() {
    std::fprintf(stderr,
                 "usage: velmaro-export --in FILE --in-pos N --out FILE --out-pos N "
                 "OUTPUT.ts|OUTPUT.avi [--fps 30|29.97|30000/1001] [--size WxH] [--no-srt] "
                 "[--speed-unit 0|1|2]\n");
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

// Frames per second as a number or a fraction of two; false for anything else.
bool ParseRate(const char* text, double* rate) {
    char* end = nullptr;
    errno = 0;
    double value = std::strtod(text, &end);
    if (end != text && *end == '/') {
        const char* denominator = end + 1;
        const double divisor = std::strtod(denominator, &end);
        if (end == denominator || divisor == 0.0) {
            return false;
        }
        value /= divisor;
    }
    if (errno != 0 || end == text || *end != '\0' || !std::isfinite(value) || value <= 0.0) {
        return false;
    }
    *rate = value;
    return true;
}

// Fills the request from the arguments; false on anything it cannot use.
bool ParseArguments(int argc, char** argv, velmaro::ExportRequest* request) {
    bool sizeGiven = false;
    request->writeSubtitles = true;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        int64_t number = 0;
        if (arg == "--in" && hasValue) {
            request->marks.inPath = argv[++i];
        } else if (arg == "--out" && hasValue) {
            request->marks.outPath = argv[++i];
        } else if (arg == "--in-pos" && hasValue && ParseInt64(argv[++i], &number)) {
            request->marks.inPos = number;
        } else if (arg == "--out-pos" && hasValue && ParseInt64(argv[++i], &number)) {
            request->marks.outPos = number;
        } else if (arg == "--fps" && hasValue && ParseRate(argv[++i], &request->frameRate)) {
        } else if (arg == "--no-srt") {
            request->writeSubtitles = false;
        } else if (arg == "--speed-unit" && hasValue && ParseInt64(argv[++i], &number)) {
            request->speedUnit = static_cast<int>(number);
        } else if (arg == "--size" && hasValue) {
            sizeGiven = std::sscanf(argv[++i], "%dx%d", &request->width, &request->height) == 2;
            if (!sizeGiven) {
                return false;
            }
        } else if (!arg.starts_with("--") && request->outputPath.empty()) {
            request->outputPath = arg;
        } else {
            return false;
        }
    }
    if (request->outputPath.empty() || request->marks.inPath.empty() ||
        request->marks.outPath.empty()) {
        return false;
    }
    if (velmaro::IsAviOutput(request->outputPath) && !sizeGiven) {
        std::fprintf(stderr, "velmaro-export: an AVI clip needs --size WxH\n");
        return false;
    }
    return true;
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

}  // namespace

int main(int argc, char** argv) {
    velmaro::ExportRequest request;
    if (!ParseArguments(argc, argv, &request)) {
        Usage();
        return kExitUsage;
    }
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    std::mutex mutex;
    std::condition_variable ended;
    std::optional<velmaro::ExportOutcome> outcome;  // guarded by mutex
    velmaro::CTSBackup backup([&](const velmaro::ExportOutcome& o) {
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
