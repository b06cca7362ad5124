// Clip export throughput against its peers, timed in the same run on a warm cache, best of
// three: the transport stream clip against cp of a file of the same size (the clip itself),
// and the AVI clip against ffmpeg re-wrapping the same stretch into AVI with 48 kHz mono PCM.
// Our exports flush the clip to disk before renaming it into place; the peers do not, so each
// peer is also timed followed by a sync of its output. Ratios above 1 mean we are faster.
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>

#include "export/ts_backup.h"
#include "tools/make_recording/recording_writer.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

constexpr int kFiles = 3;
constexpr int kDefaultSecondsPerFile = 20;
constexpr int kRounds = 3;
constexpr double kTsGoal = 0.8;
constexpr double kAviGoal = 1.0;

class TempDir {
  public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "bench_export_XXXXXX").string();
        path_ = mkdtemp(pattern.data()) != nullptr ? pattern : "";
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    std::string File(const std::string& name) const { return path_ + "/" + name; }
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

template <typename Fn>
double BestOf(int rounds, Fn&& fn) {
    double best = 1e30;
    for (int i = 0; i < rounds; ++i) {
        const Clock::time_point start = Clock::now();
        if (!fn()) {
            return -1.0;
        }
        best = std::min(best, Seconds(Clock::now() - start));
    }
    return best;
}

bool Run(const std::string& command) {
    return std::system(command.c_str()) == 0;
}

// One export from Begin to its end report.
bool Export(const velmaro::ExportRequest& request) {
    std::mutex mutex;
    std::condition_variable cv;
    std::optional<velmaro::ExportOutcome> outcome;
    velmaro::CTSBackup backup([&](const velmaro::ExportOutcome& o) {
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

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::max(2, std::atoi(argv[1])) : kDefaultSecondsPerFile;
    TempDir dir;
    velmaro::RecordingOptions options;
    options.outRoot = dir.path();
    options.files = kFiles;
    options.secondsPerFile = seconds;
    options.width = 1280;
    options.height = 720;
    const Clock::time_point generateStart = Clock::now();
    const velmaro::RecordingResult rec = velmaro::WriteRecording(options);
    if (dir.path().empty() || !rec.ok) {
        std::fprintf(stderr, "bench_export: cannot generate recordings: %s\n", rec.error.c_str());
        return 1;
    }
    std::printf("generated %d files of %d s (1280x720) in %.1f s\n", kFiles, seconds,
                Seconds(Clock::now() - generateStart));

    // From a quarter into the first file to three quarters into the last.
    velmaro::ExportRequest request;
    request.frameRate = 30;
    request.width = options.width;
    request.height = options.height;
    request.marks = {rec.files.front(), rec.stats.front().bytes / 4, rec.files.back(),
                     rec.stats.back().bytes * 3 / 4};

    const std::string clipTs = dir.File("clip.ts");
    const std::string clipAvi = dir.File("clip.avi");
    request.outputPath = clipTs;
    if (!Export(request)) {  // also warms the cache
        return 1;
    }
    const double tsBytes = static_cast<double>(fs::file_size(clipTs));
    std::printf("stretch: %.1f MB of transport stream\n\n", tsBytes / 1e6);

    const double ts = BestOf(kRounds, [&] { return Export(request); });
    const std::string copy = dir.File("copy.ts");
    const std::string cp = "cp '" + clipTs + "' '" + copy + "'";
    const double cpPlain = BestOf(kRounds, [&] { return Run(cp); });
    const double cpSync = BestOf(kRounds, [&] { return Run(cp + " && sync '" + copy + "'"); });

    request.outputPath = clipAvi;
    if (!Export(request)) {
        return 1;
    }
    const double avi = BestOf(kRounds, [&] { return Export(request); });
    const std::string remux = dir.File("ffmpeg.avi");
    const std::string ffmpeg = "ffmpeg -nostdin -v error -y -i '" + clipTs +
                               "' -c:v copy -c:a pcm_s16le -ac 1 -ar 48000 '" + remux + "'";
    if (!Run("command -v ffmpeg >/dev/null")) {
        std::printf("ffmpeg not found: no AVI peer to compare with\n");
        return 0;
    }
    const double ff = BestOf(kRounds, [&] { return Run(ffmpeg + " 2>/dev/null"); });
    const double ffSync =
        BestOf(kRounds, [&] { return Run(ffmpeg + " 2>/dev/null && sync '" + remux + "'"); });
    if (ts < 0 || cpPlain < 0 || cpSync < 0 || avi < 0 || ff < 0 || ffSync < 0) {
        std::fprintf(stderr, "bench_export: a run failed\n");
        return 1;
    }

    PrintRow("CTSBackup, transport stream clip (synced)", ts, tsBytes);
    PrintRow("cp of the same bytes", cpPlain, tsBytes);
    PrintRow("cp of the same bytes + sync", cpSync, tsBytes);
    PrintRow("CTSBackup, AVI clip (synced)", avi, tsBytes);
    PrintRow("ffmpeg -c:v copy -c:a pcm_s16le", ff, tsBytes);
    PrintRow("ffmpeg -c:v copy -c:a pcm_s16le + sync", ffSync, tsBytes);
    std::printf("\n");
    PrintRatio("TS clip speed / cp", cpPlain / ts, kTsGoal);
    PrintRatio("TS clip speed / (cp + sync)", cpSync / ts, kTsGoal);
    PrintRatio("AVI clip speed / ffmpeg", ff / avi, kAviGoal);
    PrintRatio("AVI clip speed / (ffmpeg + sync)", ffSync / avi, kAviGoal);
    return 0;
}
