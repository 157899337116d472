#include "platform/runtime/MainLoop.h"

#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <utility>

#include "platform/runtime/GLibMainLoop.h"

namespace platform::runtime {

namespace {

std::atomic<MainLoop*> installedMain{nullptr};

int openPidDescriptor(pid_t pid) {
#ifdef SYS_pidfd_open
    return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
#else
    (void)pid;
    errno = ENOSYS;
    return -1;
#endif
}

// Where pidfds are missing, the child is polled; still only that child is reaped.
constexpr Duration childPollInterval = std::chrono::milliseconds(20);

class ChildWatch : public Watch {
public:
    ChildWatch(pid_t pid, std::function<void(int)> onExit) : pid_(pid), onExit_(std::move(onExit)) {}
    ~ChildWatch() override { stop(); }

    void start(MainLoop& loop, const std::shared_ptr<ChildWatch>& self) {
        std::weak_ptr<ChildWatch> weak = self;
        pidfd_ = openPidDescriptor(pid_);
        if (pidfd_ >= 0) {
            fdWatch_ = loop.watchDescriptor(pidfd_, IoEvent::readable, [weak](IoEvents) {
                if (auto watch = weak.lock()) watch->check();
            });
        } else {
            poller_ = loop.scheduleRepeating(childPollInterval, [weak] {
                if (auto watch = weak.lock()) watch->check();
            });
        }
    }

    void cancel() override {
        finished_ = true;
        onExit_ = nullptr;
        stop();
    }

private:
    void check() {
        if (finished_) return;
        int status = 0;
        const pid_t reaped = ::waitpid(pid_, &status, WNOHANG);
        if (reaped == 0 || (reaped < 0 && errno == EINTR)) return;
        if (reaped < 0) status = 0;
        finished_ = true;
        auto report = std::move(onExit_);
        stop();
        // Last: the report may drop this watch.
        if (report) report(status);
    }

    void stop() {
        if (fdWatch_) std::exchange(fdWatch_, nullptr)->cancel();
        if (poller_) std::exchange(poller_, nullptr)->cancel();
        if (pidfd_ >= 0) ::close(std::exchange(pidfd_, -1));
    }

    pid_t pid_;
    std::function<void(int)> onExit_;
    int pidfd_ = -1;
    bool finished_ = false;
    std::shared_ptr<Watch> fdWatch_;
    std::shared_ptr<WorkItem> poller_;
};

// The shared state of one `sync` call. The waiter may give up (stop requested);
// the loop may drop the work unrun (loop destroyed); the ticket tells both.
struct SyncState {
    std::mutex mutex;
    std::condition_variable_any changed;
    bool started = false;
    bool finished = false;
    bool abandoned = false;

    void finish() {
        {
            std::lock_guard lock(mutex);
            finished = true;
        }
        changed.notify_all();
    }
};

struct SyncTicket {
    std::shared_ptr<SyncState> state;
    std::function<void()> work;
    ~SyncTicket() {
        if (state) state->finish();
    }
};

}  // namespace

MainLoop::~MainLoop() = default;

void MainLoop::post(std::shared_ptr<WorkItem> item) {
    post([item = std::move(item)] { item->perform(); });
}

std::shared_ptr<WorkItem> MainLoop::postAfter(Duration delay, std::function<void()> work) {
    auto item = std::make_shared<WorkItem>(std::move(work));
    postAt(now() + delay, item);
    return item;
}

std::shared_ptr<WorkItem> MainLoop::scheduleRepeating(Duration interval, std::function<void()> work) {
    if (interval <= Duration::zero()) interval = std::chrono::milliseconds(1);
    auto handle = std::make_shared<WorkItem>(std::move(work));
    armRepeating(handle, now() + interval, interval);
    return handle;
}

void MainLoop::armRepeating(std::shared_ptr<WorkItem> handle, TimePoint due, Duration interval) {
    auto tick = std::make_shared<WorkItem>([this, handle, due, interval] {
        TimePoint next = due + interval;
        const TimePoint current = now();
        if (next <= current) next = current + interval;
        // Armed before the work runs, so that the work may cancel it.
        armRepeating(handle, next, interval);
        handle->perform();
    }, handle);
    postAt(due, std::move(tick));
}

bool MainLoop::sync(std::function<void()> work, std::stop_token stop) {
    if (isLoopThread()) {
        work();
        return true;
    }
    auto state = std::make_shared<SyncState>();
    auto ticket = std::make_shared<SyncTicket>();
    ticket->state = state;
    ticket->work = std::move(work);
    post([ticket] {
        {
            std::lock_guard lock(ticket->state->mutex);
            if (ticket->state->abandoned) return;
            ticket->state->started = true;
        }
        ticket->work();
        ticket->state->finish();
    });
    ticket.reset();
    std::unique_lock lock(state->mutex);
    state->changed.wait(lock, stop, [&] { return state->finished; });
    if (state->finished) return state->started;
    state->abandoned = true;
    return false;
}

std::shared_ptr<Watch> MainLoop::watchChild(pid_t pid, std::function<void(int rawStatus)> onExit) {
    auto watch = std::make_shared<ChildWatch>(pid, std::move(onExit));
    watch->start(*this, watch);
    return watch;
}

void MainLoop::reapWhenExited(pid_t pid) {
    if (pid <= 0) return;
    uint64_t key;
    {
        std::lock_guard lock(reapersMutex_);
        key = nextReaper_++;
    }
    auto watch = watchChild(pid, [this, key](int) {
        std::shared_ptr<Watch> done;
        std::lock_guard lock(reapersMutex_);
        auto it = reapers_.find(key);
        if (it == reapers_.end()) return;
        done = std::move(it->second);
        reapers_.erase(it);
    });
    std::lock_guard lock(reapersMutex_);
    reapers_.emplace(key, std::move(watch));
}

size_t MainLoop::pendingReapCount() {
    std::lock_guard lock(reapersMutex_);
    return reapers_.size();
}

void MainLoop::dropReapers() {
    std::map<uint64_t, std::shared_ptr<Watch>> reapers;
    {
        std::lock_guard lock(reapersMutex_);
        reapers.swap(reapers_);
    }
}

MainLoop& MainLoop::main() {
    if (MainLoop* loop = installedMain.load(std::memory_order_acquire)) return *loop;
    // Never destroyed: a thread that hands work over as the process exits finds it still there.
    static GLibMainLoop* const defaultLoop = new GLibMainLoop(GLibMainLoop::ContextChoice::programDefault);
    return *defaultLoop;
}

void MainLoop::setMain(MainLoop* loop) { installedMain.store(loop, std::memory_order_release); }

}  // namespace platform::runtime
