// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// How soon a full camera card shows its first picture: `velmaro` started on a card of 200 short
// camera-like recordings (make-recording --footage; VELMARO_DRIVE_ROOTS) and told to quit once it
// presented one picture (VELMARO_QUIT_AFTER_PICTURES=1), against `mpv --frames=1 --vo=null
// --ao=null` on the card's first recording. Measured: wall-clock from starting the program to its
// exit. The main window also runs on a card holding only that first recording, which tells what
// the card's size adds to the start-up. The X server (Xvfb, our own) starts once, before any
// timing; one unmeasured run of each player warms the file cache; the rounds interleave the
// players. The card is kept in /tmp under a name made of its parameters, so a repeated run does
// not write it again.
//
//   bench_first_picture [--files N] [--seconds S] [--size WxH] [--rounds N]
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_support.h"
#include "bench/player_process.h"
#include "tests/test_support.h"
#include "tools/make_recording/recording_writer.h"

namespace {

using namespace velmaro;
using namespace velmaro::bench;
using namespace std::chrono_literals;

constexpr int kDefaultFiles = 200;
constexpr int kDefaultSeconds = 2;
constexpr int kDefaultWidth = 1280;
constexpr int kDefaultHeight = 720;
constexpr int kDefaultRounds = 7;
constexpr int kUiMode = 1;
constexpr double kGoal = 1.5;
constexpr auto kRunPatience = 30s;
constexpr auto kSettle = 300ms;  // between runs: the previous player's exit has settled
constexpr const char* kCompleteMark = ".complete";

struct Player {
    std::string label;
    std::vector<std::string> args;
    std::map<std::string, std::string> env;
    std::filesystem::path configHome = {};  // the main window's settings
    bool peer = false;
};

// Seconds from starting `player` to its exit, waited for without polling; negative when it
// failed, or had to be killed after kRunPatience.
double TimeToExit(const Player& player, const std::string& log) {
    if (!player.configHome.empty() && !WriteMainWindowSettings(player.configHome, kUiMode)) {
        return -1;
    }
    const Clock::time_point start = Clock::now();
    const pid_t pid = Spawn(player.args, player.env, -1, log);
    std::mutex m;
    std::condition_variable ended;
    bool done = false;
    std::thread watchdog([&] {
        std::unique_lock<std::mutex> lock(m);
        if (!ended.wait_for(lock, kRunPatience, [&] { return done; })) {
            kill(pid, SIGKILL);
        }
    });
    int status = 0;
    waitpid(pid, &status, 0);
    const double took = Seconds(Clock::now() - start);
    {
        std::lock_guard<std::mutex> lock(m);
        done = true;
    }
    ended.notify_one();
    watchdog.join();
    std::this_thread::sleep_for(kSettle);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "bench_first_picture: %s failed; its output:\n", player.label.c_str());
        bench::PrintLogTail(log);
        return -1;
    }
    return took;
}

// The card of `files` recordings: kept from an earlier run under its parameters' name, or
// written now (into a fresh folder renamed into place once complete, so an interrupted or
// concurrent run never leaves a half card under that name). Empty when it cannot be had.
std::filesystem::path Card(int files, int seconds, int width, int height) {
    const std::filesystem::path card =
        std::filesystem::temp_directory_path() /
        ("velmaro-bench-card-" + std::to_string(files) + "x" + std::to_string(seconds) + "s-" +
         std::to_string(width) + "x" + std::to_string(height) + "-footage");
    if (std::filesystem::exists(card / kCompleteMark)) {
        std::printf("card: %s (kept from an earlier run)\n", card.c_str());
        return card;
    }
    std::printf("generating a card of %d recordings of %d s at %dx%d, camera-like footage...\n",
                files, seconds, width, height);
    std::fflush(stdout);
    const test::TempDir partial("velmaro-bench-card-partial");
    double took = 0;
    if (!GenerateCard("bench_first_picture", partial, files, seconds, width, height, took,
                      PicturePattern::kFootage)
             .ok) {
        return {};
    }
    std::error_code error;
    std::ofstream(partial.File(kCompleteMark)).put('\n');
    std::filesystem::remove_all(card, error);
    std::filesystem::rename(partial.path(), card, error);
    if (error && !std::filesystem::exists(card / kCompleteMark)) {
        std::fprintf(stderr, "bench_first_picture: cannot keep the card at %s: %s\n", card.c_str(),
                     error.message().c_str());
        return {};
    }
    std::printf("card: %s (written in %.0f s)\n", card.c_str(), took);
    return card;
}

// The first recording of the card, as the main window picks it: the first by name.
std::string FirstRecording(const std::filesystem::path& card) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry :
         std::filesystem::directory_iterator(card / "DCIM" / "100MEDIA", error)) {
        if (entry.path().extension() == ".ts") {
            names.push_back(entry.path().string());
        }
    }
    std::sort(names.begin(), names.end());
    return names.empty() ? std::string() : names.front();
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

constexpr const char* kAbout =
    R"(Usage: bench_first_picture [--files N] [--seconds S] [--size WxH] [--rounds N]

How soon a full camera card shows its first picture: the player started on a generated card and
told to quit after one picture, against mpv showing one frame of the card's first recording;
wall-clock from start to exit, under an X server of its own.

  --files N      recordings on the card
  --seconds S    length of each recording
  --size WxH     their picture size
  --rounds N     timed rounds per player
  -h, --help     show this text and exit
)";

}  // namespace

int main(int argc, char** argv) {
    if (velmaro::bench::AnsweredHelp(argc, argv, kAbout)) {
        return 0;
    }
    int files = kDefaultFiles;
    int seconds = kDefaultSeconds;
    int width = kDefaultWidth;
    int height = kDefaultHeight;
    int rounds = kDefaultRounds;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--files") == 0) {
            files = std::max(1, std::atoi(argv[i + 1]));
        } else if (std::strcmp(argv[i], "--seconds") == 0) {
            seconds = std::max(1, std::atoi(argv[i + 1]));
        } else if (std::strcmp(argv[i], "--rounds") == 0) {
            rounds = std::max(1, std::atoi(argv[i + 1]));
        } else if (std::strcmp(argv[i], "--size") == 0 &&
                   std::sscanf(argv[i + 1], "%dx%d", &width, &height) != 2) {
            std::fprintf(stderr, "bench_first_picture: --size wants WxH\n");
            return 1;
        }
    }
    if (!Exists("mpv")) {
        std::printf("bench_first_picture: mpv is not installed (apt-get install mpv); skipped\n");
        return 0;
    }
    if (!Exists("Xvfb")) {
        std::printf("bench_first_picture: Xvfb is not installed; skipped\n");
        return 0;
    }
    const std::string velmaro =
        (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "velmaro").string();
    if (!std::filesystem::exists(velmaro)) {
        std::fprintf(stderr, "bench_first_picture: %s is missing; build it first\n",
                     velmaro.c_str());
        return 1;
    }
    const std::filesystem::path card = Card(files, seconds, width, height);
    const std::string first = card.empty() ? std::string() : FirstRecording(card);
    if (first.empty()) {
        std::fprintf(stderr, "bench_first_picture: no card to measure\n");
        return 1;
    }
    const test::TempDir scratch("velmaro-bench-first-picture");
    const test::TempDir smallCard("velmaro-bench-first-picture-card");
    if (!MakeSingleRecordingCard(smallCard.path(), first)) {
        std::fprintf(stderr, "bench_first_picture: cannot make the one-recording card\n");
        return 1;
    }
    Xvfb x;
    if (!x.Start()) {
        std::fprintf(stderr, "bench_first_picture: cannot start Xvfb\n");
        return 1;
    }
    const std::filesystem::path configHome = scratch.path() / "config";
    const auto window = [&](const std::filesystem::path& root) {
        return std::map<std::string, std::string>{{"DISPLAY", x.Display()},
                                                  {"SDL_AUDIODRIVER", "dummy"},
                                                  {"XDG_CONFIG_HOME", configHome.string()},
                                                  {"VELMARO_DRIVE_ROOTS", root.string()},
                                                  {"VELMARO_QUIT_AFTER_PICTURES", "1"}};
    };
    const std::vector<Player> players = {
        {"velmaro, card of " + std::to_string(files), {velmaro}, window(card), configHome},
        {"mpv --frames=1 --vo=null --ao=null",
         {"mpv", "--no-config", "--frames=1", "--vo=null", "--ao=null", first},
         {},
         {},
         true},
        {"velmaro, card of 1 (the same first file)",
         {velmaro},
         window(smallCard.path()),
         configHome},
    };
    std::printf("first recording: %s; Xvfb %s 1920x1080x24, main window UI mode %d\n",
                first.c_str(), x.Display().c_str(), kUiMode);
    std::fflush(stdout);

    const std::string log = scratch.File("player.log");
    for (const Player& p : players) {
        if (TimeToExit(p, log) < 0) {
            return 1;
        }
    }
    std::vector<std::vector<double>> times(players.size());
    for (int round = 0; round < rounds; ++round) {
        for (size_t i = 0; i < players.size(); ++i) {
            const size_t p = (i + static_cast<size_t>(round)) % players.size();
            const double t = TimeToExit(players[p], log);
            if (t < 0) {
                return 1;
            }
            times[p].push_back(t);
            std::printf("  round %d  %-44s %7.3f s\n", round + 1, players[p].label.c_str(), t);
            std::fflush(stdout);
        }
    }

    const size_t peer = 1;
    const double peerBest = *std::min_element(times[peer].begin(), times[peer].end());
    const double peerMedian = Median(times[peer]);
    std::printf("\nstart to exit after the first picture, %d rounds%12s ratio to mpv\n", rounds,
                "");
    std::printf("%-44s %8s %8s %8s %8s\n", "", "best", "median", "best", "median");
    for (size_t p = 0; p < players.size(); ++p) {
        const double best = *std::min_element(times[p].begin(), times[p].end());
        const double median = Median(times[p]);
        std::printf("%-44s %7.3fs %7.3fs %7.2fx %7.2fx\n", players[p].label.c_str(), best, median,
                    best / peerBest, median / peerMedian);
    }
    std::printf("goal: velmaro, card of %d / mpv <= %.1f (median)\n", files, kGoal);
    return 0;
}
