// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/make_recording/recording_writer.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <random>

extern "C" {
#include <libavutil/log.h>
}

#include "stream/psi.h"
#include "tools/make_recording/aac_encoder.h"
#include "tools/make_recording/h264_encoder.h"
#include "tools/make_recording/route.h"
#include "tools/make_recording/ts_muxer.h"

namespace velmaro {
namespace {

constexpr int64_t kClock = 90000;      // PES time stamps, 90 kHz
constexpr int64_t kFirstPts = kClock;  // times start at 1 s
constexpr int64_t kPcrLead = 9000;     // the PCR runs 100 ms ahead of the video DTS
constexpr int64_t kAudioTicks = int64_t{kAudioFrameSamples} * kClock / kAudioRate;  // 1920

std::string Check(const RecordingOptions& o) {
    auto pidOk = [&](int pid) { return pid >= 0x10 && pid <= 0x1FFE; };
    if (o.outRoot.empty()) {
        return "no output folder given";
    }
    if (o.files < 1 || o.files > 9999) {
        return "the number of files must be 1 to 9999";
    }
    if (o.secondsPerFile < 1 || o.secondsPerFile > 3600) {
        return "the file length must be 1 to 3600 seconds";
    }
    if (o.fps < 1 || o.fps > kMaxFps) {
        return "the frame rate must be 1 to 120 frames per second";
    }
    if (o.gop < 1 || o.gop > 600) {
        return "the GOP length must be 1 to 600 pictures";
    }
    if (o.width < 32 || o.height < 32 || o.width > 8192 || o.height > 8192 || o.width % 2 != 0 ||
        o.height % 2 != 0) {
        return "the picture size must be even and 32 to 8192 pixels each way";
    }
    if (o.prefix.empty() || o.prefix.find('/') != std::string::npos) {
        return "the file name prefix must be a non-empty name without '/'";
    }
    if (o.firstNumber < 0 || o.firstNumber + o.files - 1 > 9999) {
        return "the file numbers must stay within 0 to 9999";
    }
    if (!pidOk(o.pmtPid) || !pidOk(o.videoPid) || !pidOk(o.audioPid) || !pidOk(o.dataPid)) {
        return "PIDs must be 0x0010 to 0x1FFE";
    }
    const int pids[] = {o.pmtPid, o.videoPid, o.audioPid, o.dataPid};
    for (int i = 0; i < 4; ++i) {
        for (int j = i + 1; j < 4; ++j) {
            if (pids[i] == pids[j]) {
                return "the PMT, video, audio and data PIDs must differ";
            }
        }
    }
    return {};
}

// Three runs of 1 to 300 garbage bytes at packet boundaries in the last nine tenths of the file.
int InsertGarbage(std::vector<uint8_t>& bytes, std::mt19937& rng) {
    const size_t packets = bytes.size() / TsMuxer::kPacketSize;
    if (packets < 2) {
        return 0;
    }
    std::vector<size_t> at;
    for (int i = 0; i < 3; ++i) {
        at.push_back(packets / 10 + 1 + rng() % (packets - packets / 10 - 1));
    }
    std::sort(at.begin(), at.end(), std::greater<>());  // back to front keeps offsets valid
    for (size_t packet : at) {
        std::vector<uint8_t> run(1 + rng() % 300);
        for (uint8_t& b : run) {
            do {
                b = static_cast<uint8_t>(rng());
            } while (b == 0x47);
        }
        bytes.insert(bytes.begin() + static_cast<ptrdiff_t>(packet * TsMuxer::kPacketSize),
                     run.begin(), run.end());
    }
    return 3;
}

// Keeps libavcodec's encoders quiet (x264 and AAC statistics) while a recording is written.
class QuietCodecLog {
  public:
    QuietCodecLog() : level_(av_log_get_level()) {
        av_log_set_level(std::min(level_, AV_LOG_ERROR));
    }
    ~QuietCodecLog() { av_log_set_level(level_); }
    QuietCodecLog(const QuietCodecLog&) = delete;
    QuietCodecLog& operator=(const QuietCodecLog&) = delete;

  private:
    int level_;
};

std::string WriteFile(const std::string& path, const std::vector<uint8_t>& bytes, int64_t mtime) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return "cannot create " + path;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if (std::fclose(file) != 0 || !written) {
        return "cannot write " + path;
    }
    const timespec times[2] = {{static_cast<time_t>(mtime), 0}, {static_cast<time_t>(mtime), 0}};
    if (utimensat(AT_FDCWD, path.c_str(), times, 0) != 0) {
        return "cannot set the modification time of " + path;
    }
    return {};
}

}  // namespace

int64_t ParseLocalTime(const std::string& text) {
    std::tm t{};
    char tail = 0;
    if (std::sscanf(text.c_str(), "%d-%d-%d %d:%d:%d%c", &t.tm_year, &t.tm_mon, &t.tm_mday,
                    &t.tm_hour, &t.tm_min, &t.tm_sec, &tail) != 6 ||
        t.tm_mon < 1 || t.tm_mon > 12 || t.tm_mday < 1 || t.tm_mday > 31 || t.tm_hour > 23 ||
        t.tm_min > 59 || t.tm_sec > 59 || t.tm_year < 1980 || t.tm_year > 2099) {
        return -1;
    }
    t.tm_year -= 1900;
    t.tm_mon -= 1;
    t.tm_isdst = -1;
    return static_cast<int64_t>(std::mktime(&t));
}

int64_t DefaultStartTime() {
    return ParseLocalTime("2026-06-12 08:30:00");
}

RecordingResult WriteRecording(const RecordingOptions& o) {
    RecordingResult result;
    if (result.error = Check(o); !result.error.empty()) {
        return result;
    }
    const std::filesystem::path folder = std::filesystem::path(o.outRoot) / "DCIM" / "100MEDIA";
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) {
        result.error = "cannot create " + folder.string() + ": " + ec.message();
        return result;
    }
    const int64_t framesPerFile = int64_t{o.secondsPerFile} * o.fps;
    const QuietCodecLog quiet;  // outlives the encoders, which report when they close
    H264Encoder video;
    AacEncoder audio;
    if (!video.Open(o.width, o.height, o.fps, o.gop, framesPerFile, framesPerFile * o.files,
                    o.pattern, o.seed, &result.error, o.codec) ||
        !audio.Open(&result.error)) {
        return result;
    }
    Route route(o.south, o.west, o.seed);
    std::mt19937 rng(o.seed ^ 0x5EEDu);
    std::vector<uint8_t> adts;
    int64_t audioTick = 0;  // time of `adts` since the start of the recording, 90 kHz
    if (!audio.Next(&adts, &result.error)) {
        return result;
    }
    int64_t second = 0;  // telemetry seconds since the start of the recording
    std::vector<uint8_t> bytes;
    EncodedPicture picture;

    for (int f = 0; f < o.files; ++f) {
        FileStats stats;
        stats.number = o.firstNumber + f;
        char name[64];
        std::snprintf(name, sizeof name, "_%04d.ts", stats.number);
        stats.path = (folder / (o.prefix + name)).string();
        stats.startTime = o.startTime + int64_t{f} * o.secondsPerFile;
        stats.endTime = stats.startTime + o.secondsPerFile;
        stats.hasTelemetry =
            o.telemetry && std::find(o.filesWithoutTelemetry.begin(), o.filesWithoutTelemetry.end(),
                                     stats.number) == o.filesWithoutTelemetry.end();
        const int64_t fileStart = int64_t{f} * o.secondsPerFile * kClock;
        const int64_t fileEnd = fileStart + o.secondsPerFile * kClock;
        const int64_t base = kFirstPts - (o.restartTimestamps ? fileStart : 0);

        bytes.clear();
        TsMuxer mux({o.pmtPid, o.videoPid, o.audioPid, o.dataPid, stats.hasTelemetry,
                     o.codec == VideoCodec::kHevc ? kStreamTypeHevc : kStreamTypeH264},
                    &bytes);
        // Audio and telemetry due before `tick` (recording time), in time order.
        auto catchUp = [&](int64_t tick) {
            while (audioTick < tick || second * kClock < tick) {
                if (audioTick <= second * kClock) {
                    mux.WriteAudio(adts, base + audioTick);
                    ++stats.audioFrames;
                    audioTick += kAudioTicks;
                    if (!audio.Next(&adts, &result.error)) {
                        return false;
                    }
                } else {
                    const bool spike =
                        std::find(o.gSpikes.begin(), o.gSpikes.end(), second) != o.gSpikes.end();
                    const std::string text =
                        route.Text(o.startTime + second - o.clockOffset, spike);
                    if (stats.hasTelemetry) {
                        mux.WriteData(std::vector<uint8_t>(text.begin(), text.end()),
                                      base + second * kClock);
                        stats.telemetry.push_back(text);
                    }
                    route.Advance();
                    ++second;
                }
            }
            return true;
        };
        for (int64_t i = f * framesPerFile; i < (f + 1) * framesPerFile; ++i) {
            const int64_t tick = i * kClock / o.fps;
            if (!catchUp(tick) || !video.Next(&picture, &result.error)) {
                return result;
            }
            if (i == f * framesPerFile && !picture.key) {
                result.error = "the video encoder did not start a file with a key frame";
                return result;
            }
            if (picture.key) {
                mux.WriteTables();
                ++stats.keyFrames;
            }
            const int64_t pts = base + tick;
            mux.WriteVideo(picture.data, picture.key, pts, pts,
                           std::max<int64_t>(0, pts - kPcrLead));
            if (stats.videoFrames++ == 0) {
                stats.firstVideoPts = pts;
            }
            stats.lastVideoPts = pts;
        }
        if (!catchUp(fileEnd)) {
            return result;
        }

        if (o.garbage) {
            stats.garbageRuns = InsertGarbage(bytes, rng);
        }
        if (o.truncateLast && f == o.files - 1) {
            const size_t cut =
                bytes.size() * 7 / 10 / TsMuxer::kPacketSize * TsMuxer::kPacketSize + 97;
            bytes.resize(std::min(cut, bytes.size() - 1));
            stats.truncated = true;
        }
        stats.bytes = static_cast<int64_t>(bytes.size());
        if (result.error = WriteFile(stats.path, bytes, stats.endTime); !result.error.empty()) {
            return result;
        }
        result.files.push_back(stats.path);
        result.stats.push_back(std::move(stats));
    }
    result.ok = true;
    return result;
}

}  // namespace velmaro
