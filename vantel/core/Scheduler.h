#pragma once

#include <functional>
#include <memory>

namespace vantel {

// A piece of delayed work that can be called off before it runs.
class Cancellable {
public:
    virtual ~Cancellable() = default;
    virtual void cancel() = 0;
};

// The host's way to run work later on the thread that feeds the terminal.
// The engine knows no main loop; hosts supply one (tests a virtual clock).
class Scheduler {
public:
    virtual ~Scheduler() = default;
    virtual std::shared_ptr<Cancellable> scheduleAfter(double seconds, std::function<void()> work) = 0;
};

}  // namespace vantel
