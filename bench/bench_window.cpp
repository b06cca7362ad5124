// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// What showing a recording in a window costs the CPU: velmaro-play --window against mpv
// (--vo=x11, one decoder thread, no audio), both playing the same camera-like 1920x1080 30 fps
// recording (make-recording --footage) in a 960x540 window for the same wall-clock time under
// one Xvfb of our own. Counted per player: its process's CPU seconds (every thread, from
// /proc/<pid>/stat) and the X server's CPU seconds while it played. Our window runs on each
// drawing path (the one chosen automatically, then software and OpenGL forced, with YUV planes
// and with RGB pictures), and off-screen for the decoding floor. The ratio to mpv pairs runs of
// the same round; rounds interleave all players, so the machine's load touches them alike.
// Pictures shown tell that every player kept up: mpv's own count (frame number less frames
// dropped, over its IPC socket), ours from the last of velmaro-play's once-a-second status lines.
//
//
// With --busy the question is how many pictures each player shows when decoding is the hard
// part (big or high bit-rate footage; give the file): velmaro-play --window choosing its own
// decoder threads against mpv with its default threads and --framedrop=vo, both with sound (to
// a null output). Printed: pictures shown per second, and CPU seconds per shown picture with
// its ratio to mpv's.
//
//   bench_window [RECORDING.ts] [--seconds N] [--rounds N] [--busy]
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
constexpr int kDefaultRounds = 2;
constexpr int kRecordingSlackSeconds = 10;      // the recording outlasts every run
constexpr const char* kWindowSize = "960x540";  // velmaro-play's window
constexpr auto kSettle = 1s;                    // between runs: the X server idles again

// One player to run: the program and arguments ("%s" becomes the recording) and extra
// environment.
struct Player {
    std::string label;
    std::vector<std::string> args;
    std::map<std::string, std::string> env;
    bool ours = true;   // velmaro-play: stopped with "quit", says how many pictures it showed
    bool peer = false;  // the reference the ratios are taken against
};

struct Sample {
    double cpu = 0;     // the player's process, seconds
    double server = 0;  // the X server meanwhile, seconds
    long shown = -1;    // pictures shown, when the player tells
};

Sample Run(const Player& player, const std::string& recording, const Xvfb& x, int seconds,
           const test::TempDir& scratch) {
    std::vector<std::string> args = player.args;
    std::replace(args.begin(), args.end(), std::string("%s"), recording);
    std::map<std::string, std::string> env = player.env;
    env["DISPLAY"] = x.Display();
    const std::string log = scratch.File("player.log");
    int input[2] = {-1, -1};
    if (player.ours && pipe(input) != 0) {
        return {};
    }
    const double serverBefore = x.Cpu();
    const pid_t pid = Spawn(args, env, input[0], log);
    if (input[0] >= 0) {
        close(input[0]);
    }
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    Sample sample;
    sample.cpu = CpuSeconds(pid);
    sample.server = x.Cpu() - serverBefore;
    if (player.ours) {
        const char quit[] = "quit\n";
        if (write(input[1], quit, sizeof quit - 1) < 0) {
            kill(pid, SIGTERM);
        }
        close(input[1]);
        Reap(pid);
        sample.shown = PlayStatusPictures(log);
    } else {
        sample.shown = MpvShown(scratch.File("mpv.socket"));
        kill(pid, SIGTERM);
        Reap(pid);
    }
    if (sample.cpu < 0) {
        std::fprintf(stderr, "bench_window: %s ended early; its output:\n", player.label.c_str());
        bench::PrintLogTail(log);
    }
    std::this_thread::sleep_for(kSettle);
    return sample;
}

std::vector<Player> Players(const std::string& play, const std::string& mpvSocket) {
    const std::map<std::string, std::string> quietSound = {{"SDL_AUDIODRIVER", "dummy"}};
    auto with = [&](std::map<std::string, std::string> env) {
        env.insert(quietSound.begin(), quietSound.end());
        return env;
    };
    return {
        {"velmaro-play --window (path chosen)", {play, "--window", "%s"}, with({}), true, false},
        {"mpv --vo=x11 --vd-lavc-threads=1",
         {"mpv", "--no-config", "--vo=x11", "--vd-lavc-threads=1", "--no-audio",
          std::string("--geometry=") + kWindowSize, "--no-terminal",
          "--input-ipc-server=" + mpvSocket, "%s"},
         {},
         false,
         true},
        {"velmaro-play --window, software, YV12",
         {play, "--window", "%s"},
         with({{"VELMARO_VIDEO_PATH", "software"}}),
         true,
         false},
        {"velmaro-play --window, software, RGB",
         {play, "--window", "--rgb", "%s"},
         with({{"VELMARO_VIDEO_PATH", "software"}}),
         true,
         false},
        {"velmaro-play --window, OpenGL, YV12",
         {play, "--window", "%s"},
         with({{"VELMARO_VIDEO_PATH", "gl"}}),
         true,
         false},
        {"velmaro-play --window, OpenGL, RGB",
         {play, "--window", "--rgb", "%s"},
         with({{"VELMARO_VIDEO_PATH", "gl"}}),
         true,
         false},
        {"velmaro-play off-screen (decoding floor)", {play, "%s"}, with({}), true, false},
    };
}

// The players of --busy: each decodes with the threads it chooses and may drop late pictures.
std::vector<Player> BusyPlayers(const std::string& play, const std::string& mpvSocket) {
    return {
        {"velmaro-play --window (threads chosen)",
         {play, "--window", "%s"},
         {{"SDL_AUDIODRIVER", "dummy"}},
         true,
         false},
        {"mpv --vo=x11 --framedrop=vo",
         {"mpv", "--no-config", "--vo=x11", "--framedrop=vo", "--ao=null",
          std::string("--geometry=") + kWindowSize, "--no-terminal",
          "--input-ipc-server=" + mpvSocket, "%s"},
         {},
         false,
         true},
    };
}

void PrintBusySummary(const std::vector<Player>& players,
                      const std::vector<std::vector<Sample>>& samples, int seconds) {
    std::vector<std::string> labels;
    std::vector<std::vector<PictureRun>> runs;
    size_t peer = 0;
    for (size_t p = 0; p < players.size(); ++p) {
        peer = players[p].peer ? p : peer;
        labels.push_back(players[p].label);
        runs.emplace_back();
        for (const Sample& s : samples[p]) {
            runs.back().push_back({s.cpu, s.shown});
        }
    }
    PrintPicturesPerSecond(labels, runs, peer, seconds);
}

std::string Renderer(const std::string& play, const std::string& recording, const Xvfb& x,
                     const test::TempDir& scratch) {
    const std::string log = scratch.File("probe.log");
    int input[2];
    if (pipe(input) != 0) {
        return "?";
    }
    const pid_t pid =
        Spawn({play, "--window", recording},
              {{"DISPLAY", x.Display()}, {"SDL_AUDIODRIVER", "dummy"}}, input[0], log);
    close(input[0]);
    std::this_thread::sleep_for(2s);
    const char quit[] = "quit\n";
    [[maybe_unused]] const ssize_t written = write(input[1], quit, sizeof quit - 1);
    close(input[1]);
    Reap(pid);
    std::ifstream in(log);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("pictures drawn", 0) == 0) {
            return line;
        }
    }
    return "(velmaro-play did not say how it draws)";
}

// Means over the rounds; ratios pair each run with mpv's of the same round.
void PrintSummary(const std::vector<Player>& players,
                  const std::vector<std::vector<Sample>>& samples, int seconds) {
    const int rounds = static_cast<int>(samples.front().size());
    size_t peer = 0;
    for (size_t p = 0; p < players.size(); ++p) {
        if (players[p].peer) {
            peer = p;
        }
    }
    std::printf("\nmean of %d rounds, %d s of play each%30s ratio to mpv\n", rounds, seconds, "");
    std::printf("%-42s %9s %9s %9s %9s %9s\n", "", "process", "X server", "both", "process",
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
        std::printf("%-42s %8.2fs %8.2fs %8.2fs %8.2fx %8.2fx\n", players[p].label.c_str(), cpu,
                    server, cpu + server, ratio, ratioBoth);
    }
}

constexpr const char* kAbout =
    R"(Usage: bench_window [RECORDING.ts] [--seconds N] [--rounds N] [--busy]

CPU showing a recording in a window costs: velmaro-play --window on each drawing path against
mpv, both under an X server of its own; with --busy, pictures shown per second when decoding is
the hard part.

  RECORDING.ts   the recording to play (default: a generated 1920x1080 30 fps one)
  --seconds N    play time per run
  --rounds N     rounds per player
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
    bool busy = false;
    for (int i = 1; i < argc; ++i) {
        busy = busy || std::strcmp(argv[i], "--busy") == 0;
    }
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--seconds") == 0) {
            seconds = std::max(2, std::atoi(argv[i + 1]));
        } else if (std::strcmp(argv[i], "--rounds") == 0) {
            rounds = std::max(1, std::atoi(argv[i + 1]));
        }
    }
    if (!Exists("mpv")) {
        std::printf("bench_window: mpv is not installed (apt-get install mpv); skipped\n");
        return 0;
    }
    if (!Exists("Xvfb")) {
        std::printf("bench_window: Xvfb is not installed; skipped\n");
        return 0;
    }
    const std::string play =
        (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "velmaro-play").string();
    if (!std::filesystem::exists(play)) {
        std::fprintf(stderr, "bench_window: %s is missing; build it first\n", play.c_str());
        return 1;
    }
    std::optional<test::TempDir> generated;
    const std::string recording =
        bench::RecordingToMeasure(argc, argv, "velmaro-bench-window", generated,
                                  PicturePattern::kFootage, seconds + kRecordingSlackSeconds);
    if (recording.empty()) {
        return 1;
    }
    const test::TempDir scratch("velmaro-bench-window-run");
    Xvfb x;
    if (!x.Start()) {
        std::fprintf(stderr, "bench_window: cannot start Xvfb\n");
        return 1;
    }
    std::printf("file: %s, %d s per run, %d rounds, Xvfb %s 1920x1080x24, window %s\n",
                recording.c_str(), seconds, rounds, x.Display().c_str(), kWindowSize);
    std::printf("%s\n", Renderer(play, recording, x, scratch).c_str());
    std::fflush(stdout);

    const std::vector<Player> players = busy ? BusyPlayers(play, scratch.File("mpv.socket"))
                                             : Players(play, scratch.File("mpv.socket"));
    std::vector<std::vector<Sample>> samples(players.size(), std::vector<Sample>(rounds));
    for (int round = 0; round < rounds; ++round) {
        // Each round starts with another player, so that none is always first after a pause.
        for (size_t i = 0; i < players.size(); ++i) {
            const size_t p = (i + static_cast<size_t>(round)) % players.size();
            const Sample s = Run(players[p], recording, x, seconds, scratch);
            samples[p][static_cast<size_t>(round)] = s;
            std::printf("  round %d  %-42s %6.2f s CPU  X server %5.2f s  %5ld pictures shown\n",
                        round + 1, players[p].label.c_str(), s.cpu, s.server, s.shown);
            std::fflush(stdout);
        }
    }

    if (busy) {
        PrintBusySummary(players, samples, seconds);
        return 0;
    }
    PrintSummary(players, samples, seconds);
    std::printf("goal: velmaro-play --window (path chosen) / mpv <= 1.00 (process CPU)\n");
    return 0;
}
