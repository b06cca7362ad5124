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

enum class Nal {
    kOther,
    kSlice,
    kIdrSlice,  // any key picture: H.264 IDR; H.265 IDR, CRA or BLA
    kVideoParameterSet,
    kSequenceParameterSet,
    kPictureParameterSet,
};

// The header byte with its forbidden bit clear; IDR slices and parameter sets are reference
// units, so their nal_ref_idc cannot be 0.
Nal ClassifyH264(uint8_t header) {
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

// H.265 unit types (nal_unit_type, 6 bits after the forbidden bit).
constexpr int kHevcLastSlice = 9;  // TRAIL, TSA, STSA, RADL, RASL
constexpr int kHevcFirstKey = 16;  // BLA_W_LP
constexpr int kHevcLastKey = 23;   // up to the reserved random access types
constexpr int kHevcVideoParameters = 32;
constexpr int kHevcSequenceParameters = 33;
constexpr int kHevcPictureParameters = 34;

// The two-byte header: forbidden bit clear, and nuh_temporal_id_plus1 never 0 in a real unit.
Nal ClassifyHevc(uint8_t first, uint8_t second) {
    if ((first & 0x80) != 0 || (second & 0x07) == 0) {
        return Nal::kOther;
    }
    const int type = (first >> 1) & 0x3F;
    if (type <= kHevcLastSlice) {
        return Nal::kSlice;
    }
    if (type >= kHevcFirstKey && type <= kHevcLastKey) {
        return Nal::kIdrSlice;
    }
    switch (type) {
        case kHevcVideoParameters:
            return Nal::kVideoParameterSet;
        case kHevcSequenceParameters:
            return Nal::kSequenceParameterSet;
        case kHevcPictureParameters:
            return Nal::kPictureParameterSet;
        default:
            return Nal::kOther;
    }
}

// `header` points at the byte after a start code; the scan guarantees two bytes there.
Nal Classify(const uint8_t* header, VideoCodec codec) {
    return codec == VideoCodec::kHevc ? ClassifyHevc(header[0], header[1])
                                      : ClassifyH264(header[0]);
}

int KindOf(Nal slice) { return slice == Nal::kIdrSlice ? kKindVideoKey : kKindVideoInter; }

bool IsSlice(Nal nal) { return nal == Nal::kSlice || nal == Nal::kIdrSlice; }

bool IsParameterSet(Nal nal) {
    return nal == Nal::kVideoParameterSet || nal == Nal::kSequenceParameterSet ||
           nal == Nal::kPictureParameterSet;
}

NalSpan* SpanOf(Nal parameterSet, FrameScan& scan) {
    switch (parameterSet) {
        case Nal::kVideoParameterSet:
            return &scan.vps;
        case Nal::kSequenceParameterSet:
            return &scan.sps;
        default:
            return &scan.pps;
    }
}

}  // namespace

// One pass over the start codes: each parameter set ends where the next unit starts, and the
// first slice ends the scan.
FrameScan ScanFrameKind(const uint8_t* payload, int size, const std::atomic<bool>* running,
                        VideoCodec codec) {
    const uint8_t* p = payload;
    FrameScan scan;
    scan.codec = codec;
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
        const Nal nal = Classify(p + i + kStartCodeBytes, codec);
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
            open = SpanOf(nal, scan);
            *open = {start, size};
        }
        i += kStartCodeBytes - 1;
    }
    return scan;
}

void ParameterSetStore::Keep(const uint8_t* payload, const FrameScan& scan) {
    if (scan.codec != codec_) {
        Clear();  // the other codec's sets would only confuse the decoder
        codec_ = scan.codec;
    }
    const auto keep = [payload](const NalSpan& span, std::array<uint8_t, kMaxUnitSize>& into,
                                int& size) {
        if (!span.Found()) {
            return;
        }
        // One too large to keep still makes the kept one stale.
        size = span.Size() <= kMaxUnitSize ? span.Size() : 0;
        std::memcpy(into.data(), payload + span.begin, size);
    };
    keep(scan.vps, vps_, vpsSize_);
    keep(scan.sps, sps_, spsSize_);
    keep(scan.pps, pps_, ppsSize_);
}

int ParameterSetStore::PrefixSize(const FrameScan& scan) const {
    if (scan.kind != kKindVideoKey || scan.HasAllParameterSets() || scan.codec != codec_) {
        return 0;
    }
    return vpsSize_ + spsSize_ + ppsSize_;
}

void ParameterSetStore::WritePrefix(uint8_t* out) const {
    std::memcpy(out, vps_.data(), vpsSize_);
    std::memcpy(out + vpsSize_, sps_.data(), spsSize_);
    std::memcpy(out + vpsSize_ + spsSize_, pps_.data(), ppsSize_);
}

}  // namespace velmaro
