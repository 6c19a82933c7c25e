// SPDX-License-Identifier: GPL-3.0-or-later
#include "replay/orderedWorker.h"

#include <algorithm>
#include <utility>

OrderedWorker::OrderedWorker(std::size_t waitingLimit)
    : waitingLimit(std::max<std::size_t>(waitingLimit, 1)), thread(&OrderedWorker::run, this) {}

OrderedWorker::~OrderedWorker() {
    {
        const std::lock_guard lock(mutex);
        ending = true;
        jobs.clear();
    }
    jobsChanged.notify_all();
    thread.join();
}

void OrderedWorker::give(std::function<void()> job) {
    std::unique_lock lock(mutex);
    jobsChanged.wait(lock, [&] { return jobs.size() < waitingLimit || failure; });
    rethrowFailure();
    jobs.push_back(std::move(job));
    lock.unlock();
    jobsChanged.notify_all();
}

void OrderedWorker::finish() {
    std::unique_lock lock(mutex);
    jobsChanged.wait(lock, [&] { return (jobs.empty() && !busy) || failure; });
    rethrowFailure();
}

std::size_t OrderedWorker::waiting() {
    const std::lock_guard lock(mutex);
    return jobs.size();
}

void OrderedWorker::rethrowFailure() {
    if (failure) {
        std::rethrow_exception(std::exchange(failure, nullptr));
    }
}

void OrderedWorker::run() {
    std::unique_lock lock(mutex);
    for (;;) {
        jobsChanged.wait(lock, [&] { return !jobs.empty() || ending; });
        if (jobs.empty()) {
            return;
        }
        std::function<void()> job = std::move(jobs.front());
        jobs.pop_front();
        busy = true;
        lock.unlock();
        jobsChanged.notify_all();
        std::exception_ptr thrown;
        try {
            job();
        } catch (...) {
            thrown = std::current_exception();
        }
        job = nullptr; // what it holds goes before the lock is taken
        lock.lock();
        busy = false;
        if (thrown) {
            failure = thrown;
            jobs.clear();
        }
        jobsChanged.notify_all();
    }
}
