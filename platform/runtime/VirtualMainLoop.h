#pragma once

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/runtime/LoopQueue.h"
#include "platform/runtime/MainLoop.h"

namespace platform::runtime {

// A loop whose clock only moves when a test moves it. Posted work and ready
// descriptors run when the test asks; timers run as `advance` passes them.
// Work posted from other threads wakes `runUntil`, which waits in real time.
class VirtualMainLoop : public MainLoop {
public:
    VirtualMainLoop();
    ~VirtualMainLoop() override;

    void post(std::function<void()> work) override;
    using MainLoop::post;
    void postUrgent(std::function<void()> work) override;
    void postAt(TimePoint due, std::shared_ptr<WorkItem> item) override;
    std::shared_ptr<Watch> watchDescriptor(int fd, IoEvents events, std::function<void(IoEvents)> handler) override;
    TimePoint now() const override { return TimePoint(Duration(nowNs_.load())); }
    // The clock's time but for what `preempt` passed.
    Duration workTime() const override { return Duration(nowNs_.load() - preemptedNs_.load()); }
    bool shouldYield() override { return queue_.hasUrgentWork() || queue_.hasTimerDueBy(now()); }
    bool isLoopThread() const override { return homeThread_.load() == std::this_thread::get_id(); }
    void run() override;
    void quit() override;
    bool runUntil(const std::function<bool()>& done, Duration timeout) override;

    // Runs posted work, timers already due and ready descriptors until none is
    // left (at most `maxRounds` rounds, against work that keeps posting itself).
    // Returns how many ran.
    size_t runPending(size_t maxRounds = 100000);
    // Moves the clock by `delta`, running each timer at its own due time.
    void advance(Duration delta);
    // Moves the clock without running anything: time spent inside work.
    void skipTime(Duration delta) { nowNs_.fetch_add(delta.count()); }
    // Moves the clock without running anything and without work: the loop's thread preempted.
    void preempt(Duration delta) {
        preemptedNs_.fetch_add(delta.count());
        nowNs_.fetch_add(delta.count());
    }
    size_t pendingTimerCount() { return queue_.liveTimerCount(); }
    size_t queuedWorkCount() { return queue_.queuedCount(); }

private:
    struct DescriptorWatch;
    size_t dispatchReadyDescriptors(int timeoutMs);
    void setNow(TimePoint time) { nowNs_.store(time.time_since_epoch().count()); }
    void wake();

    LoopQueue queue_;
    std::atomic<int64_t> nowNs_{0};
    std::atomic<int64_t> preemptedNs_{0};
    std::atomic<std::thread::id> homeThread_;
    std::atomic<bool> quitRequested_{false};
    int wakeFd_ = -1;
    std::mutex watchesMutex_;
    std::vector<std::shared_ptr<DescriptorWatch>> watches_;
};

}  // namespace platform::runtime
