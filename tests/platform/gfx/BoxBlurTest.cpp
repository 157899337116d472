#include "platform/gfx/BoxBlur.h"

#include <gtest/gtest.h>

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

}  // namespace
