#pragma once

#include <cstddef>
#include <memory>
#include <unordered_map>
#include <vector>

namespace platform::gpu {
class Buffer;
class CommandBuffer;
class Device;
}  // namespace platform::gpu

namespace vantel {

// Buffers for what a frame uploads, by size class, given back once the frame's command buffer
// completed and kept idle for the next frames (at most maxBuffersPerSize of one length).
// Completion runs on the main loop, like everything else here: no lock. Main thread only.
class GpuBufferPool : public std::enable_shared_from_this<GpuBufferPool> {
public:
    static constexpr size_t alignment = 256;
    static constexpr size_t maxBuffersPerSize = 4;
    static constexpr size_t smallestClass = 4096;

    explicit GpuBufferPool(std::shared_ptr<platform::gpu::Device> device) : device_(std::move(device)) {}

    // The smallest 4096 × 2^k bytes that holds `length` raised to a multiple of the alignment;
    // 0 for nothing.
    static size_t sizeClass(size_t length);

    // An idle buffer of exactly `length` bytes, else a new one; none when the device makes none.
    std::shared_ptr<platform::gpu::Buffer> dequeue(size_t length);
    // A buffer of the size class of `length`, held by the frame being built.
    std::shared_ptr<platform::gpu::Buffer> frameBuffer(size_t length);
    // A new frame: its list of buffers starts empty.
    void beginFrame() { frameBuffers_.clear(); }
    // The frame's buffers come back once the command buffer completed (the pool held weakly).
    void commit(platform::gpu::CommandBuffer& commandBuffer);
    // Idle again; beyond maxBuffersPerSize of a length they are released.
    void recycle(std::vector<std::shared_ptr<platform::gpu::Buffer>> buffers);

    size_t availableCount(size_t length) const;
    size_t availableTotal() const;
    const std::vector<std::shared_ptr<platform::gpu::Buffer>>& frameBuffers() const { return frameBuffers_; }

private:
    std::shared_ptr<platform::gpu::Device> device_;
    std::unordered_map<size_t, std::vector<std::shared_ptr<platform::gpu::Buffer>>> available_;
    std::vector<std::shared_ptr<platform::gpu::Buffer>> frameBuffers_;
};

}  // namespace vantel
