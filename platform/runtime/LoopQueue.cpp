#include "platform/runtime/LoopQueue.h"

#include <algorithm>
#include <cstdio>
#include <exception>

namespace platform::runtime {

bool LoopQueue::push(std::function<void()> work, TimePoint queuedAt) {
    std::lock_guard lock(mutex_);
    const bool wasIdle = fifo_.empty();
    fifo_.push_back(Task{std::move(work), nullptr, queuedAt});
    return wasIdle;
}

bool LoopQueue::pushItem(std::shared_ptr<WorkItem> item, TimePoint queuedAt) {
    std::lock_guard lock(mutex_);
    const bool wasIdle = fifo_.empty();
    fifo_.push_back(Task{nullptr, std::move(item), queuedAt});
    return wasIdle;
}

bool LoopQueue::pushUrgent(std::function<void()> work, TimePoint queuedAt) {
    std::lock_guard lock(mutex_);
    const bool wasIdle = fifo_.empty() && urgent_.empty();
    urgent_.push_back(Task{std::move(work), nullptr, queuedAt});
    urgentCount_.fetch_add(1, std::memory_order_release);
    return wasIdle;
}

size_t LoopQueue::runUrgent() {
    size_t ran = 0;
    while (hasUrgentWork()) {
        Task task;
        {
            std::lock_guard lock(mutex_);
            if (urgent_.empty()) break;
            task = std::move(urgent_.front());
            urgent_.pop_front();
            urgentCount_.fetch_sub(1, std::memory_order_release);
        }
        runTaskContained(task);
        ++ran;
    }
    return ran;
}

bool LoopQueue::pushAt(TimePoint due, std::shared_ptr<WorkItem> item) {
    std::lock_guard lock(mutex_);
    dropCancelledTop();
    const bool earliest = timers_.empty() || due < timers_.front().due;
    timers_.push_back(Timer{due, nextOrder_++, std::move(item)});
    std::push_heap(timers_.begin(), timers_.end(), Later());
    return earliest;
}

void LoopQueue::dropCancelledTop() {
    while (!timers_.empty() && timers_.front().item->isCancelled()) {
        std::pop_heap(timers_.begin(), timers_.end(), Later());
        timers_.pop_back();
    }
}

void LoopQueue::takeQueued(std::vector<Task>& batch) {
    std::lock_guard lock(mutex_);
    while (!fifo_.empty()) {
        batch.push_back(std::move(fifo_.front()));
        fifo_.pop_front();
    }
}

size_t LoopQueue::runBatch(std::vector<Task>& batch, const MainLoop& clock) {
    size_t ran = runUrgent();
    if (!batch.empty()) {
        const TimePoint before = batch.front().queuedAt - Duration(1);
        ran += runTimersDueBy([before] { return before; });
    }
    for (size_t i = 0; i < batch.size(); ++i) {
        runTaskContained(batch[i]);
        ++ran;
        ran += runUrgent();
        const Duration margin(i + 1 == batch.size() ? 0 : 1);
        ran += runTimersDueBy([&clock, margin] { return clock.now() - margin; });
    }
    if (batch.empty()) ran += runTimersDueBy([&clock] { return clock.now(); });
    return ran;
}

size_t LoopQueue::runTimersDueBy(const std::function<TimePoint()>& limit) {
    // The limit is read again after each timer, so one that came due while another ran (a
    // heartbeat during a frame) goes next; the stamp keeps a timer re-armed at once for later.
    const uint64_t armedBefore = timerStamp();
    size_t ran = 0;
    while (auto timer = popTimerDueBy(limit(), armedBefore)) {
        Task task{nullptr, std::move(timer->second)};
        runTaskContained(task);
        ++ran;
        ran += runUrgent();
    }
    return ran;
}

uint64_t LoopQueue::timerStamp() {
    std::lock_guard lock(mutex_);
    return nextOrder_;
}

bool LoopQueue::hasTimerDueBy(TimePoint limit) {
    std::lock_guard lock(mutex_);
    dropCancelledTop();
    return !timers_.empty() && timers_.front().due <= limit;
}

std::optional<std::pair<TimePoint, std::shared_ptr<WorkItem>>> LoopQueue::popTimerDueBy(TimePoint limit,
                                                                                       uint64_t armedBefore) {
    std::lock_guard lock(mutex_);
    dropCancelledTop();
    if (timers_.empty() || timers_.front().due > limit || timers_.front().order >= armedBefore) return std::nullopt;
    std::pop_heap(timers_.begin(), timers_.end(), Later());
    auto result = std::make_pair(timers_.back().due, std::move(timers_.back().item));
    timers_.pop_back();
    return result;
}

bool LoopQueue::hasQueuedWork() {
    std::lock_guard lock(mutex_);
    return !fifo_.empty() || !urgent_.empty();
}

std::optional<TimePoint> LoopQueue::readySince(TimePoint now) {
    std::lock_guard lock(mutex_);
    std::optional<TimePoint> since;
    auto consider = [&](TimePoint t) {
        if (!since || t < *since) since = t;
    };
    if (!fifo_.empty()) consider(fifo_.front().queuedAt);
    if (!urgent_.empty()) consider(urgent_.front().queuedAt);
    dropCancelledTop();
    if (!timers_.empty() && timers_.front().due <= now) consider(timers_.front().due);
    return since;
}

size_t LoopQueue::queuedCount() {
    std::lock_guard lock(mutex_);
    return fifo_.size() + urgent_.size();
}

std::optional<TimePoint> LoopQueue::nextDue() {
    std::lock_guard lock(mutex_);
    dropCancelledTop();
    if (timers_.empty()) return std::nullopt;
    return timers_.front().due;
}

size_t LoopQueue::liveTimerCount() {
    std::lock_guard lock(mutex_);
    return std::count_if(timers_.begin(), timers_.end(), [](const Timer& t) { return !t.item->isCancelled(); });
}

void LoopQueue::clear() {
    std::deque<Task> fifo, urgent;
    std::vector<Timer> timers;
    {
        std::lock_guard lock(mutex_);
        fifo.swap(fifo_);
        urgent.swap(urgent_);
        urgentCount_.store(0);
        timers.swap(timers_);
    }
    // Destroyed outside the lock: captured state may post again.
}

void runTaskContained(LoopQueue::Task& task) {
    try {
        task.run();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "main loop: work threw: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "main loop: work threw\n");
    }
}

}  // namespace platform::runtime
