#include "platform/runtime/WorkerPool.h"

#include <system_error>
#include <utility>

namespace platform::runtime {

WorkerPool::WorkerPool(size_t maxThreads, Duration idleTimeout)
    : maxThreads_(maxThreads == 0 ? 1 : maxThreads), idleTimeout_(idleTimeout) {}

WorkerPool::~WorkerPool() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    for (;;) {
        std::vector<std::thread> joining;
        {
            std::lock_guard lock(mutex_);
            for (auto& [id, thread] : threads_) joining.push_back(std::move(thread));
            threads_.clear();
            for (auto& thread : finished_) joining.push_back(std::move(thread));
            finished_.clear();
        }
        if (joining.empty()) break;
        for (auto& thread : joining) thread.join();
    }
}

void WorkerPool::submit(std::function<void()> job) {
    joinFinished();
    std::lock_guard lock(mutex_);
    jobs_.push_back(std::move(job));
    // A new thread whenever the idle ones are all spoken for.
    if (idle_ < jobs_.size() && threads_.size() < maxThreads_ && !stopping_) {
        try {
            std::thread thread([this] { work(); });
            const auto id = thread.get_id();
            threads_.emplace(id, std::move(thread));
            return;
        } catch (const std::system_error&) {
            // Out of threads: the job waits for a running one, or for the next submit.
        }
    }
    wake_.notify_one();
}

size_t WorkerPool::threadCount() {
    std::lock_guard lock(mutex_);
    return threads_.size();
}

void WorkerPool::work() {
    std::unique_lock lock(mutex_);
    for (;;) {
        ++idle_;
        const bool hasJob = wake_.wait_for(lock, idleTimeout_, [this] { return !jobs_.empty() || stopping_; });
        --idle_;
        if (jobs_.empty() && (stopping_ || !hasJob)) break;
        if (jobs_.empty()) continue;
        auto job = std::move(jobs_.front());
        jobs_.pop_front();
        ++running_;
        lock.unlock();
        job();
        job = nullptr;
        lock.lock();
        --running_;
        if (running_ == 0 && jobs_.empty()) idleChanged_.notify_all();
    }
    // Leaves its handle to be joined by the next caller; the destructor may
    // already have taken it.
    auto self = threads_.find(std::this_thread::get_id());
    if (self != threads_.end()) {
        finished_.push_back(std::move(self->second));
        threads_.erase(self);
    }
}

bool WorkerPool::waitIdle(Duration timeout) {
    bool idle = false;
    {
        std::unique_lock lock(mutex_);
        idle = idleChanged_.wait_for(lock, timeout, [this] { return running_ == 0 && jobs_.empty(); });
    }
    joinFinished();
    return idle;
}

void WorkerPool::joinFinished() {
    std::vector<std::thread> joining;
    {
        std::lock_guard lock(mutex_);
        joining.swap(finished_);
    }
    for (auto& thread : joining) thread.join();
}

WorkerPool& WorkerPool::shared() {
    // Never destroyed: jobs may still block when the process ends.
    static WorkerPool* pool = new WorkerPool();
    return *pool;
}

}  // namespace platform::runtime
