#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/gpu/GpuTypes.h"

namespace platform::gpu {

class Device;
class Drawable;
class RenderEncoder;
struct RenderPassDescriptor;

// The work of one frame. Committing flushes GL and sets a fence; the main loop polls the fences
// (at each new command buffer, and on a timer only while one is pending) and, once this one has
// signalled, presents the drawables and runs the completed handlers there, in commit order.
class CommandBuffer : public std::enable_shared_from_this<CommandBuffer> {
public:
    explicit CommandBuffer(std::shared_ptr<Device> device);
    ~CommandBuffer();
    CommandBuffer(const CommandBuffer&) = delete;
    CommandBuffer& operator=(const CommandBuffer&) = delete;

    CommandBufferStatus status() const { return status_; }
    // Why the buffer ended in `error`.
    const std::optional<std::string>& error() const { return error_; }
    const std::shared_ptr<Device>& device() const { return device_; }

    // None when the pass cannot be bound (or a test says so), or after commit.
    std::shared_ptr<RenderEncoder> renderCommandEncoder(const RenderPassDescriptor& pass);
    void present(std::shared_ptr<Drawable> drawable);
    void addCompletedHandler(std::function<void(CommandBuffer&)> handler);
    // Once only; a second commit does nothing.
    void commit();
    // Blocks until the GPU is done with it (at most `timeoutNs`), then polls: tools and tests.
    void waitUntilCompleted(uint64_t timeoutNs = 5'000'000'000);

    // --- The poller's side ---------------------------------------------------------------------
    // Looks at the fence: true once the buffer has completed or failed.
    bool checkFinished();
    // Presents and runs the completed handlers (once).
    void finish();

private:
    void fail(const std::string& why);

    std::shared_ptr<Device> device_;
    CommandBufferStatus status_ = CommandBufferStatus::notEnqueued;
    std::optional<std::string> error_;
    void* fence_ = nullptr;
    std::vector<std::shared_ptr<Drawable>> drawables_;
    std::vector<std::function<void(CommandBuffer&)>> completedHandlers_;
    std::vector<std::shared_ptr<RenderEncoder>> encoders_;
    bool finished_ = false;
};

class CommandQueue {
public:
    explicit CommandQueue(std::shared_ptr<Device> device) : device_(std::move(device)) {}

    // Polls the fences first (a frame is a good moment). None on a lost device or by a test hook.
    std::shared_ptr<CommandBuffer> commandBuffer();

private:
    std::shared_ptr<Device> device_;
};

// Polls the fences of committed command buffers on the program's main loop. Main thread only.
class CompletionPoller {
public:
    static constexpr uint64_t pollIntervalNs = 1'000'000;

    static CompletionPoller& shared();
    void add(std::shared_ptr<CommandBuffer> buffer);
    // Finishes what has completed; per device in commit order.
    void poll();
    size_t pendingCount() const { return pending_.size(); }

private:
    void updateTimer();

    std::vector<std::shared_ptr<CommandBuffer>> pending_;
    bool polling_ = false;
    struct Timer;
    std::shared_ptr<Timer> timer_;
};

}  // namespace platform::gpu
