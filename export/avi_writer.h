// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// AviWriter: the AVI writer of the clip export (backed here by our own RIFF writer rather than a
// system AVI library). One H.264 video stream stored unchanged, one access unit per frame, and
// one 48 kHz mono 16-bit PCM stream; every sample is a key frame.
//
// Layout: RIFF 'AVI ' with the header list, the 'movi' list and an idx1 index. Once a RIFF
// chunk would pass the RIFF limit (1 GiB) the file continues in RIFF 'AVIX' chunks and becomes
// an OpenDML file: the placeholders reserved in the header turn into a super index ('indx') per
// stream and an 'odml'/'dmlh' list with the total frame count, and each RIFF's 'movi' list ends
// with a standard index ('ix00', 'ix01') of its chunks. The idx1 index covers the first RIFF
// only, as players that do not know OpenDML expect.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/unique_fd.h"

namespace velmaro {

constexpr uint64_t kAviRiffLimit = uint64_t{1} << 30;
// Super index entries reserved per stream: one per RIFF chunk, so files up to 256 GiB.
constexpr int kAviSuperIndexEntries = 256;

// Where the header lists end and the 'movi' list starts; fixed because every placeholder is
// reserved at create.
constexpr uint64_t kAviHeaderBytes = 8838;

// A video stream's rate as the stream header stores it: `rate` / `scale` frames per second.
struct AviRate {
    uint32_t rate = 0;
    uint32_t scale = 0;
};

// Whole rates keep a scale of 1,000; the 1000/1001 rates of NTSC-derived material (29.97,
// 59.94, 23.976, ...) are written exactly as n * 1000 / 1001; others to a thousandth.
AviRate AviRateFor(double framesPerSecond);

class AviWriter {
  public:
    // `riffLimit` is the size at which a new RIFF chunk starts; smaller values are for tests.
    explicit AviWriter(uint64_t riffLimit = kAviRiffLimit);
    ~AviWriter();  // closes, as Close does
    AviWriter(const AviWriter&) = delete;
    AviWriter& operator=(const AviWriter&) = delete;

    // Creates (or truncates) `path`; false when the file cannot be created, the picture size is
    // not 1 to 32,767 pixels each way, or the frame rate is not 1 to 1,000 frames per second.
    // `withSound` false leaves the sound stream out (WriteAudio then fails).
    bool Create(const std::string& path, int width, int height, double frameRate,
                bool withSound = true);
    // The same on an open, empty file that the writer then owns.
    bool Create(UniqueFd fd, int width, int height, double frameRate, bool withSound = true);

    bool IsOpen() const { return fd_.Valid(); }

    // One access unit as the next video frame.
    bool WriteVideo(const uint8_t* data, size_t size);
    // 16-bit mono samples: size / 2 samples at the next sample number.
    bool WriteAudio(const uint8_t* data, size_t size);

    // Writes the indexes and final headers and closes the file. True only when everything
    // written since Create reached the file. Both counters return to 0.
    bool Close();

    int64_t VideoFrames() const { return streams_[kVideo].length; }
    int64_t AudioSamples() const { return streams_[kAudio].length; }
    int RiffCount() const { return riffIndex_ + 1; }

  private:
    static constexpr int kVideo = 0;
    static constexpr int kAudio = 1;
    static constexpr int kStreams = 2;

    struct ChunkRef {
        uint64_t position;  // of the chunk header
        uint32_t size;      // of the data, without the pad byte
        uint8_t stream;
    };
    struct SuperEntry {
        uint64_t position;  // of the standard index chunk
        uint32_t size;      // of that chunk with its header
        uint32_t duration;  // frames or samples it covers
    };
    struct StreamState {
        int64_t length = 0;      // frames (video) or samples (audio) in the whole file
        int64_t riffLength = 0;  // of those, in the current RIFF
        uint32_t largestChunk = 0;
        std::vector<SuperEntry> superIndex;
    };

    bool WriteChunk(int stream, const uint8_t* data, size_t size, int64_t units);
    bool StartNewRiff();
    bool EndRiff(bool last);
    bool WriteStandardIndexes();
    bool WriteIdx1();
    bool WriteHeader();
    std::vector<uint8_t> BuildHeader() const;

    // Buffered output: chunks are gathered and written in large pieces; big chunks go straight
    // to the file.
    bool Put(const void* data, size_t size);
    bool Flush();
    bool PatchU32(uint64_t position, uint32_t value);
    bool Fail();

    const uint64_t riffLimit_;
    UniqueFd fd_;
    int width_ = 0;
    int height_ = 0;
    AviRate rate_;
    bool failed_ = false;  // a write went wrong; the file is incomplete
    int streamCount_ = kStreams;

    std::vector<uint8_t> buffer_;  // allocated at the first Create, kept across files
    size_t bufferFill_ = 0;
    uint64_t position_ = 0;  // end of what has been written or buffered

    int riffIndex_ = 0;
    uint64_t riffStart_ = 0;     // of the current RIFF header
    uint64_t moviList_ = 0;      // of the current 'movi' LIST header
    uint64_t firstRiffEnd_ = 0;  // set once the first RIFF is complete
    uint64_t firstMoviEnd_ = 0;
    int64_t firstRiffFrames_ = 0;
    std::vector<ChunkRef> chunks_;  // of the current RIFF, in file order
    StreamState streams_[kStreams];
};

}  // namespace velmaro
