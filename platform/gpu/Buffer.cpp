#include "platform/gpu/Buffer.h"

#include <epoxy/gl.h>

#include "platform/gpu/Device.h"

namespace platform::gpu {

Buffer::Buffer(std::shared_ptr<Device> device, uint32_t name, size_t length)
    : device_(std::move(device)), name_(name), contents_(length, 0) {}

Buffer::~Buffer() {
    if (name_ && device_->makeCurrentForCleanup()) glDeleteBuffers(1, &name_);
}

void Buffer::upload() {
    if (!dirty_ || !device_->makeCurrent()) return;
    glBindBuffer(GL_ARRAY_BUFFER, name_);
    glBufferSubData(GL_ARRAY_BUFFER, 0, static_cast<GLsizeiptr>(contents_.size()), contents_.data());
    dirty_ = false;
}

}  // namespace platform::gpu
