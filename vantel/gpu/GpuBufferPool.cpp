#include "vantel/gpu/GpuBufferPool.h"

#include "platform/gpu/Buffer.h"
#include "platform/gpu/CommandQueue.h"
#include "platform/gpu/Device.h"

namespace vantel {

size_t GpuBufferPool::sizeClass(size_t length) {
    if (length == 0) return 0;
    const size_t aligned = (length + alignment - 1) / alignment * alignment;
    size_t size = smallestClass;
    while (size < aligned) size *= 2;
    return size;
}

std::shared_ptr<platform::gpu::Buffer> GpuBufferPool::dequeue(size_t length) {
    auto found = available_.find(length);
    if (found != available_.end() && !found->second.empty()) {
        auto buffer = std::move(found->second.back());
        found->second.pop_back();
        return buffer;
    }
    return device_ ? device_->makeBuffer(length) : nullptr;
}

std::shared_ptr<platform::gpu::Buffer> GpuBufferPool::frameBuffer(size_t length) {
    const size_t size = sizeClass(length);
    if (size == 0) return nullptr;
    auto buffer = dequeue(size);
    if (buffer) frameBuffers_.push_back(buffer);
    return buffer;
}

void GpuBufferPool::commit(platform::gpu::CommandBuffer& commandBuffer) {
    if (frameBuffers_.empty()) return;
    std::weak_ptr<GpuBufferPool> weak = weak_from_this();
    commandBuffer.addCompletedHandler([weak, buffers = frameBuffers_](platform::gpu::CommandBuffer&) mutable {
        if (auto pool = weak.lock()) pool->recycle(std::move(buffers));
    });
}

void GpuBufferPool::recycle(std::vector<std::shared_ptr<platform::gpu::Buffer>> buffers) {
    for (auto& buffer : buffers) {
        if (!buffer) continue;
        auto& idle = available_[buffer->length()];
        if (idle.size() < maxBuffersPerSize) idle.push_back(std::move(buffer));
    }
}

size_t GpuBufferPool::availableCount(size_t length) const {
    auto found = available_.find(length);
    return found == available_.end() ? 0 : found->second.size();
}

size_t GpuBufferPool::availableTotal() const {
    size_t total = 0;
    for (const auto& [length, idle] : available_) total += idle.size();
    return total;
}

}  // namespace vantel
