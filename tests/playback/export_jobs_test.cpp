// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The session's background exports end on the user-interface thread as typed calls, through
// the poster the user interface lends: a replaced clip's end is not reported, and nothing is
// called once the poster is withdrawn.
#include "playback/export_jobs.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "playback/playback_listener.h"
#include "tests/export/export_support.h"
#include "tests/test_support.h"
#include "tools/make_recording/recording_writer.h"

namespace velmaro {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

// Stands for the user-interface thread: tasks wait until the test runs them.
struct QueuedPoster : TaskPoster {
    std::mutex lock;
    std::vector<std::function<void()>> tasks;
    void Post(std::function<void()> task) override {
        std::lock_guard guard(lock);
        tasks.push_back(std::move(task));
    }
    // Runs what has been posted so far.
    void RunQueued() {
        std::vector<std::function<void()>> now;
        {
            std::lock_guard guard(lock);
            now.swap(tasks);
        }
        for (auto& task : now) {
            task();
        }
    }
    // Runs what is posted until `done` holds; false after the export patience.
    bool RunUntil(const std::function<bool()>& done) {
        const auto end = std::chrono::steady_clock::now() + test::kExportPatience;
        while (!done()) {
            if (std::chrono::steady_clock::now() > end) {
                return false;
            }
            RunQueued();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return true;
    }
};

struct Heard : PlaybackListener {
    std::vector<ExportOutcome> clipEnds;
    int progress = 0;
    std::vector<std::string> copies;
    void OnExportProgress(int64_t, int64_t) override { ++progress; }
    void OnExportEnd(const ExportOutcome& o) override { clipEnds.push_back(o); }
    void OnCopyEnd(const std::string& target, const FileCopyResult& r) override {
        copies.push_back(target + (r.ok ? " ok" : " failed"));
    }
};

struct Jobs : testing::Test {
    TempDir card{"velmaro-export-jobs"};
    TempDir out{"velmaro-export-jobs-out"};
    std::vector<std::string> files;
    Heard heard;
    std::vector<PlaybackListener*> listeners{&heard};
    QueuedPoster poster;

    void SetUp() override {
        const RecordingResult r = WriteRecording(test::SmallCard(card, 2, 4));
        ASSERT_TRUE(r.ok) << r.error;
        files = r.files;
    }
    ExportRequest WholeCard(const std::string& name) const {
        return test::ClipRequest(out.File(name), files.front(), 0, files.back(),
                                 static_cast<int64_t>(fs::file_size(files.back())), false);
    }
};

TEST_F(Jobs, OnlyTheClipThatReplacedAnotherIsReportedAndSaved) {
    ExportJobs jobs(listeners);
    jobs.SetPoster(&poster);
    std::string error;
    ASSERT_TRUE(jobs.StartClip(WholeCard("first.ts"), error)) << error;
    ASSERT_TRUE(jobs.StartClip(WholeCard("second.ts"), error)) << error;
    EXPECT_TRUE(jobs.ClipRunning());
    ASSERT_TRUE(poster.RunUntil([&] { return !jobs.ClipRunning(); }));
    // The first one's stop may still be queued: it must stay unheard.
    poster.RunQueued();
    ASSERT_EQ(heard.clipEnds.size(), 1u);
    EXPECT_EQ(heard.clipEnds[0].end, ExportEnd::kFinished);
    EXPECT_EQ(heard.clipEnds[0].outputPath, out.File("second.ts"));
    EXPECT_GT(heard.progress, 0);
    EXPECT_TRUE(fs::exists(out.File("second.ts")));
}

// However far the clip got, a stop ends it once, heard, and leaves a file only if it finished.
TEST_F(Jobs, AStoppedClipEndsHeardAndLeavesNoPartialFile) {
    ExportJobs jobs(listeners);
    jobs.SetPoster(&poster);
    std::string error;
    ASSERT_TRUE(jobs.StartClip(WholeCard("stopped.mp4"), error)) << error;
    jobs.StopClip();
    ASSERT_TRUE(poster.RunUntil([&] { return !jobs.ClipRunning(); }));
    ASSERT_EQ(heard.clipEnds.size(), 1u);
    EXPECT_EQ(fs::exists(out.File("stopped.mp4")), heard.clipEnds[0].end == ExportEnd::kFinished);
    EXPECT_EQ(test::NamesIn(out.path()).size(), fs::exists(out.File("stopped.mp4")) ? 1u : 0u);
}

TEST_F(Jobs, ACopyEndsOnThePostersThreadAndRefusesASecondMeanwhile) {
    ExportJobs jobs(listeners);
    jobs.SetPoster(&poster);
    ASSERT_TRUE(jobs.StartCopy(files.front(), out.File("copy.ts")));
    EXPECT_FALSE(jobs.StartCopy(files.back(), out.File("other.ts")));
    ASSERT_TRUE(poster.RunUntil([&] { return !jobs.CopyRunning(); }));
    EXPECT_EQ(heard.copies, std::vector<std::string>{out.File("copy.ts") + " ok"});
    EXPECT_EQ(fs::file_size(out.File("copy.ts")), fs::file_size(files.front()));
}

TEST_F(Jobs, NothingIsCalledAfterThePosterIsWithdrawnOrTheJobsAreGone) {
    {
        ExportJobs jobs(listeners);
        jobs.SetPoster(&poster);
        std::string error;
        ASSERT_TRUE(jobs.StartClip(WholeCard("gone.ts"), error)) << error;
        ASSERT_TRUE(jobs.StartCopy(files.front(), out.File("copy.ts")));
        // Tasks already queued when the jobs go must find nothing to call.
    }
    poster.RunQueued();
    EXPECT_TRUE(heard.clipEnds.empty());
    EXPECT_TRUE(heard.copies.empty());

    ExportJobs jobs(listeners);
    jobs.SetPoster(&poster);
    jobs.SetPoster(nullptr);
    ASSERT_TRUE(jobs.StartCopy(files.front(), out.File("unheard.ts")));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    std::lock_guard guard(poster.lock);
    EXPECT_TRUE(poster.tasks.empty());
}

}  // namespace
}  // namespace velmaro
