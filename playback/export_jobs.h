// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// ExportJobs: what the session writes in the background for the user: the clip between the
// marks, a track of the telemetry, and a copy of the playing file. Each runs on its own worker
// and ends with a typed call on the session's listeners, on the user-interface thread through
// the poster the user interface lends. Every member is for the user-interface thread only,
// except the workers' callbacks, which go through the poster under its lock.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "export/clip_export.h"
#include "export/file_copy.h"
#include "export/track_export.h"
#include "platform/task_poster.h"

namespace velmaro {

class PlaybackListener;

class ExportJobs {
  public:
    explicit ExportJobs(const std::vector<PlaybackListener*>& listeners);
    // Stops a running export (its unfinished output removed) and waits for a copy to end.
    ~ExportJobs();
    ExportJobs(const ExportJobs&) = delete;
    ExportJobs& operator=(const ExportJobs&) = delete;

    // Where the workers' ends and progress go; nullptr drops them from then on (a window
    // being taken apart). From any thread.
    void SetPoster(TaskPoster* poster);

    // Starts writing the clip `request` asks for; an earlier one still running is stopped and
    // its output removed, and its end is not reported. False, with `error` saying why, when
    // it could not begin.
    bool StartClip(const ExportRequest& request, std::string& error);
    bool ClipRunning() const { return clipRunning_; }
    // Stops the running clip export, which removes its unfinished output; its end, kStopped,
    // reaches the listeners as any end does.
    void StopClip();
    // Starts the track export; false when one is running or its thread cannot start.
    bool StartTrack(const TrackRequest& request);
    bool TrackRunning() const { return track_ && track_->IsRunning(); }
    // Copies `source` to `target` whole; false while another copy runs.
    bool StartCopy(const std::string& source, const std::string& target);
    bool CopyRunning() const { return copyRunning_; }

  private:
    void Post(std::function<void()> task);
    void EndClip(uint64_t serial, const ExportOutcome& outcome);
    void ShowProgress(uint64_t serial);

    const std::vector<PlaybackListener*>& listeners_;
    // Posted calls hold a weak reference: one still queued when this goes does nothing.
    std::shared_ptr<ExportJobs*> self_ = std::make_shared<ExportJobs*>(this);
    std::mutex posterLock_;
    TaskPoster* poster_ = nullptr;  // guarded by posterLock_
    std::unique_ptr<ClipExport> clip_;
    uint64_t clipSerial_ = 0;  // which clip's end and progress are still wanted
    bool clipRunning_ = false;
    // Written by the clip's worker, taken by the user-interface thread: the latest progress
    // only, one posted call at a time however often the worker reports.
    std::atomic<int64_t> clipDone_{0};
    std::atomic<int64_t> clipToDo_{0};
    std::atomic<bool> progressPosted_{false};
    std::unique_ptr<TrackExport> track_;  // the last track export; replaced by the next
    std::thread copy_;                    // joined before the next and on destruction
    bool copyRunning_ = false;
};

}  // namespace velmaro
