#pragma once

#include "platform/runtime/MainLoop.h"
#include "vantel/core/Scheduler.h"

namespace vantel {

// The engine's scheduler on a main loop: delayed work runs on the loop's thread.
class LoopScheduler : public Scheduler {
public:
    explicit LoopScheduler(platform::runtime::MainLoop& loop) : loop_(loop) {}
    std::shared_ptr<Cancellable> scheduleAfter(double seconds, std::function<void()> work) override;

private:
    platform::runtime::MainLoop& loop_;
};

}  // namespace vantel
