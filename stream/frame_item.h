// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The record of one queued compressed frame, copied by value between reader, queue and worker.
#pragma once

#include <cstdint>

#include "stream/video_codec.h"

namespace velmaro {

enum FrameKind : int32_t {
    kKindNone = 0,
    kKindDiscontinuity = 16,  // the video queue keeps only its head and starts over
    kKindVideoKey = 17,       // access unit with an IDR slice (H.265: any random access slice)
    kKindVideoInter = 18,     // access unit with any other slice
    kKindAudio = 35,
};

struct FrameItem {
    uint8_t* data = nullptr;  // inside the queue's storage; for the producer: its write position
    int32_t size = 0;
    int32_t kind = kKindNone;
    // Frames per second of the video as measured (29.97 is 30000/1001 as closely as a double
    // holds it); 0 for audio.
    double frameRate = 0.0;
    int32_t order = 0;  // play mode when read, negated while delivered backward
    double pts = 0.0;   // seconds: the PES's decoding time for video, its time for audio
    // Video: the PES's presentation time, which the decoded picture carries (pictures of a
    // stream that reorders leave the decoder in this order, not in that of `pts`); below 0
    // when the producer knows only `pts`.
    double displayTime = -1.0;
    // Where the frame came from: the reader's serial of the file it had open, and the byte
    // position of the packet that began the frame's PES. Marks and direction changes use them
    // to find the picture on screen again in its file; -1 when unknown.
    uint32_t fileSerial = 0;
    int64_t filePos = -1;
    VideoCodec codec = VideoCodec::kH264;  // video: how the frame is coded

    double DisplayTime() const { return displayTime >= 0.0 ? displayTime : pts; }
};

}  // namespace velmaro
