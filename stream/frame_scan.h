// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Finds the first slice of an H.264 or H.265 access unit: it decides whether the frame is a key
// frame and where its bytes begin (at the parameter sets before the slice; leading delimiters
// and SEI are dropped). Both four-byte and three-byte start codes are recognised. It also
// reports the parameter sets it passed, which a stream may carry only once, apart from any
// picture. H.265 key frames are its random access pictures (IDR, CRA and BLA); H.264 key
// frames are IDR pictures, the I pictures a recovery point SEI marks as the start of an open
// group, as ffprobe flags them, and I pictures that come with a sequence parameter set (the
// entry points of a stream that has no IDR picture and no such SEI).
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

#include "stream/video_codec.h"

namespace velmaro {

// Bytes of one unit in the scanned payload, its start code included; empty when not found.
struct NalSpan {
    int begin = 0;
    int end = 0;
    bool Found() const { return end > begin; }
    int Size() const { return end - begin; }
};

struct FrameScan {
    int kind = 0;    // kKindVideoKey, kKindVideoInter, or 0 when the payload holds no slice
    int offset = 0;  // where the frame's bytes begin
    // The last video (H.265 only), sequence and picture parameter sets before the slice
    // (anywhere in a payload without one).
    NalSpan vps;
    NalSpan sps;
    NalSpan pps;
    VideoCodec codec = VideoCodec::kH264;

    // Whether a key frame brings every parameter set its decoder needs.
    bool HasAllParameterSets() const {
        return sps.Found() && pps.Found() && (codec != VideoCodec::kHevc || vps.Found());
    }
};

// `running`, when given, ends the scan early once cleared (a stop must not wait on a big PES).
FrameScan ScanFrameKind(const uint8_t* payload, int size,
                        const std::atomic<bool>* running = nullptr,
                        VideoCodec codec = VideoCodec::kH264);

// The latest parameter sets of a stream, kept so that a key frame that comes without them (its
// own were in a PES of their own, or lost with an earlier picture) can still be decoded. One
// of each kind: dash cameras use a single set. Sets of one codec are never put in front of a
// frame of the other.
class ParameterSetStore {
  public:
    static constexpr int kMaxUnitSize = 1024;  // larger units are not kept

    // Takes the parameter sets a scan found in `payload`.
    void Keep(const uint8_t* payload, const FrameScan& scan);
    // How many bytes a frame of `scan` needs in front of it: none unless it is a key frame
    // that lacks a set of its own; then the kept ones. Call after Keep, so that a set the
    // frame does carry is the kept one too.
    int PrefixSize(const FrameScan& scan) const;
    // Writes the kept sets in decoding order (VPS, SPS, PPS): PrefixSize bytes.
    void WritePrefix(uint8_t* out) const;
    void Clear() { vpsSize_ = spsSize_ = ppsSize_ = 0; }

  private:
    std::array<uint8_t, kMaxUnitSize> vps_{};
    std::array<uint8_t, kMaxUnitSize> sps_{};
    std::array<uint8_t, kMaxUnitSize> pps_{};
    int vpsSize_ = 0;
    int spsSize_ = 0;
    int ppsSize_ = 0;
    VideoCodec codec_ = VideoCodec::kH264;  // of the kept sets
};

}  // namespace velmaro
