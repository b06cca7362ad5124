// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// File times on camera cards: the kernel's reading of FAT and exFAT times is undone per mount
// option, so the recording list shows the camera's own clock in any time zone, while files on
// other file systems keep their true times.
#include "platform/camera_clock.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <ctime>
#include <filesystem>

#include "stream/recording_index.h"
#include "tests/test_support.h"

namespace velmaro {
namespace {

namespace fs = std::filesystem;

MountEntry Mount(const std::string& fsType, const std::string& superOptions,
                 const std::string& mountOptions = "rw") {
    MountEntry m;
    m.fsType = fsType;
    m.superOptions = superOptions;
    m.mountOptions = mountOptions;
    return m;
}

TEST(CameraClockTest, EachFileSystemsTimeOptionGivesItsOffset) {
    constexpr int kKernelWest = -60;  // the kernel was told of a zone one hour east of UTC
    struct Case {
        MountEntry mount;
        bool wallClock;
        int32_t offset;
    } cases[] = {
        {Mount("vfat", "rw,fmask=0022"), true, 60},
        {Mount("vfat", "rw,tz=UTC"), true, 0},
        {Mount("vfat", "rw,time_offset=-300"), true, -300},
        {Mount("msdos", "rw", "rw,time_offset=330"), true, 330},
        {Mount("vfat", "rw,time_offset=abc"), true, 60},
        {Mount("vfat", "rw,time_offset=99999"), true, 60},
        {Mount("exfat", "rw,iocharset=utf8"), true, 0},
        {Mount("exfat", "rw,sys_tz"), true, 60},
        {Mount("exfat", "rw,time_offset=-420"), true, -420},
        {Mount("ext4", "rw,tz=UTC"), false, 0},
        {Mount("fuseblk", "rw"), false, 0},
    };
    for (const Case& c : cases) {
        const CameraClock clock = CameraClock::ForMount(c.mount, kKernelWest);
        EXPECT_EQ(clock.HoldsWallClock(), c.wallClock)
            << c.mount.fsType << " " << c.mount.superOptions;
        EXPECT_EQ(clock.OffsetEastMinutes(), c.offset)
            << c.mount.fsType << " " << c.mount.superOptions;
    }
}

// 2024-07-01 10:15:00 as the camera's clock read it.
constexpr int64_t kCameraWallClock = 1719828900;

std::string Shown(int64_t seconds) {
    const time_t t = static_cast<time_t>(seconds);
    std::tm local{};
    localtime_r(&t, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

// A card folder whose mount the test describes in its own mount table, with the mount point
// written escaped as the kernel writes it.
class CardTimes : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(dir_.path().empty());
        card_ = fs::canonical(dir_.path()).string() + "/card one";
        fs::create_directories(card_ + "/DCIM/100MEDIA");
        file_ = card_ + "/DCIM/100MEDIA/FILE_0001.TS";
        test::WriteText(file_, "not a stream");
    }

    void DescribeMount(const std::string& fsType, const std::string& superOptions) {
        std::string escaped = card_;
        escaped.replace(escaped.find(' '), 1, "\\040");
        const std::string card = "60 27 8:17 / " + escaped + " rw,nosuid shared:7 - " + fsType +
                                 " /dev/sdb1 " + superOptions + "\n";
        test::WriteText(dir_.File("mountinfo"), "27 1 254:0 / / rw - ext4 /dev/vda rw\n" + card);
    }

    // What stat shows when the kernel reads `wall` off the card at `offsetEast` minutes.
    void SetKernelTime(int64_t wall, int offsetEast) {
        const time_t t = static_cast<time_t>(wall - offsetEast * 60);
        const timespec times[2] = {{t, 0}, {t, 0}};
        ASSERT_EQ(utimensat(AT_FDCWD, file_.c_str(), times, 0), 0);
    }

    RecordingEntry Listed() {
        const std::atomic<int32_t> running{1};
        const std::vector<RecordingEntry> list =
            ScanFolder(card_ + "/DCIM/100MEDIA/", running, dir_.File("mountinfo"));
        EXPECT_EQ(list.size(), 1u);
        return list.empty() ? RecordingEntry() : list[0];
    }

    test::TempDir dir_;
    std::string card_;
    std::string file_;
};

TEST_F(CardTimes, TheCameraClockIsShownInAnyTimeZone) {
    const int kernelOffset = -KernelMinutesWest();
    struct Case {
        const char* fsType;
        const char* options;
        int offsetEast;
    } cases[] = {
        {"vfat", "rw,fmask=0022,shortname=mixed", kernelOffset},
        {"vfat", "rw,tz=UTC", 0},
        {"vfat", "rw,time_offset=-300", -300},
        {"exfat", "rw,iocharset=utf8", 0},
        {"exfat", "rw,time_offset=540", 540},
    };
    for (const char* zone : {"Pacific/Kiritimati", "America/New_York", "UTC"}) {
        const test::ScopedEnv tz("TZ", zone);
        for (const Case& c : cases) {
            DescribeMount(c.fsType, c.options);
            SetKernelTime(kCameraWallClock, c.offsetEast);
            const RecordingEntry entry = Listed();
            EXPECT_EQ(Shown(entry.endTime), "2024-07-01 10:15:00") << zone << " " << c.options;
            EXPECT_EQ(entry.startTime, entry.endTime) << "a file this short lasts 0 s";
            EXPECT_EQ(Shown(LastWriteTime(file_, dir_.File("mountinfo"))), "2024-07-01 10:15:00")
                << zone << " " << c.options;
        }
    }
}

TEST_F(CardTimes, OtherFileSystemsKeepTheirTrueTimes) {
    const test::ScopedEnv tz("TZ", "Pacific/Kiritimati");
    SetKernelTime(kCameraWallClock, 0);
    for (const std::string& table : {std::string("ext4"), std::string("")}) {
        if (table.empty()) {
            test::WriteText(dir_.File("mountinfo"), "garbage\n");
        } else {
            DescribeMount(table, "rw,tz=UTC");
        }
        EXPECT_EQ(Listed().endTime, kCameraWallClock) << table;
        EXPECT_EQ(Shown(LastWriteTime(file_, dir_.File("mountinfo"))), "2024-07-02 00:15:00");
    }
    DescribeMount("vfat", "rw,tz=UTC");
    EXPECT_FALSE(
        CameraClock::ForFolder(card_ + "/missing/", dir_.File("mountinfo")).HoldsWallClock());
    EXPECT_FALSE(
        CameraClock::ForFolder(dir_.path().string(), dir_.File("mountinfo")).HoldsWallClock())
        << "beside the card, not on it";
}

}  // namespace
}  // namespace velmaro
