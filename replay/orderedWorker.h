// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

// Runs jobs on a thread of its own, one after another in the order they were
// given. At most `waitingLimit` jobs wait: giving one more waits until the
// thread has taken one, which bounds what the waiting jobs hold. When a job
// throws, the jobs waiting behind it are dropped and the exception comes out
// of the next give() or finish().
class OrderedWorker {
  public:
    explicit OrderedWorker(std::size_t waitingLimit);
    // Drops the jobs still waiting and ends the thread once the running one
    // has run: nothing waits for work whose result nobody will ask for.
    ~OrderedWorker();
    OrderedWorker(const OrderedWorker&) = delete;
    OrderedWorker& operator=(const OrderedWorker&) = delete;

    void give(std::function<void()> job);
    // Waits until every job given so far has run.
    void finish();
    // The jobs given that have not started.
    std::size_t waiting();

  private:
    void run();
    void rethrowFailure(); // with the lock held

    const std::size_t waitingLimit;
    std::mutex mutex;
    std::condition_variable jobsChanged;
    std::deque<std::function<void()>> jobs;
    bool busy = false; // a job taken from the queue is running
    bool ending = false;
    std::exception_ptr failure;
    std::thread thread; // last: starts once the rest is in place
};
