// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/export_jobs.h"

#include <utility>

#include "playback/playback_listener.h"

namespace velmaro {

ExportJobs::ExportJobs(const std::vector<PlaybackListener*>& listeners) : listeners_(listeners) {}

ExportJobs::~ExportJobs() {
    SetPoster(nullptr);
    clip_.reset();
    track_.reset();
    if (copy_.joinable()) {
        copy_.join();
    }
}

void ExportJobs::SetPoster(TaskPoster* poster) {
    std::lock_guard guard(posterLock_);
    poster_ = poster;
}

// From the workers: the call runs later on the user-interface thread, if this still exists.
void ExportJobs::Post(std::function<void()> task) {
    std::weak_ptr<ExportJobs*> self = self_;
    std::lock_guard guard(posterLock_);
    if (poster_) {
        poster_->Post([self = std::move(self), task = std::move(task)] {
            if (self.lock()) {
                task();
            }
        });
    }
}

bool ExportJobs::StartClip(const ExportRequest& request, std::string& error) {
    // The earlier export stops and removes its temporary file; its end is no longer wanted.
    clip_.reset();
    clipRunning_ = false;
    const uint64_t serial = ++clipSerial_;
    clip_ = std::make_unique<ClipExport>(
        [this, serial](const ExportOutcome& outcome) {
            Post([this, serial, outcome] { EndClip(serial, outcome); });
        },
        [this, serial](int64_t done, int64_t toDo) {
            clipDone_.store(done, std::memory_order_relaxed);
            clipToDo_.store(toDo, std::memory_order_relaxed);
            if (!progressPosted_.exchange(true)) {
                Post([this, serial] { ShowProgress(serial); });
            }
        });
    if (!clip_->Begin(request)) {
        error = clip_->LastError();
        clip_.reset();
        return false;
    }
    clipRunning_ = true;
    return true;
}

void ExportJobs::StopClip() {
    if (clip_) {
        clip_->Stop();
    }
}

void ExportJobs::ShowProgress(uint64_t serial) {
    progressPosted_.store(false);
    if (serial != clipSerial_ || !clipRunning_) {
        return;
    }
    const int64_t done = clipDone_.load(std::memory_order_relaxed);
    const int64_t toDo = clipToDo_.load(std::memory_order_relaxed);
    for (PlaybackListener* l : listeners_) {
        l->OnExportProgress(done, toDo);
    }
}

void ExportJobs::EndClip(uint64_t serial, const ExportOutcome& outcome) {
    if (serial != clipSerial_) {
        return;  // a replaced export's end: the one running now is still running
    }
    clipRunning_ = false;
    for (PlaybackListener* l : listeners_) {
        l->OnExportEnd(outcome);
    }
}

bool ExportJobs::StartTrack(const TrackRequest& request) {
    if (TrackRunning()) {
        return false;
    }
    track_ = std::make_unique<TrackExport>([this](const TrackOutcome& outcome) {
        Post([this, outcome] {
            for (PlaybackListener* l : listeners_) {
                l->OnTrackEnd(outcome);
            }
        });
    });
    if (!track_->Start(request)) {
        track_.reset();
        return false;
    }
    return true;
}

bool ExportJobs::StartCopy(const std::string& source, const std::string& target) {
    if (copyRunning_) {
        return false;
    }
    if (copy_.joinable()) {
        copy_.join();
    }
    copyRunning_ = true;
    // Copying a recording takes seconds on a card: never on the user-interface thread.
    copy_ = std::thread([this, source, target] {
        const FileCopyResult result = CopyWholeFile(source, target);
        Post([this, target, result] {
            copyRunning_ = false;
            for (PlaybackListener* l : listeners_) {
                l->OnCopyEnd(target, result);
            }
        });
    });
    return true;
}

}  // namespace velmaro
