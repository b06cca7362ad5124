// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "stream/frame_scan.h"

#include <algorithm>
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
    kSupplementalInfo,  // H.264 SEI
};

constexpr int kH264SliceHeaderBytes = 8;  // enough for first_mb_in_slice and slice_type
constexpr int kH264SliceTypeI = 2;        // slice_type % 5: I; 4 is SI, as good a start
constexpr int kH264SliceTypeSi = 4;
constexpr int kSliceTypeKinds = 5;
constexpr int kSeiRecoveryPoint = 6;
constexpr int kSeiMoreBytes = 0xFF;
constexpr uint8_t kRbspStopByte = 0x80;

// Exp-Golomb codes at the start of a unit's payload, over its emulation prevention bytes.
class BitReader {
  public:
    BitReader(const uint8_t* p, int size) : p_(p), size_(size) {}

    bool Bit(int& bit) {
        if (bitPos_ == 0 && !NextByte()) {
            return false;
        }
        bit = (byte_ >> --bitPos_) & 1;
        return true;
    }

    // ue(v); false past the end or on a code longer than 31 bits.
    bool UnsignedGolomb(uint32_t& value) {
        int zeros = 0;
        int bit = 0;
        while (Bit(bit) && bit == 0) {
            if (++zeros > 31) {
                return false;
            }
        }
        if (bit != 1) {
            return false;
        }
        uint32_t rest = 0;
        for (int i = 0; i < zeros; ++i) {
            if (!Bit(bit)) {
                return false;
            }
            rest = rest << 1 | static_cast<uint32_t>(bit);
        }
        value = (1u << zeros) - 1 + rest;
        return true;
    }

  private:
    bool NextByte() {
        if (pos_ >= size_) {
            return false;
        }
        if (zeros_ >= 2 && p_[pos_] == 0x03) {
            ++pos_;
            zeros_ = 0;
            if (pos_ >= size_) {
                return false;
            }
        }
        byte_ = p_[pos_++];
        zeros_ = byte_ == 0 ? zeros_ + 1 : 0;
        bitPos_ = 8;
        return true;
    }

    const uint8_t* p_;
    int size_;
    int pos_ = 0;
    int zeros_ = 0;
    int bitPos_ = 0;
    uint8_t byte_ = 0;
};

// An H.264 slice of an I (or SI) picture that other pictures refer to: a picture the decoder
// can start from when the stream says so. `unit` points at the header byte.
bool IsIntraReferenceSlice(const uint8_t* unit, int size) {
    if ((unit[0] & 0x60) == 0) {
        return false;
    }
    BitReader bits(unit + 1, std::min(size - 1, kH264SliceHeaderBytes));
    uint32_t firstMacroblock = 0;
    uint32_t sliceType = 0;
    if (!bits.UnsignedGolomb(firstMacroblock) || !bits.UnsignedGolomb(sliceType)) {
        return false;
    }
    const uint32_t kind = sliceType % kSliceTypeKinds;
    return kind == kH264SliceTypeI || kind == kH264SliceTypeSi;
}

// Whether an H.264 SEI unit holds a recovery point message: the picture it comes with is a
// random access point of an open group. `unit` points at the header byte.
bool HasRecoveryPoint(const uint8_t* unit, int size) {
    int i = 1;
    while (i < size && unit[i] != kRbspStopByte) {
        int type = 0;
        while (i < size && unit[i] == kSeiMoreBytes) {
            type += unit[i++];
        }
        if (i >= size) {
            return false;
        }
        type += unit[i++];
        if (type == kSeiRecoveryPoint) {
            return true;
        }
        int length = 0;
        while (i < size && unit[i] == kSeiMoreBytes) {
            length += unit[i++];
        }
        if (i >= size) {
            return false;
        }
        length += unit[i++];
        i += length;
    }
    return false;
}

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
        case 0x06:
            return Nal::kSupplementalInfo;
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

int KindOf(Nal slice) {
    return slice == Nal::kIdrSlice ? kKindVideoKey : kKindVideoInter;
}

bool IsSlice(Nal nal) {
    return nal == Nal::kSlice || nal == Nal::kIdrSlice;
}

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

// Where the next start code after `from` begins, or `size`.
int NextStartCode(const uint8_t* p, int from, int size) {
    for (int i = from; i + kStartCodeBytes <= size; ++i) {
        if (p[i] == 0x00 && p[i + 1] == 0x00 && p[i + 2] == 0x01) {
            return i;
        }
    }
    return size;
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
    bool recoveryPoint = false;
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
        const uint8_t* unit = p + i + kStartCodeBytes;
        const Nal nal = Classify(unit, codec);
        if (IsSlice(nal)) {
            if (size - i < kMinBytesFromStartCode - 1) {
                break;  // too short for a slice header: no picture here
            }
            scan.kind = KindOf(nal);
            // An encoder that writes no IDR at all still repeats the sequence's parameter
            // sets where a decoder may begin, as it does before a recovery point.
            const bool entryPoint = recoveryPoint || scan.sps.Found();
            if (nal == Nal::kSlice && codec == VideoCodec::kH264 && entryPoint &&
                IsIntraReferenceSlice(unit, size - i - kStartCodeBytes)) {
                scan.kind = kKindVideoKey;
            }
            scan.offset = firstSet >= 0 ? firstSet : start;
            return scan;
        }
        if (nal == Nal::kSupplementalInfo && !recoveryPoint) {
            recoveryPoint = HasRecoveryPoint(
                unit, NextStartCode(p, i + kStartCodeBytes, size) - i - kStartCodeBytes);
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
