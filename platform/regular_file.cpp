// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <unistd.h>

#include <cerrno>

namespace velmaro {

UniqueFd OpenRegularFile(const std::string& path) {
    // Non-blocking only for the open itself: opening a FIFO for reading waits for a writer.
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!fd.Valid()) {
        return fd;
    }
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0) {
        return UniqueFd();
    }
    if (!S_ISREG(st.st_mode)) {
        errno = EINVAL;
        return UniqueFd();
    }
    const int flags = ::fcntl(fd.Get(), F_GETFL);
    if (flags < 0 || ::fcntl(fd.Get(), F_SETFL, flags & ~O_NONBLOCK) != 0) {
        return UniqueFd();
    }
    return fd;
}

std::optional<std::string> ReadSmallFile(const std::string& path, size_t limit) {
    const UniqueFd fd = OpenRegularFile(path);
    if (!fd.Valid()) {
        return std::nullopt;
    }
    constexpr size_t kChunk = 4096;
    std::string text;
    for (;;) {
        const size_t at = text.size();
        text.resize(at + kChunk);
        const ssize_t n = ::read(fd.Get(), text.data() + at, kChunk);
        if (n < 0 && errno == EINTR) {
            text.resize(at);
            continue;
        }
        if (n < 0) {
            return std::nullopt;
        }
        text.resize(at + static_cast<size_t>(n));
        if (n == 0) {
            return text;
        }
        if (text.size() > limit) {
            return std::nullopt;
        }
    }
}

}  // namespace velmaro
