// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// A stream whose program map changes on the way: the reader follows a new version of the map
// and delivers the pictures it announces; repetitions and unusable maps change nothing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "reader_harness.h"
#include "stream/frame_item.h"
#include "tests/test_support.h"
#include "ts_builder.h"

namespace velmaro {
namespace {

using test::Bytes;
using test::ReaderHarness;

constexpr int kPmtPid = 0x100;
constexpr int kVideo = 0x1011;
constexpr int kAudio = 0x1100;
constexpr int kGop = 15;
constexpr int64_t kTicksPerPicture = 3000;  // 30 pictures a second at 90 kHz

class MapStream {
  public:
    void Add(const Bytes& packet) { bytes.insert(bytes.end(), packet.begin(), packet.end()); }
    // Pictures `first` to `last` (a key picture every kGop), each followed by a sound frame.
    // Returns their times in seconds.
    std::vector<double> Pictures(int first, int last, int pid = kVideo) {
        std::vector<double> times;
        for (int i = first; i <= last; ++i) {
            const int64_t pts = (i + 1) * kTicksPerPicture;
            const Bytes au = test::AccessUnit(i % kGop == 0, 300 + 7 * (i % 11));
            for (const Bytes& p : test::PesPackets(pid, test::Pes(0xE0, au, pts, pts))) {
                Add(p);
            }
            for (const Bytes& p : test::PesPackets(kAudio, test::Pes(0xC0, Bytes(90, 0x21), pts))) {
                Add(p);
            }
            times.push_back(static_cast<double>(pts) / 90000.0);
        }
        return times;
    }
    Bytes bytes;
};

std::vector<double> DeliveredTimes(ReaderHarness& h) {
    std::vector<double> times;
    for (const test::Delivered& d : h.VideoSince(0)) {
        times.push_back(d.pts);
    }
    return times;
}

TEST(ReaderMapVersions, PicturesAnnouncedByASecondVersionOfTheMapAreAllDelivered) {
    MapStream s;
    s.Add(test::PatPacket(kPmtPid));
    s.Add(test::PmtPacket(kPmtPid, {{0x0F, kAudio}}, 3));  // sound only at first
    s.Pictures(0, 9);                                      // on a PID the map does not list
    s.Add(test::PmtPacket(kPmtPid, {{0x1B, kVideo}, {0x0F, kAudio}}, 4));
    std::vector<double> want = s.Pictures(15, 44);
    // The same version again, whatever it says, is a repetition.
    s.Add(test::PmtPacket(kPmtPid, {{0x1B, 0x1300}, {0x0F, kAudio}}, 4));
    // A damaged map and one that is not current yet.
    Bytes damaged = test::PmtPacket(kPmtPid, {{0x0F, kAudio}}, 5);
    damaged[kTsPacketSize - 6] ^= 0x01;
    s.Add(damaged);
    s.Add(test::PmtPacket(kPmtPid, {{0x0F, kAudio}}, 6, false));
    const std::vector<double> later = s.Pictures(45, 74);
    want.insert(want.end(), later.begin(), later.end());
    s.Pictures(75, 89, 0x1300);  // on the PID the repetition named

    test::TempDir dir;
    const std::string path = dir.File("versions.ts");
    test::WriteBytes(path, s.bytes);
    ReaderHarness h;
    ASSERT_TRUE(h.Start(path));
    ASSERT_TRUE(h.WaitUntilIdle());
    EXPECT_EQ(DeliveredTimes(h), want);
    EXPECT_EQ(h.reader.VideoPid(), kVideo);
    const std::vector<test::Delivered> got = h.VideoSince(0);
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(got.front().kind, kKindVideoKey);
}

}  // namespace
}  // namespace velmaro
