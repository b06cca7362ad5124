// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/probe/probe_output.h"

#include <cstdarg>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace velmaro {
namespace {

constexpr const char* kNone = "-";

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

std::string Format(const char* format, ...) {
    char buffer[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    return buffer;
}

std::string Number(uint64_t value) {
    return std::to_string(value);
}

std::string Pid(int pid) {
    return pid == kNoPid ? kNone : Format("0x%04X", pid);
}

std::string Seconds(const std::optional<double>& seconds) {
    return seconds ? Format("%.6f", *seconds) : kNone;
}

// Frames per second to a thousandth, without trailing zeros: "30", "25", "29.97", "23.976".
std::string Rate(double framesPerSecond) {
    std::string text = Format("%.3f", framesPerSecond);
    text.erase(text.find_last_not_of('0') + 1);
    if (text.back() == '.') {
        text.pop_back();
    }
    return text;
}

std::string Yes(bool value) {
    return value ? "yes" : "no";
}

// Fields of a fix for the columns; "-" when there is none.
std::string Coordinate(const std::optional<GpsRecord>& fix, double GpsRecord::*field) {
    return fix ? Format("%.7f", (*fix).*field) : kNone;
}

std::string Measure(const std::optional<GpsRecord>& fix, double GpsRecord::*field) {
    return fix ? Format("%.2f", (*fix).*field) : kNone;
}

// "1b:0x1011,0f:0x1100" for the table, "type 0x1B PID 0x1011, ..." for people.
std::string StreamList(const ProbeReport& r, bool forTable) {
    std::string text;
    for (const StreamEntry& s : r.streams) {
        const std::string type =
            forTable ? Format("%02x:", s.streamType) : Format("type 0x%02X PID ", s.streamType);
        text += (text.empty() ? "" : (forTable ? "," : ", ")) + type + Pid(s.pid);
    }
    return text.empty() ? kNone : text;
}

// Tabs and line ends would break the table; a backslash escapes them.
std::string TsvField(std::string_view text) {
    std::string field;
    for (char c : text) {
        switch (c) {
            case '\t':
                field += "\\t";
                break;
            case '\n':
                field += "\\n";
                break;
            case '\r':
                field += "\\r";
                break;
            case '\\':
                field += "\\\\";
                break;
            default:
                field += c;
        }
    }
    return field;
}

struct Column {
    const char* name;
    std::function<std::string(const ProbeReport&)> value;
};

const std::vector<Column>& Columns() {
    using R = const ProbeReport&;
    static const std::vector<Column> columns = {
        {"path", [](R r) { return TsvField(r.path); }},
        {"size", [](R r) { return std::to_string(r.size); }},
        {"program", [](R r) { return r.pmtPid == kNoPid ? kNone : Number(r.programNumber); }},
        {"pmt_pid", [](R r) { return Pid(r.pmtPid); }},
        {"pmt_streams", [](R r) { return StreamList(r, true); }},
        {"video_pid", [](R r) { return Pid(r.videoPid); }},
        {"audio_pid", [](R r) { return Pid(r.audioPid); }},
        {"data_pid", [](R r) { return Pid(r.dataPid); }},
        {"packets", [](R r) { return Number(r.packets); }},
        {"garbage_bytes", [](R r) { return Number(r.garbageBytes); }},
        {"tail_bytes", [](R r) { return Number(r.tailBytes); }},
        {"error_packets", [](R r) { return Number(r.errorPackets); }},
        {"video_pes", [](R r) { return Number(r.pesStarted.video); }},
        {"audio_pes", [](R r) { return Number(r.pesStarted.audio); }},
        {"data_pes", [](R r) { return Number(r.pesStarted.telemetry); }},
        {"key_frames", [](R r) { return Number(r.keyFrames); }},
        {"inter_frames", [](R r) { return Number(r.interFrames); }},
        {"audio_frames", [](R r) { return Number(r.audioFrames); }},
        {"telemetry_texts", [](R r) { return Number(r.telemetryTexts); }},
        {"gps_fixes", [](R r) { return Number(r.gpsFixes); }},
        {"end_video", [](R r) { return Number(r.completedAtEnd.video); }},
        {"end_audio", [](R r) { return Number(r.completedAtEnd.audio); }},
        {"end_telemetry", [](R r) { return Number(r.completedAtEnd.telemetry); }},
        {"drop_video", [](R r) { return Number(r.drops.oversizeVideoFrames); }},
        {"drop_audio", [](R r) { return Number(r.drops.oversizeAudioFrames); }},
        {"drop_pes", [](R r) { return Number(r.drops.oversizePes); }},
        {"cut_telemetry", [](R r) { return Number(r.drops.cutTelemetryTexts); }},
        {"frame_rate", [](R r) { return Rate(r.frameRate); }},
        {"rate_measured", [](R r) { return Yes(r.rateMeasured); }},
        {"first_pts", [](R r) { return Seconds(r.firstPts); }},
        {"last_pts", [](R r) { return Seconds(r.lastPts); }},
        {"first_lat", [](R r) { return Coordinate(r.firstFix, &GpsRecord::latitude); }},
        {"first_lon", [](R r) { return Coordinate(r.firstFix, &GpsRecord::longitude); }},
        {"first_kmh", [](R r) { return Measure(r.firstFix, &GpsRecord::speed); }},
        {"first_course", [](R r) { return Measure(r.firstFix, &GpsRecord::course); }},
        {"last_lat", [](R r) { return Coordinate(r.lastFix, &GpsRecord::latitude); }},
        {"last_lon", [](R r) { return Coordinate(r.lastFix, &GpsRecord::longitude); }},
        {"last_kmh", [](R r) { return Measure(r.lastFix, &GpsRecord::speed); }},
        {"last_course", [](R r) { return Measure(r.lastFix, &GpsRecord::course); }},
    };
    return columns;
}

void PrintLine(std::FILE* out, const char* label, const std::string& text) {
    std::fprintf(out, "  %-16s %s\n", label, text.c_str());
}

std::string FixText(const std::optional<GpsRecord>& fix) {
    if (!fix) {
        return "none";
    }
    return Format("lat %.7f, lon %.7f, %.2f km/h, course %.2f", fix->latitude, fix->longitude,
                  fix->speed, fix->course);
}

std::string TakenText(const ProbeReport& r) {
    if (!r.pidsKnown) {
        return "none (no PAT and PMT found)";
    }
    return "video " + Pid(r.videoPid) + ", audio " + Pid(r.audioPid) + ", data " + Pid(r.dataPid);
}

void PrintTables(std::FILE* out, const ProbeReport& r) {
    PrintLine(out, "PAT",
              r.pmtPid == kNoPid
                  ? "none"
                  : Format("program %d -> PMT PID ", r.programNumber) + Pid(r.pmtPid));
    PrintLine(out, "PMT", r.streams.empty() ? "none" : StreamList(r, false));
    PrintLine(out, "streams taken", TakenText(r));
}

void PrintCounts(std::FILE* out, const ProbeReport& r) {
    PrintLine(out, "packets",
              Number(r.packets) + " (" + Number(r.garbageBytes) + " garbage bytes skipped, " +
                  Number(r.tailBytes) + " bytes left at the end, " + Number(r.errorPackets) +
                  " with transport error)");
    PrintLine(out, "video",
              Number(r.VideoFrames()) + " frames: " + Number(r.keyFrames) + " key, " +
                  Number(r.interFrames) + " inter (" + Number(r.pesStarted.video) +
                  " PES started)");
    PrintLine(out, "audio",
              Number(r.audioFrames) + " frames (" + Number(r.pesStarted.audio) + " PES started)");
    PrintLine(out, "telemetry",
              Number(r.telemetryTexts) + " texts, " + Number(r.gpsFixes) + " with a GPS fix (" +
                  Number(r.pesStarted.telemetry) + " PES started)");
    PrintLine(out, "drops",
              "oversize video " + Number(r.drops.oversizeVideoFrames) + ", oversize audio " +
                  Number(r.drops.oversizeAudioFrames) + ", oversize PES " +
                  Number(r.drops.oversizePes) + ", cut telemetry " +
                  Number(r.drops.cutTelemetryTexts));
}

void PrintEndOfFile(std::FILE* out, const ProbeReport& r) {
    std::fprintf(out,
                 "  completed at end of file: video %llu, audio %llu, telemetry %llu\n"
                 "    (counted above; a live reader completes a PES only when the next one of\n"
                 "    its stream starts, so it delivers these with the next file, or never\n"
                 "    after the last one)\n",
                 static_cast<unsigned long long>(r.completedAtEnd.video),
                 static_cast<unsigned long long>(r.completedAtEnd.audio),
                 static_cast<unsigned long long>(r.completedAtEnd.telemetry));
}

void PrintTimes(std::FILE* out, const ProbeReport& r) {
    PrintLine(out, "frame rate",
              Rate(r.frameRate) +
                  (r.rateMeasured ? " fps (measured)" : " fps (not measured: the default)"));
    PrintLine(out, "video time",
              r.firstPts ? Seconds(r.firstPts) + " s to " + Seconds(r.lastPts) + " s" : "none");
    PrintLine(out, "first GPS fix", FixText(r.firstFix));
    PrintLine(out, "last GPS fix", FixText(r.lastFix));
}

}  // namespace

void ProbeTotals::Add(const ProbeReport& report) {
    ++files;
    packets += report.packets;
    garbageBytes += report.garbageBytes;
    keyFrames += report.keyFrames;
    interFrames += report.interFrames;
    audioFrames += report.audioFrames;
    telemetryTexts += report.telemetryTexts;
}

void PrintTsvHeader(std::FILE* out) {
    std::string line;
    for (const Column& c : Columns()) {
        line += (line.empty() ? "" : "\t") + std::string(c.name);
    }
    std::fprintf(out, "%s\n", line.c_str());
}

void PrintTsvRow(std::FILE* out, const ProbeReport& report) {
    std::string line;
    bool first = true;
    for (const Column& c : Columns()) {
        line += (first ? "" : "\t") + c.value(report);
        first = false;
    }
    std::fprintf(out, "%s\n", line.c_str());
}

void PrintText(std::FILE* out, const ProbeReport& report) {
    std::fprintf(out, "%s\n", report.path.c_str());
    PrintLine(out, "size", std::to_string(report.size) + " bytes");
    PrintTables(out, report);
    PrintCounts(out, report);
    PrintEndOfFile(out, report);
    PrintTimes(out, report);
    std::fprintf(out, "\n");
}

void PrintSummary(std::FILE* out, const ProbeTotals& t) {
    std::fprintf(out,
                 "%llu %s probed, %llu failed: %llu packets, %llu garbage bytes, %llu video "
                 "frames (%llu key), %llu audio frames, %llu telemetry texts\n",
                 static_cast<unsigned long long>(t.files), t.files == 1 ? "file" : "files",
                 static_cast<unsigned long long>(t.failed),
                 static_cast<unsigned long long>(t.packets),
                 static_cast<unsigned long long>(t.garbageBytes),
                 static_cast<unsigned long long>(t.keyFrames + t.interFrames),
                 static_cast<unsigned long long>(t.keyFrames),
                 static_cast<unsigned long long>(t.audioFrames),
                 static_cast<unsigned long long>(t.telemetryTexts));
}

}  // namespace velmaro
