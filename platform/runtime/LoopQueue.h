#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/runtime/MainLoop.h"

namespace platform::runtime {

// The queue both loops share: posted work in order and a heap of timers. Only
// the waiting differs between them. Thread-safe.
class LoopQueue {
public:
    struct Task {
        std::function<void()> work;
        std::shared_ptr<WorkItem> item;
        void run() {
            if (item) item->perform();
            else if (work) work();
        }
    };

    // Each returns whether the loop may need waking: the queue was idle before,
    // or the new timer is the earliest one.
    bool push(std::function<void()> work);
    bool pushItem(std::shared_ptr<WorkItem> item);
    bool pushAt(TimePoint due, std::shared_ptr<WorkItem> item);

    // Moves the work queued so far, then the timers due by `now` in time order,
    // into `batch`.
    void takeReady(TimePoint now, std::vector<Task>& batch);
    // Moves the work queued so far, and no timer, into `batch`.
    void takeQueued(std::vector<Task>& batch);
    // The earliest live timer due by `limit`, removed from the heap.
    std::optional<std::pair<TimePoint, std::shared_ptr<WorkItem>>> popTimerDueBy(TimePoint limit);
    bool hasQueuedWork();
    size_t queuedCount();
    std::optional<TimePoint> nextDue();
    size_t liveTimerCount();
    void clear();

private:
    struct Timer {
        TimePoint due;
        uint64_t order;
        std::shared_ptr<WorkItem> item;
    };
    struct Later {
        bool operator()(const Timer& a, const Timer& b) const {
            return a.due != b.due ? a.due > b.due : a.order > b.order;
        }
    };
    void dropCancelledTop();

    std::mutex mutex_;
    std::deque<Task> fifo_;
    std::vector<Timer> timers_;
    uint64_t nextOrder_ = 0;
};

// Runs one task and keeps an exception from unwinding into the loop.
void runTaskContained(LoopQueue::Task& task);

}  // namespace platform::runtime
