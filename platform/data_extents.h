// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Where a file holds data. A sparse file's holes read as zeros: for a recording that is nothing
// but damage, and a copy with a 100 GB hole would keep a reader busy for minutes reading them.
// Readers of whole recordings ask here before each block and step over the holes.
#pragma once

#include <cstdint>

namespace velmaro {

// The first offset at or after `offset` that holds data in the open file `fd`: `offset` itself
// when it lies in data or when the file system cannot tell (it then reads as it always did),
// the start of the next data after a hole, or `fileEnd` when only a hole follows.
int64_t NextDataOffset(int fd, int64_t offset, int64_t fileEnd);

}  // namespace velmaro
