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
class GLibMainLoop : public MainLoop {
public:
    // Posted work and timers run at this GLib priority: after the toolkit's layout and redraw
    // (G_PRIORITY_HIGH_IDLE + 10 and + 20), before its idle work.
    static constexpr int queuePriority = 100 + 21;

    enum class ContextChoice { own, programDefault };
    explicit GLibMainLoop(ContextChoice choice = ContextChoice::own);
    ~GLibMainLoop() override;

    void post(std::function<void()> work) override;
    using MainLoop::post;
    void postUrgent(std::function<void()> work) override;
    void postAt(TimePoint due, std::shared_ptr<WorkItem> item) override;
    std::shared_ptr<Watch> watchDescriptor(int fd, IoEvents events, std::function<void(IoEvents)> handler) override;
    TimePoint now() const override { return Clock::now(); }
    bool shouldYield() override;
    bool isLoopThread() const override;
    void run() override;
    void quit() override;
    bool runUntil(const std::function<bool()>& done, Duration timeout) override;

    GMainContext* context() const { return context_; }

    // Called by the queue source; not for other use.
    bool queueReady(int* timeoutMs);
    void dispatchQueue();

private:
    static constexpr Duration sourceCheckInterval = std::chrono::microseconds(500);

    void wakeIfElsewhere(bool needed);
    void enterFromThisThread() { homeThread_.store(std::this_thread::get_id()); }

    GMainContext* context_ = nullptr;
    // Set by quit() from any thread; the current or next run() returns.
    std::atomic<bool> quitRequested_{false};
    GSource* queueSource_ = nullptr;
    bool ownContext_ = true;
    std::atomic<std::thread::id> homeThread_;
    LoopQueue queue_;
    std::vector<LoopQueue::Task> spareBatch_;
    TimePoint lastSourceCheck_{};
    bool sourceAboveReady_ = false;
};

}  // namespace platform::runtime
