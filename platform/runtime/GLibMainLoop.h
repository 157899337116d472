#pragma once

#include <atomic>
#include <thread>
#include <vector>

#include "platform/runtime/LoopQueue.h"
#include "platform/runtime/MainLoop.h"

typedef struct _GMainContext GMainContext;
typedef struct _GSource GSource;

namespace platform::runtime {

// The program's loop on GLib: posted work and timers are one GLib source of
// the context, descriptors are GLib unix-fd sources. No display is needed.
//
// GLib dispatches only the most urgent of the sources that are ready. The queue
// sits below the toolkit's input and frames, so that work that never stops
// coming (children flooding their terminals) cannot keep a window from
// painting; but frames that are due again every time the loop comes round (a
// frame slower than the frame clock's interval on a starved core) would then
// keep the queue, and with it every timer and all terminal output, from ever
// running. A second source, as urgent as input, watches for that: once work
// has been ready for `passedOverLimit` while the loop ran other sources, it
// runs the queue ahead of them for one turn, whose long work (a terminal's
// output) is cut short during `passedOverTurn` for input only, not frames.
class GLibMainLoop : public MainLoop {
public:
    // Posted work and timers run at this GLib priority: after the toolkit's layout and redraw
    // (G_PRIORITY_HIGH_IDLE + 10 and + 20), before its idle work.
    static constexpr int queuePriority = 100 + 21;
    // The queue's turn after it was passed over, at the priority of input (G_PRIORITY_DEFAULT):
    // above the toolkit's frame flush (+1) and paint, beside input, which it never displaces.
    static constexpr int passedOverPriority = 0;
    // About a frame: no ready work waits longer for sources above the queue.
    static constexpr Duration passedOverLimit = std::chrono::milliseconds(16);
    // Half a frame of the queue's work before a frame that waits may cut it short.
    static constexpr Duration passedOverTurn = std::chrono::milliseconds(8);

    enum class ContextChoice { own, programDefault };
    explicit GLibMainLoop(ContextChoice choice = ContextChoice::own);
    ~GLibMainLoop() override;

    void post(std::function<void()> work) override;
    using MainLoop::post;
    void postUrgent(std::function<void()> work) override;
    void postAt(TimePoint due, std::shared_ptr<WorkItem> item) override;
    std::shared_ptr<Watch> watchDescriptor(int fd, IoEvents events, std::function<void(IoEvents)> handler) override;
    TimePoint now() const override { return Clock::now(); }
    Duration workTime() const override;
    bool shouldYield() override;
    bool isLoopThread() const override;
    void run() override;
    void quit() override;
    bool runUntil(const std::function<bool()>& done, Duration timeout) override;

    GMainContext* context() const { return context_; }

    // Turns the queue took ahead of the sources above it (diagnostics, benchmarks).
    uint64_t passedOverTurns() const { return passedOverTurns_; }

    // Called by the queue's sources; not for other use.
    bool queueReady(int* timeoutMs);
    bool queuePassedOver();
    void dispatchQueue(bool passedOver);

private:
    static constexpr Duration sourceCheckInterval = std::chrono::microseconds(500);
    // The thread's processor time is a system call (over a microsecond on some machines, more
    // than a small piece of output costs): it is read at most this often, and in between real
    // time counts as work. Preemption on a starved core comes in whole milliseconds.
    static constexpr Duration workClockInterval = std::chrono::microseconds(200);

    void wakeIfElsewhere(bool needed);
    void enterFromThisThread() { homeThread_.store(std::this_thread::get_id()); }

    GMainContext* context_ = nullptr;
    // Set by quit() from any thread; the current or next run() returns.
    std::atomic<bool> quitRequested_{false};
    GSource* queueSource_ = nullptr;
    GSource* passedOverSource_ = nullptr;
    bool ownContext_ = true;
    std::atomic<std::thread::id> homeThread_;
    LoopQueue queue_;
    std::vector<LoopQueue::Task> spareBatch_;
    TimePoint lastSourceCheck_{};
    bool sourceAboveReady_ = false;
    // When the queue's last turn began or ended: time in its own work is no time passed over.
    TimePoint queueTurnAt_{};
    // Until then a turn taken ahead of the sources above does not yield to them.
    TimePoint aboveWaitsUntil_{};
    // shouldYield asks the context itself: the queue's own sources are not above it.
    bool askingFromWork_ = false;
    uint64_t passedOverTurns_ = 0;
    // workTime's last reading of the thread's processor time, and what it last answered.
    mutable TimePoint workReadAt_{};
    mutable Duration workRead_{};
    mutable Duration workGiven_{};
};

}  // namespace platform::runtime
