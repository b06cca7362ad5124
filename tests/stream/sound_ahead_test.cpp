// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Streams that write their sound ahead of the pictures it goes with (0 to 1.5 s, one AAC frame
// per PES): a consumer that, like the sound worker, plays sound no further than the picture it
// has shown must still be given every picture and, in the end, every sound frame. The reader
// waiting on a full sound queue while the pictures it holds back are missing would hang it.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/recording_sink.h"
#include "stream/channel_controls.h"
#include "stream/frame_queue.h"
#include "stream/pes.h"
#include "stream/telemetry_handover.h"
#include "stream/ts_reader.h"
#include "tests/stream/ts_builder.h"
#include "tests/test_support.h"

namespace velmaro {
namespace {

using test::Bytes;

constexpr int kPmtPid = 0x100;
constexpr int kVideoPid = 0x1011;
constexpr int kAudioPid = 0x1100;
constexpr int kSeconds = 10;
constexpr int kFps = 30;
constexpr int kPictures = kSeconds * kFps;
constexpr int kGroup = 15;
constexpr int64_t kPictureTicks = 90000 / kFps;
constexpr double kSoundFrameSeconds = 1024.0 / 48000;  // one AAC frame per PES
constexpr size_t kSoundFrameBytes = 180;
// A hang shows as pictures that stop coming; the bound only keeps the suite from waiting on.
constexpr int kPatienceSeconds = 20;

struct Written {
    double at;  // where in the stream's time the PES is written
    Bytes packets;
};

// Pictures written at their time, sound frames `lead` seconds before theirs.
Bytes Stream(double lead, int& soundFrames) {
    std::vector<Written> pes;
    for (int i = 0; i < kPictures; ++i) {
        const int64_t t = i * kPictureTicks;
        Written w{static_cast<double>(t) / kPesClockHz, {}};
        const Bytes au = test::AccessUnit(i % kGroup == 0, 400);
        for (const Bytes& p : test::PesPackets(kVideoPid, test::Pes(0xE0, au, t, t))) {
            w.packets.insert(w.packets.end(), p.begin(), p.end());
        }
        pes.push_back(std::move(w));
    }
    soundFrames = static_cast<int>(kSeconds / kSoundFrameSeconds);
    for (int i = 0; i < soundFrames; ++i) {
        const double time = i * kSoundFrameSeconds;
        const Bytes frame(kSoundFrameBytes, 0x5A);
        Written w{time - lead, {}};
        const auto ticks = static_cast<int64_t>(time * kPesClockHz);
        for (const Bytes& p : test::PesPackets(kAudioPid, test::Pes(0xC0, frame, ticks))) {
            w.packets.insert(w.packets.end(), p.begin(), p.end());
        }
        pes.push_back(std::move(w));
    }
    std::stable_sort(pes.begin(), pes.end(),
                     [](const Written& a, const Written& b) { return a.at < b.at; });
    Bytes ts = test::PatPacket(kPmtPid);
    const Bytes pmt = test::PmtPacket(kPmtPid, {{0x1B, kVideoPid}, {0x0F, kAudioPid}});
    ts.insert(ts.end(), pmt.begin(), pmt.end());
    for (const Written& w : pes) {
        ts.insert(ts.end(), w.packets.begin(), w.packets.end());
    }
    return ts;
}

struct Played {
    std::vector<double> pictures;
    int sound = 0;
};

// Takes a picture if one is queued, or else a sound frame if it is due: sound plays up to the
// last picture taken (all of it once every picture is in). False when nothing was taken.
bool TakeOne(VideoFrameQueue& video, AudioFrameQueue& audio, FrameItem& held, bool& holding,
             std::mutex& lock, Played& played) {
    FrameItem item;
    std::lock_guard guard(lock);
    if (video.Take(item)) {
        played.pictures.push_back(item.pts);
        return true;
    }
    const double shown = played.pictures.empty() ? -1.0 : played.pictures.back();
    const bool allShown = static_cast<int>(played.pictures.size()) == kPictures;
    if (!holding) {
        holding = audio.Take(held);
    }
    if (holding && (allShown || held.pts <= shown + kSoundFrameSeconds)) {
        ++played.sound;
        holding = false;
        return true;
    }
    return false;
}

Played PlayWithSoundFollowingPictures(const std::string& path) {
    ChannelControls controls;
    VideoFrameQueue video;
    AudioFrameQueue audio;
    OpenFrameQueues(video, audio, kQueueBlocking);
    TelemetryHandOver telemetry;
    RecordingSink panel;
    RecordingSink mainWindow;
    TsReader reader({&controls, &video, &audio, &telemetry, &panel, &mainWindow});

    std::mutex lock;
    Played played;  // guarded by lock
    std::atomic<bool> consuming{true};
    std::thread consumer([&] {
        FrameItem held;  // the sound frame taken and not yet due
        bool holding = false;
        while (consuming) {
            if (!TakeOne(video, audio, held, holding, lock, played)) {
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
        }
    });
    reader.SetPath(path);
    reader.Start();
    test::WaitUntil(
        [&] {
            std::lock_guard guard(lock);
            return static_cast<int>(played.pictures.size()) == kPictures && reader.PidsKnown() &&
                   video.EntryCount() <= 1 && audio.EntryCount() <= 1 && controls.readerIdle.load();
        },
        std::chrono::seconds(kPatienceSeconds));
    video.Stop();
    audio.Stop();
    reader.Stop();
    consuming = false;
    consumer.join();
    return played;
}

TEST(SoundAhead, EveryPictureAndEverySoundFrameWhateverTheLead) {
    for (const double lead : {0.0, 0.4, 0.8, 1.5}) {
        SCOPED_TRACE("sound " + std::to_string(lead) + " s ahead");
        int soundFrames = 0;
        test::TempDir dir;
        const auto path = dir.path() / "ahead.ts";
        test::WriteBytes(path, Stream(lead, soundFrames));
        const Played played = PlayWithSoundFollowingPictures(path.string());
        ASSERT_EQ(played.pictures.size(), static_cast<size_t>(kPictures));
        for (int i = 0; i < kPictures; ++i) {
            ASSERT_NEAR(played.pictures[i], static_cast<double>(i * kPictureTicks) / kPesClockHz,
                        1e-6)
                << "picture " << i;
        }
        EXPECT_EQ(played.sound, soundFrames) << "no sound frame is lost";
    }
}

}  // namespace
}  // namespace velmaro
