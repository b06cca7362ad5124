// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Volume arrival: a thread that notices drive roots appearing (a card inserted and mounted) and
// reports them. It wakes when the kernel changes the mount table (POLLPRI on mountinfo) and, where
// asked, on a fixed interval as well, lists the roots present and reports those that are new or
// now hold another file system than before.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "platform/drives.h"
#include "platform/unique_fd.h"

namespace velmaro {

class DriveArrivalWatcher {
  public:
    using RootLister = std::function<std::vector<std::string>()>;
    // Runs on the watcher's thread with the roots that appeared, in name order. It must
    // not call Stop; a GUI marshals the notice to its own thread.
    using ArrivalCallback = std::function<void(const std::vector<std::string>& appeared)>;

    static constexpr std::chrono::milliseconds kNoRecheck{-1};

    struct Config {
        RootLister listRoots;                    // the roots present now
        std::string mountInfo = kSelfMountInfo;  // its changes wake the watcher; empty: none
        // Also looks this often; kNoRecheck to look on mount-table changes only.
        std::chrono::milliseconds recheck = kNoRecheck;
    };

    // What the player watches: with VELMARO_DRIVE_ROOTS set, those of its folders that exist,
    // looked at every kListedRootsRecheck (so creating one simulates a card insertion); else the
    // removable mounts, looked at whenever the mount table changes.
    static Config ForDriveRoots(const DriveSources& sources = {});
    static constexpr std::chrono::milliseconds kListedRootsRecheck{500};

    DriveArrivalWatcher(Config config, ArrivalCallback onArrival);
    ~DriveArrivalWatcher();
    DriveArrivalWatcher(const DriveArrivalWatcher&) = delete;
    DriveArrivalWatcher& operator=(const DriveArrivalWatcher&) = delete;

    // Owner thread only. Takes the roots present now as known (they are not reported) and starts
    // the thread; false when it could not be started.
    bool Start();
    // Owner thread only: wakes the thread and joins it. The callback is not called afterwards.
    void Stop();
    bool IsRunning() const { return thread_.joinable(); }

  private:
    struct Identity {
        uint64_t device = 0;
        uint64_t inode = 0;
        bool operator==(const Identity&) const = default;
    };
    using Snapshot = std::map<std::string, Identity>;

    Snapshot Look() const;
    void Run(std::chrono::milliseconds recheck);
    void Check();

    const Config config_;
    const ArrivalCallback onArrival_;
    std::thread thread_;   // owner thread only
    UniqueFd wake_;        // eventfd; made by the owner before the thread starts, closed after
    UniqueFd mountTable_;  // opened by the owner in Start, then used by the thread alone
    Snapshot known_;       // filled by the owner in Start, then the thread's alone
    std::atomic<bool> stopping_{false};  // written by the owner, read by the thread
};

}  // namespace velmaro
