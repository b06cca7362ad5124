// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// What the player's main window costs the CPU while it plays, against the plain video window:
// `velmaro` in a full layout (UI mode 1, 1280x800, or 2, 1920x1080: calendar, hour and minute
// grids, play control panel with its dashboard, map area, and the video docked) playing at 1x
// the only recording of a card given through VELMARO_DRIVE_ROOTS, against
// `velmaro-play --window` on the same camera-like 1920x1080 30 fps recording (make-recording
// --footage). Both play under one Xvfb of our own, with silent sound at the real pace
// (SDL_AUDIODRIVER=dummy), rounds interleaved. Counted per run over the same stretch of play,
// after both have settled into it: the player's CPU seconds (every thread) and the X server's.
// The ratio pairs runs of the same round. Each player's threads are listed from its last run,
// to tell where the difference goes.
// Keeping up: velmaro-play's status lines count its pictures; the main window is timed once
// told to quit after a few pictures and once after 600 more (VELMARO_QUIT_AFTER_PICTURES): the
// difference should take 20 s at 30 pictures a second.
//
// With --busy the question is how many pictures the main window shows when decoding is the hard
// part (give a 4K recording): the main window against mpv (--vo=x11, default threads,
// --framedrop=vo, sound to a null output) in a 960x540 window, both counted over the same
// stretch of play (the main window's VELMARO_PRINT_PICTURES lines, mpv's frame number less its
// drops). Printed: pictures shown per second, CPU seconds per shown picture and its ratio to
// mpv's.
//
//   bench_main_window [RECORDING.ts] [--seconds N] [--rounds N] [--mode 1|2] [--busy]
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
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

constexpr int kDefaultSeconds = 20;
constexpr int kDefaultRounds = 3;
constexpr int kDefaultMode = 1;
constexpr int kWarmUpSeconds = 4;           // start-up and the first pictures are not counted
constexpr int kRecordingSlackSeconds = 10;  // the recording outlasts every run
constexpr int kFps = 30;
constexpr int kPaceFirstPictures = 30;
constexpr int kPaceMorePictures = 600;
constexpr double kGoal = 1.10;
constexpr auto kSettle = 1s;               // between runs: the X server idles again
constexpr double kThreadListFloor = 0.05;  // seconds; threads below it are not listed
constexpr const char* kMpvWindowSize = "960x540";

// How a player tells the pictures it has shown so far.
enum class Count {
    kNone,
    kStatusLines,  // "frames N" lines on its output: velmaro-play, or the main window when told
    kMpv,          // mpv's IPC socket
};

struct Player {
    std::string label;
    std::vector<std::string> args;
    std::map<std::string, std::string> env;
    bool peer = false;  // the ratios are taken against it
    Count count = Count::kNone;
    std::filesystem::path configHome = {};  // the main window's settings
    int uiMode = 0;
    std::string mpvSocket = {};
};

// Starts a run of `player` on the display of `x`; -1 when its settings cannot be written.
pid_t Start(const Player& player, const Xvfb& x, std::map<std::string, std::string> env,
            const std::string& log) {
    if (!player.configHome.empty() && !WriteMainWindowSettings(player.configHome, player.uiMode)) {
        std::fprintf(stderr, "bench_main_window: cannot write the settings\n");
        return -1;
    }
    env.insert(player.env.begin(), player.env.end());
    env["DISPLAY"] = x.Display();
    return Spawn(player.args, env, -1, log);
}

struct Sample {
    double cpu = -1;                 // the player's process over the counted stretch, seconds
    double server = 0;               // the X server meanwhile, seconds
    long shown = -1;                 // pictures shown in the whole run, when the player tells
    long counted = -1;               // pictures shown over the counted stretch, when it tells
    std::vector<ThreadCpu> threads;  // over the counted stretch, in the order they were made
};

// CPU seconds each thread used between two readings; threads made in between count from 0.
std::vector<ThreadCpu> ThreadsBetween(const std::map<pid_t, ThreadCpu>& before,
                                      const std::map<pid_t, ThreadCpu>& after) {
    std::vector<ThreadCpu> used;
    for (const auto& [tid, t] : after) {
        const auto was = before.find(tid);
        used.push_back({t.name, t.cpu - (was == before.end() ? 0.0 : was->second.cpu)});
    }
    return used;
}

// Pictures `player` has shown so far; -1 when it does not tell.
long ShownSoFar(const Player& player, const std::string& log) {
    switch (player.count) {
        case Count::kStatusLines:
            return PlayStatusPictures(log);
        case Count::kMpv:
            return MpvShown(player.mpvSocket);
        case Count::kNone:
            break;
    }
    return -1;
}

Sample Run(const Player& player, const Xvfb& x, int seconds, const test::TempDir& scratch) {
    const std::string log = scratch.File("player.log");
    const pid_t pid = Start(player, x, {}, log);
    if (pid < 0) {
        return {};
    }
    std::this_thread::sleep_for(std::chrono::seconds(kWarmUpSeconds));
    const double cpuBefore = CpuSeconds(pid);
    const double serverBefore = x.Cpu();
    const long shownBefore = ShownSoFar(player, log);
    const std::map<pid_t, ThreadCpu> threadsBefore = ThreadCpuSeconds(pid);
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const double cpuAfter = CpuSeconds(pid);
    const long shownAfter = ShownSoFar(player, log);
    Sample sample;
    if (shownBefore >= 0 && shownAfter >= 0) {
        sample.counted = shownAfter - shownBefore;
    }
    sample.server = x.Cpu() - serverBefore;
    sample.threads = ThreadsBetween(threadsBefore, ThreadCpuSeconds(pid));
    if (cpuBefore >= 0 && cpuAfter >= 0) {
        sample.cpu = cpuAfter - cpuBefore;
    }
    kill(pid, SIGTERM);
    if (!Reap(pid)) {
        std::fprintf(stderr, "bench_main_window: %s did not end on SIGTERM\n",
                     player.label.c_str());
    }
    if (player.count == Count::kStatusLines) {
        sample.shown = PlayStatusPictures(log);
    }
    if (sample.cpu < 0) {
        std::fprintf(stderr, "bench_main_window: %s ended early; its output:\n",
                     player.label.c_str());
        bench::PrintLogTail(log);
    }
    std::this_thread::sleep_for(kSettle);
    return sample;
}

// Seconds from start to exit of the main window told to quit after `pictures` pictures; negative
// when it failed or had to be killed.
double SecondsToPictures(const Player& window, int pictures, const Xvfb& x,
                         const test::TempDir& scratch) {
    const Clock::time_point start = Clock::now();
    const pid_t pid = Start(window, x, {{"VELMARO_QUIT_AFTER_PICTURES", std::to_string(pictures)}},
                            scratch.File("pace.log"));
    if (pid < 0) {
        return -1;
    }
    int status = 0;
    const bool ended =
        Reap(pid, &status, kStopPatience + std::chrono::seconds(pictures / kFps) * 2);
    const double took = Seconds(Clock::now() - start);
    std::this_thread::sleep_for(kSettle);
    return ended && WIFEXITED(status) && WEXITSTATUS(status) == 0 ? took : -1;
}

// The main window's pictures per second at 1x, from two runs told to quit after their pictures.
void PrintPace(const Player& window, const Xvfb& x, const test::TempDir& scratch) {
    const double first = SecondsToPictures(window, kPaceFirstPictures, x, scratch);
    const double more =
        SecondsToPictures(window, kPaceFirstPictures + kPaceMorePictures, x, scratch);
    if (first < 0 || more < 0) {
        std::printf("main window: did not quit after its pictures (VELMARO_QUIT_AFTER_PICTURES)\n");
        return;
    }
    std::printf(
        "main window: %d pictures in %.2f s, %d in %.2f s: %.1f pictures/s "
        "(the recording has %d)\n",
        kPaceFirstPictures, first, kPaceFirstPictures + kPaceMorePictures, more,
        kPaceMorePictures / (more - first), kFps);
}

void PrintThreads(const Player& player, const Sample& s) {
    std::printf("  %s, threads over the counted stretch of its last run (made in this order):\n",
                player.label.c_str());
    for (size_t i = 0; i < s.threads.size(); ++i) {
        if (s.threads[i].cpu >= kThreadListFloor) {
            std::printf("    #%-3zu %-16s %7.2f s\n", i + 1, s.threads[i].name.c_str(),
                        s.threads[i].cpu);
        }
    }
}

void PrintSummary(const std::vector<Player>& players,
                  const std::vector<std::vector<Sample>>& samples, int seconds) {
    const size_t peer = players[0].peer ? 0 : 1;
    const int rounds = static_cast<int>(samples.front().size());
    std::printf("\nmean of %d rounds, %d s of play counted each%22s ratio to velmaro-play\n",
                rounds, seconds, "");
    std::printf("%-40s %9s %9s %9s %9s %9s\n", "", "process", "X server", "both", "process",
                "both");
    for (size_t p = 0; p < players.size(); ++p) {
        double cpu = 0;
        double server = 0;
        double ratio = 0;
        double ratioBoth = 0;
        for (size_t r = 0; r < samples[p].size(); ++r) {
            const Sample& s = samples[p][r];
            const Sample& m = samples[peer][r];
            cpu += s.cpu / rounds;
            server += s.server / rounds;
            ratio += s.cpu / m.cpu / rounds;
            ratioBoth += (s.cpu + s.server) / (m.cpu + m.server) / rounds;
        }
        std::printf("%-40s %8.2fs %8.2fs %8.2fs %8.2fx %8.2fx\n", players[p].label.c_str(), cpu,
                    server, cpu + server, ratio, ratioBoth);
    }
    std::printf("\n");
    for (size_t p = 0; p < players.size(); ++p) {
        PrintThreads(players[p], samples[p].back());
    }
}

// Over the counted stretch of each run.
void PrintBusySummary(const std::vector<Player>& players,
                      const std::vector<std::vector<Sample>>& samples, int seconds) {
    const size_t peer = players[0].peer ? 0 : 1;
    std::vector<std::string> labels;
    std::vector<std::vector<PictureRun>> runs;
    for (size_t p = 0; p < players.size(); ++p) {
        labels.push_back(players[p].label);
        runs.emplace_back();
        for (const Sample& s : samples[p]) {
            runs.back().push_back({s.cpu, s.counted});
        }
    }
    PrintPicturesPerSecond(labels, runs, peer, seconds);
    std::printf("\n");
    PrintThreads(players[1 - peer], samples[1 - peer].back());
}

constexpr const char* kAbout =
    R"(Usage: bench_main_window [RECORDING.ts] [--seconds N] [--rounds N] [--mode 1|2] [--busy]

CPU the player's main window costs while it plays, against the plain video window of
velmaro-play, both under an X server of its own; with --busy, pictures shown per second when
decoding is the hard part, against mpv.

  RECORDING.ts   the recording to play (default: a generated 1920x1080 30 fps one)
  --seconds N    play time per run
  --rounds N     rounds per player
  --mode 1|2     the window's layout: 1280x800 or 1920x1080
  --busy         count pictures shown instead of CPU
  -h, --help     show this text and exit
)";

}  // namespace

int main(int argc, char** argv) {
    if (velmaro::bench::AnsweredHelp(argc, argv, kAbout)) {
        return 0;
    }
    int seconds = kDefaultSeconds;
    int rounds = kDefaultRounds;
    int mode = kDefaultMode;
    bool busy = false;
    for (int i = 1; i < argc; ++i) {
        busy = busy || std::strcmp(argv[i], "--busy") == 0;
    }
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--seconds") == 0) {
            seconds = std::max(2, std::atoi(argv[i + 1]));
        } else if (std::strcmp(argv[i], "--rounds") == 0) {
            rounds = std::max(1, std::atoi(argv[i + 1]));
        } else if (std::strcmp(argv[i], "--mode") == 0) {
            mode = std::clamp(std::atoi(argv[i + 1]), 1, 2);
        }
    }
    if (!Exists("Xvfb")) {
        std::printf("bench_main_window: Xvfb is not installed; skipped\n");
        return 0;
    }
    if (busy && !Exists("mpv")) {
        std::printf("bench_main_window: mpv is not installed (apt-get install mpv); skipped\n");
        return 0;
    }
    const std::filesystem::path bin = std::filesystem::read_symlink("/proc/self/exe").parent_path();
    const std::string velmaro = (bin / "velmaro").string();
    const std::string play = (bin / "velmaro-play").string();
    for (const std::string& program : {velmaro, play}) {
        if (!std::filesystem::exists(program)) {
            std::fprintf(stderr, "bench_main_window: %s is missing; build it first\n",
                         program.c_str());
            return 1;
        }
    }
    std::optional<test::TempDir> generated;
    const int playedSeconds =
        std::max(kWarmUpSeconds + seconds, (kPaceFirstPictures + kPaceMorePictures) / kFps);
    const std::string recording =
        bench::RecordingToMeasure(argc, argv, "velmaro-bench-main-window", generated,
                                  PicturePattern::kFootage, playedSeconds + kRecordingSlackSeconds);
    if (recording.empty()) {
        return 1;
    }
    const test::TempDir card("velmaro-bench-main-window-card");
    const test::TempDir config("velmaro-bench-main-window-config");
    const test::TempDir scratch("velmaro-bench-main-window-run");
    if (!MakeSingleRecordingCard(card.path(), recording)) {
        std::fprintf(stderr, "bench_main_window: cannot set up the card\n");
        return 1;
    }
    Xvfb x;
    if (!x.Start()) {
        std::fprintf(stderr, "bench_main_window: cannot start Xvfb\n");
        return 1;
    }
    const std::map<std::string, std::string> quietSound = {{"SDL_AUDIODRIVER", "dummy"}};
    std::map<std::string, std::string> windowEnv = quietSound;
    windowEnv["VELMARO_DRIVE_ROOTS"] = card.path().string();
    windowEnv["XDG_CONFIG_HOME"] = config.path().string();
    const std::string mainWindow = "velmaro main window, UI mode " + std::to_string(mode);
    std::vector<Player> players = {
        {mainWindow, {velmaro}, windowEnv, false, Count::kNone, config.path(), mode},
        {"velmaro-play --window (960x540)",
         {play, "--window", recording},
         quietSound,
         true,
         Count::kStatusLines},
    };
    if (busy) {
        windowEnv["VELMARO_PRINT_PICTURES"] = "1";
        const std::string socket = scratch.File("mpv.socket");
        players = {
            {mainWindow, {velmaro}, windowEnv, false, Count::kStatusLines, config.path(), mode},
            {"mpv --vo=x11 --framedrop=vo",
             {"mpv", "--no-config", "--vo=x11", "--framedrop=vo", "--ao=null",
              std::string("--geometry=") + kMpvWindowSize, "--no-terminal",
              "--input-ipc-server=" + socket, recording},
             {},
             true,
             Count::kMpv,
             {},
             0,
             socket},
        };
    }
    std::printf("file: %s, %d s counted per run after %d s, %d rounds, Xvfb %s 1920x1080x24\n",
                recording.c_str(), seconds, kWarmUpSeconds, rounds, x.Display().c_str());
    std::fflush(stdout);

    if (!busy) {
        PrintPace(players[0], x, scratch);
    }

    std::vector<std::vector<Sample>> samples(players.size(), std::vector<Sample>(rounds));
    for (int round = 0; round < rounds; ++round) {
        for (size_t i = 0; i < players.size(); ++i) {
            const size_t p = (i + static_cast<size_t>(round)) % players.size();
            const Sample s = Run(players[p], x, seconds, scratch);
            samples[p][static_cast<size_t>(round)] = s;
            std::printf("  round %d  %-40s %6.2f s CPU  X server %5.2f s", round + 1,
                        players[p].label.c_str(), s.cpu, s.server);
            if (busy && s.counted >= 0) {
                std::printf("  %5ld pictures shown in the counted %d s", s.counted, seconds);
            } else if (busy) {
                std::printf("  no picture count");
            } else if (s.shown >= 0) {
                std::printf("  %5ld pictures shown in %d s", s.shown, kWarmUpSeconds + seconds);
            }
            std::printf("\n");
            std::fflush(stdout);
        }
    }

    if (busy) {
        PrintBusySummary(players, samples, seconds);
        return 0;
    }
    PrintSummary(players, samples, seconds);
    std::printf("goal: main window / velmaro-play --window <= %.2f (process + X server)\n", kGoal);
    return 0;
}
