#pragma once

#include <functional>
#include <memory>

namespace platform::runtime {
class MainLoop;
}

namespace vantel {

// The frame coordinator's time: seconds of uptime.
class GpuRecoveryClock {
public:
    virtual ~GpuRecoveryClock() = default;
    virtual double now() = 0;
};

class GpuRecoveryScheduledTask {
public:
    virtual ~GpuRecoveryScheduledTask() = default;
    virtual void cancel() = 0;
};

// Delayed callbacks for the frame coordinator.
class GpuRecoveryScheduler {
public:
    virtual ~GpuRecoveryScheduler() = default;
    virtual std::shared_ptr<GpuRecoveryScheduledTask> schedule(double afterSeconds, std::function<void()> action) = 0;
};

// The main loop's clock (its uptime) and timers; a null loop means the program's loop at each
// call. Tests run both on a virtual loop.
class MainLoopGpuRecoveryClock : public GpuRecoveryClock {
public:
    explicit MainLoopGpuRecoveryClock(platform::runtime::MainLoop* loop = nullptr) : loop_(loop) {}
    double now() override;

private:
    platform::runtime::MainLoop* loop_;
};

class MainLoopGpuRecoveryScheduler : public GpuRecoveryScheduler {
public:
    explicit MainLoopGpuRecoveryScheduler(platform::runtime::MainLoop* loop = nullptr) : loop_(loop) {}
    std::shared_ptr<GpuRecoveryScheduledTask> schedule(double afterSeconds, std::function<void()> action) override;

private:
    platform::runtime::MainLoop* loop_;
};

// Uptime in seconds on the program's loop.
double mainLoopUptimeSeconds();

}  // namespace vantel
