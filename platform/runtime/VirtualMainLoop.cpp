#include "platform/runtime/VirtualMainLoop.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <utility>

namespace platform::runtime {

struct VirtualMainLoop::DescriptorWatch {
    int fd;
    short events;
    std::function<void(IoEvents)> handler;
    std::atomic<bool> cancelled{false};
};

namespace {

class VirtualWatch : public Watch {
public:
    explicit VirtualWatch(std::function<void()> onCancel) : onCancel_(std::move(onCancel)) {}
    ~VirtualWatch() override { cancel(); }
    void cancel() override {
        if (onCancel_) std::exchange(onCancel_, nullptr)();
    }

private:
    std::function<void()> onCancel_;
};

IoEvents fromPoll(short revents) {
    IoEvents events = 0;
    if (revents & POLLIN) events |= IoEvent::readable;
    if (revents & POLLOUT) events |= IoEvent::writable;
    if (revents & POLLHUP) events |= IoEvent::hangup;
    if (revents & (POLLERR | POLLNVAL)) events |= IoEvent::error;
    return events;
}

}  // namespace

VirtualMainLoop::VirtualMainLoop() {
    homeThread_.store(std::this_thread::get_id());
    wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

VirtualMainLoop::~VirtualMainLoop() {
    dropReapers();
    queue_.clear();
    if (wakeFd_ >= 0) ::close(wakeFd_);
}

void VirtualMainLoop::wake() {
    if (wakeFd_ < 0 || isLoopThread()) return;
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t written = ::write(wakeFd_, &one, sizeof one);
}

void VirtualMainLoop::post(std::function<void()> work) {
    queue_.push(std::move(work), now());
    wake();
}

void VirtualMainLoop::postUrgent(std::function<void()> work) {
    queue_.pushUrgent(std::move(work), now());
    wake();
}

void VirtualMainLoop::postAt(TimePoint due, std::shared_ptr<WorkItem> item) {
    queue_.pushAt(due, std::move(item));
    wake();
}

std::shared_ptr<Watch> VirtualMainLoop::watchDescriptor(int fd, IoEvents events, std::function<void(IoEvents)> handler) {
    auto watch = std::make_shared<DescriptorWatch>();
    watch->fd = fd;
    watch->events = static_cast<short>(((events & IoEvent::readable) ? POLLIN : 0) |
                                       ((events & IoEvent::writable) ? POLLOUT : 0));
    watch->handler = std::move(handler);
    {
        std::lock_guard lock(watchesMutex_);
        watches_.push_back(watch);
    }
    std::weak_ptr<DescriptorWatch> weak = watch;
    return std::make_shared<VirtualWatch>([this, weak] {
        auto watch = weak.lock();
        if (!watch) return;
        watch->cancelled.store(true);
        std::lock_guard lock(watchesMutex_);
        watches_.erase(std::remove(watches_.begin(), watches_.end(), watch), watches_.end());
    });
}

size_t VirtualMainLoop::dispatchReadyDescriptors(int timeoutMs) {
    std::vector<std::shared_ptr<DescriptorWatch>> watches;
    {
        std::lock_guard lock(watchesMutex_);
        watches = watches_;
    }
    std::vector<pollfd> fds;
    fds.reserve(watches.size() + 1);
    for (auto& watch : watches) fds.push_back(pollfd{watch->fd, watch->events, 0});
    fds.push_back(pollfd{wakeFd_, POLLIN, 0});
    if (::poll(fds.data(), fds.size(), timeoutMs) <= 0) return 0;
    if (fds.back().revents & POLLIN) {
        uint64_t count;
        [[maybe_unused]] ssize_t got = ::read(wakeFd_, &count, sizeof count);
    }
    size_t ran = 0;
    for (size_t i = 0; i < watches.size(); ++i) {
        if (!fds[i].revents || watches[i]->cancelled.load()) continue;
        ++ran;
        try {
            watches[i]->handler(fromPoll(fds[i].revents));
        } catch (const std::exception& e) {
            std::fprintf(stderr, "main loop: descriptor handler threw: %s\n", e.what());
        } catch (...) {
            std::fprintf(stderr, "main loop: descriptor handler threw\n");
        }
    }
    return ran;
}

size_t VirtualMainLoop::runPending(size_t maxRounds) {
    size_t total = 0;
    std::vector<LoopQueue::Task> batch;
    for (size_t round = 0; round < maxRounds; ++round) {
        batch.clear();
        queue_.takeQueued(batch);
        const size_t ran = queue_.runBatch(batch, *this) + dispatchReadyDescriptors(0);
        if (ran == 0) break;
        total += ran;
    }
    return total;
}

void VirtualMainLoop::advance(Duration delta) {
    homeThread_.store(std::this_thread::get_id());
    const TimePoint target = now() + delta;
    runPending();
    while (auto timer = queue_.popTimerDueBy(target)) {
        if (timer->first > now()) setNow(timer->first);
        LoopQueue::Task task{nullptr, std::move(timer->second)};
        runTaskContained(task);
        runPending();
    }
    if (target > now()) setNow(target);
    runPending();
}

bool VirtualMainLoop::runUntil(const std::function<bool()>& done, Duration timeout) {
    homeThread_.store(std::this_thread::get_id());
    const TimePoint deadline = Clock::now() + timeout;
    for (;;) {
        runPending();
        if (done()) return true;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return false;
        // Timers wait for `advance`; only posts and descriptors end this wait.
        dispatchReadyDescriptors(static_cast<int>(std::min<int64_t>(left, 10)));
    }
}

void VirtualMainLoop::run() {
    runUntil([this] { return quitRequested_.exchange(false); }, std::chrono::hours(24 * 365));
}

void VirtualMainLoop::quit() {
    quitRequested_.store(true);
    wake();
}

}  // namespace platform::runtime
