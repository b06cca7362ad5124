// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Timing helpers the benchmarks share, and the large recording that the reader and video
// benchmarks measure when not given one.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "tests/test_support.h"
#include "tools/make_recording/recording_writer.h"

namespace velmaro::bench {

using Clock = std::chrono::steady_clock;

// What a benchmark answers to -h or --help anywhere on its command line: `about` (its usage
// line, what it measures and its options) on stdout. True when it was asked, and the caller
// then exits 0 without starting a run that may take minutes.
inline bool AnsweredHelp(int argc, char** argv, const char* about) {
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--help" || argument == "-h") {
            std::fputs(about, stdout);
            return true;
        }
    }
    return false;
}

// The last lines of a player's log on stderr, to say why a run failed.
inline void PrintLogTail(const std::string& log, size_t lines = 5) {
    std::ifstream in(log);
    std::deque<std::string> tail;
    for (std::string line; std::getline(in, line);) {
        tail.push_back(line);
        if (tail.size() > lines) {
            tail.pop_front();
        }
    }
    for (const std::string& line : tail) {
        std::fprintf(stderr, "%s\n", line.c_str());
    }
}

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

// One player's run when it cannot show every picture: CPU seconds used and pictures shown.
struct PictureRun {
    double cpu = 0;
    long shown = -1;
};

// Pictures shown per second and CPU per shown picture of each player (`runs[player][round]`),
// means over the rounds; the ratio pairs each run with the peer's of the same round.
inline void PrintPicturesPerSecond(const std::vector<std::string>& labels,
                                   const std::vector<std::vector<PictureRun>>& runs, size_t peer,
                                   int seconds) {
    const int rounds = static_cast<int>(runs.front().size());
    std::printf("\nmean of %d rounds, %d s of play counted each\n", rounds, seconds);
    std::printf("%-42s %12s %16s %14s\n", "", "pictures/s", "CPU ms/picture", "ratio to mpv");
    const auto counted = [](const std::vector<PictureRun>& player) {
        return std::all_of(player.begin(), player.end(),
                           [](const PictureRun& r) { return r.shown >= 0; });
    };
    for (size_t p = 0; p < labels.size(); ++p) {
        // A player that ended before the counted stretch did (a recording shorter than the
        // run) or never told its count has no figure: a made-up one would read as a result.
        if (!counted(runs[p]) || !counted(runs[peer])) {
            std::printf("%-42s %s\n", labels[p].c_str(),
                        "no count in some round (did the recording end before the run?)");
            continue;
        }
        double rate = 0;
        double perPicture = 0;
        double ratio = 0;
        for (size_t r = 0; r < runs[p].size(); ++r) {
            const PictureRun& s = runs[p][r];
            const PictureRun& m = runs[peer][r];
            const double mine = s.cpu / static_cast<double>(std::max(1L, s.shown));
            const double theirs = m.cpu / static_cast<double>(std::max(1L, m.shown));
            rate += static_cast<double>(s.shown) / seconds / rounds;
            perPicture += 1000.0 * mine / rounds;
            ratio += mine / theirs / rounds;
        }
        std::printf("%-42s %12.1f %16.2f %13.2fx\n", labels[p].c_str(), rate, perPicture, ratio);
    }
    std::printf("goal: pictures/s >= mpv's, CPU per picture <= 1.00x mpv's\n");
}

}  // namespace velmaro::bench
