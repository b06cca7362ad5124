// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// velmaro-play is ended from outside as a user ends it with "quit": by the desktop session's
// end (SIGTERM, SIGHUP), Ctrl-C (SIGINT), kill and timeout. The sound library must not take
// those signals for itself.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "media/sound_output.h"
#include "tests/test_support.h"

extern char** environ;

namespace velmaro {
namespace {

using namespace std::chrono_literals;
using test::RunCommand;
using test::ShellQuote;
using test::TempDir;

constexpr auto kStartPatience = 30s;
constexpr auto kExitPatience = 2s;

struct sigaction HandlerOf(int signal) {
    struct sigaction current {};
    sigaction(signal, nullptr, &current);
    return current;
}

TEST(PlaySignals, TheSoundLibraryLeavesTheQuitSignalsAlone) {
    ::setenv("SDL_AUDIODRIVER", "dummy", 0);
    const auto termBefore = HandlerOf(SIGTERM).sa_handler;
    const auto intBefore = HandlerOf(SIGINT).sa_handler;
    SdlAudioSubsystem audio = SdlAudioSubsystem::Acquire();
    ASSERT_TRUE(audio) << "no SDL audio, not even its dummy driver";
    EXPECT_EQ(HandlerOf(SIGTERM).sa_handler, termBefore);
    EXPECT_EQ(HandlerOf(SIGINT).sa_handler, intBefore);
}

// The process has a handler of its own for `signal` (its "SigCgt" mask in /proc).
bool Catches(pid_t pid, int signal) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("SigCgt:")) {
            const unsigned long long mask = std::stoull(line.substr(7), nullptr, 16);
            return (mask >> (signal - 1)) & 1;
        }
    }
    return false;
}

// velmaro-play on `card`, its standard input an open pipe so that it plays on until told.
pid_t SpawnPlayer(const std::string& card, int* stdinWrite) {
    int in[2];
    if (::pipe2(in, O_CLOEXEC) != 0) {
        return -1;
    }
    const std::string player = std::string(VELMARO_BIN_DIR) + "/velmaro-play";
    std::vector<std::string> env = {"SDL_AUDIODRIVER=dummy"};
    for (char** e = environ; *e != nullptr; ++e) {
        if (!std::string(*e).starts_with("SDL_AUDIODRIVER=")) {
            env.emplace_back(*e);
        }
    }
    std::vector<char*> envp;
    for (std::string& e : env) {
        envp.push_back(e.data());
    }
    envp.push_back(nullptr);
    char* argv[] = {const_cast<char*>(player.c_str()), const_cast<char*>(card.c_str()), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    if (posix_spawn(&pid, player.c_str(), &actions, nullptr, argv, envp.data()) != 0) {
        pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    *stdinWrite = in[1];
    return pid;
}

// Waits for `pid` up to `patience`; true with `status` when it ended in time.
bool EndsWithin(pid_t pid, std::chrono::milliseconds patience, int* status) {
    const auto end = std::chrono::steady_clock::now() + patience;
    while (std::chrono::steady_clock::now() < end) {
        if (::waitpid(pid, status, WNOHANG) == pid) {
            return true;
        }
        std::this_thread::sleep_for(5ms);
    }
    return false;
}

TEST(PlaySignals, ThePlayerQuitsWithinTwoSecondsOfTermIntOrHup) {
    TempDir dir;
    const std::string tool = std::string(VELMARO_BIN_DIR) + "/make-recording";
    const auto made = RunCommand(ShellQuote(tool) + " --out " + ShellQuote(dir.path()) +
                                 " --files 2 --seconds 4 --size 320x240 2>&1");
    ASSERT_EQ(made.status, 0) << made.out;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(strsignal(signal));
        int stdinWrite = -1;
        const pid_t pid = SpawnPlayer(dir.path(), &stdinWrite);
        ASSERT_GT(pid, 0);
        EXPECT_TRUE(
            test::WaitUntil([&] { return Catches(pid, signal); },
                            std::chrono::duration_cast<std::chrono::milliseconds>(kStartPatience)))
            << "the player does not handle the signal";
        std::this_thread::sleep_for(300ms);  // playing by now, sound device open
        ::kill(pid, signal);
        int status = 0;
        const bool ended = EndsWithin(pid, kExitPatience, &status);
        if (!ended) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
        }
        ::close(stdinWrite);
        EXPECT_TRUE(ended) << "still running 2 s after the signal";
        EXPECT_TRUE(WIFEXITED(status)) << "ended by the signal itself, not by quitting";
        EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 0);
    }
}

}  // namespace
}  // namespace velmaro
