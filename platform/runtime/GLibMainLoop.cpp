#include "platform/runtime/GLibMainLoop.h"

#include <glib-unix.h>
#include <glib.h>
#include <time.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <exception>
#include <optional>

namespace platform::runtime {

namespace {

struct QueueSource {
    GSource base;
    GLibMainLoop* loop;
};

gboolean queuePrepare(GSource* source, gint* timeout) {
    return reinterpret_cast<QueueSource*>(source)->loop->queueReady(timeout);
}

gboolean queueCheck(GSource* source) {
    int unused = 0;
    return reinterpret_cast<QueueSource*>(source)->loop->queueReady(&unused);
}

gboolean queueDispatch(GSource* source, GSourceFunc, gpointer) {
    reinterpret_cast<QueueSource*>(source)->loop->dispatchQueue(false);
    return G_SOURCE_CONTINUE;
}

// The watch over the queue: prepared before the sources that may keep the queue waiting, since
// GLib prepares sources in order of priority and stops below the first that is ready.
gboolean passedOverPrepare(GSource* source, gint* timeout) {
    *timeout = -1;
    return reinterpret_cast<QueueSource*>(source)->loop->queuePassedOver();
}

gboolean passedOverCheck(GSource* source) { return reinterpret_cast<QueueSource*>(source)->loop->queuePassedOver(); }

gboolean passedOverDispatch(GSource* source, GSourceFunc, gpointer) {
    reinterpret_cast<QueueSource*>(source)->loop->dispatchQueue(true);
    return G_SOURCE_CONTINUE;
}

constexpr Duration runUntilRecheck = std::chrono::milliseconds(10);

GSourceFuncs queueSourceFuncs = {queuePrepare, queueCheck, queueDispatch, nullptr, nullptr, nullptr};
GSourceFuncs passedOverSourceFuncs = {passedOverPrepare, passedOverCheck, passedOverDispatch, nullptr, nullptr, nullptr};

GSource* makeQueueSource(GSourceFuncs* funcs, GLibMainLoop* loop, int priority, GMainContext* context) {
    GSource* source = g_source_new(funcs, sizeof(QueueSource));
    reinterpret_cast<QueueSource*>(source)->loop = loop;
    // Work may run a nested loop (runUntil) that must still see the queue.
    g_source_set_can_recurse(source, TRUE);
    g_source_set_priority(source, priority);
    g_source_attach(source, context);
    return source;
}

struct FdWatchState {
    std::function<void(IoEvents)> handler;
    std::atomic<bool> cancelled{false};
};

IoEvents fromCondition(GIOCondition condition) {
    IoEvents events = 0;
    if (condition & G_IO_IN) events |= IoEvent::readable;
    if (condition & G_IO_OUT) events |= IoEvent::writable;
    if (condition & G_IO_HUP) events |= IoEvent::hangup;
    if (condition & (G_IO_ERR | G_IO_NVAL)) events |= IoEvent::error;
    return events;
}

gboolean fdWatchFired(gint, GIOCondition condition, gpointer data) {
    // A copy, so that the state outlives a cancel made by the handler.
    auto state = *static_cast<std::shared_ptr<FdWatchState>*>(data);
    if (state->cancelled.load()) return G_SOURCE_REMOVE;
    try {
        state->handler(fromCondition(condition));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "main loop: descriptor handler threw: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "main loop: descriptor handler threw\n");
    }
    return state->cancelled.load() ? G_SOURCE_REMOVE : G_SOURCE_CONTINUE;
}

void fdWatchDataFree(gpointer data) { delete static_cast<std::shared_ptr<FdWatchState>*>(data); }

class GLibFdWatch : public Watch {
public:
    GLibFdWatch(GSource* source, std::shared_ptr<FdWatchState> state) : source_(source), state_(std::move(state)) {}
    ~GLibFdWatch() override {
        cancel();
        g_source_unref(source_);
    }
    void cancel() override {
        if (!state_->cancelled.exchange(true)) g_source_destroy(source_);
    }

private:
    GSource* source_;
    std::shared_ptr<FdWatchState> state_;
};

}  // namespace

GLibMainLoop::GLibMainLoop(ContextChoice choice) : ownContext_(choice == ContextChoice::own) {
    context_ = ownContext_ ? g_main_context_new() : g_main_context_ref(g_main_context_default());
    homeThread_.store(std::this_thread::get_id());
    // Just below the toolkit's redraw: work that never stops coming (children flooding their
    // terminals) must not keep windows from painting; input events still come first.
    queueSource_ = makeQueueSource(&queueSourceFuncs, this, queuePriority, context_);
    passedOverSource_ = makeQueueSource(&passedOverSourceFuncs, this, passedOverPriority, context_);
}

GLibMainLoop::~GLibMainLoop() {
    dropReapers();
    for (GSource* source : {queueSource_, passedOverSource_}) {
        g_source_destroy(source);
        g_source_unref(source);
    }
    queue_.clear();
    g_main_context_unref(context_);
}

bool GLibMainLoop::isLoopThread() const {
    return g_main_context_is_owner(context_) || homeThread_.load() == std::this_thread::get_id();
}

void GLibMainLoop::wakeIfElsewhere(bool needed) {
    if (needed && !g_main_context_is_owner(context_)) g_main_context_wakeup(context_);
}

void GLibMainLoop::post(std::function<void()> work) { wakeIfElsewhere(queue_.push(std::move(work), Clock::now())); }

void GLibMainLoop::postUrgent(std::function<void()> work) {
    wakeIfElsewhere(queue_.pushUrgent(std::move(work), Clock::now()));
}

void GLibMainLoop::postAt(TimePoint due, std::shared_ptr<WorkItem> item) {
    wakeIfElsewhere(queue_.pushAt(due, std::move(item)));
}

bool GLibMainLoop::queueReady(int* timeoutMs) {
    *timeoutMs = -1;
    if (queue_.hasQueuedWork()) {
        *timeoutMs = 0;
        return true;
    }
    const auto due = queue_.nextDue();
    if (!due) return false;
    const auto current = Clock::now();
    if (*due <= current) {
        *timeoutMs = 0;
        return true;
    }
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*due - current).count();
    *timeoutMs = wait > INT_MAX ? INT_MAX : static_cast<int>(wait);
    return false;
}

bool GLibMainLoop::queuePassedOver() {
    if (askingFromWork_) return false;
    const TimePoint current = Clock::now();
    const std::optional<TimePoint> ready = queue_.readySince(current);
    return ready && current - std::max(*ready, queueTurnAt_) >= passedOverLimit;
}

void GLibMainLoop::dispatchQueue(bool passedOver) {
    // Reuse one batch's storage; a nested dispatch finds it taken and makes its own.
    std::vector<LoopQueue::Task> batch;
    batch.swap(spareBatch_);
    queueTurnAt_ = Clock::now();
    // GLib runs the queue at its own priority only when nothing above it is ready; a turn it
    // takes ahead of them lets them wait for a while.
    sourceAboveReady_ = false;
    const TimePoint aboveWaitedUntil = aboveWaitsUntil_;
    if (passedOver) {
        ++passedOverTurns_;
        aboveWaitsUntil_ = queueTurnAt_ + passedOverTurn;
    }
    queue_.takeQueued(batch);
    queue_.runBatch(batch, *this);
    batch.clear();
    if (batch.capacity() > spareBatch_.capacity()) batch.swap(spareBatch_);
    aboveWaitsUntil_ = aboveWaitedUntil;
    queueTurnAt_ = Clock::now();
}

Duration GLibMainLoop::workTime() const {
    const TimePoint current = Clock::now();
    Duration work = workRead_ + (current - workReadAt_);
    if (current - workReadAt_ >= workClockInterval) {
        timespec cpu{};
        if (::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu) != 0) return workGiven_;
        workRead_ = work = std::chrono::seconds(cpu.tv_sec) + std::chrono::nanoseconds(cpu.tv_nsec);
        workReadAt_ = current;
    }
    // Never backwards: real time counted as work may have been time the thread was away.
    workGiven_ = std::max(workGiven_, work);
    return workGiven_;
}

bool GLibMainLoop::shouldYield() {
    const TimePoint current = Clock::now();
    if (sourceAboveReady_ || queue_.hasUrgentWork() || queue_.hasTimerDueBy(current)) return true;
    // A source above the queue that is ready (the toolkit's frame clock, input) waits for the
    // work in progress too. GLib is asked now and then only: preparing the context's sources
    // costs more than a delivered piece of plain text. The answer holds for the rest of the
    // batch.
    if (current - lastSourceCheck_ < sourceCheckInterval || !g_main_context_is_owner(context_)) return false;
    lastSourceCheck_ = current;
    int priority = G_MAXINT;
    // In a turn the queue took ahead of them, frames wait for its budget; input never does.
    const int above = current < aboveWaitsUntil_ ? passedOverPriority + 1 : queuePriority;
    askingFromWork_ = true;
    sourceAboveReady_ = g_main_context_prepare(context_, &priority) && priority < above;
    askingFromWork_ = false;
    return sourceAboveReady_;
}

std::shared_ptr<Watch> GLibMainLoop::watchDescriptor(int fd, IoEvents events, std::function<void(IoEvents)> handler) {
    int condition = G_IO_HUP | G_IO_ERR;
    if (events & IoEvent::readable) condition |= G_IO_IN;
    if (events & IoEvent::writable) condition |= G_IO_OUT;
    auto state = std::make_shared<FdWatchState>();
    state->handler = std::move(handler);
    GSource* source = g_unix_fd_source_new(fd, static_cast<GIOCondition>(condition));
    g_source_set_callback(source, reinterpret_cast<GSourceFunc>(reinterpret_cast<void (*)()>(fdWatchFired)),
                          new std::shared_ptr<FdWatchState>(state), fdWatchDataFree);
    g_source_attach(source, context_);
    return std::make_shared<GLibFdWatch>(source, std::move(state));
}

void GLibMainLoop::run() {
    enterFromThisThread();
    if (ownContext_) g_main_context_push_thread_default(context_);
    while (!quitRequested_.exchange(false)) g_main_context_iteration(context_, TRUE);
    if (ownContext_) g_main_context_pop_thread_default(context_);
}

void GLibMainLoop::quit() {
    quitRequested_.store(true);
    g_main_context_wakeup(context_);
}

bool GLibMainLoop::runUntil(const std::function<bool()>& done, Duration timeout) {
    enterFromThisThread();
    const TimePoint deadline = Clock::now() + timeout;
    // Wakes the loop now and then, so that `done` may also watch other threads.
    auto alarm = scheduleRepeating(runUntilRecheck, [] {});
    bool result = true;
    while (!done()) {
        if (Clock::now() >= deadline) {
            result = false;
            break;
        }
        g_main_context_iteration(context_, TRUE);
    }
    alarm->cancel();
    return result;
}

}  // namespace platform::runtime
