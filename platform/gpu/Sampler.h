#pragma once

#include <cstdint>
#include <memory>

#include "platform/gpu/GpuTypes.h"

namespace platform::gpu {

class Device;

class Sampler {
public:
    Sampler(std::shared_ptr<Device> device, uint32_t name, const SamplerDescriptor& descriptor)
        : device_(std::move(device)), name_(name), descriptor_(descriptor) {}
    ~Sampler();
    Sampler(const Sampler&) = delete;
    Sampler& operator=(const Sampler&) = delete;

    uint32_t name() const { return name_; }
    const SamplerDescriptor& descriptor() const { return descriptor_; }

private:
    std::shared_ptr<Device> device_;
    uint32_t name_;
    SamplerDescriptor descriptor_;
};

}  // namespace platform::gpu
