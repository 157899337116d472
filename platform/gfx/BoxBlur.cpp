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

namespace {

// The four channels of a pixel in 16-bit lanes: sums of up to 257 pixels stay in their lanes.
inline uint64_t spread(uint32_t p) {
    return (p & 0xffu) | (uint64_t(p & 0xff00u) << 8) | (uint64_t(p & 0xff0000u) << 16) |
           (uint64_t(p & 0xff000000u) << 24);
}

}  // namespace

Image downsampled(const Image& image, int factor) {
    if (factor <= 1 || image.isEmpty()) return image;
    Image out;
    out.width = (image.width + factor - 1) / factor;
    out.height = (image.height + factor - 1) / factor;
    out.pixels.assign(static_cast<size_t>(out.width) * static_cast<size_t>(out.height), 0);
    const bool lanes = factor <= 16;
    std::vector<uint64_t> sums(lanes ? static_cast<size_t>(out.width) : 0);
    for (int oy = 0; oy < out.height; ++oy) {
        const int y0 = oy * factor, y1 = std::min(image.height, y0 + factor);
        if (lanes) {
            // Whole rows into one sum a block: every channel of a block in its own lane.
            std::fill(sums.begin(), sums.end(), 0);
            for (int y = y0; y < y1; ++y) {
                const uint32_t* row = image.pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(image.width);
                for (int ox = 0; ox < out.width; ++ox) {
                    const int x0 = ox * factor, x1 = std::min(image.width, x0 + factor);
                    uint64_t sum = 0;
                    for (int x = x0; x < x1; ++x) sum += spread(row[x]);
                    sums[static_cast<size_t>(ox)] += sum;
                }
            }
        }
        for (int ox = 0; ox < out.width; ++ox) {
            const int x0 = ox * factor, x1 = std::min(image.width, x0 + factor);
            uint32_t sum[4] = {0, 0, 0, 0};
            const uint32_t n = static_cast<uint32_t>((y1 - y0) * (x1 - x0));
            if (lanes) {
                for (int c = 0; c < 4; ++c) sum[c] = static_cast<uint32_t>((sums[static_cast<size_t>(ox)] >> (16 * c)) & 0xffff);
            } else {
                for (int y = y0; y < y1; ++y) {
                    for (int x = x0; x < x1; ++x) {
                        const uint32_t p = image.pixels[static_cast<size_t>(y) * static_cast<size_t>(image.width) +
                                                        static_cast<size_t>(x)];
                        for (int c = 0; c < 4; ++c) sum[c] += (p >> (8 * c)) & 0xff;
                    }
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
