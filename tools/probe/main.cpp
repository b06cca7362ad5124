// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// velmaro-probe: shows what the player's demultiplexer makes of recording files (see --help).
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

#include "tools/common/command_line.h"
#include "tools/make_recording/recording_writer.h"
#include "tools/probe/probe_output.h"
#include "tools/probe/probe_paths.h"
#include "tools/probe/recording_probe.h"
#include "tools/probe/recording_summary.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitPathFailed = 1;

constexpr const char* kDescription =
    "Shows what the player's demultiplexer makes of recording files.";

constexpr const char* kFooter = R"(
Reads recording files in 188-byte packets on a grid of 0x47 sync bytes (garbage skipped up to
the next sync byte), as the player's reader takes them, routes the packets through the player's
demultiplexer into its frame queues and telemetry hand-over, and reports per file: the PAT and
PMT, packet counts, key, inter and audio frames, telemetry texts, drops, the measured frame rate,
the first and last video time and the first and last GPS fix.

Each PATH is a .ts file, a card root (every .ts file below DCIM/*MEDIA) or another folder (the
.ts files in it); names match .ts in any case. --make-sample DIR writes a sample card (3 files
of 4 s) to DIR and probes it too. Without PATH or --make-sample the usage is shown.

Exit status: 0 when every file was probed, 1 when a path was missing or unreadable or the
sample could not be written, 2 on bad options or none at all.)";

struct Options {
    velmaro::ProbeFormat format = velmaro::ProbeFormat::kText;
    std::string sampleDir;
    std::vector<std::string> paths;
};

bool ParseFormat(std::string_view value, velmaro::ProbeFormat& format) {
    if (value == "text") {
        format = velmaro::ProbeFormat::kText;
    } else if (value == "tsv") {
        format = velmaro::ProbeFormat::kTsv;
    } else {
        return false;
    }
    return true;
}

void AddOptions(velmaro::CommandLine& commandLine, Options& o) {
    commandLine.SetUsage(
        "velmaro-probe [options] PATH...\n"
        "       velmaro-probe [options] --make-sample DIR [PATH...]");
    commandLine.SetFooter(kFooter);
    commandLine.AddParsed(
        "--format", [&o](const std::string& text) { return ParseFormat(text, o.format); },
        "text|tsv",
        "readable report (default), or one tab-separated line per file under a header of "
        "column names (messages and the summary then go to stderr)");
    CLI::App& app = commandLine.Parser();
    commandLine.AddOtherGps();
    app.add_option("--make-sample", o.sampleDir,
                   "write the sample card to DIR (created if needed) and probe it too")
        ->check(velmaro::NonEmpty())
        ->type_name("DIR");
    app.add_option("PATH", o.paths, "a .ts file, a card root or another folder");
}

// Writes the sample card; false after saying why.
bool MakeSample(const std::string& folder, std::FILE* messages) {
    velmaro::RecordingOptions options;
    options.outRoot = folder;
    std::fprintf(messages, "Writing a sample card (%d files of %d s) to %s ...\n", options.files,
                 options.secondsPerFile, folder.c_str());
    std::fflush(messages);
    const velmaro::RecordingResult result = velmaro::WriteRecording(options);
    if (!result.ok) {
        std::fprintf(stderr, "velmaro-probe: cannot write the sample card to %s: %s\n",
                     folder.c_str(), result.error.c_str());
        return false;
    }
    std::fprintf(messages, "Sample card written to %s\n\n", folder.c_str());
    return true;
}

// Probes every file and prints as it goes; returns the number of files that failed.
uint64_t ProbeFiles(const std::vector<std::string>& files, velmaro::ProbeFormat format,
                    velmaro::ProbeTotals& totals) {
    const bool tsv = format == velmaro::ProbeFormat::kTsv;
    if (tsv) {
        velmaro::PrintTsvHeader(stdout);
    }
    uint64_t failed = 0;
    for (const std::string& file : files) {
        velmaro::ProbeReport report;
        std::string error;
        if (!velmaro::ProbeRecording(file, report, error)) {
            std::fprintf(stderr, "velmaro-probe: %s\n", error.c_str());
            ++failed;
            continue;
        }
        totals.Add(report);
        if (tsv) {
            velmaro::PrintTsvRow(stdout, report);
        } else {
            velmaro::PrintText(stdout, report);
        }
    }
    return failed;
}

}  // namespace

int main(int argc, char** argv) {
    // Only the first picture is decoded, for its size; a damaged one is no news to report.
    av_log_set_level(AV_LOG_FATAL);
    Options o;
    velmaro::CommandLine commandLine("velmaro-probe", kDescription);
    AddOptions(commandLine, o);
    if (const std::optional<int> status = commandLine.Parse(argc, argv)) {
        return *status;
    }
    if (o.paths.empty() && o.sampleDir.empty()) {
        // A run without a path used to leave a sample card behind in the temp folder.
        return commandLine.FailWithUsage("needs a PATH to probe, or --make-sample DIR");
    }
    std::FILE* messages = o.format == velmaro::ProbeFormat::kTsv ? stderr : stdout;
    if (!o.sampleDir.empty()) {
        if (!MakeSample(o.sampleDir, messages)) {
            return kExitPathFailed;
        }
        o.paths.push_back(o.sampleDir);
    }
    const velmaro::ProbeFileList list = velmaro::CollectProbeFiles(o.paths);
    for (const std::string& error : list.errors) {
        std::fprintf(stderr, "velmaro-probe: %s\n", error.c_str());
    }
    velmaro::ProbeTotals totals;
    totals.failed = list.errors.size() + ProbeFiles(list.files, o.format, totals);
    velmaro::PrintSummary(messages, totals);
    if (o.format == velmaro::ProbeFormat::kText) {
        velmaro::PrintRecordingSummary(stdout, list.files);
    }
    return totals.failed == 0 ? kExitOk : kExitPathFailed;
}
