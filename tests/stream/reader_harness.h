// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Runs a TsReader against real queues with a consumer thread that records every item, and
// sinks that record the reader's messages. The consumer and the reset notice share a lock, so
// a test can tell exactly which items were delivered after each reset.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/recording_sink.h"
#include "stream/channel_controls.h"
#include "stream/frame_queue.h"
#include "stream/telemetry_handover.h"
#include "stream/ts_reader.h"
#include "tests/test_support.h"

namespace velmaro::test {

// FNV-1a: tells a picture's bytes apart from another's, or from the same bytes damaged.
inline uint32_t Checksum(const uint8_t* data, size_t size) {
    uint32_t hash = 2166136261u;
    for (size_t i = 0; i < size; ++i) {
        hash = (hash ^ data[i]) * 16777619u;
    }
    return hash;
}

struct Delivered {
    int32_t kind;
    double pts;
    int32_t order;
    int32_t size;
};

// Main-window side: counts resets and records where they fell in the delivered sequence; takes
// each telemetry text at once (on the reader thread), so none is lost to a later one.
class MainWindowSink : public RecordingSink {
  public:
    MainWindowSink(std::mutex& lock, std::vector<Delivered>& video, TelemetryHandOver& handOver)
        : lock_(lock), video_(video), handOver_(handOver) {}

    void Post(uint32_t msg, intptr_t w, intptr_t l) override {
        if (msg == kMsgTelemetry) {
            std::string text;
            if (handOver_.Take(text)) {
                std::lock_guard guard(lock_);
                texts.push_back(text);
            }
        }
        RecordingSink::Post(msg, w, l);
    }
    bool Send(uint32_t msg, intptr_t w, intptr_t l, std::stop_token stop) override {
        {
            std::lock_guard guard(lock_);
            resetMarks.push_back(video_.size());
        }
        return RecordingSink::Send(msg, w, l, stop);
    }

    std::vector<size_t> resetMarks;  // guarded by the harness lock
    std::vector<std::string> texts;  // guarded by the harness lock

  private:
    std::mutex& lock_;
    std::vector<Delivered>& video_;
    TelemetryHandOver& handOver_;
};

class ReaderHarness {
  public:
    ReaderHarness() : main(lock, video, handOver), reader(Links()) {
        OpenFrameQueues(videoQueue, audioQueue, kQueueBlocking);
        consumer = std::thread([this] { Consume(); });
    }
    ~ReaderHarness() {
        videoQueue.Stop();
        audioQueue.Stop();
        reader.Stop();
        consuming = false;
        consumer.join();
    }

    bool Start(const std::string& path) {
        reader.SetPath(path);
        return reader.Start();
    }

    // Waits (bounded) until `done` holds; the bound only guards against a hang. Polled every
    // 5 ms, which WaitUntilIdle counts on to measure its quiet time.
    static bool WaitFor(const std::function<bool()>& done, int seconds = 60) {
        return WaitUntil(done, std::chrono::seconds(seconds), std::chrono::milliseconds(5));
    }

    // The reader sits at the end of its data: nothing new arrives for a while and it is idle.
    bool WaitUntilIdle() {
        size_t last = SIZE_MAX;
        int stable = 0;
        return WaitFor([&] {
            const size_t now = VideoCount() + AudioCount() + panel.Count(kMsgPosition);
            stable = now == last ? stable + 1 : 0;
            last = now;
            return stable >= 40 && videoQueue.EntryCount() <= 1;  // ~200 ms without change
        });
    }

    size_t VideoCount() {
        std::lock_guard guard(lock);
        return video.size();
    }
    size_t AudioCount() {
        std::lock_guard guard(lock);
        return audio;
    }
    std::vector<Delivered> VideoSince(size_t from) {
        std::lock_guard guard(lock);
        return std::vector<Delivered>(
            video.begin() + static_cast<long>(std::min(from, video.size())), video.end());
    }
    size_t Resets() {
        std::lock_guard guard(lock);
        return main.resetMarks.size();
    }
    size_t LastResetMark() {
        std::lock_guard guard(lock);
        return main.resetMarks.empty() ? 0 : main.resetMarks.back();
    }

    std::mutex lock;
    std::vector<Delivered> video;  // guarded by lock
    std::vector<uint32_t> sums;    // guarded by lock; each delivered picture's bytes, hashed
    size_t audio = 0;              // guarded by lock
    TelemetryHandOver handOver;
    ChannelControls controls;
    VideoFrameQueue videoQueue;
    AudioFrameQueue audioQueue;
    RecordingSink panel;
    MainWindowSink main;
    TsReader reader;

  private:
    ReaderLinks Links() {
        ReaderLinks links;
        links.controls = &controls;
        links.videoQueue = &videoQueue;
        links.audioQueue = &audioQueue;
        links.telemetry = &handOver;
        links.panel = &panel;
        links.mainWindow = &main;
        return links;
    }

    void Consume() {
        while (consuming) {
            FrameItem item;
            bool any = false;
            {
                std::lock_guard guard(lock);
                if (videoQueue.Take(item)) {
                    video.push_back({item.kind, item.pts, item.order, item.size});
                    sums.push_back(Checksum(item.data, item.size));
                    any = true;
                }
                if (audioQueue.Take(item)) {
                    ++audio;
                    any = true;
                }
            }
            if (!any) {
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
        }
    }

    std::atomic<bool> consuming{true};
    std::thread consumer;
};

}  // namespace velmaro::test
