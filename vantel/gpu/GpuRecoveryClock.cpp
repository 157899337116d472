#include "vantel/gpu/GpuRecoveryClock.h"

#include <chrono>
#include <cmath>

#include "platform/runtime/MainLoop.h"

namespace vantel {

using platform::runtime::MainLoop;

namespace {

double uptimeSeconds(MainLoop& loop) {
    return std::chrono::duration<double>(loop.now().time_since_epoch()).count();
}

class MainLoopTask : public GpuRecoveryScheduledTask {
public:
    explicit MainLoopTask(std::shared_ptr<platform::runtime::WorkItem> item) : item_(std::move(item)) {}
    void cancel() override { item_->cancel(); }

private:
    std::shared_ptr<platform::runtime::WorkItem> item_;
};

}  // namespace

double mainLoopUptimeSeconds() { return uptimeSeconds(MainLoop::main()); }

double MainLoopGpuRecoveryClock::now() { return uptimeSeconds(loop_ ? *loop_ : MainLoop::main()); }

std::shared_ptr<GpuRecoveryScheduledTask> MainLoopGpuRecoveryScheduler::schedule(double afterSeconds,
                                                                                std::function<void()> action) {
    MainLoop& loop = loop_ ? *loop_ : MainLoop::main();
    if (!std::isfinite(afterSeconds) || afterSeconds < 0) afterSeconds = 0;
    const auto delay = std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::duration<double>(afterSeconds));
    return std::make_shared<MainLoopTask>(loop.postAfter(delay, std::move(action)));
}

}  // namespace vantel
