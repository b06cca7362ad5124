// Finds the first slice of an H.264 access unit: it decides whether the frame is a key frame
// and where its bytes begin (at the parameter sets before an IDR slice; leading delimiters and
// SEI are dropped). Both four-byte and three-byte start codes are recognised.
#pragma once

#include <atomic>
#include <cstdint>

namespace velmaro {

struct FrameScan {
    int kind = 0;    // kKindVideoKey, kKindVideoInter, or 0 when the payload holds no slice
    int offset = 0;  // where the frame's bytes begin
};

// `running`, when given, ends the scan early once cleared (a stop must not wait on a big PES).
FrameScan ScanFrameKind(const uint8_t* payload, int size,
                        const std::atomic<bool>* running = nullptr);

}  // namespace velmaro
