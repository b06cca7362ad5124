// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/write_all.h"

#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace velmaro {

bool WriteAll(int fd, const void* data, size_t size) {
    const auto* next = static_cast<const uint8_t*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, next, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            if (n == 0) {
                errno = EIO;
            }
            return false;
        }
        next += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

}  // namespace velmaro
