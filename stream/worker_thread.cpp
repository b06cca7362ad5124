// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "stream/worker_thread.h"

#include <chrono>
#include <system_error>

#include "platform/log.h"

namespace velmaro {

WorkerThread::~WorkerThread() {
    if (thread_.joinable()) {
        // The derived part is already gone; all we can still do is not crash the process.
        LogWarning("worker thread still present at destruction; waiting for it");
        running_.store(0);
        WakeSleepers();
        thread_.join();
    }
}

bool WorkerThread::Start() {
    if (thread_.joinable()) {
        if (!finished_.load()) {
            LogWarning("worker thread from an earlier run has not ended; not starting another");
            return false;
        }
        thread_.join();
    }
    running_.store(1);
    finished_.store(false);
    try {
        thread_ = std::thread(&WorkerThread::Body, this);
    } catch (const std::system_error&) {
        running_.store(0);
        return false;
    }
    return true;
}

void WorkerThread::Body() {
    Run();
    {
        std::lock_guard lock(mutex_);
        finished_.store(true);
    }
    cv_.notify_all();
}

bool WorkerThread::Stop(uint32_t timeoutMs) {
    running_.store(0);
    WakeSleepers();
    if (!thread_.joinable()) {
        return true;
    }
    {
        std::unique_lock lock(mutex_);
        if (!cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                          [this] { return finished_.load(); })) {
            LogWarning("worker thread did not stop within %u ms", timeoutMs);
            return false;
        }
    }
    thread_.join();
    return true;
}

void WorkerThread::StopAndWait(uint32_t timeoutMs) {
    if (!Stop(timeoutMs)) {
        LogWarning("waiting for the worker thread to end before its owner is destroyed");
        JoinIfPresent();
    }
}

void WorkerThread::JoinIfPresent() {
    if (thread_.joinable()) {
        thread_.join();
    }
}

void WorkerThread::SleepWhileRunning(uint32_t ms) {
    std::unique_lock lock(mutex_);
    cv_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return running_.load() == 0; });
}

void WorkerThread::WakeSleepers() {
    { std::lock_guard lock(mutex_); }  // orders the flag change before a sleeper's re-check
    cv_.notify_all();
}

}  // namespace velmaro
