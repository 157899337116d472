#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace platform::gpu {

class Device;

// A GL buffer object with a CPU copy: write through contents(), and the next draw that uses the
// buffer uploads what changed.
class Buffer {
public:
    Buffer(std::shared_ptr<Device> device, uint32_t name, size_t length);
    ~Buffer();
    Buffer(const Buffer&) = delete;
    Buffer& operator=(const Buffer&) = delete;

    size_t length() const { return contents_.size(); }
    // The CPU copy; taking it writable marks the buffer for upload.
    uint8_t* contents() {
        dirty_ = true;
        return contents_.data();
    }
    const uint8_t* contents() const { return contents_.data(); }
    // Uploads the CPU copy when it was written (the encoder calls it).
    void upload();
    uint32_t name() const { return name_; }

private:
    std::shared_ptr<Device> device_;
    uint32_t name_;
    std::vector<uint8_t> contents_;
    bool dirty_ = true;
};

}  // namespace platform::gpu
