// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The navigator's background indexing of a day: every recording of the day is read once on a
// worker thread for its incidents, its damage and its camera clock, and each file's findings are
// handed to the owner as soon as that file is done, so the first marks appear while later files
// are still being read.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/incident_detect.h"
#include "app/recording_day.h"
#include "app/recording_scan.h"

namespace velmaro {

struct RecordingFindings {
    RecordingEntry entry;
    bool readable = false;  // false: the file could not be read; nothing else is known
    int64_t size = 0;       // bytes read
    std::vector<Incident> incidents;
    bool damaged = false;
    bool cutEnd = false;
    uint64_t resyncs = 0;
    uint64_t lostPackets = 0;            // continuity gaps and packets marked damaged
    std::optional<int64_t> clockOffset;  // camera clock minus GPS time, seconds
};

// What one scanned file tells the navigator.
RecordingFindings FindingsOf(const RecordingEntry& entry, const RecordingScan& scan,
                             double threshold);

// The moment of the card (as the recording list counts time) an incident happened at, and its
// place in its file by size, as the seek bar counts (0..999).
int64_t IncidentTime(const RecordingEntry& entry, const Incident& incident);
int IncidentPerMille(const RecordingFindings& findings, const Incident& incident);

// The recordings of `list` that overlap `date` (00:00:00..23:59:59), in list order.
std::vector<RecordingEntry> EntriesOfDay(CivilDate date, const std::vector<RecordingEntry>& list);

// One scan at a time, owned by one thread (the navigator's). Stop: set the flag, join; a file
// being read is abandoned between blocks and reported by nobody.
class DayScanner {
  public:
    // Called on the scan thread, once per file read (readable or not), then `done` once when
    // the whole list was read; never after Stop returned.
    using Report = std::function<void(RecordingFindings)>;
    using Done = std::function<void()>;
    DayScanner(Report report, Done done);
    ~DayScanner();
    DayScanner(const DayScanner&) = delete;
    DayScanner& operator=(const DayScanner&) = delete;

    // Stops any scan under way, then reads `entries` in order.
    void Start(std::vector<RecordingEntry> entries, double threshold);
    void Stop();
    bool Running() const { return running_.load(); }

  private:
    void Run(const std::vector<RecordingEntry>& entries, double threshold);

    const Report report_;
    const Done done_;
    std::thread thread_;                // owner thread only
    std::atomic<bool> stop_{false};     // set by the owner, read by the scan between blocks
    std::atomic<bool> running_{false};  // set by the owner in Start, cleared by the scan at its end
};

}  // namespace velmaro
