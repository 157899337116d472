#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/runtime/MainLoop.h"

namespace platform::runtime {

// The queue both loops share: posted work in order and a heap of timers, and
// the order they run in. Only the waiting differs between the loops. Thread-safe.
class LoopQueue {
public:
    struct Task {
        std::function<void()> work;
        std::shared_ptr<WorkItem> item;
        // On the loop's clock; timers due before it run ahead of the task.
        TimePoint queuedAt{};
        void run() {
            if (item) item->perform();
            else if (work) work();
        }
    };

    // Each returns whether the loop may need waking: the queue was idle before,
    // or the new timer is the earliest one.
    bool push(std::function<void()> work, TimePoint queuedAt);
    bool pushItem(std::shared_ptr<WorkItem> item, TimePoint queuedAt);
    // Work that goes ahead of everything queued: it runs after the task in progress, before
    // the rest of its batch and before timers that came due meanwhile, first in, first out.
    bool pushUrgent(std::function<void()> work, TimePoint queuedAt);
    bool pushAt(TimePoint due, std::shared_ptr<WorkItem> item);

    // Moves the work queued so far into `batch`; timers stay until they run.
    void takeQueued(std::vector<Task>& batch);
    // Runs `batch` and the timers as they come due, `clock` telling the time: a due
    // timer runs before work queued after it came due, and waits for no more than
    // the task in progress (a long one does not hold it behind the rest of the
    // batch). Timers due at the very time a task ends wait for the batch's end, so
    // that a virtual clock standing still keeps posted work ahead of them. Urgent
    // work runs before each task and each round of timers. Returns how many ran.
    size_t runBatch(std::vector<Task>& batch, const MainLoop& clock);
    // The earliest live timer due by `limit`, removed from the heap; with
    // `armedBefore`, only one armed before that stamp (see `timerStamp`).
    std::optional<std::pair<TimePoint, std::shared_ptr<WorkItem>>> popTimerDueBy(
        TimePoint limit, uint64_t armedBefore = UINT64_MAX);
    // Orders timers by when they were armed: those armed from now on have this stamp or later.
    uint64_t timerStamp();
    bool hasTimerDueBy(TimePoint limit);
    bool hasQueuedWork();
    // Since when work has been ready to run at `now`: the oldest queued task's time, or the due
    // time of the earliest timer due by `now`, whichever is earlier; none when nothing is ready.
    std::optional<TimePoint> readySince(TimePoint now);
    // Cheap enough to ask after every piece of long work.
    bool hasUrgentWork() const { return urgentCount_.load(std::memory_order_acquire) > 0; }
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
    // Runs the live timers armed before the call and due by `limit()`, earliest first.
    size_t runTimersDueBy(const std::function<TimePoint()>& limit);
    // Runs the urgent work queued, also what it queues itself.
    size_t runUrgent();

    std::mutex mutex_;
    std::deque<Task> fifo_;
    std::deque<Task> urgent_;
    std::atomic<size_t> urgentCount_{0};
    std::vector<Timer> timers_;
    uint64_t nextOrder_ = 0;
};

// Runs one task and keeps an exception from unwinding into the loop.
void runTaskContained(LoopQueue::Task& task);

}  // namespace platform::runtime
