// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// A seek as a value: where to (a byte of the file being read, or the previous or next recording),
// and the one-slot mailbox that carries it from the controls to the reader thread. The newest
// request wins; taking one is an exchange, so a request written while an older one is being
// served is never lost.
#pragma once

#include <atomic>
#include <cstdint>

namespace velmaro {

enum class SeekKind : uint8_t { kNone = 0, kByte = 1, kPreviousRecording = 2, kNextRecording = 3 };

struct SeekRequest {
    SeekKind kind = SeekKind::kNone;
    int64_t position = 0;  // a byte of the file, with kByte

    static SeekRequest To(int64_t position) { return {SeekKind::kByte, position}; }
    static SeekRequest PreviousRecording() { return {SeekKind::kPreviousRecording, 0}; }
    static SeekRequest NextRecording() { return {SeekKind::kNextRecording, 0}; }

    bool None() const { return kind == SeekKind::kNone; }
    bool ToByte() const { return kind == SeekKind::kByte; }
    bool ToRecording() const {
        return kind == SeekKind::kPreviousRecording || kind == SeekKind::kNextRecording;
    }
    bool operator==(const SeekRequest&) const = default;
};

// One word holds the whole request so that posting and taking are single atomic operations:
// the kind in the top byte, the position in the 56 bits below (files stay far below 64 PiB).
class SeekMailbox {
  public:
    // Any thread; replaces a request not yet taken.
    void Post(SeekRequest request) { word_.store(Encode(request)); }
    // The reader: the request waiting, which leaves the mailbox.
    SeekRequest Take() { return Decode(word_.exchange(0)); }
    // The reader: puts back a request it cannot serve yet, unless a newer one arrived meanwhile.
    void GiveBack(SeekRequest request) {
        uint64_t empty = 0;
        word_.compare_exchange_strong(empty, Encode(request));
    }
    SeekRequest Peek() const { return Decode(word_.load(std::memory_order_relaxed)); }
    bool Pending() const { return word_.load() != 0; }

  private:
    static constexpr int kKindShift = 56;
    static constexpr uint64_t kPositionMask = (uint64_t{1} << kKindShift) - 1;

    static uint64_t Encode(SeekRequest r) {
        const uint64_t position = r.position > 0 ? static_cast<uint64_t>(r.position) : 0;
        return (uint64_t{static_cast<uint8_t>(r.kind)} << kKindShift) | (position & kPositionMask);
    }
    static SeekRequest Decode(uint64_t word) {
        return {static_cast<SeekKind>(word >> kKindShift),
                static_cast<int64_t>(word & kPositionMask)};
    }

    std::atomic<uint64_t> word_{0};
};

}  // namespace velmaro
