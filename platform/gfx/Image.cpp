#include "platform/gfx/Image.h"

namespace platform::gfx {

Image Image::fromRgba(std::span<const uint8_t> rgba, int width, int height) {
    Image image;
    if (width <= 0 || height <= 0 || rgba.size() / 4 / static_cast<size_t>(width) != static_cast<size_t>(height) ||
        rgba.size() != static_cast<size_t>(width) * static_cast<size_t>(height) * 4) {
        return image;
    }
    image.width = width;
    image.height = height;
    image.pixels.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
    const uint8_t* p = rgba.data();
    for (uint32_t& out : image.pixels) {
        out = premultipliedPixel(p[0], p[1], p[2], p[3]);
        p += 4;
    }
    return image;
}

}  // namespace platform::gfx
