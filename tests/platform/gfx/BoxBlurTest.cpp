#include "platform/gfx/BoxBlur.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace platform::gfx;

namespace {

Image row(std::vector<uint32_t> pixels) { return Image{static_cast<int>(pixels.size()), 1, std::move(pixels)}; }

TEST(BoxBlur, SpreadsAPixelAndTreatsTheEdges) {
    struct Case {
        const char* name;
        Image image;
        int radius, passes;
        BlurEdges edges;
        std::vector<uint32_t> expected;
    };
    const uint32_t white = 0xffffffff;
    // One row: the vertical pass spreads into the transparent rows above and below as well.
    const Case cases[] = {
        {"OnePassSpreadsEvenly", row({0, 0, 0x90909090, 0, 0}), 1, 1,
         BlurEdges::transparent, {0, 0x10101010, 0x10101010, 0x10101010, 0}},
        {"TransparentBeyondTheEdge", row({white, white}), 1, 1, BlurEdges::transparent, {0x39393939, 0x39393939}},
        {"ExtendedEdge", row({white, white}), 1, 1, BlurEdges::extended, {white, white}},
        {"RadiusZeroChangesNothing", row({white, 0}), 0, 3, BlurEdges::transparent, {white, 0}},
        {"NoPassChangesNothing", row({white, 0}), 2, 0, BlurEdges::transparent, {white, 0}},
    };
    for (Case c : cases) {
        boxBlur(c.image, c.radius, c.passes, c.edges);
        EXPECT_EQ(c.image.pixels, c.expected) << c.name;
    }
}

TEST(BoxBlur, DownsampledAveragesBlocksAndKeepsPartialOnes) {
    Image image{5, 2, {0xff000000, 0xff0000ff, 0, 0, 0xffffffff, 0xff000000, 0xff0000ff, 0, 0, 0xffffffff}};
    const Image small = downsampled(image, 2);
    EXPECT_EQ(small.width, 3);
    EXPECT_EQ(small.height, 1);
    EXPECT_EQ(small.pixels[0], 0xff000080u);
    EXPECT_EQ(small.pixels[1], 0u);
    EXPECT_EQ(small.pixels[2], 0xffffffffu);
    EXPECT_EQ(downsampled(image, 1).pixels, image.pixels);
}

// Every block's channels averaged on their own, rounded, for any factor and partial edge blocks.
TEST(BoxBlur, DownsampledMatchesAPlainAverageAtEveryFactor) {
    Image image{37, 23, {}};
    uint32_t seed = 12345;
    for (int i = 0; i < image.width * image.height; ++i) {
        seed = seed * 1664525u + 1013904223u;
        // Bright pixels in many: full lanes must not carry into the next channel.
        image.pixels.push_back(i % 3 ? 0xffffffffu : seed);
    }
    for (int factor : {2, 3, 4, 7, 16, 17, 40}) {
        const Image small = downsampled(image, factor);
        ASSERT_EQ(small.width, (image.width + factor - 1) / factor) << factor;
        ASSERT_EQ(small.height, (image.height + factor - 1) / factor) << factor;
        for (int oy = 0; oy < small.height; ++oy) {
            for (int ox = 0; ox < small.width; ++ox) {
                uint32_t expected = 0;
                for (int c = 0; c < 4; ++c) {
                    uint32_t sum = 0, n = 0;
                    for (int y = oy * factor; y < std::min(image.height, (oy + 1) * factor); ++y) {
                        for (int x = ox * factor; x < std::min(image.width, (ox + 1) * factor); ++x, ++n)
                            sum += (image.pixels[size_t(y * image.width + x)] >> (8 * c)) & 0xff;
                    }
                    expected |= ((sum + n / 2) / n) << (8 * c);
                }
                EXPECT_EQ(small.pixels[size_t(oy * small.width + ox)], expected) << factor << " " << ox << "," << oy;
            }
        }
    }
}

}  // namespace
