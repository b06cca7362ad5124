#include "stream/frame_scan.h"

#include <cstring>

#include "stream/frame_item.h"

namespace velmaro {
namespace {

constexpr int kStartCodeBytes = 3;
// The scan needs this many bytes from a start code on, as a slice header follows it.
constexpr int kMinBytesFromStartCode = 10;
// A parameter set needs its header byte and something after it.
constexpr int kMinParameterSetBytes = kStartCodeBytes + 2;

enum class Nal { kOther, kSlice, kIdrSlice, kSequenceParameterSet, kPictureParameterSet };

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
        case 0x08:
            return reference ? Nal::kPictureParameterSet : Nal::kOther;
        default:
            return Nal::kOther;
    }
}

int KindOf(Nal slice) { return slice == Nal::kIdrSlice ? kKindVideoKey : kKindVideoInter; }

bool IsSlice(Nal nal) { return nal == Nal::kSlice || nal == Nal::kIdrSlice; }

bool IsParameterSet(Nal nal) {
    return nal == Nal::kSequenceParameterSet || nal == Nal::kPictureParameterSet;
}

}  // namespace

// One pass over the start codes: each parameter set ends where the next unit starts, and the
// first slice ends the scan.
FrameScan ScanFrameKind(const uint8_t* payload, int size, const std::atomic<bool>* running) {
    const uint8_t* p = payload;
    FrameScan scan;
    int firstSet = -1;
    NalSpan* open = nullptr;  // the parameter set whose end is the next start code
    for (int i = 0; size - i >= kMinParameterSetBytes; ++i) {
        if (p[i] != 0x00 || p[i + 1] != 0x00 || p[i + 2] != 0x01) {
            continue;
        }
        if (running && !running->load(std::memory_order_relaxed)) {
            return {};
        }
        const int start = i > 0 && p[i - 1] == 0x00 ? i - 1 : i;
        if (open) {
            open->end = start;
            open = nullptr;
        }
        const Nal nal = Classify(p[i + kStartCodeBytes]);
        if (IsSlice(nal)) {
            if (size - i < kMinBytesFromStartCode - 1) {
                break;  // too short for a slice header: no picture here
            }
            scan.kind = KindOf(nal);
            scan.offset = firstSet >= 0 ? firstSet : start;
            return scan;
        }
        if (IsParameterSet(nal)) {
            firstSet = firstSet < 0 ? start : firstSet;
            open = nal == Nal::kSequenceParameterSet ? &scan.sps : &scan.pps;
            *open = {start, size};
        }
        i += kStartCodeBytes - 1;
    }
    return scan;
}

void ParameterSetStore::Keep(const uint8_t* payload, const FrameScan& scan) {
    const auto keep = [payload](const NalSpan& span, std::array<uint8_t, kMaxUnitSize>& into,
                                int& size) {
        if (!span.Found()) {
            return;
        }
        // One too large to keep still makes the kept one stale.
        size = span.Size() <= kMaxUnitSize ? span.Size() : 0;
        std::memcpy(into.data(), payload + span.begin, size);
    };
    keep(scan.sps, sps_, spsSize_);
    keep(scan.pps, pps_, ppsSize_);
}

int ParameterSetStore::PrefixSize(const FrameScan& scan) const {
    if (scan.kind != kKindVideoKey || (scan.sps.Found() && scan.pps.Found())) {
        return 0;
    }
    return spsSize_ + ppsSize_;
}

void ParameterSetStore::WritePrefix(uint8_t* out) const {
    std::memcpy(out, sps_.data(), spsSize_);
    std::memcpy(out + spsSize_, pps_.data(), ppsSize_);
}

}  // namespace velmaro
