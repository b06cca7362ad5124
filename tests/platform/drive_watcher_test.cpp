// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Volume arrival: listed folders that come into existence, removable mounts that appear in a
// fixture table, and (as root) a real mount noticed through the kernel's mount-table events.
#include "platform/drive_watcher.h"

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <mutex>

#include "tests/test_support.h"

namespace velmaro {
namespace {

namespace fs = std::filesystem;

// Collects what the watcher reports, from its thread.
class Arrivals {
  public:
    DriveArrivalWatcher::ArrivalCallback Callback() {
        return [this](const std::vector<std::string>& roots) {
            std::lock_guard lock(mutex_);
            reports_.push_back(roots);
        };
    }
    std::vector<std::vector<std::string>> Reports() const {
        std::lock_guard lock(mutex_);
        return reports_;
    }
    bool WaitFor(size_t count) const {
        return test::WaitUntil([&] { return Reports().size() >= count; });
    }

  private:
    mutable std::mutex mutex_;
    std::vector<std::vector<std::string>> reports_;  // guarded by mutex_
};

using Roots = std::vector<std::string>;

TEST(DriveWatcherTest, ListedFoldersAreReportedWhenTheyAppear) {
    test::TempDir dir;
    fs::create_directory(dir.File("present"));
    const test::ScopedEnv listed(kDriveRootsVariable, dir.File("present") + ":" + dir.File("card"));
    Arrivals arrivals;
    DriveArrivalWatcher watcher(DriveArrivalWatcher::ForDriveRoots(), arrivals.Callback());
    ASSERT_TRUE(watcher.Start());
    fs::create_directory(dir.File("card"));
    ASSERT_TRUE(arrivals.WaitFor(1));
    // Taken out and another put in its place: a new arrival, even if nobody saw it gone.
    fs::create_directory(dir.File("other"));
    fs::remove(dir.File("card"));
    fs::rename(dir.File("other"), dir.File("card"));
    ASSERT_TRUE(arrivals.WaitFor(2));
    watcher.Stop();
    for (const Roots& report : arrivals.Reports()) {
        EXPECT_EQ(report, Roots{dir.File("card")}) << "a root present at the start is known";
    }
    EXPECT_FALSE(watcher.IsRunning());
}

TEST(DriveWatcherTest, RemovableMountsAreReportedAndFixedOnesAreNot) {
    test::TempDir dir;
    fs::create_directories(dir.File("sys/devices/usb1/1-1/block/sdb"));
    test::WriteText(dir.File("sys/devices/usb1/1-1/block/sdb/removable"), "0");
    fs::create_directories(dir.File("sys/dev/block"));
    fs::create_symlink("../../devices/usb1/1-1/block/sdb", dir.File("sys/dev/block/8:16"));
    fs::create_directories(dir.File("media/card"));
    fs::create_directories(dir.File("mnt/disk"));
    const DriveSources sources{dir.File("mountinfo"), dir.File("sys/dev/block")};
    test::WriteText(sources.mountInfo, "1 0 254:0 / / rw - ext4 /dev/vda rw\n");

    Arrivals arrivals;
    DriveArrivalWatcher watcher(
        {[sources] { return RemovableMountRoots(sources); }, "", std::chrono::milliseconds(20)},
        arrivals.Callback());
    ASSERT_TRUE(watcher.Start());
    const std::string disk = "2 1 254:0 / " + dir.File("mnt/disk") + " rw - ext4 /dev/vda rw\n";
    const std::string card = "3 1 8:16 / " + dir.File("media/card") + " rw - vfat /dev/sdb rw\n";
    test::WriteText(sources.mountInfo, "1 0 254:0 / / rw - ext4 /dev/vda rw\n" + disk + card);
    ASSERT_TRUE(arrivals.WaitFor(1));
    watcher.Stop();
    EXPECT_EQ(arrivals.Reports(), std::vector<Roots>{Roots{dir.File("media/card")}});
}

TEST(DriveWatcherTest, StartsAndStopsPromptlyWhileWaitingOnTheMountTable) {
    Arrivals arrivals;
    DriveArrivalWatcher watcher(
        {[] { return Roots{"/"}; }, kSelfMountInfo, DriveArrivalWatcher::kNoRecheck},
        arrivals.Callback());
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(watcher.Start());
        EXPECT_TRUE(watcher.IsRunning());
    }
    watcher.Stop();
    watcher.Stop();
    EXPECT_FALSE(watcher.IsRunning());
    EXPECT_FALSE(DriveArrivalWatcher({}, arrivals.Callback()).Start()) << "no lister";
}

// Unmounts on the way out, whatever the test's outcome.
struct MountGuard {
    std::string target;
    ~MountGuard() {
        if (!target.empty()) {
            ::umount2(target.c_str(), MNT_DETACH);
        }
    }
};

TEST(DriveWatcherTest, ARealMountIsNoticedThroughTheKernelsEvent) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "mounting needs root";
    }
    test::TempDir dir;
    const std::string base = fs::canonical(dir.path()).string() + "/";
    const std::string point = base + "card";
    fs::create_directory(point);
    // The mounts below the test's folder stand in for removable ones: a tmpfs has no device.
    // The test learns how many the watcher saw on its last look.
    std::atomic<size_t> seen{0};
    const auto mountsHere = [base, &seen] {
        Roots roots;
        for (const MountEntry& m : ReadMountTable()) {
            if (m.mountPoint.rfind(base, 0) == 0) {
                roots.push_back(m.mountPoint);
            }
        }
        seen.store(roots.size());
        return roots;
    };
    Arrivals arrivals;
    DriveArrivalWatcher watcher({mountsHere, kSelfMountInfo, DriveArrivalWatcher::kNoRecheck},
                                arrivals.Callback());
    ASSERT_TRUE(watcher.Start());
    MountGuard guard;
    if (::mount("velmaro-test", point.c_str(), "tmpfs", 0, "size=64k") != 0) {
        GTEST_SKIP() << "this system refuses mounts: " << std::strerror(errno);
    }
    guard.target = point;
    ASSERT_TRUE(arrivals.WaitFor(1)) << "no wake-up without an interval: the event must do it";
    ASSERT_EQ(::umount2(point.c_str(), 0), 0);
    guard.target.clear();
    // A mount made before the watcher looked again could reuse the device number and pass for
    // the old one; a card cannot be swapped that fast.
    ASSERT_TRUE(test::WaitUntil([&] { return seen.load() == 0; })) << "the unmount is noticed";
    ASSERT_EQ(::mount("velmaro-test", point.c_str(), "tmpfs", 0, "size=64k"), 0);
    guard.target = point;
    ASSERT_TRUE(arrivals.WaitFor(2)) << "mounted again";
    watcher.Stop();
    EXPECT_EQ(arrivals.Reports(), (std::vector<Roots>{{point}, {point}}));
    const Roots removable = RemovableMountRoots();
    EXPECT_EQ(std::count(removable.begin(), removable.end(), point), 0)
        << "memory is no removable drive";
}

}  // namespace
}  // namespace velmaro
