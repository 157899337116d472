#include "platform/gfx/BoxBlur.h"

#include <algorithm>
#include <cstddef>
#include <vector>

namespace platform::gfx {

namespace {

// One pass along a line of `count` pixels, `step` words apart; `line` holds the four channels of
// the source line, the window sum slides over it.
void blurLine(uint32_t* pixels, int count, ptrdiff_t step, int radius, BlurEdges edges, std::vector<uint32_t>& line) {
    line.resize(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) line[static_cast<size_t>(i)] = pixels[i * step];
    const uint32_t window = static_cast<uint32_t>(2 * radius + 1);
    uint32_t sum[4] = {0, 0, 0, 0};
    auto add = [&](int i, int sign) {
        if (i < 0 || i >= count) {
            if (edges == BlurEdges::transparent) return;
            i = std::clamp(i, 0, count - 1);
        }
        const uint32_t p = line[static_cast<size_t>(i)];
        for (int c = 0; c < 4; ++c) {
            const uint32_t v = (p >> (8 * c)) & 0xff;
            sum[c] = sign > 0 ? sum[c] + v : sum[c] - v;
        }
    };
    for (int i = -radius; i < radius; ++i) add(i, 1);
    for (int i = 0; i < count; ++i) {
        add(i + radius, 1);
        uint32_t out = 0;
        for (int c = 0; c < 4; ++c) out |= ((sum[c] + window / 2) / window) << (8 * c);
        pixels[i * step] = out;
        add(i - radius, -1);
    }
}

}  // namespace

void boxBlur(Image& image, int radius, int passes, BlurEdges edges) {
    if (radius < 1 || passes < 1 || image.isEmpty()) return;
    if (image.pixels.size() != static_cast<size_t>(image.width) * static_cast<size_t>(image.height)) return;
    std::vector<uint32_t> line;
    for (int pass = 0; pass < passes; ++pass) {
        for (int y = 0; y < image.height; ++y) {
            blurLine(image.pixels.data() + static_cast<ptrdiff_t>(y) * image.width, image.width, 1, radius, edges, line);
        }
        for (int x = 0; x < image.width; ++x) {
            blurLine(image.pixels.data() + x, image.height, image.width, radius, edges, line);
        }
    }
}

Image downsampled(const Image& image, int factor) {
    if (factor <= 1 || image.isEmpty()) return image;
    Image out;
    out.width = (image.width + factor - 1) / factor;
    out.height = (image.height + factor - 1) / factor;
    out.pixels.assign(static_cast<size_t>(out.width) * static_cast<size_t>(out.height), 0);
    for (int oy = 0; oy < out.height; ++oy) {
        for (int ox = 0; ox < out.width; ++ox) {
            uint32_t sum[4] = {0, 0, 0, 0};
            uint32_t n = 0;
            for (int y = oy * factor; y < std::min(image.height, (oy + 1) * factor); ++y) {
                for (int x = ox * factor; x < std::min(image.width, (ox + 1) * factor); ++x) {
                    const uint32_t p = image.pixels[static_cast<size_t>(y) * static_cast<size_t>(image.width) +
                                                    static_cast<size_t>(x)];
                    for (int c = 0; c < 4; ++c) sum[c] += (p >> (8 * c)) & 0xff;
                    ++n;
                }
            }
            uint32_t word = 0;
            for (int c = 0; c < 4; ++c) word |= ((sum[c] + n / 2) / n) << (8 * c);
            out.pixels[static_cast<size_t>(oy) * static_cast<size_t>(out.width) + static_cast<size_t>(ox)] = word;
        }
    }
    return out;
}

}  // namespace platform::gfx
