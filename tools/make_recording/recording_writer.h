// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Camera-like sample recordings for tests, demos and benchmarks: a series of MPEG-2 transport
// stream files <outRoot>/DCIM/100MEDIA/<prefix>_<NNNN>.ts with real H.264 video (libx264; or
// H.265 from libx265), AAC
// audio and the camera's private telemetry text, muxed in time order by our own TS muxer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "stream/video_codec.h"

namespace velmaro {

// Seconds since 1970 of a local calendar time (daylight saving decided by the calendar routine);
// -1 if the text is not "YYYY-MM-DD HH:MM:SS".
int64_t ParseLocalTime(const std::string& text);
// 2026-06-12 08:30:00 local time: the reproducible default start of a recording.
int64_t DefaultStartTime();

// What the pictures show.
enum class PicturePattern {
    // A moving picture that keeps the encoder busy: a drifting luma gradient, scrolling colour
    // bars, a bouncing box and the picture number as blocks along the top edge.
    kMoving,
    // A still colour reference: eight vertical 75 % bars (grey, yellow, cyan, green, magenta,
    // red, blue, black, left to right) over the whole picture, coded as BT.601 limited-range
    // YUV and signalled so. Only the picture-number blocks along the top edge change.
    kColourBars,
    // What a dash camera records, as far as decoding cost goes: a detailed scene drifting past
    // (faster towards the bottom), sensor noise on every pixel, coded with CABAC and the
    // deblocking filter at a camera's bit rate (11 Mb/s at 1920x1080, 30 pictures a second,
    // in proportion for other sizes).
    kFootage,
};

// Every picture, whatever its pattern, carries its number since the start of the recording
// (modulo 2^16) as 16 square blocks along the top edge, most significant bit first, white
// (luma 235) for 1 and black (luma 16) for 0: block b covers x from (b + 1/2) * size to
// (b + 3/2) * size and y from size / 2 to size * 3 / 2, size being PictureNumberBlockSize.
constexpr int kPictureNumberBits = 16;
constexpr int PictureNumberBlockSize(int width, int height) {
    const int size = width / 18 < height / 30 ? width / 18 : height / 30;
    return (size < 4 ? 4 : size) & ~1;
}

constexpr int kColourBarCount = 8;

// Width of each colour bar but the last, which reaches the right edge: an eighth of the picture
// rounded down to a multiple of 16, so that every bar edge falls on a macroblock edge and no
// 2x2 chroma sample straddles two bars; in pictures too narrow for that, rounded down to even.
constexpr int ColourBarWidth(int pictureWidth) {
    const int eighth = pictureWidth / kColourBarCount;
    return eighth >= 16 ? eighth / 16 * 16 : eighth / 2 * 2;
}

constexpr int kMaxFps = 120;

struct RecordingOptions {
    std::string outRoot;  // the card root; the files go to <outRoot>/DCIM/100MEDIA/
    int files = 3;
    int secondsPerFile = 4;
    int fps = 30;  // whole frames per second, 1 to kMaxFps (cameras write 25, 30, 50, 60)
    int gop = 15;  // an IDR picture every gop pictures, counted from the start of each file
    int width = 1280;
    int height = 720;
    PicturePattern pattern = PicturePattern::kMoving;
    VideoCodec codec = VideoCodec::kH264;  // H.265 recordings announce stream type 0x24
    std::string prefix = "REC";
    int firstNumber = 1;
    bool south = false;         // southern start point, 'S' in the sentences
    bool west = false;          // western start point, 'W' in the sentences
    bool truncateLast = false;  // cut the last file in the middle of a packet (power cut)
    bool garbage = false;       // runs of garbage bytes (never 0x47) between packets, 3 per file
    bool telemetry = true;      // false: no file has a telemetry stream
    std::vector<int> filesWithoutTelemetry;  // file numbers (as in the names) without telemetry
    // As the camera does: each file's times start again at 1 s, so a file's last time stamp is its
    // length. false: times run on across the files.
    bool restartTimestamps = true;
    int pmtPid = 0x0100;
    int videoPid = 0x1011;
    int audioPid = 0x1100;
    int dataPid = 0x1200;
    int64_t startTime = DefaultStartTime();  // seconds since 1970: start of the first file
    uint32_t seed = 1;                       // route details, G-sensor noise, garbage
    // Seconds since the start of the recording whose G-sensor sample jumps by about 3 g.
    std::vector<int> gSpikes;
    // The camera's clock minus GPS time: the sentences' UTC is the file time minus this.
    int64_t clockOffset = 0;
};

struct FileStats {
    std::string path;
    int number = 0;
    int64_t startTime = 0;  // seconds since 1970
    int64_t endTime = 0;    // = the file's modification time = startTime + secondsPerFile
    int videoFrames = 0;    // one PES each
    int keyFrames = 0;
    int audioFrames = 0;  // ADTS frames, one PES each
    bool hasTelemetry = true;
    std::vector<std::string> telemetry;  // the telemetry texts written, in order
    int64_t firstVideoPts = 0;           // 90 kHz
    int64_t lastVideoPts = 0;
    int64_t bytes = 0;       // size on disk
    bool truncated = false;  // the counts above are what was muxed before the cut
    int garbageRuns = 0;
};

struct RecordingResult {
    bool ok = false;
    std::string error;
    std::vector<std::string> files;
    std::vector<FileStats> stats;
};

RecordingResult WriteRecording(const RecordingOptions& options);

}  // namespace velmaro
