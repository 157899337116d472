#include "platform/gfx/PngEncoder.h"

#include <cairo.h>

namespace platform::gfx {

std::optional<std::vector<uint8_t>> encodePng(const Image& image) {
    if (image.isEmpty() || image.pixels.size() != static_cast<size_t>(image.width) * static_cast<size_t>(image.height))
        return std::nullopt;
    const int stride = cairo_format_stride_for_width(CAIRO_FORMAT_ARGB32, image.width);
    if (stride != image.width * 4) return std::nullopt;
    // Cairo only reads the pixels here, but its surface takes them as writable.
    auto* data = reinterpret_cast<unsigned char*>(const_cast<uint32_t*>(image.pixels.data()));
    cairo_surface_t* surface =
        cairo_image_surface_create_for_data(data, CAIRO_FORMAT_ARGB32, image.width, image.height, stride);
    std::vector<uint8_t> bytes;
    const cairo_status_t status = cairo_surface_write_to_png_stream(
        surface,
        [](void* closure, const unsigned char* chunk, unsigned int length) {
            auto* out = static_cast<std::vector<uint8_t>*>(closure);
            out->insert(out->end(), chunk, chunk + length);
            return CAIRO_STATUS_SUCCESS;
        },
        &bytes);
    cairo_surface_destroy(surface);
    if (status != CAIRO_STATUS_SUCCESS) return std::nullopt;
    return bytes;
}

}  // namespace platform::gfx
