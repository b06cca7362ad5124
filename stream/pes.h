// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// PES gathering and header fields: the buffer that collects a PES from its packets (forward by
// appending, or backward by prepending), and the header values the player uses.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>

#include "stream/ts_packet.h"

namespace velmaro {

// A PES buffer starts this big and may grow, by doubling, for a larger PES up to its limit.
// The player's video limit is a picture as large as the video queue takes, with room for its
// PES header.
constexpr int kPesBufferSize = 1024 * 1024;
constexpr int kPesBufferLimit = 32 * 1024 * 1024 + 64 * 1024;
constexpr int kPesHeaderBase = 9;  // bytes before the PES header data
constexpr double kPesClockHz = 90000.0;
constexpr int kWholeTsPayload = kTsPacketSize - kTsHeaderSize;

// One PES being gathered. Bytes past the limit (or past what memory allows) are not kept; the
// PES is then marked overflowed and the completion drops it. A forward gathering may be
// placed in someone else's memory (a queue's free room, where the frame will be delivered
// from), which saves copying it there; it moves into the buffer's own storage once it outgrows
// that room.
class PesBuffer {
  public:
    // `limit`: the most bytes one PES may have; the buffer grows to it from kPesBufferSize.
    explicit PesBuffer(int limit = kPesBufferSize) : limit_(limit) {}

    bool Allocate();  // once; false when memory is short
    void Release();
    bool Allocated() const { return data_ != nullptr; }

    void Reset() {
        begin_ = end_ = 0;
        overflowed_ = false;
        outside_ = nullptr;
    }
    // Right after a Reset, on an allocated buffer: the PES is gathered at `at`, which has
    // `room` bytes the caller keeps untouched until the next Reset.
    void GatherAt(uint8_t* at, int room) {
        if (data_ && room > 0) {
            outside_ = at;
            outsideRoom_ = room;
        }
    }
    // Where the gathered bytes lie while they are gathered outside; null otherwise.
    uint8_t* Outside() const { return outside_; }
    // Takes the bytes gathered outside into the buffer's own storage; false (and overflowed)
    // when they do not fit there.
    bool MoveInside();
    void Append(const uint8_t* bytes, int count) {
        if (outside_ && count > 0 && end_ + count <= outsideRoom_) {
            // Most packets carry a whole packet's payload: a copy of known size is a few
            // register moves, where one of any size is a call.
            if (count == kWholeTsPayload) {
                std::memcpy(outside_ + end_, bytes, kWholeTsPayload);
            } else {
                std::memcpy(outside_ + end_, bytes, count);
            }
            end_ += count;
            return;
        }
        AppendInside(bytes, count);
    }
    // For a caller that copies a run of payloads itself: where the next bytes go while the PES
    // is gathered outside, and how many fit there (null and 0 otherwise); `Appended` then counts
    // what it wrote.
    uint8_t* OutsideEnd() const { return outside_ ? outside_ + end_ : nullptr; }
    int OutsideRoomLeft() const { return outside_ ? outsideRoom_ - end_ : 0; }
    void Appended(int count) { end_ += count; }
    void Prepend(const uint8_t* bytes, int count) {  // for backward scanning
        if (!outside_ && !overflowed_ && begin_ != end_ && begin_ >= count && count > 0) {
            begin_ -= count;
            std::memcpy(data_.get() + begin_, bytes, count);
            return;
        }
        PrependSlow(bytes, count);
    }

    const uint8_t* Bytes() const { return (outside_ ? outside_ : data_.get()) + begin_; }
    int Fill() const { return end_ - begin_; }
    bool Overflowed() const { return overflowed_; }

  private:
    // Room for `extra` more bytes at the end (forward) or the start (backward); false when the
    // PES would pass the limit or memory is short.
    bool Grow(int extra, bool atStart);
    void AppendInside(const uint8_t* bytes, int count);
    void PrependSlow(const uint8_t* bytes, int count);

    std::unique_ptr<uint8_t[]> data_;
    int limit_;
    int capacity_ = 0;
    int begin_ = 0;
    int end_ = 0;
    bool overflowed_ = false;
    uint8_t* outside_ = nullptr;
    int outsideRoom_ = 0;
};

struct PesHeader {
    int payloadOffset = 0;  // kPesHeaderBase + PES_header_data_length
    int ptsDtsFlags = 0;
    double pts = 0.0;  // seconds
    double dts = 0.0;
    bool HasTime() const { return ptsDtsFlags == 2 || ptsDtsFlags == 3; }
};

// False when the bytes do not begin with a PES start code prefix or are too short for the
// header; times whose bytes lie beyond `size` read as 0.
bool ParsePesHeader(const uint8_t* bytes, int size, PesHeader& header);

// A 33-bit time stamp at `p` (5 bytes), taken as its low 32 bits read signed, in seconds: the
// player's time base, which turns negative once bit 31 is set.
double PesTimeSeconds(const uint8_t* p);

// Frames per second before a stream's rate has been measured.
constexpr double kUnmeasuredFrameRate = 30.0;

// The rate a stream of video times runs at. Decode times of 31 consecutive timed PES give the
// mean frame interval (presentation times jump about with reordered pictures); a rate near one
// that cameras and encoders use (23.976, 24, 25, 29.97, 30, 50, 59.94, 60) is taken as exactly
// that one, another plausible rate as whole frames per second. Times that give no plausible
// rate at all (equal, reversed, far apart) fall back to 60 when the frames come fast and to
// 30 otherwise.
double FrameRateFromSpan(double seconds, int intervals);

// Measures the rate from the times of the 2nd to the 32nd timed video PES.
struct FrameRateMeter {
    static constexpr int kSpan = 30;
    double rate = kUnmeasuredFrameRate;
    bool measured = false;
    int counter = -1;
    double firstTime = 0.0;

    void Reset() {
        measured = false;
        counter = -1;
    }
    void Feed(double time);
};

}  // namespace velmaro
