#include "stream/frame_scan.h"

#include "stream/frame_item.h"

namespace velmaro {
namespace {

// The scan needs this many bytes from a start code on, as a slice header follows it.
constexpr int kMinBytesFromStartCode = 10;

enum class Nal { kOther, kSlice, kIdrSlice, kSequenceParameterSet };

// The header byte with its forbidden bit clear; IDR slices and parameter sets are reference
// units, so their nal_ref_idc cannot be 0.
Nal Classify(uint8_t header) {
    const int type = header & 0x9F;  // forbidden_zero_bit and nal_unit_type
    const bool reference = (header & 0x60) != 0;
    switch (type) {
        case 0x01:
            return Nal::kSlice;
        case 0x05:
            return reference ? Nal::kIdrSlice : Nal::kOther;
        case 0x07:
            return reference ? Nal::kSequenceParameterSet : Nal::kOther;
        default:
            return Nal::kOther;
    }
}

struct StartCode {
    int start = -1;  // first byte of the start code (the extra zero of a four-byte code included)
    Nal nal = Nal::kOther;
};

// The next start code at or after `from` (of its 00 00 01 part) followed by a wanted unit.
template <typename Wanted>
StartCode NextStartCode(const uint8_t* p, int size, int from, const std::atomic<bool>* running,
                        Wanted wanted) {
    for (int i = from; size - i >= kMinBytesFromStartCode - 1; ++i) {
        if (p[i] != 0x00 || p[i + 1] != 0x00 || p[i + 2] != 0x01) {
            continue;
        }
        if (running && !running->load(std::memory_order_relaxed)) {
            break;
        }
        const Nal nal = Classify(p[i + 3]);
        if (wanted(nal)) {
            return {i > 0 && p[i - 1] == 0x00 ? i - 1 : i, nal};
        }
    }
    return {};
}

int KindOf(Nal slice) { return slice == Nal::kIdrSlice ? kKindVideoKey : kKindVideoInter; }

bool IsSlice(Nal nal) { return nal == Nal::kSlice || nal == Nal::kIdrSlice; }

}  // namespace

FrameScan ScanFrameKind(const uint8_t* payload, int size, const std::atomic<bool>* running) {
    const StartCode first = NextStartCode(payload, size, 0, running, [](Nal nal) {
        return nal != Nal::kOther;
    });
    if (first.start < 0) {
        return {};
    }
    if (IsSlice(first.nal)) {
        return {KindOf(first.nal), first.start};
    }
    // A sequence parameter set: the first slice after it decides, and the frame keeps the
    // parameter sets. Without a slice after it there is none further on either.
    const StartCode slice = NextStartCode(payload, size, first.start + 1, running, IsSlice);
    if (slice.start < 0) {
        return {};
    }
    return {KindOf(slice.nal), first.start};
}

}  // namespace velmaro
