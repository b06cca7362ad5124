// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Small helpers the tests (and the benchmarks) share: a scratch folder that cleans up after
// itself, whole-file reads and writes, a shell command with its output, and a bounded wait.
// Nothing here knows about gtest, so the benchmarks can use it too.
#pragma once

#include <stdlib.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

namespace velmaro::test {

// How long a wait may take before a test gives up. It only guards against a hang; no outcome
// depends on it.
inline constexpr std::chrono::milliseconds kPatience = std::chrono::seconds(30);

// A new folder under the system's temp folder, removed with everything in it at the end.
// path() is empty when the folder could not be made.
class TempDir {
  public:
    explicit TempDir(std::string_view prefix = "velmaro-test") {
        std::string pattern =
            (std::filesystem::temp_directory_path() / (std::string(prefix) + "-XXXXXX")).string();
        if (mkdtemp(pattern.data()) != nullptr) {
            path_ = pattern;
        }
    }
    ~TempDir() {
        if (!path_.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(path_, ignored);
        }
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // `name` (which may hold further folders) inside this folder, as a string.
    std::string File(std::string_view name) const {
        return path_.string() + "/" + std::string(name);
    }

  private:
    std::filesystem::path path_;
};

// The whole file, byte for byte; empty when it cannot be read.
inline std::vector<uint8_t> ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The whole file as a string, byte for byte (no line-end translation, any encoding).
inline std::string ReadText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Creates or replaces the file with exactly these bytes.
// Both writers make the folders the file goes in.
inline void WriteBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
    std::error_code ignored;
    std::filesystem::create_directories(path.parent_path(), ignored);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

inline void WriteText(const std::filesystem::path& path, std::string_view text) {
    std::error_code ignored;
    std::filesystem::create_directories(path.parent_path(), ignored);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
}

// `text` as one word for the shell. The paths the tests make hold no single quote.
inline std::string ShellQuote(const std::string& text) {
    return "'" + text + "'";
}

struct CommandResult {
    int status = -1;  // the exit status; -1 when the command could not run or did not exit
    std::string out;  // its standard output (add " 2>&1" to the command for its errors too)
};

// Runs `command` through the shell and waits for it to end.
inline CommandResult RunCommand(const std::string& command) {
    CommandResult run;
    std::FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return run;
    }
    char buffer[4096];
    for (size_t n = 0; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        run.out.append(buffer, n);
    }
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// Polls `done` every `poll` until it holds; false when `patience` runs out first.
inline bool WaitUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds patience = kPatience,
                      std::chrono::milliseconds poll = std::chrono::milliseconds(2)) {
    const auto end = std::chrono::steady_clock::now() + patience;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(poll);
    }
    return true;
}

// Sets (or unsets, with nullopt) an environment variable for the life of the object; for TZ the
// C library is told of each change.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            old_ = old;
        }
        Apply(value);
    }
    ~ScopedEnv() { Apply(old_); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    void Apply(const std::optional<std::string>& value) {
        if (value) {
            ::setenv(name_.c_str(), value->c_str(), 1);
        } else {
            ::unsetenv(name_.c_str());
        }
        if (name_ == "TZ") {
            ::tzset();
        }
    }
    std::string name_;
    std::optional<std::string> old_;
};

}  // namespace velmaro::test
