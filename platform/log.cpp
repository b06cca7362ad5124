// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/log.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>

namespace velmaro {

void LogWarning(const char* format, ...) {
    static std::mutex mutex;
    std::lock_guard lock(mutex);
    std::fputs("velmaro: warning: ", stderr);
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fputc('\n', stderr);
}

}  // namespace velmaro
