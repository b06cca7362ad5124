// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The reader's packet loops over arbitrary file contents, forward and then backward (with its
// group passes), driven on this thread: no crash, no hang, no sanitizer report.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "stream/standalone_reader.h"

namespace {

using namespace velmaro;

constexpr int kMaxPasses = 4096;  // a pass moves at least one block, so this bounds any input

template <typename Queue>
void Drain(Queue& queue) {
    FrameItem item;
    while (queue.Take(item)) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const int fd = memfd_create("recording_0001.ts", 0);
    if (fd < 0 || write(fd, data, size) != static_cast<ssize_t>(size)) {
        std::abort();
    }
    {
        StandaloneReader r(kQueueStopped);
        TsReader& reader = r.reader;
        // The memfd's /proc name has no recording number, so no adjacent file is looked for.
        reader.SetPath("/proc/self/fd/" + std::to_string(fd));
        if (reader.StartWithoutThread()) {
            for (int i = 0; i < kMaxPasses && reader.PassWithoutThread(); ++i) {
                Drain(r.video);
                Drain(r.audio);
            }
            if (reader.SetDirection(true) == 1) {
                for (int i = 0; i < kMaxPasses && reader.PassWithoutThread(); ++i) {
                    Drain(r.video);
                    Drain(r.audio);
                }
            }
        }
        reader.Stop();
    }
    close(fd);
    return 0;
}
