#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace platform::gfx {

// A decoded bitmap in Cairo's ARGB32 layout: one premultiplied 0xAARRGGBB word per pixel, rows from
// the top, no padding.
struct Image {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;

    bool isEmpty() const { return width <= 0 || height <= 0; }

    // Straight-alpha RGBA bytes (4 per pixel, rows from the top) to an image; empty when the byte
    // count does not match the size.
    static Image fromRgba(std::span<const uint8_t> rgba, int width, int height);

    // One straight-alpha pixel as a premultiplied word, rounded as Cairo rounds.
    static uint32_t premultipliedPixel(uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
        auto mul = [a](uint32_t c) {
            uint32_t t = c * a + 128;
            return (t + (t >> 8)) >> 8;
        };
        return a << 24 | mul(r) << 16 | mul(g) << 8 | mul(b);
    }
};

// The image shared; the last holder of a large one to let go frees it on a worker, so that a loop
// letting go of hundreds of megabytes does not wait for their pages to go back. Any thread.
std::shared_ptr<const Image> shareImage(Image image);

}  // namespace platform::gfx
