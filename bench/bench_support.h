// Timing helpers the benchmarks share, and the large recording that the reader and video
// benchmarks measure when not given one.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "tests/test_support.h"
#include "tools/make_recording/recording_writer.h"

namespace velmaro::bench {

using Clock = std::chrono::steady_clock;

inline double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// Seconds that `work` takes.
template <typename Work>
double TimeOf(Work&& work) {
    const Clock::time_point start = Clock::now();
    work();
    return Seconds(Clock::now() - start);
}

// The shortest of `rounds` runs of `run`, which returns its own time in seconds.
template <typename Run>
double BestOf(int rounds, Run&& run) {
    double best = 1e30;
    for (int i = 0; i < rounds; ++i) {
        best = std::min(best, run());
    }
    return best;
}

// Seconds a shell command takes; a failing command ends the benchmark, whose figures would
// mean nothing without it.
inline double TimeCommand(const std::string& command) {
    return TimeOf([&] {
        if (std::system(command.c_str()) != 0) {
            std::fprintf(stderr, "failed: %s\n", command.c_str());
            std::exit(1);
        }
    });
}

// A card of `files` recordings of `seconds` each at width x height showing `pattern`, written
// into `dir` for a benchmark to measure; `tookSeconds` gets the time it took. Not ok, with the
// reason printed under the benchmark's name, when it could not be written.
inline RecordingResult GenerateCard(const char* bench, const test::TempDir& dir, int files,
                                    int seconds, int width, int height, double& tookSeconds,
                                    PicturePattern pattern = PicturePattern::kMoving) {
    RecordingOptions options;
    options.pattern = pattern;
    options.outRoot = dir.path();
    options.files = files;
    options.secondsPerFile = seconds;
    options.width = width;
    options.height = height;
    RecordingResult result;
    tookSeconds = TimeOf([&] { result = WriteRecording(options); });
    if (dir.path().empty() || !result.ok) {
        result.ok = false;
        std::fprintf(stderr, "%s: cannot generate recordings: %s\n", bench, result.error.c_str());
    }
    return result;
}

// Makes `card` a camera card holding only `recording` (linked, not copied), as the main window
// looks for one on a drive root.
inline bool MakeSingleRecordingCard(const std::filesystem::path& card,
                                    const std::string& recording) {
    std::error_code error;
    const std::filesystem::path media = card / "DCIM" / "100MEDIA";
    std::filesystem::create_directories(media, error);
    if (!error) {
        std::filesystem::create_symlink(std::filesystem::absolute(recording), media / "REC_0001.ts",
                                        error);
    }
    return !error;
}

// Settings of the main window in `configHome` (its XDG_CONFIG_HOME): the UI mode, which sets
// the window's size (1: 1280x800, 2: 1920x1080). Written before each run, since the player
// writes its settings back when it ends.
inline bool WriteMainWindowSettings(const std::filesystem::path& configHome, int uiMode) {
    std::error_code error;
    std::filesystem::create_directories(configHome / "velmaro", error);
    std::ofstream out(configHome / "velmaro" / "Config.ini", std::ios::trunc);
    out << "[Config]\nUIMode=" << uiMode << "\n";
    out.close();
    return !error && !out.fail();
}

// The recording named on the command line, or else one of `seconds` at 1920x1080 and 30 fps
// with `pattern` generated into `scratch` (made here, under `prefix`). Empty, with the reason
// printed, when that fails.
inline std::string RecordingToMeasure(int argc, char** argv, const char* prefix,
                                      std::optional<test::TempDir>& scratch,
                                      PicturePattern pattern = PicturePattern::kMoving,
                                      int seconds = 60) {
    if (argc > 1 && argv[1][0] != '\0' && argv[1][0] != '-') {
        return argv[1];
    }
    scratch.emplace(prefix);
    RecordingOptions o;
    o.outRoot = scratch->path();
    o.files = 1;
    o.secondsPerFile = seconds;
    o.width = 1920;
    o.height = 1080;
    o.pattern = pattern;
    std::printf("generating a %d s 1920x1080 30 fps recording%s...\n", seconds,
                pattern == PicturePattern::kFootage ? " of camera-like footage" : "");
    std::fflush(stdout);
    const RecordingResult r = WriteRecording(o);
    if (!r.ok) {
        std::fprintf(stderr, "%s\n", r.error.c_str());
        return "";
    }
    return r.files[0];
}

}  // namespace velmaro::bench
