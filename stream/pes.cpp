#include "stream/pes.h"

#include <cmath>
#include <cstring>
#include <new>

namespace velmaro {
namespace {

constexpr int kFlagsByte = 7;
constexpr int kHeaderLengthByte = 8;
constexpr int kPtsByte = 9;
constexpr int kDtsByte = 14;
constexpr int kTimeStampSize = 5;
constexpr double kSixtyFpsThreshold = 45.0;
constexpr double kRateRoundUp = 0.999;

}  // namespace

bool PesBuffer::Allocate() {
    if (!data_) {
        try {
            data_ = std::make_unique_for_overwrite<uint8_t[]>(kPesBufferSize);
        } catch (const std::bad_alloc&) {
            return false;
        }
    }
    Reset();
    return true;
}

void PesBuffer::Release() {
    data_.reset();
    Reset();
}

void PesBuffer::Append(const uint8_t* bytes, int count) {
    if (overflowed_ || !data_ || count <= 0) {
        return;
    }
    if (end_ + count > kPesBufferSize) {
        overflowed_ = true;
        return;
    }
    std::memcpy(data_.get() + end_, bytes, count);
    end_ += count;
}

void PesBuffer::Prepend(const uint8_t* bytes, int count) {
    if (overflowed_ || !data_ || count <= 0) {
        return;
    }
    if (begin_ == end_) {
        begin_ = end_ = kPesBufferSize;  // backward gathering fills from the end
    }
    if (begin_ < count) {
        overflowed_ = true;
        return;
    }
    begin_ -= count;
    std::memcpy(data_.get() + begin_, bytes, count);
}

double PesTimeSeconds(const uint8_t* p) {
    const uint32_t low32 = (uint32_t{p[0] & 0x06u} << 29) | (uint32_t{p[1]} << 22) |
                           (uint32_t{p[2] & 0xFEu} << 14) | (uint32_t{p[3]} << 7) |
                           (uint32_t{p[4]} >> 1);
    return static_cast<int32_t>(low32) / kPesClockHz;
}

bool ParsePesHeader(const uint8_t* bytes, int size, PesHeader& header) {
    header = PesHeader{};
    if (size <= kHeaderLengthByte || bytes[0] != 0x00 || bytes[1] != 0x00 || bytes[2] != 0x01) {
        return false;
    }
    header.payloadOffset = kPesHeaderBase + bytes[kHeaderLengthByte];
    header.ptsDtsFlags = bytes[kFlagsByte] >> 6;
    if (header.HasTime() && size >= kPtsByte + kTimeStampSize) {
        header.pts = PesTimeSeconds(bytes + kPtsByte);
    }
    if (header.ptsDtsFlags == 3 && size >= kDtsByte + kTimeStampSize) {
        header.dts = PesTimeSeconds(bytes + kDtsByte);
    }
    return true;
}

void FrameRateMeter::Feed(double time) {
    if (measured) {
        return;
    }
    if (counter == 0) {
        firstTime = time;
    }
    if (counter == kSpan) {
        // Kept in floating point: equal or reversed times must not overflow an integer.
        const double r = std::trunc(1.0 / ((time - firstTime) / kSpan) + kRateRoundUp);
        rate = r >= kSixtyFpsThreshold ? 60 : 30;
        measured = true;
    }
    ++counter;
}

}  // namespace velmaro
