// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The recording list of a camera folder: each recording file with its number, the span of time it
// covers and its read-only flag, sorted by number. The time span comes from the file's
// modification time (when the camera closed it) and the last video time stamp near its end, so
// listing a card reads only a few blocks at the end of each file.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/message_sink.h"
#include "platform/mount_table.h"

namespace velmaro {

struct RecordingEntry {
    int32_t number = -1;  // RecordingNumber of the path; -1 when the name carries none
    std::string path;
    int64_t startTime = 0;  // endTime minus RecordingDuration, seconds since 1970
    int64_t endTime = 0;    // LastWriteTime
    int32_t readOnly = 0;   // 1 when the owner may not write the file or its mode is unreadable
};

// The modification time as calendar seconds (CameraClock): on a FAT or exFAT card the camera's
// own wall clock, so a recording made at 10:15 shows 10:15 in any time zone; elsewhere the time
// read as local calendar time and turned back into seconds with daylight saving decided by
// mktime. The mount comes from `mountInfoPath`. 0 when the file's attributes cannot be read.
int64_t LastWriteTime(const std::string& path, const std::string& mountInfoPath = kSelfMountInfo);

// Whole seconds of the presentation time of the last video PES start found walking backward from
// the end of the file, the way the reader steps backward. The video PID comes from the file's PMT
// when its first blocks hold one, else the camera's 0x1011. 0 for a file that cannot be opened,
// is not a regular file, is 16,384 bytes or shorter, or holds no usable video time.
int32_t RecordingDuration(const std::string& path);
// The same walk's time in seconds with its fraction: the time stamp the file time stands for.
double LastVideoTime(const std::string& path);

// Where a moment of the card is recorded: the file holding `time`, or after a gap the next file
// from its start, with the share of that file's duration before the moment (0..999). Empty
// past the last file.
struct RecordingMoment {
    std::string path;
    int32_t perMille = 0;
};
std::optional<RecordingMoment> FindRecordingMoment(const std::vector<RecordingEntry>& entries,
                                                   int64_t time);

// The share of a recording's `duration` (seconds) that lies before `into` seconds of it, in
// per mille (0..999): how a moment becomes a place in its file, which the reader then finds at
// that share of the file's size.
int32_t PerMilleOfDuration(double into, double duration);

// The byte the player starts reading at for the moment `seconds` into the recording at `path`:
// PerMilleOfDuration of RecordingDuration, of the file's size. Empty, with the reason (naming
// the file) in `error`, when the file cannot be read, holds no timed video or ends before the
// moment.
std::optional<int64_t> PositionAtTime(const std::string& path, double seconds, std::string& error);

// The recording files (".ts" in any case, regular files only) of `folder` (ending in '/', or empty
// for the working folder) in the order the file system lists them, their times as LastWriteTime
// gives them. Checks `running` before each file, so the file being read when it is cleared is the
// last one listed.
std::vector<RecordingEntry> ScanFolder(const std::string& folder,
                                       const std::atomic<int32_t>& running,
                                       const std::string& mountInfoPath = kSelfMountInfo);

// RecordingIndex: the recording list of one folder, filled on the owner's thread (ScanNow) or on a
// finder thread of its own (Load). A scan builds its list privately and hands the finished list
// over under a lock, so a reader sees the previous list or the complete new one, never one being
// built. A scan cut short by Stop hands over nothing.
class RecordingIndex {
  public:
    // `panel` receives kMsgTelemetry when a background scan begins and kMsgReset when its list is
    // ready; it is not owned and may be null.
    explicit RecordingIndex(MessageSink* panel = nullptr);
    ~RecordingIndex();
    RecordingIndex(const RecordingIndex&) = delete;
    RecordingIndex& operator=(const RecordingIndex&) = delete;

    // Owner thread only. Empties the list and lists the folder of `path` on the finder thread;
    // false when the thread could not be created.
    bool Load(const std::string& path);
    bool Start();
    // Clears running and waits for the finder without a time-out; a scan notices between files.
    void Stop();
    // The finder's body; the thread calls it.
    int32_t Run();
    // Owner thread only: lists the folder of `path` on the calling thread, without messages.
    void ScanNow(const std::string& path);
    // Owner thread only: adds a list built elsewhere (a card's list handed to a channel).
    void Append(const std::vector<RecordingEntry>& entries);

    // Any thread.
    std::vector<RecordingEntry> Entries() const;
    // Calls fn(const std::vector<RecordingEntry>&) under the list's lock and returns its result;
    // fn must not keep references into the list.
    template <typename Fn>
    auto WithEntries(Fn&& fn) const {
        std::lock_guard lock(entriesMutex_);
        return std::forward<Fn>(fn)(std::as_const(entries_));
    }
    bool IsRunning() const { return running_.load(); }

  private:
    void Publish(std::vector<RecordingEntry> list);
    void PostToPanel(uint32_t msg);

    MessageSink* const panel_;
    std::thread thread_;  // owner thread only
    // Set by the owner in Start and ScanNow; cleared by the owner in Stop and by the finder when
    // Run returns. Read by the scan between files.
    std::atomic<int32_t> running_{0};
    std::string path_;  // written by the owner before the finder starts; read by the finder
    mutable std::mutex entriesMutex_;
    std::vector<RecordingEntry> entries_;  // guarded by entriesMutex_; replaced whole by a scan
};

}  // namespace velmaro
