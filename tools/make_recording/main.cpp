// make-recording: writes a camera-like sample card (see recording_writer.h).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tools/make_recording/recording_writer.h"

namespace {

constexpr const char* kUsage = R"(Usage: make-recording --out DIR [options]
Writes DIR/DCIM/100MEDIA/<PREFIX>_<NNNN>.ts: MPEG-2 TS files with H.264 video (libx264),
AAC-LC mono 48 kHz audio and a telemetry text stream (G-sensor + $GPRMC) once a second.

  --out DIR            card root to write into (required)
  --files N            number of files (default 3)
  --seconds S          length of each file in seconds (default 4)
  --fps N              frames per second, 1 to 120: 24, 25, 30, 50, 60, ... (default 30)
  --gop N              pictures per group of pictures: 15, 30, 60, ... (default 15)
  --size WxH           picture size, even numbers (default 1280x720)
  --bars               still 75 % colour bars (BT.601, limited range) instead of the
                       moving picture; the picture number still counts along the top
  --codec h264|hevc    video coding: H.264 (libx264, stream type 0x1B, the default) or
                       H.265 (libx265, stream type 0x24)
  --footage            camera-like footage instead of the moving picture: moving detail
                       and sensor noise at a camera's bit rate (11 Mb/s at 1920x1080,
                       30 fps), decoding as slowly as real recordings do
  --prefix P           file name prefix (default REC)
  --first-number N     number of the first file (default 1)
  --south, --west      start in the southern / western hemisphere
  --start "YYYY-MM-DD HH:MM:SS"
                       local start time of the first file (default 2026-06-12 08:30:00)
  --truncate-last      cut the last file in the middle of a packet, as in a power cut
  --garbage            insert runs of garbage bytes between packets in each file
  --no-telemetry N|all file number N (repeatable) or every file without telemetry stream
  --continuous-pts     let the time stamps run on across files (default: each file
                       starts again at 1 s, as the camera does)
  --g-spike S          the G-sensor sample at second S of the recording jumps by
                       about 3 g, as in a knock (repeatable)
  --clock-offset S     the camera's clock is S seconds ahead of GPS time (negative:
                       behind): the sentences' UTC times are shifted by -S
  --seed N             seed for the route details, sensor noise and garbage (default 1)
  --help               show this text
)";

bool ParseInt(const char* text, int* value) {
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || v < -1000000 || v > 1000000000) {
        return false;
    }
    *value = static_cast<int>(v);
    return true;
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "make-recording: %s (see --help)\n", message.c_str());
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    velmaro::RecordingOptions o;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        auto number = [&](int* out) {
            const char* v = value();
            return v != nullptr && ParseInt(v, out);
        };
        bool ok = true;
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--out") {
            const char* v = value();
            ok = v != nullptr;
            o.outRoot = ok ? v : "";
        } else if (arg == "--files") {
            ok = number(&o.files);
        } else if (arg == "--seconds") {
            ok = number(&o.secondsPerFile);
        } else if (arg == "--fps") {
            ok = number(&o.fps);
        } else if (arg == "--gop") {
            ok = number(&o.gop);
        } else if (arg == "--size") {
            const char* v = value();
            char tail = 0;
            ok = v != nullptr && std::sscanf(v, "%dx%d%c", &o.width, &o.height, &tail) == 2;
        } else if (arg == "--bars") {
            o.pattern = velmaro::PicturePattern::kColourBars;
        } else if (arg == "--codec") {
            const char* v = value();
            ok = v != nullptr && (std::strcmp(v, "h264") == 0 || std::strcmp(v, "hevc") == 0);
            if (ok) {
                o.codec = std::strcmp(v, "hevc") == 0 ? velmaro::VideoCodec::kHevc
                                                      : velmaro::VideoCodec::kH264;
            }
        } else if (arg == "--footage") {
            o.pattern = velmaro::PicturePattern::kFootage;
        } else if (arg == "--prefix") {
            const char* v = value();
            ok = v != nullptr;
            o.prefix = ok ? v : "";
        } else if (arg == "--first-number") {
            ok = number(&o.firstNumber);
        } else if (arg == "--south") {
            o.south = true;
        } else if (arg == "--west") {
            o.west = true;
        } else if (arg == "--start") {
            const char* v = value();
            o.startTime = v != nullptr ? velmaro::ParseLocalTime(v) : -1;
            ok = o.startTime >= 0;
        } else if (arg == "--truncate-last") {
            o.truncateLast = true;
        } else if (arg == "--garbage") {
            o.garbage = true;
        } else if (arg == "--continuous-pts") {
            o.restartTimestamps = false;
        } else if (arg == "--no-telemetry") {
            const char* v = value();
            int n = 0;
            ok = v != nullptr && (std::strcmp(v, "all") == 0 || ParseInt(v, &n));
            if (ok && std::strcmp(v, "all") == 0) {
                o.telemetry = false;
            } else if (ok) {
                o.filesWithoutTelemetry.push_back(n);
            }
        } else if (arg == "--g-spike") {
            int second = 0;
            ok = number(&second) && second >= 0;
            o.gSpikes.push_back(second);
        } else if (arg == "--clock-offset") {
            int offset = 0;
            ok = number(&offset);
            o.clockOffset = offset;
        } else if (arg == "--seed") {
            int seed = 0;
            ok = number(&seed);
            o.seed = static_cast<uint32_t>(seed);
        } else {
            return Fail("unknown option " + arg);
        }
        if (!ok) {
            return Fail("missing or bad value for " + arg);
        }
    }
    if (o.outRoot.empty()) {
        return Fail("--out DIR is required");
    }
    const velmaro::RecordingResult result = velmaro::WriteRecording(o);
    if (!result.ok) {
        std::fprintf(stderr, "make-recording: %s\n", result.error.c_str());
        return 1;
    }
    for (const velmaro::FileStats& s : result.stats) {
        std::printf(
            "%s: %d video frames (%d key), %d audio frames, %zu telemetry texts, %lld bytes%s\n",
            s.path.c_str(), s.videoFrames, s.keyFrames, s.audioFrames, s.telemetry.size(),
            static_cast<long long>(s.bytes), s.truncated ? " (truncated)" : "");
    }
    return 0;
}
