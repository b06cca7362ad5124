// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// WorkerThread: an object that owns one worker thread running the virtual Run() while `running`
// is set. Stop clears the flag, wakes SleepWhileRunning, and joins with a time-out.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

namespace velmaro {

constexpr uint32_t kWorkerStopTimeoutMs = 10000;

class WorkerThread {
  public:
    WorkerThread() = default;
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;
    // Derived destructors call StopAndWait first: the body must never outlive the derived part.
    virtual ~WorkerThread();

    virtual bool Start();
    // Returns true when the thread ended within the time-out. When it did not, the thread is
    // kept (never detached) and a warning is logged; StopAndWait or the next Start waits for it.
    virtual bool Stop(uint32_t timeoutMs);
    virtual int32_t Run() = 0;
    // Sleeps up to `ms`, returning at once when the worker is asked to stop.
    virtual void SleepWhileRunning(uint32_t ms);

    bool IsRunning() const { return running_.load(); }
    bool ThreadAlive() const { return thread_.joinable() && !finished_.load(); }

  protected:
    // Stop with the time-out, then wait without one if the body has not ended, so no thread ever
    // runs on against a destroyed object. For derived destructors.
    void StopAndWait(uint32_t timeoutMs);
    void WakeSleepers();

    std::atomic<int32_t> running_{0};  // written by the owner, read by the body

  private:
    void Body();
    void JoinIfPresent();

    std::thread thread_;                 // owner thread only
    std::atomic<bool> finished_{false};  // set by the body as its last act
    std::mutex mutex_;
    std::condition_variable cv_;  // signalled on stop and when the body finishes
};

}  // namespace velmaro
