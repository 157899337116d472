#include "platform/gfx/BoxBlur.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "platform/gfx/Canvas.h"

using namespace platform::gfx;

namespace {

Image row(std::vector<uint32_t> pixels) { return Image{static_cast<int>(pixels.size()), 1, std::move(pixels)}; }

// Random pixels, every third one white: full channels must not carry into their neighbours.
Image noise(int width, int height, uint32_t seed) {
    Image image{width, height, {}};
    for (int i = 0; i < width * height; ++i) {
        seed = seed * 1664525u + 1013904223u;
        image.pixels.push_back(i % 3 ? seed : 0xffffffffu);
    }
    return image;
}

int channel(uint32_t pixel, int c) { return static_cast<int>((pixel >> (8 * c)) & 0xff); }

// The plain box blur: each channel summed over the window, beyond the edges nothing or the edge
// pixel, divided with rounding; rows first, then columns, pass after pass.
Image plainBlur(Image image, int radius, int passes, BlurEdges edges) {
    const int w = image.width, h = image.height, window = 2 * radius + 1;
    auto pass = [&](bool across) {
        const Image in = image;
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                uint32_t out = 0;
                for (int c = 0; c < 4; ++c) {
                    int sum = 0;
                    for (int d = -radius; d <= radius; ++d) {
                        int sx = across ? x + d : x, sy = across ? y : y + d;
                        if (sx < 0 || sx >= w || sy < 0 || sy >= h) {
                            if (edges == BlurEdges::transparent) continue;
                            sx = std::clamp(sx, 0, w - 1), sy = std::clamp(sy, 0, h - 1);
                        }
                        sum += channel(in.pixels[size_t(sy * w + sx)], c);
                    }
                    out |= uint32_t((sum + window / 2) / window) << (8 * c);
                }
                image.pixels[size_t(y * w + x)] = out;
            }
        }
    };
    for (int p = 0; p < passes; ++p) {
        pass(true);
        pass(false);
    }
    return image;
}

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

TEST(BoxBlur, MatchesThePlainBlurForEveryRadiusShapeAndEdge) {
    struct Case {
        int width, height, radius, passes;
        BlurEdges edges;
    };
    const Case cases[] = {
        {37, 23, 1, 1, BlurEdges::transparent}, {37, 23, 3, 3, BlurEdges::extended}, {37, 23, 3, 3, BlurEdges::transparent},
        {9, 31, 7, 2, BlurEdges::extended},     {1, 17, 2, 3, BlurEdges::transparent}, {19, 1, 2, 3, BlurEdges::extended},
        // Windows wider than the image, the widest the lanes hold (257 pixels of 255), and past it.
        {12, 10, 20, 1, BlurEdges::extended},   {300, 3, 128, 1, BlurEdges::extended}, {300, 3, 128, 1, BlurEdges::transparent},
        {280, 2, 130, 1, BlurEdges::extended},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.width << "x" << c.height << " radius " << c.radius << " passes " << c.passes
                                          << (c.edges == BlurEdges::extended ? " extended" : " transparent"));
        Image image = noise(c.width, c.height, 99u + uint32_t(c.radius));
        const Image expected = plainBlur(image, c.radius, c.passes, c.edges);
        boxBlur(image, c.radius, c.passes, c.edges);
        EXPECT_EQ(image.pixels, expected.pixels);
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

// Rows read in place, `stride` words apart with other pixels between them, give what the same
// pixels gathered into an image give.
TEST(BoxBlur, DownsampledFromRowsApartMatchesTheGatheredImage) {
    const Image wide = noise(50, 21, 7);
    for (int factor : {1, 2, 4, 5, 16, 20}) {
        // The box from column 3 of each row, 41 wide.
        Image gathered{41, 21, {}};
        for (int y = 0; y < 21; ++y) {
            for (int x = 0; x < 41; ++x) gathered.pixels.push_back(wide.pixels[size_t(y * 50 + 3 + x)]);
        }
        const Image inPlace = downsampled(wide.pixels.data() + 3, 50, 41, 21, factor);
        const Image expected = downsampled(gathered, factor);
        EXPECT_EQ(inPlace.width, expected.width) << factor;
        EXPECT_EQ(inPlace.height, expected.height) << factor;
        EXPECT_EQ(inPlace.pixels, expected.pixels) << factor;
    }
}

// Each enlarged pixel is the image sampled at its centre with bilinear weights, the edge pixels
// extended (weights in 256ths, rounded twice: within a level and a half); any box of it is that
// box of the whole.
TEST(BoxBlur, EnlargedSamplesTheImageBilinearlyAtPixelCentres) {
    const Image image = noise(7, 5, 3);
    for (int factor : {1, 2, 3, 4}) {
        SCOPED_TRACE(factor);
        const int w = 7 * factor, h = 5 * factor;
        std::vector<uint32_t> whole(size_t(w * h), 0);
        enlargedInto(image, factor, 0, 0, w, h, whole.data(), w);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                const double u = std::clamp((x + 0.5) / factor - 0.5, 0.0, 6.0), v = std::clamp((y + 0.5) / factor - 0.5, 0.0, 4.0);
                const int u0 = int(u), v0 = int(v), u1 = std::min(u0 + 1, 6), v1 = std::min(v0 + 1, 4);
                const double fu = u - u0, fv = v - v0;
                for (int c = 0; c < 4; ++c) {
                    auto at = [&](int sx, int sy) { return channel(image.pixels[size_t(sy * 7 + sx)], c); };
                    const double expected = (at(u0, v0) * (1 - fu) + at(u1, v0) * fu) * (1 - fv) + (at(u0, v1) * (1 - fu) + at(u1, v1) * fu) * fv;
                    ASSERT_LE(std::abs(channel(whole[size_t(y * w + x)], c) - expected), 1.5) << x << "," << y << " channel " << c;
                }
            }
        }
        // A box inside, and one reaching past the enlarged image: written where they meet it.
        struct Box {
            int x0, y0, x1, y1;
        };
        for (const Box& b : {Box{3, 2, 3 + 2 * factor, 4 + factor}, Box{w - 3, h - 2, w + 4, h + 3}, Box{-2, -1, 3, 2}}) {
            const int bw = b.x1 - b.x0, bh = b.y1 - b.y0;
            std::vector<uint32_t> part(size_t(bw * bh), 0x12345678u);
            enlargedInto(image, factor, b.x0, b.y0, b.x1, b.y1, part.data(), bw);
            for (int y = 0; y < bh; ++y) {
                for (int x = 0; x < bw; ++x) {
                    const int ex = b.x0 + x, ey = b.y0 + y;
                    const bool inside = ex >= 0 && ex < w && ey >= 0 && ey < h;
                    EXPECT_EQ(part[size_t(y * bw + x)], inside ? whole[size_t(ey * w + ex)] : 0x12345678u) << ex << "," << ey;
                }
            }
        }
    }
}

// A blur enlarged four times with a tint is what the canvas showed when it stretched the blur
// and filled the tint over it, give or take rounding.
TEST(BoxBlur, EnlargedBlurMatchesTheCanvasStretchingIt) {
    Image blurred = noise(40, 30, 11);
    for (uint32_t& p : blurred.pixels) p |= 0xff000000u;
    boxBlur(blurred, 3, 3, BlurEdges::extended);
    const int factor = 4, w = 40 * factor, h = 30 * factor;
    Canvas stretched(Size{double(w) / 2, double(h) / 2}, 2);
    stretched.drawImage(blurred, Rect{0, 0, double(w) / 2, double(h) / 2});
    const Rgba tint{0, 0, 0, 0.12};
    stretched.fill(Rect{0, 0, double(w) / 2, double(h) / 2}, tint);
    Canvas small(Size{40, 30}, 1);
    small.drawImageAtPixel(blurred, 0, 0);
    small.fill(Rect{0, 0, 40, 30}, tint);
    std::vector<uint32_t> enlarged(size_t(w * h));
    enlargedInto(small.image(), factor, 0, 0, w, h, enlarged.data(), w);
    int worst = 0;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            for (int c = 0; c < 4; ++c)
                worst = std::max(worst, std::abs(channel(enlarged[size_t(y * w + x)], c) - channel(stretched.pixel(x, y), c)));
        }
    }
    EXPECT_LE(worst, 2);
}

TEST(BoxBlur, NothingIsEnlargedFromNothingOrByLessThanOne) {
    std::vector<uint32_t> out(16, 7);
    enlargedInto(Image{}, 2, 0, 0, 4, 4, out.data(), 4);
    enlargedInto(noise(2, 2, 1), 0, 0, 0, 4, 4, out.data(), 4);
    enlargedInto(noise(2, 2, 1), 2, 5, 5, 9, 9, out.data(), 4);
    EXPECT_EQ(out, std::vector<uint32_t>(16, 7));
}

}  // namespace
