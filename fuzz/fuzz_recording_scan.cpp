// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Arbitrary bytes as a recording file for the navigator's whole-file scan. Besides memory safety,
// checks that the scan does not depend on how the file arrives (one piece or pieces of sizes
// taken from the input itself), that every byte is accounted for, and that sample times and
// G values are finite.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "app/recording_scan.h"

namespace {

using velmaro::RecordingScan;
using velmaro::RecordingScanner;

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    RecordingScanner whole;
    whole.Feed(data, size);
    const RecordingScan& a = whole.Finish();

    RecordingScanner pieces;
    size_t at = 0;
    for (size_t i = 0; at < size; ++i) {
        const size_t piece = 1 + data[i % size] % 397;
        const size_t n = piece < size - at ? piece : size - at;
        pieces.Feed(data + at, n);
        at += n;
    }
    const RecordingScan& b = pieces.Finish();

    Check(a.size == static_cast<int64_t>(size) && b.size == a.size);
    Check(a.packets == b.packets && a.resyncs == b.resyncs && a.lostPackets == b.lostPackets);
    Check(a.tailBytes == b.tailBytes && a.samples.size() == b.samples.size());
    Check(a.packets * 188 + a.tailBytes <= static_cast<uint64_t>(size));
    for (const auto& s : a.samples) {
        Check(std::isfinite(s.seconds) && s.seconds >= 0.0);
        Check(std::isfinite(s.g.x) && std::isfinite(s.g.y) && std::isfinite(s.g.z));
    }
    return 0;
}
