#pragma once

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <stop_token>

namespace platform::runtime {

using Clock = std::chrono::steady_clock;
using TimePoint = Clock::time_point;
using Duration = std::chrono::nanoseconds;

// Work that can be called off before it starts. Cancelling is safe from any
// thread; work that is already running is not interrupted. Dropping the handle
// does not cancel: the loop keeps what it has queued.
class WorkItem {
public:
    explicit WorkItem(std::function<void()> work) : work_(std::move(work)) {}
    // Also counts as cancelled once `cancelledWith` is.
    WorkItem(std::function<void()> work, std::shared_ptr<const WorkItem> cancelledWith)
        : work_(std::move(work)), cancelledWith_(std::move(cancelledWith)) {}
    WorkItem(const WorkItem&) = delete;
    WorkItem& operator=(const WorkItem&) = delete;

    void cancel() noexcept { cancelled_.store(true, std::memory_order_release); }
    bool isCancelled() const noexcept {
        return cancelled_.load(std::memory_order_acquire) || (cancelledWith_ && cancelledWith_->isCancelled());
    }
    // Runs the work unless it has been cancelled.
    void perform() {
        if (!isCancelled() && work_) work_();
    }

private:
    std::function<void()> work_;
    std::shared_ptr<const WorkItem> cancelledWith_;
    std::atomic<bool> cancelled_{false};
};

// Readiness of a descriptor, as a bit set.
using IoEvents = unsigned;
namespace IoEvent {
inline constexpr IoEvents readable = 1;
inline constexpr IoEvents writable = 2;
inline constexpr IoEvents hangup = 4;
inline constexpr IoEvents error = 8;
}  // namespace IoEvent

// A live watch on a descriptor or a child. Cancelling (or dropping the handle)
// stops the callbacks; it is safe inside the watch's own callback.
class Watch {
public:
    virtual ~Watch() = default;
    virtual void cancel() = 0;
};

// The loop that stands in for the program's main queue: everything of the
// interface and every terminal runs on its thread, and other threads hand work
// to it. Posting is safe from any thread and first in, first out. Delayed work
// runs on a monotonic clock once due, before work queued after it came due; of
// the work queued before, it waits for the task in progress only. Urgent work
// waits for the task in progress only, and goes before due timers too.
class MainLoop {
public:
    MainLoop() = default;
    virtual ~MainLoop();
    MainLoop(const MainLoop&) = delete;
    MainLoop& operator=(const MainLoop&) = delete;

    // --- Work -------------------------------------------------------------------------
    virtual void post(std::function<void()> work) = 0;
    void post(std::shared_ptr<WorkItem> item);
    // Runs `work` ahead of everything queued: after the task in progress, before the rest of
    // the queue and before timers that came due meanwhile (output the user waits for, such as
    // the echo of a key). Long work on the loop sees it in shouldYield. Any thread.
    virtual void postUrgent(std::function<void()> work) { post(std::move(work)); }
    // Runs `item` at `due` on this loop's clock. Any thread.
    virtual void postAt(TimePoint due, std::shared_ptr<WorkItem> item) = 0;
    std::shared_ptr<WorkItem> postAfter(Duration delay, std::function<void()> work);
    void postAfter(Duration delay, std::shared_ptr<WorkItem> item) { postAt(now() + delay, std::move(item)); }
    // Runs `work` every `interval` until the returned handle is cancelled. Ticks
    // missed while the loop was busy are not caught up.
    std::shared_ptr<WorkItem> scheduleRepeating(Duration interval, std::function<void()> work);

    // Runs `work` on the loop and waits for it; on the loop's own thread it runs
    // at once. Returns false without waiting further when `stop` is requested
    // first (the work is then dropped unless it has begun) or when the loop
    // discards the work.
    bool sync(std::function<void()> work, std::stop_token stop = {});

    // --- Watches (made and cancelled on the loop's thread) --------------------------------
    virtual std::shared_ptr<Watch> watchDescriptor(int fd, IoEvents events, std::function<void(IoEvents)> handler) = 0;
    // Reports the raw wait status of `pid` once it has exited, after reaping it
    // (and only it). 0 when someone else reaped it first.
    std::shared_ptr<Watch> watchChild(pid_t pid, std::function<void(int rawStatus)> onExit);
    // Reaps `pid` silently whenever it exits, so that no zombie remains.
    void reapWhenExited(pid_t pid);
    size_t pendingReapCount();

    // --- Clock, thread and running -------------------------------------------------------
    virtual TimePoint now() const = 0;
    // The calling thread's own work so far: unlike now(), it stands still while the thread waits
    // or is preempted (to a fraction of a millisecond). Read on the loop's thread, for what a
    // piece of its work cost.
    virtual Duration workTime() const = 0;
    // Whether long work on the loop's thread (a pass of a child's output) should end
    // early and post the rest: urgent work waits, a timer is due, or on a toolkit's
    // loop something it runs first (a frame, input) is ready.
    virtual bool shouldYield() = 0;
    virtual bool isLoopThread() const = 0;
    // Runs the loop until quit() is called, from any thread; a quit that comes
    // before the run ends the next run at once.
    virtual void run() = 0;
    virtual void quit() = 0;
    // Runs the loop on this thread until `done` holds or `timeout` of real time
    // has passed; returns whether `done` held. `done` is checked after loop work
    // and every few milliseconds, so it may watch other threads too.
    virtual bool runUntil(const std::function<bool()>& done, Duration timeout) = 0;

    // The program's loop: the one installed with `setMain`, else a GLib loop on
    // the default main context.
    static MainLoop& main();
    static void setMain(MainLoop* loop);

protected:
    // Derived destructors call this before they tear down what watches use.
    void dropReapers();

private:
    void armRepeating(std::shared_ptr<WorkItem> handle, TimePoint due, Duration interval);

    std::mutex reapersMutex_;
    std::map<uint64_t, std::shared_ptr<Watch>> reapers_;
    uint64_t nextReaper_ = 0;
};

// Installs a loop as the program's loop for a scope (tests).
class ScopedMainLoop {
public:
    explicit ScopedMainLoop(MainLoop& loop) { MainLoop::setMain(&loop); }
    ~ScopedMainLoop() { MainLoop::setMain(nullptr); }
    ScopedMainLoop(const ScopedMainLoop&) = delete;
    ScopedMainLoop& operator=(const ScopedMainLoop&) = delete;
};

}  // namespace platform::runtime
