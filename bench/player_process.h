// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Running players beside a benchmark: starting one with its own environment and output, ending
// it, reading what CPU it used (the whole process, or thread by thread) and an X server of the
// benchmark's own for the players that need a display, and how many pictures mpv has shown.
#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace velmaro::bench {

inline constexpr auto kStopPatience = std::chrono::seconds(10);

inline bool Exists(const std::string& program) {
    return std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0;
}

struct StatFields {
    std::string name;  // the command name the kernel keeps (15 characters at most)
    double cpu = -1;   // utime + stime in seconds; negative when unreadable
};

// The name and CPU seconds of a /proc/.../stat file: of a whole process (every thread) or of one
// of its threads (/proc/<pid>/task/<tid>/stat).
inline StatFields ReadStat(const std::string& path) {
    std::ifstream in(path);
    const std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t open = stat.find('(');
    const size_t close = stat.rfind(')');
    StatFields result;
    if (open == std::string::npos || close == std::string::npos || close < open) {
        return result;
    }
    result.name = stat.substr(open + 1, close - open - 1);
    std::istringstream fields(stat.substr(close + 2));
    std::string field;
    unsigned long long utime = 0;
    unsigned long long stime = 0;
    // After the name: state is field 3, utime field 14, stime field 15.
    for (int index = 3; index <= 15 && fields >> field; ++index) {
        if (index == 14) {
            utime = std::stoull(field);
        } else if (index == 15) {
            stime = std::stoull(field);
        }
    }
    result.cpu = static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
    return result;
}

// utime + stime of a process (all its threads) in seconds; negative when it is gone.
inline double CpuSeconds(pid_t pid) {
    return ReadStat("/proc/" + std::to_string(pid) + "/stat").cpu;
}

// CPU seconds of each living thread of a process, by thread id.
struct ThreadCpu {
    std::string name;
    double cpu = 0;
};
inline std::map<pid_t, ThreadCpu> ThreadCpuSeconds(pid_t pid) {
    std::map<pid_t, ThreadCpu> threads;
    const std::string task = "/proc/" + std::to_string(pid) + "/task";
    DIR* dir = opendir(task.c_str());
    if (dir == nullptr) {
        return threads;
    }
    while (const dirent* entry = readdir(dir)) {
        if (entry->d_name[0] == '.') {
            continue;
        }
        const StatFields s = ReadStat(task + "/" + entry->d_name + "/stat");
        if (s.cpu >= 0) {
            threads[static_cast<pid_t>(std::atoi(entry->d_name))] = {s.name, s.cpu};
        }
    }
    closedir(dir);
    return threads;
}

// Starts a program with stdin from `input` (or /dev/null when -1), stdout and stderr into
// `log`, and `env` added to the environment.
inline pid_t Spawn(const std::vector<std::string>& args,
                   const std::map<std::string, std::string>& env, int input,
                   const std::string& log) {
    const pid_t pid = fork();
    if (pid != 0) {
        return pid;
    }
    for (const auto& [name, value] : env) {
        setenv(name.c_str(), value.c_str(), 1);
    }
    const int in = input >= 0 ? input : open("/dev/null", O_RDONLY);
    const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(in, STDIN_FILENO);
    dup2(out, STDOUT_FILENO);
    dup2(out, STDERR_FILENO);
    std::vector<char*> argv;
    for (const std::string& a : args) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
}

// Waits for a child to end, killing it when it has not within `patience`; false when it had to
// be killed. `status` gets its wait status.
inline bool Reap(pid_t pid, int* status = nullptr,
                 std::chrono::steady_clock::duration patience = kStopPatience) {
    using namespace std::chrono_literals;
    const auto end = std::chrono::steady_clock::now() + patience;
    int ended = 0;
    while (waitpid(pid, &ended, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > end) {
            kill(pid, SIGKILL);
            waitpid(pid, &ended, 0);
            if (status != nullptr) {
                *status = ended;
            }
            return false;
        }
        std::this_thread::sleep_for(20ms);
    }
    if (status != nullptr) {
        *status = ended;
    }
    return true;
}

// Pictures velmaro-play has shown: the "frames N" of its last status line in `log`; -1 when
// it printed none.
inline long PlayStatusPictures(const std::string& log) {
    std::ifstream in(log);
    long shown = -1;
    for (std::string line; std::getline(in, line);) {
        const size_t at = line.find("frames ");
        if (at != std::string::npos) {
            shown = std::strtol(line.c_str() + at + 7, nullptr, 10);
        }
    }
    return shown;
}

// The number after "name": in mpv's JSON answer; -1 when missing.
inline long JsonNumber(const std::string& text, const std::string& request) {
    const size_t at = text.find("\"request_id\":" + request);
    const size_t line = text.rfind('\n', at == std::string::npos ? 0 : at);
    const size_t data = text.find("\"data\":", line == std::string::npos ? 0 : line);
    if (at == std::string::npos || data == std::string::npos || data > at) {
        return -1;
    }
    return std::strtol(text.c_str() + data + 7, nullptr, 10);
}

// Pictures mpv has shown so far: its frame number less the frames it dropped, asked over its
// IPC socket.
inline long MpvShown(const std::string& socketPath) {
    const int s = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socketPath.c_str(), sizeof address.sun_path - 1);
    if (s < 0 || connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        if (s >= 0) {
            close(s);
        }
        return -1;
    }
    const std::string ask =
        "{\"command\":[\"get_property\",\"estimated-frame-number\"],\"request_id\":1}\n"
        "{\"command\":[\"get_property\",\"frame-drop-count\"],\"request_id\":2}\n";
    std::string answer;
    if (write(s, ask.data(), ask.size()) == static_cast<ssize_t>(ask.size())) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        char buffer[4096];
        while (answer.find("\"request_id\":2") == std::string::npos &&
               std::chrono::steady_clock::now() < end) {
            const ssize_t n = recv(s, buffer, sizeof buffer, MSG_DONTWAIT);
            if (n > 0) {
                answer.append(buffer, static_cast<size_t>(n));
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        }
    }
    close(s);
    const long frame = JsonNumber(answer, "1");
    const long dropped = JsonNumber(answer, "2");
    return frame < 0 ? -1 : frame - std::max(0L, dropped);
}

// An X server of our own on a free display, kept for all runs.
class Xvfb {
  public:
    Xvfb() = default;
    Xvfb(const Xvfb&) = delete;
    Xvfb& operator=(const Xvfb&) = delete;
    ~Xvfb() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            Reap(pid_);
        }
    }

    bool Start() {
        int ready[2];
        if (pipe(ready) != 0) {
            return false;
        }
        pid_ = fork();
        if (pid_ == 0) {
            close(ready[0]);
            const std::string fd = std::to_string(ready[1]);
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-noreset", "-nolisten", "tcp",
                   "-screen", "0", "1920x1080x24", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(ready[1]);
        std::string number;
        char c = 0;
        while (read(ready[0], &c, 1) == 1 && c != '\n') {
            number += c;
        }
        close(ready[0]);
        display_ = ":" + number;
        return pid_ > 0 && !number.empty();
    }
    const std::string& Display() const { return display_; }
    double Cpu() const { return CpuSeconds(pid_); }

  private:
    pid_t pid_ = -1;
    std::string display_;
};

}  // namespace velmaro::bench
