// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The player writes Config.ini when its run ends, also when the run is ended from outside:
// the desktop session's end (SIGTERM, SIGHUP) or Ctrl-C in the terminal (SIGINT). The real
// player runs in a process of its own on the test's display, with a configuration folder and
// card roots of the test's.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/test_support.h"

extern char** environ;

namespace velmaro {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr auto kStartPatience = 20s;

// The environment of this process with `overrides` ("NAME=value") in place of its own.
std::vector<std::string> Environment(const std::vector<std::string>& overrides) {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('=') + 1);
        bool replaced = false;
        for (const std::string& o : overrides) {
            replaced = replaced || o.starts_with(name);
        }
        if (!replaced) {
            env.push_back(entry);
        }
    }
    env.insert(env.end(), overrides.begin(), overrides.end());
    return env;
}

pid_t Spawn(const std::string& program, const std::vector<std::string>& env) {
    std::vector<char*> envp;
    for (const std::string& e : env) {
        envp.push_back(const_cast<char*>(e.c_str()));
    }
    envp.push_back(nullptr);
    char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, envp.data()) != 0) {
        pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    return pid;
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

TEST(SettingsAtExit, ThePlayerEndedFromOutsideStillWritesItsSettings) {
    if (std::getenv("DISPLAY") == nullptr) {
        GTEST_SKIP() << "the player's window needs a display (CI runs these under Xvfb)";
    }
    const std::string player = std::string(VELMARO_BIN_DIR) + "/velmaro";
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(strsignal(signal));
        test::TempDir dir;
        const fs::path config = dir.path() / "config" / "velmaro" / "Config.ini";
        fs::create_directories(config.parent_path());
        fs::create_directories(dir.path() / "roots");
        // Values of an earlier run, and a key this version does not know.
        test::WriteText(config,
                        "[Config]\nDisplayMode=1\nUnitOfSpeed=2\nSnapshot Path=/srv/shots/\n"
                        "Kept By Hand=yes\n");
        const pid_t pid =
            Spawn(player, Environment({"XDG_CONFIG_HOME=" + (dir.path() / "config").string(),
                                       "VELMARO_DRIVE_ROOTS=" + (dir.path() / "roots").string(),
                                       "SDL_AUDIODRIVER=dummy"}));
        ASSERT_GT(pid, 0);
        // Its handlers stand once its run has begun; a signal before then is not the case here.
        EXPECT_TRUE(
            test::WaitUntil([&] { return Catches(pid, signal); },
                            std::chrono::duration_cast<std::chrono::milliseconds>(kStartPatience)))
            << "the player does not handle the signal";
        ::kill(pid, signal);
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status)) << "ended by the signal itself";
        EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 0);

        const std::string written = test::ReadText(config);
        EXPECT_NE(written.find("UIMode="), std::string::npos) << written;
        EXPECT_NE(written.find("m_default_lng=120.528903"), std::string::npos) << written;
        EXPECT_NE(written.find("DisplayMode=1"), std::string::npos) << written;
        EXPECT_NE(written.find("UnitOfSpeed=2"), std::string::npos) << written;
        EXPECT_NE(written.find("Snapshot Path=/srv/shots/"), std::string::npos) << written;
        EXPECT_NE(written.find("Kept By Hand=yes"), std::string::npos) << written;
    }
}

}  // namespace
}  // namespace velmaro
