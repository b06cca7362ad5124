// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Opening a file that must be a regular file: a FIFO, a device or a directory named like a
// recording is refused at once instead of blocking open() or read() until a writer turns up.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "platform/unique_fd.h"

namespace velmaro {

// Read-only, close-on-exec, blocking reads once open. Invalid (errno set; EINVAL for a file
// that is not regular) when the path cannot be opened or is not a regular file.
UniqueFd OpenRegularFile(const std::string& path);

// The whole content of a small regular file (kernel tables and attributes report a size of 0,
// so it is read to its end). Nothing when it cannot be opened or read, or is longer than
// `limit` bytes.
std::optional<std::string> ReadSmallFile(const std::string& path, size_t limit);

}  // namespace velmaro
