// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Folder indexing: RecordingIndex::ScanNow over a folder of generated recordings against what a
// user script would do to learn the same durations, one ffprobe run per file. Both are timed on
// a warm cache in the same run, best of three; the ratio is what counts.
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "stream/recording_index.h"
#include "tools/make_recording/recording_writer.h"

namespace {

using velmaro::bench::BestOf;
using velmaro::bench::GenerateCard;
using velmaro::bench::TimeOf;
using velmaro::test::RunCommand;

constexpr int kDefaultFiles = 200;
constexpr int kSecondsPerFile = 2;
constexpr int kRounds = 3;
constexpr double kGoalRatio = 20.0;

// As a script would: one ffprobe per file, one after the other. Returns how many gave a duration.
int ProbeAll(const std::vector<std::string>& files) {
    int answered = 0;
    for (const std::string& f : files) {
        const std::string out =
            RunCommand("ffprobe -v error -show_entries format=duration -of csv=p=0 '" + f + "'")
                .out;
        answered += std::atof(out.c_str()) > 0.0 ? 1 : 0;
    }
    return answered;
}

void PrintRow(const char* what, double seconds, size_t files) {
    std::printf("%-34s %10.2f ms %10.1f us/file\n", what, seconds * 1e3,
                seconds * 1e6 / static_cast<double>(files));
}

constexpr const char* kAbout = R"(Usage: bench_index [FILES]

Folder indexing: the player's recording index over a folder of generated recordings against one
ffprobe run per file for the same durations, best of three on a warm cache.

  FILES       recordings in the folder (default as built in)
  -h, --help  show this text and exit
)";

}  // namespace

int main(int argc, char** argv) {
    if (velmaro::bench::AnsweredHelp(argc, argv, kAbout)) {
        return 0;
    }
    const int files = argc > 1 ? std::max(1, std::atoi(argv[1])) : kDefaultFiles;
    velmaro::test::TempDir dir("bench_index");
    double generated = 0.0;
    const velmaro::RecordingResult rec =
        GenerateCard("bench_index", dir, files, kSecondsPerFile, 320, 240, generated);
    if (!rec.ok) {
        return 1;
    }
    std::printf("generated %d recordings of %d s (320x240) in %.1f s\n", files, kSecondsPerFile,
                generated);

    velmaro::RecordingIndex finder;
    const std::string anyFile = rec.files.front();
    finder.ScanNow(anyFile);  // warms the cache for both contenders
    const std::vector<velmaro::RecordingEntry> list = finder.Entries();
    const auto timed = std::count_if(list.begin(), list.end(), [](const auto& e) {
        return e.endTime - e.startTime == kSecondsPerFile;  // times start at 1 s
    });
    std::printf("listed %zu files, %ld with the expected duration\n", list.size(),
                static_cast<long>(timed));
    const double scan = BestOf(kRounds, [&] { return TimeOf([&] { finder.ScanNow(anyFile); }); });
    PrintRow("RecordingIndex::ScanNow", scan, rec.files.size());

    if (RunCommand("command -v ffprobe").out.empty()) {
        std::printf("ffprobe not found: no peer to compare with\n");
        return 0;
    }
    int answered = 0;
    const double probe =
        BestOf(kRounds, [&] { return TimeOf([&] { answered = ProbeAll(rec.files); }); });
    PrintRow("ffprobe per file (format=duration)", probe, rec.files.size());
    std::printf("ffprobe gave a duration for %d of %zu files\n", answered, rec.files.size());
    const double ratio = probe / scan;
    std::printf("ScanNow is %.1fx faster than ffprobe (goal: at least %.0fx) %s\n", ratio,
                kGoalRatio, ratio >= kGoalRatio ? "" : "BELOW GOAL");
    return 0;
}
