#include "platform/gpu/Sampler.h"

#include <epoxy/gl.h>

#include "platform/gpu/Device.h"

namespace platform::gpu {

Sampler::~Sampler() {
    if (name_ && device_->makeCurrentForCleanup()) glDeleteSamplers(1, &name_);
}

}  // namespace platform::gpu
