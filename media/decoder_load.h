// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// DecoderLoad: how much of the last second the video worker spent decoding, and what follows
// from it: how many frame threads the decoder should run, and whether a picture that is late
// is late because decoding cannot keep up (then it is dropped rather than drawn late).
#pragma once

#include <cstdint>

namespace velmaro {

// One thread is short of keeping up when decoding takes this share of the wall clock.
constexpr double kOneThreadFull = 0.8;
// Frame threads go back to one when one thread would need less than this share.
constexpr double kOneThreadAtEase = 0.5;
// Decoding that takes this share of the wall clock leaves too little for showing the pictures.
constexpr double kDecoderOverloaded = 0.85;
constexpr int64_t kLoadWindowMs = 1000;

class DecoderLoad {
  public:
    // `cores`: the machine's; at least 1.
    explicit DecoderLoad(int cores);

    // One decode call of `busyMs` that ended at `nowMs` (a steady millisecond clock), on a
    // decoder running `threads` threads. A second's measurement is complete at its end.
    void Add(double busyMs, int64_t nowMs, int threads);
    // Forgets the measurement: after a stall, a seek or a change of threads the next second
    // is measured afresh.
    void Reset();
    // The decoder went from `from` threads to `to`: the share one thread had is kept, so that
    // what frame threads hide of each picture's work can be told from their first second.
    void ThreadsChanged(int from, int to);

    // The threads to decode with now: `forced` when positive; otherwise FrameThreads() while
    // one thread would be full, and one again once it would be at ease (the share in between
    // keeps what the decoder has).
    int WantedThreads(int forced, int current) const;
    // The last complete second's decoding took too much of the clock to show every picture.
    bool Overloaded() const { return measured_ && share_ >= kDecoderOverloaded; }
    int Cores() const { return cores_; }
    // Frame threads when one thread is not enough: one more than the cores, as libavcodec
    // chooses for itself, since a frame thread waiting on its reference picture leaves its
    // core idle otherwise (4K on two cores: 2 threads decode 28 pictures a second, 3 over 30
    // with less CPU); none on a single core.
    int FrameThreads() const { return cores_ > 1 ? cores_ + 1 : 1; }

  private:
    int cores_;
    int64_t windowStart_ = -1;
    double busyMs_ = 0.0;
    bool measured_ = false;
    double share_ = 0.0;           // of the last complete second
    double oneThreadShare_ = 0.0;  // one thread's, when frame threads were started
    double hiddenScale_ = 0.0;     // frame threads' share against one thread's (0: unknown)
    int threadsMeasured_ = 1;      // the decoder's threads during it
    int raises_ = 0;               // times frame threads were started from one thread
};

// The cores of this machine, at least 1.
int MachineCores();

}  // namespace velmaro
