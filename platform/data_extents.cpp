// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/data_extents.h"

#include <unistd.h>

#include <cerrno>

namespace velmaro {

int64_t NextDataOffset(int fd, int64_t offset, int64_t fileEnd) {
    if (offset >= fileEnd) {
        return offset;
    }
    const off_t data = ::lseek(fd, static_cast<off_t>(offset), SEEK_DATA);
    if (data < 0) {
        // ENXIO: nothing but a hole up to the end. Anything else (EINVAL on a file system
        // without holes): read on as before.
        return errno == ENXIO ? fileEnd : offset;
    }
    return data < fileEnd ? static_cast<int64_t>(data) : fileEnd;
}

}  // namespace velmaro
