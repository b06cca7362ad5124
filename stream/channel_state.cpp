// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "stream/channel_state.h"

#include <utility>

namespace velmaro {

void ChannelState::RequestSnapshot(const SnapshotRequest& request) {
    const bool pictureShown = Shown().valid;
    std::lock_guard lock(snapshotMutex_);
    if (!pictureShown) {
        KeepSnapshotResult({SnapshotEnd::kNoPicture, {}, "no picture yet"});
        return;
    }
    if (snapshotRequests_.size() >= kMostWaitingSnapshots) {
        KeepSnapshotResult(
            {SnapshotEnd::kBusy, {}, "the snapshots asked for before are still being saved"});
        return;
    }
    snapshotRequests_.push_back(request);
    snapshotRequested.store(static_cast<int32_t>(snapshotRequests_.size()));
}

std::optional<SnapshotRequest> ChannelState::PendingSnapshot() const {
    std::lock_guard lock(snapshotMutex_);
    if (snapshotRequests_.empty()) {
        return std::nullopt;
    }
    return snapshotRequests_.front();
}

void ChannelState::FinishSnapshot(SnapshotResult result) {
    std::lock_guard lock(snapshotMutex_);
    if (!snapshotRequests_.empty()) {
        snapshotRequests_.pop_front();
    }
    KeepSnapshotResult(std::move(result));
    snapshotRequested.store(static_cast<int32_t>(snapshotRequests_.size()));
}

std::vector<SnapshotResult> ChannelState::TakeSnapshotResults() {
    std::lock_guard lock(snapshotMutex_);
    std::vector<SnapshotResult> results(std::make_move_iterator(snapshotResults_.begin()),
                                        std::make_move_iterator(snapshotResults_.end()));
    snapshotResults_.clear();
    return results;
}

void ChannelState::KeepSnapshotResult(SnapshotResult result) {
    if (snapshotResults_.size() >= kMostKeptSnapshotResults) {
        snapshotResults_.pop_front();
    }
    snapshotResults_.push_back(std::move(result));
}

}  // namespace velmaro
