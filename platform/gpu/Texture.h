#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/gpu/GpuTypes.h"

namespace platform::gpu {

class Device;

// A 2D texture without mipmaps. Rows count from the texture's first row (row 0 is y = 0 of the
// texture's coordinates and of a framebuffer drawn into it).
class Texture {
public:
    Texture(std::shared_ptr<Device> device, uint32_t name, PixelFormat format, int width, int height);
    ~Texture();
    Texture(const Texture&) = delete;
    Texture& operator=(const Texture&) = delete;

    PixelFormat format() const { return format_; }
    int width() const { return width_; }
    int height() const { return height_; }
    const std::shared_ptr<Device>& device() const { return device_; }

    // Copies a rectangle of texels from `bytes`, whose rows lie `bytesPerRow` apart. A rectangle
    // that does not lie inside the texture is ignored.
    void replaceRegion(int x, int y, int width, int height, const void* bytes, size_t bytesPerRow);
    // Reads a rectangle back, rows tightly packed from its first row; empty outside the texture
    // or on a lost device.
    std::vector<uint8_t> readBytes(int x, int y, int width, int height);

    uint32_t name() const { return name_; }
    // A framebuffer with this texture as colour attachment 0, made on first use; 0 when GL
    // refuses it.
    uint32_t framebuffer();

private:
    std::shared_ptr<Device> device_;
    uint32_t name_;
    uint32_t framebuffer_ = 0;
    PixelFormat format_;
    int width_;
    int height_;
};

}  // namespace platform::gpu
