// Folder indexing: CFindFilePath::ScanNow over a folder of generated recordings against what a
// user script would do to learn the same durations, one ffprobe run per file. Both are timed on
// a warm cache in the same run, best of three; the ratio is what counts.
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "stream/recording_index.h"
#include "tools/make_recording/recording_writer.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

constexpr int kDefaultFiles = 200;
constexpr int kSecondsPerFile = 2;
constexpr int kRounds = 3;
constexpr double kGoalRatio = 20.0;

class TempDir {
  public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "bench_index_XXXXXX").string();
        path_ = mkdtemp(pattern.data()) != nullptr ? pattern : "";
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
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
        fn();
        best = std::min(best, Seconds(Clock::now() - start));
    }
    return best;
}

// Runs a command and returns its standard output; empty when it could not be started.
std::string Output(const std::string& command) {
    std::string out;
    if (std::FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[256];
        for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
            out.append(buffer, n);
        }
        pclose(pipe);
    }
    return out;
}

// As a script would: one ffprobe per file, one after the other. Returns how many gave a duration.
int ProbeAll(const std::vector<std::string>& files) {
    int answered = 0;
    for (const std::string& f : files) {
        const std::string out =
            Output("ffprobe -v error -show_entries format=duration -of csv=p=0 '" + f + "'");
        answered += std::atof(out.c_str()) > 0.0 ? 1 : 0;
    }
    return answered;
}

void PrintRow(const char* what, double seconds, size_t files) {
    std::printf("%-34s %10.2f ms %10.1f us/file\n", what, seconds * 1e3,
                seconds * 1e6 / static_cast<double>(files));
}

}  // namespace

int main(int argc, char** argv) {
    const int files = argc > 1 ? std::max(1, std::atoi(argv[1])) : kDefaultFiles;
    TempDir dir;
    velmaro::RecordingOptions options;
    options.outRoot = dir.path();
    options.files = files;
    options.secondsPerFile = kSecondsPerFile;
    options.width = 320;
    options.height = 240;
    const Clock::time_point generateStart = Clock::now();
    const velmaro::RecordingResult rec = velmaro::WriteRecording(options);
    if (dir.path().empty() || !rec.ok) {
        std::fprintf(stderr, "bench_index: cannot generate recordings: %s\n", rec.error.c_str());
        return 1;
    }
    std::printf("generated %d recordings of %d s (320x240) in %.1f s\n", files, kSecondsPerFile,
                Seconds(Clock::now() - generateStart));

    velmaro::CFindFilePath finder;
    const std::string anyFile = rec.files.front();
    finder.ScanNow(anyFile);  // warms the cache for both contenders
    const std::vector<velmaro::RecordingEntry> list = finder.Entries();
    const auto timed = std::count_if(list.begin(), list.end(), [](const auto& e) {
        return e.endTime - e.startTime == kSecondsPerFile;  // times start at 1 s
    });
    std::printf("listed %zu files, %ld with the expected duration\n", list.size(),
                static_cast<long>(timed));
    const double scan = BestOf(kRounds, [&] { finder.ScanNow(anyFile); });
    PrintRow("CFindFilePath::ScanNow", scan, rec.files.size());

    if (Output("command -v ffprobe").empty()) {
        std::printf("ffprobe not found: no peer to compare with\n");
        return 0;
    }
    int answered = 0;
    const double probe = BestOf(kRounds, [&] { answered = ProbeAll(rec.files); });
    PrintRow("ffprobe per file (format=duration)", probe, rec.files.size());
    std::printf("ffprobe gave a duration for %d of %zu files\n", answered, rec.files.size());
    const double ratio = probe / scan;
    std::printf("ScanNow is %.1fx faster than ffprobe (goal: at least %.0fx) %s\n", ratio,
                kGoalRatio, ratio >= kGoalRatio ? "" : "BELOW GOAL");
    return 0;
}
