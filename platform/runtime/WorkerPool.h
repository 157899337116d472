#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/runtime/MainLoop.h"

namespace platform::runtime {

// Threads for work that blocks: captured child runs, one-shot calls, probes.
// A job never waits for a thread while fewer than `maxThreads` run, so jobs
// that block for a minute do not hold up the next one; threads idle for
// `idleTimeout` end. Jobs hand their results to the main loop themselves.
class WorkerPool {
public:
    explicit WorkerPool(size_t maxThreads = 64, Duration idleTimeout = std::chrono::seconds(10));
    // Runs every job already submitted, then joins the threads.
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    // Any thread. A job must not throw.
    void submit(std::function<void()> job);
    size_t threadCount();
    // Waits until no job is queued or running, at most `timeout`; whether that came. Finished
    // threads are joined. For a program about to end: a job still running then may hand its
    // result to a loop that is gone.
    bool waitIdle(Duration timeout);

    // The program's pool; it lives to the end of the process.
    static WorkerPool& shared();

private:
    void work();
    void joinFinished();

    const size_t maxThreads_;
    const Duration idleTimeout_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> jobs_;
    std::map<std::thread::id, std::thread> threads_;
    std::vector<std::thread> finished_;
    size_t idle_ = 0;
    size_t running_ = 0;
    std::condition_variable idleChanged_;
    bool stopping_ = false;
};

}  // namespace platform::runtime
