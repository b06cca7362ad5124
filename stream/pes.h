// PES gathering and header fields: the buffer that collects a PES from its packets (forward by
// appending, or backward by prepending), and the header values the player uses.
#pragma once

#include <cstdint>
#include <memory>

namespace velmaro {

constexpr int kPesBufferSize = 1024 * 1024;
constexpr int kPesHeaderBase = 9;  // bytes before the PES header data
constexpr double kPesClockHz = 90000.0;

// One PES being gathered. Bytes past the capacity are not kept; the PES is then marked
// overflowed and the completion drops it.
class PesBuffer {
public:
    bool Allocate();  // once; false when memory is short
    void Release();
    bool Allocated() const { return data_ != nullptr; }

    void Reset() {
        begin_ = end_ = 0;
        overflowed_ = false;
    }
    void Append(const uint8_t* bytes, int count);
    void Prepend(const uint8_t* bytes, int count);  // for backward scanning

    const uint8_t* Bytes() const { return data_.get() + begin_; }
    int Fill() const { return end_ - begin_; }
    bool Overflowed() const { return overflowed_; }

private:
    std::unique_ptr<uint8_t[]> data_;
    int begin_ = 0;
    int end_ = 0;
    bool overflowed_ = false;
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

// Measures 30 or 60 frames per second from the times of the 2nd to the 32nd timed video PES.
struct FrameRateMeter {
    static constexpr int kSpan = 30;
    int rate = 30;
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
