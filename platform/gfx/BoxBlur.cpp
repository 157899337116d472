#include "platform/gfx/BoxBlur.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace platform::gfx {

namespace {

// The four channels of a pixel in 16-bit lanes: sums of up to 257 pixels stay in their lanes.
inline uint64_t spread(uint32_t p) {
    return (p & 0xffu) | (uint64_t(p & 0xff00u) << 8) | (uint64_t(p & 0xff0000u) << 16) |
           (uint64_t(p & 0xff000000u) << 24);
}

// Divides each lane of a window sum by the window, rounded: (sum + window / 2) / window, as a
// multiplication. With the reciprocal rounded up to 32 fraction bits, the quotient of anything
// below 2^17 by at most 257 comes out exact.
struct LaneAverage {
    uint64_t half, reciprocal;
    explicit LaneAverage(uint32_t window)
        : half(window / 2), reciprocal(((uint64_t(1) << 32) + window - 1) / window) {}
    uint32_t operator()(uint64_t sum) const {
        uint32_t out = 0;
        for (int c = 0; c < 4; ++c) out |= uint32_t((((sum >> (16 * c)) & 0xffff) + half) * reciprocal >> 32) << (8 * c);
        return out;
    }
};

// The widest window whose sums fit the 16-bit lanes.
constexpr int maxLaneRadius = 128;

// Window sums in 16-bit lanes to averaged bytes, many channels at once: (sum + window / 2) /
// window as a float product. The product is off by far less than the margin added, and the
// margin is less than the gap 1 / window to the next whole number, so the quotient is exact.
struct ChannelAverage {
    float half, inverse;
    explicit ChannelAverage(int window)
        : half(static_cast<float>(window / 2)), inverse(1.0f / static_cast<float>(window)) {}
    void operator()(const uint16_t* sums, uint8_t* out, size_t count) const {
        constexpr float margin = 1.0f / 1024;
        for (size_t i = 0; i < count; ++i)
            out[i] = static_cast<uint8_t>(static_cast<int>((static_cast<float>(sums[i]) + half) * inverse + margin));
    }
};

// One horizontal pass over a row: `line` holds its pixels spread, with what lies beyond each
// edge on both sides, so the window slides without a test; `sums` gets each pixel's window.
void blurRow(uint32_t* pixels, int count, int radius, BlurEdges edges, const ChannelAverage& average,
             std::vector<uint64_t>& line, std::vector<uint64_t>& sums) {
    const size_t pad = static_cast<size_t>(radius) + 1;
    line.resize(static_cast<size_t>(count) + 2 * pad);
    sums.resize(static_cast<size_t>(count));
    const uint64_t before = edges == BlurEdges::extended ? spread(pixels[0]) : 0;
    const uint64_t after = edges == BlurEdges::extended ? spread(pixels[count - 1]) : 0;
    std::fill(line.begin(), line.begin() + static_cast<ptrdiff_t>(pad), before);
    for (int i = 0; i < count; ++i) line[pad + static_cast<size_t>(i)] = spread(pixels[i]);
    std::fill(line.begin() + static_cast<ptrdiff_t>(pad) + count, line.end(), after);
    // line[j] is pixel j - pad; the window of pixel 0 is pixels -radius … radius.
    uint64_t sum = 0;
    for (size_t j = 1; j <= 2 * static_cast<size_t>(radius) + 1; ++j) sum += line[j];
    const uint64_t* in = line.data() + 2 * pad;
    const uint64_t* out = line.data() + 1;
    for (int i = 0; i < count; ++i) {
        sums[static_cast<size_t>(i)] = sum;
        sum += in[i] - out[i];
    }
    // The lanes of the sums, in order, are the channels of the pixels, in order (little-endian).
    average(reinterpret_cast<const uint16_t*>(sums.data()), reinterpret_cast<uint8_t*>(pixels), 4 * static_cast<size_t>(count));
}

// One vertical pass over the whole image, row by row: a sum a channel slides down.
void blurColumns(Image& image, int radius, BlurEdges edges, const ChannelAverage& average, std::vector<uint32_t>& source,
                 std::vector<uint16_t>& sums) {
    const int width = image.width, height = image.height;
    const size_t channels = 4 * static_cast<size_t>(width);
    source = image.pixels;
    sums.assign(channels, 0);
    // A row beyond the edge: a copy of the edge row, or nothing.
    auto row = [&](int y) -> const uint8_t* {
        if (y < 0 || y >= height) {
            if (edges == BlurEdges::transparent) return nullptr;
            y = std::clamp(y, 0, height - 1);
        }
        return reinterpret_cast<const uint8_t*>(source.data() + static_cast<size_t>(y) * static_cast<size_t>(width));
    };
    // Sums of at most 257 bytes: 16 bits hold them, and wrap back when a row leaves.
    for (int y = -radius; y <= radius; ++y) {
        if (const uint8_t* r = row(y)) {
            for (size_t i = 0; i < channels; ++i) sums[i] = static_cast<uint16_t>(sums[i] + r[i]);
        }
    }
    for (int y = 0; y < height; ++y) {
        average(sums.data(), reinterpret_cast<uint8_t*>(image.pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(width)),
                channels);
        const uint8_t* in = row(y + radius + 1);
        const uint8_t* gone = row(y - radius);
        if (in && gone) {
            for (size_t i = 0; i < channels; ++i) sums[i] = static_cast<uint16_t>(sums[i] + in[i] - gone[i]);
        } else if (in) {
            for (size_t i = 0; i < channels; ++i) sums[i] = static_cast<uint16_t>(sums[i] + in[i]);
        } else if (gone) {
            for (size_t i = 0; i < channels; ++i) sums[i] = static_cast<uint16_t>(sums[i] - gone[i]);
        }
    }
}

// One pass along a line of `count` pixels, `step` words apart, channel by channel: for windows
// too wide for the lanes.
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
    if (radius > maxLaneRadius) {
        std::vector<uint32_t> line;
        for (int pass = 0; pass < passes; ++pass) {
            for (int y = 0; y < image.height; ++y) {
                blurLine(image.pixels.data() + static_cast<ptrdiff_t>(y) * image.width, image.width, 1, radius, edges, line);
            }
            for (int x = 0; x < image.width; ++x) blurLine(image.pixels.data() + x, image.height, image.width, radius, edges, line);
        }
        return;
    }
    const ChannelAverage average(2 * radius + 1);
    std::vector<uint64_t> line, rowSums;
    std::vector<uint16_t> columnSums;
    std::vector<uint32_t> source;
    for (int pass = 0; pass < passes; ++pass) {
        for (int y = 0; y < image.height; ++y) {
            blurRow(image.pixels.data() + static_cast<ptrdiff_t>(y) * image.width, image.width, radius, edges, average, line,
                    rowSums);
        }
        blurColumns(image, radius, edges, average, source, columnSums);
    }
}

Image downsampled(const Image& image, int factor) {
    if (factor <= 1 || image.isEmpty()) return image;
    return downsampled(image.pixels.data(), image.width, image.width, image.height, factor);
}

Image downsampled(const uint32_t* pixels, ptrdiff_t stride, int width, int height, int factor) {
    Image out;
    if (!pixels || width <= 0 || height <= 0) return out;
    if (factor <= 1) {
        out.width = width;
        out.height = height;
        out.pixels.reserve(static_cast<size_t>(width) * static_cast<size_t>(height));
        for (int y = 0; y < height; ++y) out.pixels.insert(out.pixels.end(), pixels + y * stride, pixels + y * stride + width);
        return out;
    }
    out.width = (width + factor - 1) / factor;
    out.height = (height + factor - 1) / factor;
    out.pixels.resize(static_cast<size_t>(out.width) * static_cast<size_t>(out.height));
    const size_t channels = static_cast<size_t>(width) * 4;
    // A block's rows summed channel by channel (16 rows of 255 fit 16 bits), then its columns.
    const bool lanes = factor <= 16;
    std::vector<uint16_t> rows(lanes ? channels : 0);
    for (int oy = 0; oy < out.height; ++oy) {
        const int y0 = oy * factor, y1 = std::min(height, y0 + factor);
        uint32_t* line = out.pixels.data() + static_cast<size_t>(oy) * static_cast<size_t>(out.width);
        if (!lanes) {
            for (int ox = 0; ox < out.width; ++ox) {
                const int x0 = ox * factor, x1 = std::min(width, x0 + factor);
                uint32_t sum[4] = {0, 0, 0, 0};
                const uint32_t n = static_cast<uint32_t>((y1 - y0) * (x1 - x0));
                for (int y = y0; y < y1; ++y) {
                    for (int x = x0; x < x1; ++x) {
                        const uint32_t p = pixels[y * stride + x];
                        for (int c = 0; c < 4; ++c) sum[c] += (p >> (8 * c)) & 0xff;
                    }
                }
                uint32_t word = 0;
                for (int c = 0; c < 4; ++c) word |= ((sum[c] + n / 2) / n) << (8 * c);
                line[ox] = word;
            }
            continue;
        }
        const auto* first = reinterpret_cast<const uint8_t*>(pixels + y0 * stride);
        for (size_t i = 0; i < channels; ++i) rows[i] = first[i];
        for (int y = y0 + 1; y < y1; ++y) {
            const auto* bytes = reinterpret_cast<const uint8_t*>(pixels + y * stride);
            for (size_t i = 0; i < channels; ++i) rows[i] = static_cast<uint16_t>(rows[i] + bytes[i]);
        }
        const int whole = width / factor;
        const LaneAverage full(static_cast<uint32_t>((y1 - y0) * factor));
        for (int ox = 0; ox < out.width; ++ox) {
            const int x0 = ox * factor, x1 = std::min(width, x0 + factor);
            const uint16_t* block = rows.data() + 4 * static_cast<size_t>(x0);
            // The four channels of a pixel are the four lanes of one word (little-endian).
            uint64_t sum = 0;
            for (int x = 0; x < x1 - x0; ++x, block += 4) {
                uint64_t word;
                std::memcpy(&word, block, sizeof word);
                sum += word;
            }
            line[ox] = ox < whole ? full(sum) : LaneAverage(static_cast<uint32_t>((y1 - y0) * (x1 - x0)))(sum);
        }
    }
    return out;
}

namespace {

// Where an enlarged pixel samples along one axis: the nearer source pixel, the other one, and
// the other one's weight out of 256.
struct Tap {
    int near, far;
    uint16_t weight;
};

Tap tapFor(int at, int factor, int count) {
    // The centre of enlarged pixel `at` lies at (at + 0.5) / factor - 0.5 in source pixels.
    const int k = at / factor, phase = 2 * (at % factor) + 1 - factor;  // offset from k in 1/(2·factor)
    const int other = std::clamp(phase < 0 ? k - 1 : k + 1, 0, count - 1);
    const int weight = (std::abs(phase) * 256 + factor) / (2 * factor);
    return Tap{std::min(k, count - 1), other, static_cast<uint16_t>(weight)};
}

}  // namespace

void enlargedInto(const Image& image, int factor, int x0, int y0, int x1, int y1, uint32_t* out, ptrdiff_t stride) {
    if (image.isEmpty() || factor < 1 || !out) return;
    if (image.pixels.size() != static_cast<size_t>(image.width) * static_cast<size_t>(image.height)) return;
    const int cx0 = std::max(x0, 0), cy0 = std::max(y0, 0);
    const int cx1 = std::min(x1, image.width * factor), cy1 = std::min(y1, image.height * factor);
    if (cx1 <= cx0 || cy1 <= cy0) return;
    out += (cy0 - y0) * stride + (cx0 - x0);
    const int width = cx1 - cx0;
    const size_t channels = static_cast<size_t>(width) * 4;
    std::vector<Tap> taps(static_cast<size_t>(width));
    for (int x = cx0; x < cx1; ++x) taps[static_cast<size_t>(x - cx0)] = tapFor(x, factor, image.width);
    // Source rows stretched across, the four channels of a pixel in 16-bit lanes; three in turn,
    // as the rows go down.
    std::vector<uint64_t> held(3 * static_cast<size_t>(width)), spreadRow(static_cast<size_t>(image.width));
    int heldRow[3] = {-1, -1, -1};
    auto across = [&](int row) -> const uint16_t* {
        uint64_t* line = held.data() + static_cast<size_t>(row % 3) * static_cast<size_t>(width);
        if (heldRow[row % 3] != row) {
            heldRow[row % 3] = row;
            const uint32_t* source = image.pixels.data() + static_cast<size_t>(row) * static_cast<size_t>(image.width);
            for (int x = 0; x < image.width; ++x) spreadRow[static_cast<size_t>(x)] = spread(source[x]);
            constexpr uint64_t half = 0x0080008000800080, lanes = 0x00ff00ff00ff00ff;
            for (size_t i = 0; i < taps.size(); ++i) {
                const Tap& t = taps[i];
                line[i] = ((spreadRow[static_cast<size_t>(t.near)] * (256u - t.weight) +
                            spreadRow[static_cast<size_t>(t.far)] * t.weight + half) >> 8) & lanes;
            }
        }
        return reinterpret_cast<const uint16_t*>(line);
    };
    for (int y = cy0; y < cy1; ++y) {
        const Tap t = tapFor(y, factor, image.height);
        const uint16_t* a = across(t.near);
        const uint16_t* b = across(t.far);
        const auto wa = static_cast<uint16_t>(256 - t.weight), wb = t.weight;
        auto* row = reinterpret_cast<uint8_t*>(out + (y - cy0) * stride);
        // 255 · 256 + 128 fits the 16 bits: the compiler may work on many channels at once.
        for (size_t i = 0; i < channels; ++i)
            row[i] = static_cast<uint8_t>(static_cast<uint16_t>(a[i] * wa + b[i] * wb + 128) >> 8);
    }
}

}  // namespace platform::gfx
