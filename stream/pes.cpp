// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "stream/pes.h"

#include <algorithm>
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
// The span of the player's times (a stamp's low 32 bits) in seconds.
constexpr double kTimeCircleSeconds = 4294967296.0 / kPesClockHz;
constexpr double kFastFallbackRate = 60.0;
constexpr double kFastFallbackThreshold = 45.0;
constexpr double kLowestPlausibleRate = 1.0;
constexpr double kHighestPlausibleRate = 240.0;
// A measurement this close to a common rate (relative) is that rate: the common rates lie at
// least 4 % apart but for the 1000/1001 pairs, and those the nearest one tells apart.
constexpr double kCommonRateTolerance = 0.05;
constexpr double kCommonRates[] = {
    24000.0 / 1001, 24.0, 25.0, 30000.0 / 1001, 30.0, 50.0, 60000.0 / 1001, 60.0,
};

}  // namespace

bool PesBuffer::Allocate() {
    if (!data_) {
        try {
            data_ = std::make_unique_for_overwrite<uint8_t[]>(kPesBufferSize);
        } catch (const std::bad_alloc&) {
            return false;
        }
        capacity_ = kPesBufferSize;
    }
    Reset();
    return true;
}

void PesBuffer::Release() {
    data_.reset();
    capacity_ = 0;
    Reset();
}

// The gathered bytes keep their distance from the end they grow away from, so a backward
// gathering stays against the end of the bigger buffer.
bool PesBuffer::Grow(int extra, bool atStart) {
    const int64_t needed = int64_t{end_ - begin_} + extra;
    if (needed > limit_) {
        return false;
    }
    const int64_t wanted = needed + (atStart ? capacity_ - end_ : begin_);
    int64_t capacity = capacity_;
    while (capacity < wanted) {
        capacity *= 2;
    }
    capacity = std::min<int64_t>(capacity, limit_);
    if (capacity < wanted) {
        return false;
    }
    std::unique_ptr<uint8_t[]> bigger;
    try {
        bigger = std::make_unique_for_overwrite<uint8_t[]>(capacity);
    } catch (const std::bad_alloc&) {
        return false;
    }
    const int shift = atStart ? static_cast<int>(capacity) - capacity_ : 0;
    std::memcpy(bigger.get() + begin_ + shift, data_.get() + begin_, end_ - begin_);
    data_ = std::move(bigger);
    capacity_ = static_cast<int>(capacity);
    begin_ += shift;
    end_ += shift;
    return true;
}

bool PesBuffer::MoveInside() {
    if (outside_) {
        const uint8_t* gathered = outside_;
        const int count = end_;  // gathering outside always starts at 0
        outside_ = nullptr;
        begin_ = end_ = 0;
        AppendInside(gathered, count);
    }
    return !overflowed_;
}

void PesBuffer::AppendInside(const uint8_t* bytes, int count) {
    if (overflowed_ || !data_ || count <= 0 || (outside_ && !MoveInside())) {
        return;
    }
    if (end_ + count > capacity_ && !Grow(count, false)) {
        overflowed_ = true;
        return;
    }
    std::memcpy(data_.get() + end_, bytes, count);
    end_ += count;
}

void PesBuffer::PrependSlow(const uint8_t* bytes, int count) {
    if (overflowed_ || !data_ || count <= 0 || !MoveInside()) {
        return;
    }
    if (begin_ == end_) {
        begin_ = end_ = capacity_;  // backward gathering fills from the end
    }
    if (begin_ < count && !Grow(count, true)) {
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

double FrameRateFromSpan(double seconds, int intervals) {
    // Kept in floating point: equal or reversed times must not overflow an integer.
    const double measured = intervals / seconds;
    if (!(measured >= kLowestPlausibleRate && measured <= kHighestPlausibleRate)) {
        return measured >= kFastFallbackThreshold ? kFastFallbackRate : kUnmeasuredFrameRate;
    }
    double nearest = kCommonRates[0];
    for (const double common : kCommonRates) {
        if (std::abs(measured / common - 1.0) < std::abs(measured / nearest - 1.0)) {
            nearest = common;
        }
    }
    if (std::abs(measured / nearest - 1.0) <= kCommonRateTolerance) {
        return nearest;
    }
    return std::round(measured);
}

void FrameRateMeter::Feed(double time) {
    if (measured) {
        return;
    }
    if (counter == 0) {
        firstTime = time;
    }
    if (counter == kSpan) {
        // Times are the stamps' low 32 bits read signed: across bit 31 they jump back by the
        // whole circle, which no span of a few frames does.
        double span = time - firstTime;
        if (span < -kTimeCircleSeconds / 2) {
            span += kTimeCircleSeconds;
        }
        rate = FrameRateFromSpan(span, kSpan);
        measured = true;
    }
    ++counter;
}

}  // namespace velmaro
