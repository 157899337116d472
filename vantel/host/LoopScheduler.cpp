#include "vantel/host/LoopScheduler.h"

#include <algorithm>

namespace vantel {

namespace {

class LoopCancellable : public Cancellable {
public:
    explicit LoopCancellable(std::shared_ptr<platform::runtime::WorkItem> item) : item_(std::move(item)) {}
    void cancel() override { item_->cancel(); }

private:
    std::shared_ptr<platform::runtime::WorkItem> item_;
};

// About 31 years: far enough, and clear of the nanosecond clock's range.
constexpr double longestDelaySeconds = 1e9;

}  // namespace

std::shared_ptr<Cancellable> LoopScheduler::scheduleAfter(double seconds, std::function<void()> work) {
    if (!(seconds > 0)) seconds = 0;  // negative or NaN: run as soon as possible
    seconds = std::min(seconds, longestDelaySeconds);
    const auto delay = std::chrono::duration_cast<platform::runtime::Duration>(std::chrono::duration<double>(seconds));
    return std::make_shared<LoopCancellable>(loop_.postAfter(delay, std::move(work)));
}

}  // namespace vantel
