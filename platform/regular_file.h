// Opening a file that must be a regular file: a FIFO, a device or a directory named like a
// recording is refused at once instead of blocking open() or read() until a writer turns up.
#pragma once

#include <string>

#include "platform/unique_fd.h"

namespace velmaro {

// Read-only, close-on-exec, blocking reads once open. Invalid (errno set; EINVAL for a file
// that is not regular) when the path cannot be opened or is not a regular file.
UniqueFd OpenRegularFile(const std::string& path);

}  // namespace velmaro
