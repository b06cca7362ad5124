// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Clip export throughput against its peers, timed in the same run on a warm cache, best of
// three: the transport stream clip against cp of a file of the same size (the clip itself),
// and the AVI clip against ffmpeg re-wrapping the same stretch into AVI with 48 kHz mono PCM.
// The TS clip is timed twice: without the flush before the rename against plain cp, and with
// it (the default) against cp followed by a sync of the copy. The AVI clip is flushed; ffmpeg
// is timed with and without a sync of its output. Ratios above 1 mean we are faster.
//
// Before each timed run, untimed, the run's output is removed and everything is written out
// (sync), so that each side copies into a new file and no run waits for write-back that an
// earlier one left behind. Replacing an existing file costs both sides the release of the old
// one's blocks, and differently: cp truncates the old copy before writing the new one, our
// export keeps the old clip until the new one is complete and releases it at the rename, where
// on a file system mounted with online discard the discard waits behind the new clip's writes.
// That case is printed too, for information. The rounds of the TS pairs alternate, so that a
// burst of load elsewhere on the machine falls on both sides alike.
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>

#include "bench/bench_support.h"
#include "export/clip_export.h"
#include "tests/test_support.h"
#include "tools/make_recording/recording_writer.h"

namespace {

using velmaro::bench::GenerateCard;
using velmaro::test::ShellQuote;
namespace fs = std::filesystem;

bool Run(const std::string& command) {
    return std::system(command.c_str()) == 0;
}

constexpr int kFiles = 3;
constexpr int kWidth = 1280;
constexpr int kHeight = 720;
constexpr int kDefaultSecondsPerFile = 20;
constexpr int kRounds = 3;
constexpr double kTsGoal = 0.8;
constexpr double kAviGoal = 1.0;

// One timed run after removing `output` (unless empty) and a sync, untimed; -1 when it fails,
// which stays the least of any times it is compared with, so a failed run poisons the best.
template <typename Fn>
double TimeOnce(const std::string& output, Fn&& fn) {
    if (!output.empty()) {
        std::error_code ec;
        fs::remove(output, ec);
    }
    ::sync();
    bool ok = false;
    const double seconds = velmaro::bench::TimeOf([&] { ok = fn(); });
    return ok ? seconds : -1.0;
}

std::string LoadAverage() {
    double load[3] = {0, 0, 0};
    if (getloadavg(load, 3) != 3) {
        return "unknown";
    }
    char text[64];
    std::snprintf(text, sizeof text, "%.2f %.2f %.2f", load[0], load[1], load[2]);
    return text;
}

bool SameContents(const std::string& a, const std::string& b) {
    return Run("cmp -s " + ShellQuote(a) + " " + ShellQuote(b));
}

// One export from Begin to its end report.
bool Export(const velmaro::ExportRequest& request) {
    std::mutex mutex;
    std::condition_variable cv;
    std::optional<velmaro::ExportOutcome> outcome;
    velmaro::ClipExport backup([&](const velmaro::ExportOutcome& o) {
        std::lock_guard lock(mutex);
        outcome = o;
        cv.notify_all();
    });
    if (!backup.Begin(request)) {
        std::fprintf(stderr, "bench_export: %s\n", backup.LastError().c_str());
        return false;
    }
    std::unique_lock lock(mutex);
    cv.wait(lock, [&] { return outcome.has_value(); });
    if (outcome->end != velmaro::ExportEnd::kFinished) {
        std::fprintf(stderr, "bench_export: export ended: %s\n", outcome->reason.c_str());
        return false;
    }
    return true;
}

void PrintRow(const char* what, double seconds, double bytes) {
    std::printf("%-44s %9.1f ms %9.1f MB/s\n", what, seconds * 1e3, bytes / seconds / 1e6);
}

void PrintRatio(const char* what, double ratio, double goal) {
    std::printf("%-44s %9.2fx   (goal >= %.1fx: %s)\n", what, ratio, goal,
                ratio >= goal ? "met" : "NOT met");
}

constexpr const char* kAbout = R"(Usage: bench_export [SECONDS]

Clip export throughput against its peers, best of three on a warm cache: the transport stream
clip against cp of a file of the same size (with and without a sync), and the AVI clip against
ffmpeg re-wrapping the same stretch. Ratios above 1 mean the export is faster.

  SECONDS     length of each generated recording (default as built in, at least 2)
  -h, --help  show this text and exit
)";

}  // namespace

int main(int argc, char** argv) {
    if (velmaro::bench::AnsweredHelp(argc, argv, kAbout)) {
        return 0;
    }
    const int seconds = argc > 1 ? std::max(2, std::atoi(argv[1])) : kDefaultSecondsPerFile;
    velmaro::test::TempDir dir("bench_export");
    double generated = 0.0;
    const velmaro::RecordingResult rec =
        GenerateCard("bench_export", dir, kFiles, seconds, kWidth, kHeight, generated);
    if (!rec.ok) {
        return 1;
    }
    std::printf("generated %d files of %d s (1280x720) in %.1f s; load average %s, %ld CPUs\n",
                kFiles, seconds, generated, LoadAverage().c_str(), ::sysconf(_SC_NPROCESSORS_ONLN));

    // From a quarter into the first file to three quarters into the last.
    velmaro::ExportRequest request;
    request.frameRate = 30;
    request.width = kWidth;
    request.height = kHeight;
    request.marks = {rec.files.front(), rec.stats.front().bytes / 4, rec.files.back(),
                     rec.stats.back().bytes * 3 / 4};

    // The clip, kept as cp's source; the timed exports write elsewhere.
    const std::string clipTs = dir.File("clip.ts");
    request.outputPath = clipTs;
    if (!Export(request)) {  // also warms the cache
        return 1;
    }
    const double tsBytes = static_cast<double>(fs::file_size(clipTs));
    std::printf("stretch: %.1f MB of transport stream\n\n", tsBytes / 1e6);

    velmaro::ExportRequest flushed = request;
    flushed.outputPath = dir.File("flushed.ts");
    velmaro::ExportRequest unflushed = request;
    unflushed.outputPath = dir.File("unflushed.ts");
    unflushed.syncBeforeRename = false;
    const std::string copy = dir.File("copy.ts");
    const std::string cp = "cp " + ShellQuote(clipTs) + " " + ShellQuote(copy);
    const std::string cpSync = cp + " && sync " + ShellQuote(copy);
    auto exportTo = [](const velmaro::ExportRequest& r) { return [&r] { return Export(r); }; };
    auto shell = [](const std::string& command) { return [&command] { return Run(command); }; };
    double tsNoFlush = 1e30;
    double cpPlain = 1e30;
    double ts = 1e30;
    double cpSynced = 1e30;
    double tsReplacing = 1e30;
    double cpReplacing = 1e30;
    for (int round = 0; round < kRounds; ++round) {
        tsNoFlush = std::min(tsNoFlush, TimeOnce(unflushed.outputPath, exportTo(unflushed)));
        cpPlain = std::min(cpPlain, TimeOnce(copy, shell(cp)));
        ts = std::min(ts, TimeOnce(flushed.outputPath, exportTo(flushed)));
        cpSynced = std::min(cpSynced, TimeOnce(copy, shell(cpSync)));
    }
    // The outputs of the last rounds stay, so these runs replace files of the same size.
    for (int round = 0; round < kRounds; ++round) {
        tsReplacing = std::min(tsReplacing, TimeOnce({}, exportTo(unflushed)));
        cpReplacing = std::min(cpReplacing, TimeOnce({}, shell(cp)));
    }
    if (tsNoFlush < 0 || cpPlain < 0 || ts < 0 || cpSynced < 0 || tsReplacing < 0 ||
        cpReplacing < 0) {
        std::fprintf(stderr, "bench_export: a run failed\n");
        return 1;
    }
    if (!SameContents(clipTs, flushed.outputPath) || !SameContents(clipTs, unflushed.outputPath)) {
        std::fprintf(stderr, "bench_export: the clips with and without the flush differ\n");
        return 1;
    }
    PrintRow("ClipExport, transport stream clip", tsNoFlush, tsBytes);
    PrintRow("cp of the same bytes", cpPlain, tsBytes);
    PrintRow("ClipExport, transport stream clip (synced)", ts, tsBytes);
    PrintRow("cp of the same bytes + sync", cpSynced, tsBytes);
    PrintRow("ClipExport, TS clip replacing one", tsReplacing, tsBytes);
    PrintRow("cp of the same bytes replacing a copy", cpReplacing, tsBytes);
    std::printf("\n");
    PrintRatio("TS clip speed / cp", cpPlain / tsNoFlush, kTsGoal);
    PrintRatio("TS clip (synced) speed / (cp + sync)", cpSynced / ts, kTsGoal);
    std::printf("%-44s %9.2fx   (for information)\n", "TS clip speed / cp, replacing a file",
                cpReplacing / tsReplacing);
    std::printf("\n");

    velmaro::ExportRequest avi = request;
    avi.outputPath = dir.File("clip.avi");
    if (!Export(avi)) {
        return 1;
    }
    const double aviTime =
        velmaro::bench::BestOf(kRounds, [&] { return TimeOnce(avi.outputPath, exportTo(avi)); });
    const std::string remux = dir.File("ffmpeg.avi");
    const std::string ffmpeg = "ffmpeg -nostdin -v error -y -i " + ShellQuote(clipTs) +
                               " -c:v copy -c:a pcm_s16le -ac 1 -ar 48000 " + ShellQuote(remux) +
                               " 2>/dev/null";
    const std::string ffmpegSync = ffmpeg + " && sync " + ShellQuote(remux);
    if (!Run("command -v ffmpeg >/dev/null")) {
        std::printf("ffmpeg not found: no AVI peer to compare with\n");
        return 0;
    }
    const double ff =
        velmaro::bench::BestOf(kRounds, [&] { return TimeOnce(remux, shell(ffmpeg)); });
    const double ffSync =
        velmaro::bench::BestOf(kRounds, [&] { return TimeOnce(remux, shell(ffmpegSync)); });
    if (aviTime < 0 || ff < 0 || ffSync < 0) {
        std::fprintf(stderr, "bench_export: a run failed\n");
        return 1;
    }
    PrintRow("ClipExport, AVI clip (synced)", aviTime, tsBytes);
    PrintRow("ffmpeg -c:v copy -c:a pcm_s16le", ff, tsBytes);
    PrintRow("ffmpeg -c:v copy -c:a pcm_s16le + sync", ffSync, tsBytes);
    std::printf("\n");
    PrintRatio("AVI clip speed / ffmpeg", ff / aviTime, kAviGoal);
    PrintRatio("AVI clip speed / (ffmpeg + sync)", ffSync / aviTime, kAviGoal);
    std::printf("load average at the end: %s\n", LoadAverage().c_str());
    return 0;
}
