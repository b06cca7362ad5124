// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/day_scan.h"

#include <cmath>

#include "app/clock_check.h"

namespace velmaro {
namespace {

constexpr int kPerMille = 1000;
constexpr int kLastPerMille = kPerMille - 1;
constexpr int kLastHour = 23;
constexpr int kLastMinute = 59;
constexpr int kLastSecond = 59;

}  // namespace

RecordingFindings FindingsOf(const RecordingEntry& entry, const RecordingScan& scan,
                             double threshold) {
    RecordingFindings f;
    f.entry = entry;
    f.readable = true;
    f.size = scan.size;
    f.incidents = FindIncidents(scan.samples, threshold);
    f.damaged = scan.Damaged();
    f.cutEnd = scan.CutEnd();
    f.resyncs = scan.resyncs;
    f.lostPackets = scan.lostPackets + scan.errorPackets;
    if (scan.firstFix) {
        const int64_t camera = entry.startTime + std::llround(scan.firstFix->seconds);
        f.clockOffset = CameraClockOffset(camera, scan.firstFix->utcMs);
    }
    return f;
}

int64_t IncidentTime(const RecordingEntry& entry, const Incident& incident) {
    return entry.startTime + static_cast<int64_t>(std::floor(incident.seconds));
}

int IncidentPerMille(const RecordingFindings& findings, const Incident& incident) {
    const int64_t size = findings.size;
    if (size <= 0 || incident.filePos <= 0) {
        return 0;
    }
    const int64_t share = incident.filePos * kPerMille / size;
    return static_cast<int>(share > kLastPerMille ? kLastPerMille : share);
}

std::vector<RecordingEntry> EntriesOfDay(CivilDate date, const std::vector<RecordingEntry>& list) {
    const int64_t first = LocalTimeOf(date, 0, 0, 0);
    const int64_t last = LocalTimeOf(date, kLastHour, kLastMinute, kLastSecond);
    std::vector<RecordingEntry> day;
    for (const RecordingEntry& e : list) {
        if (e.endTime >= first && e.startTime <= last) {
            day.push_back(e);
        }
    }
    return day;
}

DayScanner::DayScanner(Report report, Done done)
    : report_(std::move(report)), done_(std::move(done)) {}

DayScanner::~DayScanner() {
    Stop();
}

void DayScanner::Start(std::vector<RecordingEntry> entries, double threshold) {
    Stop();
    stop_.store(false);
    running_.store(true);
    thread_ = std::thread([this, list = std::move(entries), threshold] {
        Run(list, threshold);
        running_.store(false);
    });
}

void DayScanner::Stop() {
    stop_.store(true);
    if (thread_.joinable()) {
        thread_.join();
    }
    running_.store(false);
}

void DayScanner::Run(const std::vector<RecordingEntry>& entries, double threshold) {
    for (const RecordingEntry& entry : entries) {
        RecordingScan scan;
        std::string error;
        const bool read = ScanRecordingFile(entry.path, stop_, scan, error);
        if (stop_.load()) {
            return;
        }
        RecordingFindings findings;
        if (read) {
            findings = FindingsOf(entry, scan, threshold);
        } else {
            findings.entry = entry;
        }
        report_(std::move(findings));
    }
    if (!stop_.load()) {
        done_();
    }
}

}  // namespace velmaro
