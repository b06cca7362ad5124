// Camera-like sample recordings for tests, demos and benchmarks: a series of MPEG-2 transport
// stream files <outRoot>/DCIM/100MEDIA/<prefix>_<NNNN>.ts with real H.264 video (libx264), AAC
// audio and the camera's private telemetry text, muxed in time order by our own TS muxer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velmaro {

// Seconds since 1970 of a local calendar time (daylight saving decided by the calendar routine);
// -1 if the text is not "YYYY-MM-DD HH:MM:SS".
int64_t ParseLocalTime(const std::string& text);
// 2026-06-12 08:30:00 local time: the reproducible default start of a recording.
int64_t DefaultStartTime();

struct RecordingOptions {
    std::string outRoot;  // the card root; the files go to <outRoot>/DCIM/100MEDIA/
    int files = 3;
    int secondsPerFile = 4;
    int fps = 30;  // 30 or 60
    int gop = 15;  // an IDR picture every gop pictures, counted from the start of each file
    int width = 1280;
    int height = 720;
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
