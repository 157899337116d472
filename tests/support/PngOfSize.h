#pragma once

#include <cairo.h>

#include <cstdint>
#include <vector>

namespace quiltdeck::testing {

// The surface written as PNG bytes; the surface is released.
inline std::vector<uint8_t> pngOfSurface(cairo_surface_t* surface) {
    std::vector<uint8_t> out;
    cairo_surface_write_to_png_stream(
        surface,
        [](void* closure, const unsigned char* data, unsigned int length) {
            auto* bytes = static_cast<std::vector<uint8_t>*>(closure);
            bytes->insert(bytes->end(), data, data + length);
            return CAIRO_STATUS_SUCCESS;
        },
        &out);
    cairo_surface_destroy(surface);
    return out;
}

// A transparent PNG of the size, written by Cairo: small on disk however large it says it is.
inline std::vector<uint8_t> pngOfSize(int width, int height) {
    return pngOfSurface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
}

}  // namespace quiltdeck::testing
