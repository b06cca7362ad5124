// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Writing a whole buffer to a file descriptor: write(2) may take less than it is given (a
// signal, a pipe, a nearly full disk), and a caller that reports a save must know all of it went.
#pragma once

#include <cstddef>

namespace velmaro {

// Writes all `size` bytes, retrying short writes and interruptions. False with errno set on the
// first failure (EIO when the system took nothing without saying why).
bool WriteAll(int fd, const void* data, size_t size);

}  // namespace velmaro
