// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/drive_watcher.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <system_error>
#include <utility>

#include "platform/log.h"

namespace velmaro {
namespace {

// When the mount table cannot be watched, removable mounts are still looked for this often.
constexpr std::chrono::milliseconds kFallbackRecheck{2000};

std::vector<std::string> ExistingFolders(const std::vector<std::string>& folders) {
    std::vector<std::string> present;
    for (const std::string& folder : folders) {
        struct stat st {};
        if (::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
            present.push_back(folder);
        }
    }
    return present;
}

int PollTimeout(std::chrono::milliseconds recheck) {
    return recheck < std::chrono::milliseconds::zero() ? -1 : static_cast<int>(recheck.count());
}

void DrainWake(int fd) {
    uint64_t count = 0;
    while (::read(fd, &count, sizeof count) < 0 && errno == EINTR) {
    }
}

}  // namespace

DriveArrivalWatcher::Config DriveArrivalWatcher::ForDriveRoots(const DriveSources& sources) {
    Config config;
    if (const char* listed = std::getenv(kDriveRootsVariable)) {
        config.listRoots = [folders = SplitRootList(listed)] { return ExistingFolders(folders); };
        config.recheck = kListedRootsRecheck;
    } else {
        config.listRoots = [sources] { return RemovableMountRoots(sources); };
    }
    config.mountInfo = sources.mountInfo;
    return config;
}

DriveArrivalWatcher::DriveArrivalWatcher(Config config, ArrivalCallback onArrival)
    : config_(std::move(config)), onArrival_(std::move(onArrival)) {}

DriveArrivalWatcher::~DriveArrivalWatcher() {
    Stop();
}

bool DriveArrivalWatcher::Start() {
    Stop();
    wake_.Reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!wake_.Valid() || !config_.listRoots) {
        return false;
    }
    // Opened before the first look: a mount made after it is reported by the next POLLPRI.
    if (!config_.mountInfo.empty()) {
        mountTable_.Reset(::open(config_.mountInfo.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    }
    std::chrono::milliseconds recheck = config_.recheck;
    if (!mountTable_.Valid() && recheck < std::chrono::milliseconds::zero()) {
        recheck = kFallbackRecheck;
    }
    known_ = Look();
    stopping_.store(false);
    try {
        thread_ = std::thread([this, recheck] { Run(recheck); });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void DriveArrivalWatcher::Stop() {
    stopping_.store(true);
    if (wake_.Valid()) {
        const uint64_t one = 1;
        while (::write(wake_.Get(), &one, sizeof one) < 0 && errno == EINTR) {
        }
    }
    if (thread_.joinable()) {
        thread_.join();
    }
    mountTable_.Reset();
    wake_.Reset();
}

DriveArrivalWatcher::Snapshot DriveArrivalWatcher::Look() const {
    Snapshot seen;
    for (const std::string& root : config_.listRoots()) {
        struct stat st {};
        if (::stat(root.c_str(), &st) == 0) {
            seen.emplace(
                root, Identity{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)});
        }
    }
    return seen;
}

void DriveArrivalWatcher::Run(std::chrono::milliseconds recheck) {
    while (!stopping_.load()) {
        // The mount table always reads as readable; a change shows as POLLPRI (with POLLERR).
        pollfd fds[2] = {{wake_.Get(), POLLIN, 0}, {mountTable_.Get(), POLLPRI, 0}};
        const nfds_t count = mountTable_.Valid() ? 2 : 1;
        const int ready = ::poll(fds, count, PollTimeout(recheck));
        if (ready < 0 && errno != EINTR) {
            LogWarning("drive watcher: poll failed (errno %d); looking every %lld ms instead",
                       errno, static_cast<long long>(kFallbackRecheck.count()));
            mountTable_.Reset();
            recheck = kFallbackRecheck;
            continue;
        }
        if ((fds[0].revents & POLLIN) != 0) {
            DrainWake(wake_.Get());
        }
        if (!stopping_.load()) {
            Check();
        }
    }
}

void DriveArrivalWatcher::Check() {
    Snapshot now = Look();
    std::vector<std::string> appeared;
    for (const auto& [root, identity] : now) {
        const auto before = known_.find(root);
        if (before == known_.end() || !(before->second == identity)) {
            appeared.push_back(root);
        }
    }
    known_ = std::move(now);
    if (!appeared.empty() && onArrival_) {
        onArrival_(appeared);
    }
}

}  // namespace velmaro
